// The file test that archive jobs, the HDD backup and the identity checks
// share: a file (not a folder), and with the size test one that is not empty.
// Its trace lines name the identity-check module, where it was first used.
#include "common/CnfFunc.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "platform/ScopedFind.h"

TALVER_SOURCE_AT("CnfChkMedia", 1000)

int TalVer_FindFile(const char* path, int sizeTest) {
  WIN32_FIND_DATA data;
  if (!plat::ScopedFind(path, &data)) return 0;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    TRACE_TEXT(path);
    TRACE_TEXT("TalVer_FindFile(directory)");
    return 0;
  }
  if (sizeTest == 1 && plat::FileSizeOf(data) == 0) {
    TRACE_TEXT("Size=0");
    return 0;
  }
  return 1;
}
