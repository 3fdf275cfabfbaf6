// The "Confirm Configuration Information" dialog (117): a summary text that
// the operator can confirm only after ticking "Confirmed".
#pragma once

#include "platform/Win.h"
#include "platform/WinTypes.h"

// Control ids of template 117.
constexpr int kConfirmTemplate = 117;
constexpr int kIdConfirmMessage = 1039;
constexpr int kIdConfirmed = 1038;

// The dialog's creation parameter.
struct ConfirmConfigParam {
  int messageId;  // the catalogue text shown
  WORD* resultWord;
};

// 1 confirmed; 2 cancelled (result word 0x4000); 7 the dialog failed (result
// word 0x2000).
int AskConfirmConfigInfo(HWND owner, int messageId, WORD* resultWord);
plat::INT_PTR ConfirmConfigInfoDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                          plat::LPARAM lParam);
