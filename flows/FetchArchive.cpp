#include "flows/FetchArchive.h"

#include "flows/Pending.h"

int FetchConfigArchive(HWND, const char*, MediaSelection*, WORD* resultWord) {
  return FlowNotAvailable(resultWord, "FetchConfigArchive");
}
