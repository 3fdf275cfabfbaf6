// The end of a flow whose operation this build does not have yet: it fails
// cleanly with the result word 0x2000 and one trace line, so that its export
// still runs its whole frame.
#pragma once

#include "platform/WinTypes.h"

int FlowNotAvailable(WORD* resultWord, const char* operation);

// The result word that flows not yet built fail with (0x2000 unless set
// otherwise, e.g. 0x4000 to stand for the operator's cancel); returns the
// previous word. Only the library's own tests set it; it is not exported.
WORD SetPendingResultWord(WORD word);
