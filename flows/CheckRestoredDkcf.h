// The check of a restored DKCF: does the configuration converted from a
// backup file belong to this controller?
#pragma once

#include "platform/WinTypes.h"

// Reads the DKCF that the restore left in \PLAXON\TMP\TABLES\ and checks its
// configuration type and serial number against \PLAXON\CONFIG\ (and the PC
// side's serial-number file). 1 when both fit; otherwise the failing check's
// result with its result word, 0x4011 when a default serial number is
// involved and only the operator can decide.
int CheckRestoredDkcf(WORD* resultWord);
