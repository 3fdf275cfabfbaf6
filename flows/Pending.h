// The end of a flow whose operation this build does not have yet: it fails
// cleanly with the result word 0x2000 and one trace line, so that its export
// still runs its whole frame.
#pragma once

#include "platform/WinTypes.h"

int FlowNotAvailable(WORD* resultWord, const char* operation);
