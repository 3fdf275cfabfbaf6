// The confirmation dialog: the operator reads the configuration summary and
// confirms it by ticking "Confirmed" before OK.
#include "validate/CnfConfirmSerialNoDlg.h"

#include "common/DialogFrame.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE("CnfConfirmSerialNoDlg")

using namespace plat;

namespace {

// The confirmation text of the running dialog.
WCHAR ConfirmText[1024];

constexpr INT_PTR kDialogFailed = 7;

// False (after its trace lines) when the dialog cannot show its text.
bool InitConfirmDialog(HWND dialog, const ConfirmConfigParam* param) {
  OPEN_DIALOG_FRAME(dialog);
  if (dsvp_CreateMsgStringW(ConfirmText, 1024, 63, param->messageId, 20214, 2) < 0) {
    TRACE_TEXT("ERR dsvp_CreateMsgStringW");
    TRACE_TEXT("ERR InitDialogConfirmSerialNo");
    return false;
  }
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  SetFocus(GetDlgItem(dialog, IDCANCEL));
  return true;
}

void OnConfirmedClicked(HWND dialog) {
  if (IsDlgButtonChecked(dialog, kIdConfirmed) == BST_CHECKED) {
    EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    TRACE_TEXT("ActivateCheckBoxOnConfirmConfInfo");
  } else {
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    TRACE_TEXT("DeactivateCheckBoxOnConfirmConfInfo");
  }
}

}  // namespace

INT_PTR ConfirmConfigInfoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      if (!InitConfirmDialog(dialog, reinterpret_cast<const ConfirmConfigParam*>(lParam))) {
        EndDialog(dialog, kDialogFailed);
        return TRUE;
      }
      return FALSE;  // the focus is on Cancel
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          TRACE_TEXT("ClickOKButtonOnConfirmConfInfo");
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          TRACE_TEXT("ClickCancelButtonOnConfirmConfInfo");
          SendMessage(dialog, WM_CLOSE, 0, 0);
          return TRUE;
        case kIdConfirmed:
          OnConfirmedClicked(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DRAWITEM:
      if (wParam != static_cast<WPARAM>(kIdConfirmMessage)) return FALSE;
      DrawMessageText(dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), ConfirmText);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

int AskConfirmConfigInfo(HWND owner, int messageId, WORD* resultWord) {
  ConfirmConfigParam param = {messageId, resultWord};
  INT_PTR result = DialogBoxParam(ModuleInstance, MAKEINTRESOURCE(kConfirmTemplate), owner,
                                  ConfirmConfigInfoDialogProc, reinterpret_cast<LPARAM>(&param));
  if (result == IDOK) return 1;
  if (result == IDCANCEL) {
    *resultWord = kWordCancelled;
    return 2;
  }
  *resultWord = kWordFailure;
  TRACE_TEXT("Invalid Error");
  return 7;
}
