#include "flows/Unpack.h"

#include "archive/CnfCmpDlg.h"
#include "common/FlowLock.h"
#include "common/Trace.h"

TALVER_SOURCE_AT("CnfProcess", 8000)

int Talver_ConfigIsUncompressed(HWND owner, const char* archivePath, const char* targetDir) {
  FlowLock lock;
  if (!lock.Take()) return 0;
  int result = CompressDialog(owner, 1, 1, archivePath, targetDir);
  if (result == 0) TRACE_TEXT("ERR CompressDialog");
  return result;
}
