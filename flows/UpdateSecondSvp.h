// Update of the second SVP: the configuration archive that the first SVP left
// in \PLAXON\HOME\DIFF\ unpacked over \PLAXON\ (the whole tree).
#pragma once

#include "platform/WinTypes.h"

int UpdateConfigTo2ndSvp(WORD* resultWord);
