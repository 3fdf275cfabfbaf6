#include "flows/RestoreFromBackupFile.h"

#include "flows/Pending.h"

int RestoreConfigFromBackupFile(HWND, char*, char*, WORD* resultWord) {
  return FlowNotAvailable(resultWord, "RestoreConfigFromBackupFile");
}
