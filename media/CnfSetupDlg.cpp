// The setup-configuration dialog (114): CD-R or backup configuration medium.
#include "media/CnfSetupDlg.h"

#include <cstring>

#include "common/CnfFunc.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "media/CnfSelPcDlg.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE("CnfSetupDlg")

using namespace plat;

namespace {

// Module-wide state of the dialog.
BYTE SetupSourceChoice = kSetupSourceCdr;
WCHAR SetupMessageText[256];

constexpr int kMessageGroup = 63;
constexpr int kMessageIdentifier = 20198;
constexpr int kSelectionKindSetup = 114;

void MarkChoice(HWND dialog, bool cdr) {
  CheckDlgButton(dialog, kIdCdrChoice, cdr ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kIdBackupMediumChoice, cdr ? BST_UNCHECKED : BST_CHECKED);
}

}  // namespace

int InitDialogSelRestoreData(HWND dialog, DWORD promptMessageId) {
  MarkChoice(dialog, true);
  if (dsvp_CreateMsgStringW(SetupMessageText, static_cast<int>(sizeof SetupMessageText),
                            kMessageGroup, static_cast<int>(promptMessageId), kMessageIdentifier,
                            1) < 0) {
    TRACE_TEXT("ERR dsvp_CreateMsgStringW");
    return 0;
  }
  SetFocus(GetDlgItem(dialog, kIdOk));
  return 1;
}

INT_PTR SelectSetupConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog);
      if (!InitDialogSelRestoreData(dialog, static_cast<DWORD>(lParam))) {
        TRACE_TEXT("ERR InitDialogSelRestoreData");
        EndDialog(dialog, kDialogInvalid);
      }
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdCdrChoice:
          MarkChoice(dialog, true);
          return TRUE;
        case kIdBackupMediumChoice:
          MarkChoice(dialog, false);
          return TRUE;
        case kIdOk:
          SetupSourceChoice = IsDlgButtonChecked(dialog, kIdCdrChoice) == BST_CHECKED
                                  ? kSetupSourceCdr
                                  : kSetupSourceBackupMedium;
          EndDialog(dialog, kDialogOk);
          return TRUE;
        case kIdCancel:
          SendMessage(dialog, WM_CLOSE, 0, 0);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CLOSE:
      EndDialog(dialog, kDialogCancel);
      return TRUE;
    case WM_DRAWITEM:
      DrawMessageText(dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), SetupMessageText);
      return TRUE;
    default:
      return FALSE;
  }
}

int SelectSetupConfigDialog(HWND owner, DWORD promptMessageId, BYTE* choice, WORD* resultWord) {
  SetupSourceChoice = kSetupSourceCdr;
  std::memset(SetupMessageText, 0, sizeof SetupMessageText);
  INT_PTR ended = DialogBoxParam(ModuleInstance, MAKEINTRESOURCE(kSetupTemplate), owner,
                                 SelectSetupConfigDialogProc, static_cast<LPARAM>(promptMessageId));
  int result = kDialogInvalid;
  if (ended == kDialogOk || ended == kDialogCancel) {
    result = static_cast<int>(ended);
    if (result == kDialogCancel) {
      SetupSourceChoice = kSetupSourceCdr;
      *resultWord = kWordCancelled;
    }
  } else {
    SetupSourceChoice = kSetupSourceCdr;
    *resultWord = kWordFailure;
    TRACE_TEXT("Invalid Error");
  }
  *choice = SetupSourceChoice;
  LogSelection(result, SetupSourceChoice, kSelectionKindSetup);
  return result;
}
