// The "Configuration Key Code" dialog (113): the operator names the
// controller type of a configuration on the configuration CD-R by its key
// code.
#pragma once

#include "platform/Win.h"
#include "platform/WinTypes.h"
#include "validate/MediaSelection.h"

// One row of the key-code table; the table ends at the first row whose
// controller type is 0.
struct KeyCodeEntry {
  const char* prefix;
  const char* keyCode;
  WORD controllerType;
};
extern const KeyCodeEntry KeyCodeTable[];

// The controller type of the last key code the operator confirmed; 0 before
// the dialog opens. Module-wide.
extern WORD ChosenControllerType;

// Control ids of template 113.
constexpr int kKeyCodeTemplate = 113;
constexpr int kIdKeyCodeMessage = 1023;
constexpr int kIdKeyCodeEdit = 1022;

// Asks for the key code. On success the record holds MediaKind 2, volume
// count 1 and the chosen controller type as its config4 type word; 1.
// Cancelled: result word 0x4000, 0. Failed: result word 0x2000, 0.
int AskKeyCode(HWND owner, MediaSelection* selection, WORD* resultWord);
// Checks the typed code of the dialog against the table and lets the
// operator confirm it: 1 when a valid code was confirmed, else 0.
int CheckKeyCode(HWND dialog);
plat::INT_PTR KeyCodeDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);
