// The key-code dialog: the typed key code names the controller type of the
// configuration to take from the configuration CD-R.
#include "validate/CnfImpKey.h"

#include "common/CnfFunc.h"
#include "common/DialogFrame.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE("CnfImpKey")

using namespace plat;

const KeyCodeEntry KeyCodeTable[] = {
    {"FC", "KZNRT", 0x8300},
    {"FC", "XBKZNRTQ", 0x8360},
    {nullptr, nullptr, 0},
};

WORD ChosenControllerType = 0;

namespace {

// The instruction text of the dialog (message 4055).
WCHAR KeyCodeText[512];

constexpr char kKeyCodePrefix[] = "FC";
constexpr int kMaxKeyCode = 31;

void InitKeyCodeDialog(HWND dialog) {
  OPEN_DIALOG_FRAME(dialog);
  // Without its text the dialog still takes a key code.
  if (dsvp_CreateMsgStringW(KeyCodeText, 512, 63, 4055, 20198, 1) < 0) {
    KeyCodeText[0] = 0;
    TRACE_TEXT("ERR dsvp_CreateMsgStringW");
  }
}

}  // namespace

int CheckKeyCode(HWND dialog) {
  char typed[kMaxKeyCode + 1] = {};
  GetDlgItemText(dialog, kIdKeyCodeEdit, typed, sizeof typed);
  for (const KeyCodeEntry* row = KeyCodeTable; row->controllerType != 0; ++row) {
    if (CompareIgnoringCase(row->prefix, kKeyCodePrefix) != 0 ||
        CompareIgnoringCase(row->keyCode, typed) != 0)
      continue;
    ChosenControllerType = row->controllerType;
    WORD answer = dsvp_MessageBox(dialog, 63, 4053, 20198, 1, 0x141, typed);
    return answer == IDCANCEL ? 0 : 1;
  }
  dsvp_MessageBox(dialog, 63, 4054, 20198, 3, 0x10);
  return 0;
}

INT_PTR KeyCodeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitKeyCodeDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          if (int result = CheckKeyCode(dialog)) EndDialog(dialog, result);
          return TRUE;
        case IDCANCEL:
          SendMessage(dialog, WM_CLOSE, 0, 0);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DRAWITEM:
      if (wParam != static_cast<WPARAM>(kIdKeyCodeMessage)) return FALSE;
      DrawMessageText(dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), KeyCodeText);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

int AskKeyCode(HWND owner, MediaSelection* selection, WORD* resultWord) {
  ChosenControllerType = 0;
  INT_PTR result = DialogBoxParam(ModuleInstance, MAKEINTRESOURCE(kKeyCodeTemplate), owner,
                                  KeyCodeDialogProc, 0);
  if (result == IDOK) {
    selection->MediaKind = kMediaKeyCode;
    selection->config4.volumeCount = 1;
    selection->config4.Config4TypeWord = ChosenControllerType;
    return 1;
  }
  if (result == IDCANCEL) {
    *resultWord = kWordCancelled;
    return 0;
  }
  *resultWord = kWordFailure;
  TRACE_TEXT("Invalid Error");
  return 0;
}
