// Backup of the configuration to removable media, split over several media
// when the archive does not fit on one.
#pragma once

#include "platform/WinTypes.h"

int Talver_BackupConfigToMedia(HWND owner, WORD* resultWord);
