// The media dialog (106): the SVP's drives of one class in a drop-down list,
// with Refresh; the runner turns its end into a result and a result word.
#include "media/CnfSelPcDlg.h"

#include <cstring>

#include "common/DialogFrame.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE("CnfSelPcDlg")

using namespace plat;

namespace {

// Module-wide state of the dialog: one media dialog exists at a time.
char ChosenPath[MAX_PATH];
int SelectionLabel = 0;
HWND DriveListControl = 0;
const MediaDialogParam* DialogParam = nullptr;
WCHAR MessageText[256];

constexpr int kLabelSvp = 2;
constexpr int kSelectionKindPc = 1;
constexpr int kMessageGroup = 63;
constexpr int kMessageIdentifier = 20198;
constexpr std::size_t kMessageBytes = sizeof MessageText;

void FillDriveList(HWND listControl) {
  SendMessage(listControl, CB_RESETCONTENT, 0, 0);
  for (WORD i = 0; i < SvpDriveList.count; ++i) {
    const char item[2] = {SvpDriveList.entries[i][0], '\0'};
    SendMessage(listControl, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(item));
    SendMessage(listControl, CB_SETITEMDATA, i, i);
  }
  SendMessage(listControl, CB_SETCURSEL, 0, 0);
}

INT_PTR OnInitDialog(HWND dialog, LPARAM lParam) {
  OPEN_DIALOG_FRAME(dialog);
  DriveListControl = GetDlgItem(dialog, kIdDriveList);
  if (!DriveListControl) {
    TRACE_CODE(plat::GetLastError());
    EndDialog(dialog, kDialogInvalid);
    return TRUE;
  }
  DialogParam = reinterpret_cast<const MediaDialogParam*>(lParam);
  if (!InitDialogSelectedPc(dialog, DriveListControl, DialogParam)) {
    TRACE_TEXT("ERR InitDialogSelectedPc");
    EndDialog(dialog, kDialogInvalid);
  }
  return FALSE;  // the focus is set
}

void OnOk(HWND dialog) {
  LRESULT selected = SendMessage(DriveListControl, CB_GETCURSEL, 0, 0);
  LRESULT index = SendMessage(DriveListControl, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0);
  if (SvpDriveList.count == 0) return;
  // An item that is not one of the list's (none selected) chooses nothing.
  if (index < 0 || index >= SvpDriveList.count) return;
  if (!FORMAT_PATH(ChosenPath, "%s\\", SvpDriveList.entries[index])) return;
  SelectionLabel = kLabelSvp;
  EndDialog(dialog, kDialogOk);
}

}  // namespace

int InitDialogSelectedPc(HWND dialog, HWND listControl, const MediaDialogParam* parameter) {
  if (!parameter) return 0;
  RefreshDriveLists(parameter->driveClass);
  EnableWindow(listControl, TRUE);
  EnableWindow(GetDlgItem(dialog, kIdOk), TRUE);
  if (ClientPcDriveList.count > 0 || SvpDriveList.count > 0) {
    FillDriveList(listControl);
    SetFocus(GetDlgItem(dialog, kIdOk));
  } else {
    TRACE_TEXT("There is no drive.");
    EnableWindow(listControl, FALSE);
    EnableWindow(GetDlgItem(dialog, kIdOk), FALSE);
    SetFocus(GetDlgItem(dialog, kIdCancel));
  }
  if (dsvp_CreateMsgStringW(MessageText, static_cast<int>(kMessageBytes), kMessageGroup,
                            static_cast<int>(parameter->promptMessageId), kMessageIdentifier,
                            1) < 0) {
    TRACE_TEXT("ERR dsvp_CreateMsgStringW");
    return 0;
  }
  return 1;
}

INT_PTR SelectMediaDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(dialog, lParam);
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdOk:
          OnOk(dialog);
          return TRUE;
        case kIdCancel:
          SendMessage(dialog, WM_CLOSE, 0, 0);
          return TRUE;
        case kIdRefresh:
          if (!InitDialogSelectedPc(dialog, DriveListControl, DialogParam)) {
            TRACE_TEXT("ERR InitDialogSelectedPc");
            EndDialog(dialog, kDialogInvalid);
          }
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CLOSE:
      EndDialog(dialog, kDialogCancel);
      return TRUE;
    case WM_DRAWITEM:
      DrawMessageText(dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), MessageText);
      return TRUE;
    default:
      return FALSE;
  }
}

int SelectMediaDialog(HWND owner, const MediaDialogParam* parameter, char* chosenPath,
                      WORD* resultWord) {
  ChosenPath[0] = '\0';
  SelectionLabel = 0;
  std::memset(MessageText, 0, sizeof MessageText);
  INT_PTR ended = DialogBoxParam(ModuleInstance, MAKEINTRESOURCE(kMediaTemplate), owner,
                                 SelectMediaDialogProc, reinterpret_cast<LPARAM>(parameter));
  int result = kDialogInvalid;
  if (ended == kDialogOk || ended == kDialogCancel) {
    result = static_cast<int>(ended);
    CopyBounded(chosenPath, MAX_PATH, ChosenPath);
    if (result == kDialogCancel) *resultWord = kWordCancelled;
  } else {
    *resultWord = kWordFailure;
    TRACE_TEXT("Invalid Error");
  }
  LogSelection(result, SelectionLabel, kSelectionKindPc);
  return result;
}
