#include "flows/RestoreFromMedia.h"

#include "flows/Pending.h"

int RestoreConfigFromMedia(HWND, WORD*, char*, char*, WORD* resultWord) {
  return FlowNotAvailable(resultWord, "RestoreConfigFromMedia");
}
