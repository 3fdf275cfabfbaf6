#include "flows/Pending.h"

#include "common/Format.h"
#include "common/Trace.h"

TALVER_SOURCE("Talver")

namespace {
WORD gPendingWord = 0x2000;
}  // namespace

WORD SetPendingResultWord(WORD word) {
  WORD previous = gPendingWord;
  gPendingWord = word;
  return previous;
}

int FlowNotAvailable(WORD* resultWord, const char* operation) {
  char line[128];
  if (!FORMAT_PATH(line, "ERR %s (not available in this build)", operation)) {
    TRACE_TEXT("ERR (not available in this build)");
  } else {
    TRACE_TEXT(line);
  }
  if (resultWord) *resultWord = gPendingWord;
  return 0;
}
