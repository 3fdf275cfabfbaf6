#include "flows/InstallByModel.h"

#include "flows/Pending.h"

int Talver_OffSvpBackupByModel(HWND, DWORD, WORD, WORD* resultWord) {
  return FlowNotAvailable(resultWord, "Talver_OffSvpBackupByModel");
}
