#include "backupfile/CnfBakCnfList.h"

#include "common/Trace.h"

TALVER_SOURCE("CnfBakCnfList")

// Not built yet: the list dialog fails as a dialog failure does.
int SelectBackupConfig(HWND, BackupListMode, char*, WORD* resultWord) {
  TRACE_TEXT("ERR SelectBackupConfig (not available in this build)");
  *resultWord = 0x2000;
  return 0;
}
