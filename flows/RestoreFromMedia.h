// Restore of the configuration from a software medium chosen by controller
// model. The export resets the new and old version texts (32 bytes each)
// before the flow and writes the audit record with them after it; the flow
// fills them as it reads them and writes no audit record of its own.
#pragma once

#include "platform/WinTypes.h"

int RestoreConfigFromMedia(HWND owner, WORD* restoreKind, char* newVersion, char* oldVersion,
                           WORD* resultWord);
