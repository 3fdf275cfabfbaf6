// The setup-configuration dialog (template 114): is the configuration taken
// from a CD-R or from a backup configuration medium?
#pragma once

#include "platform/Win.h"
#include "platform/WinTypes.h"

constexpr int kSetupTemplate = 114;
constexpr int kIdBackupMediumChoice = 1025;
constexpr int kIdCdrChoice = 1026;
constexpr int kIdSetupMessage = 1027;

// SetupSourceChoice values.
constexpr BYTE kSetupSourceCdr = 0;
constexpr BYTE kSetupSourceBackupMedium = 1;

int InitDialogSelRestoreData(HWND dialog, DWORD promptMessageId);
plat::INT_PTR SelectSetupConfigDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                          plat::LPARAM lParam);
// 1 on OK, 2 when cancelled (result word 0x4000), 7 otherwise (0x2000).
// *choice always receives the choice (0 when the dialog was not left with OK).
int SelectSetupConfigDialog(HWND owner, DWORD promptMessageId, BYTE* choice, WORD* resultWord);
