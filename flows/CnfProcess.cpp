// Setup, update and unpacking flows.
#include "common/Trace.h"
#include "exports/Operations.h"

TALVER_SOURCE("CnfProcess")

int Talver_ConfigIsUncompressed(HWND owner, const char* archivePath, const char* targetDir) {
  int result = CompressDialog(owner, 1, 1, archivePath, targetDir);
  if (result == 0) TRACE_TEXT("ERR CompressDialog");
  return result;
}
