// Setup of the configuration in an SVP tree that the caller names, from a
// configuration CD-R or a backup medium.
#pragma once

#include "platform/WinTypes.h"

WORD SetupConfigInSvp(HWND owner, const char* sourceRoot, const char* targetDir, WORD* resultWord);
