#include "flows/SetupInSvp.h"

#include "flows/Pending.h"

WORD SetupConfigInSvp(HWND, const char*, const char*, WORD* resultWord) {
  return static_cast<WORD>(FlowNotAvailable(resultWord, "SetupConfigInSvp"));
}
