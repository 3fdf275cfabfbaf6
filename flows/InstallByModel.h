// Installation of the configuration by model selector, from a software medium
// (or a backup to media, for the other modes).
#pragma once

#include "platform/WinTypes.h"

int Talver_OffSvpBackupByModel(HWND owner, DWORD modelSelector, WORD mode, WORD* resultWord);
