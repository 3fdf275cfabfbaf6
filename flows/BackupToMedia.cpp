#include "flows/BackupToMedia.h"

#include "flows/Pending.h"

int Talver_BackupConfigToMedia(HWND, WORD* resultWord) {
  return FlowNotAvailable(resultWord, "Talver_BackupConfigToMedia");
}
