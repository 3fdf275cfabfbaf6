// The backup file dialog: a typed path is taken only when it names an
// existing file whose extension is "gpfm".
#include "backupfile/CnfSelFileDlg.h"

#include <cstring>

#include "common/DialogFrame.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE("CnfSelFileDlg")

using namespace plat;

namespace {

// The output path of the running dialog and its instruction text.
char* SelectedFilePath = nullptr;
WCHAR SelectFileText[512];

constexpr INT_PTR kDialogFailed = 7;
constexpr char kBackupFileExtension[] = "gpfm";

bool InitSelectFileDialog(HWND dialog, const SelectFileParam* param) {
  OPEN_DIALOG_FRAME(dialog);
  if (dsvp_CreateMsgStringW(SelectFileText, 512, 63, param->messageId, 20214, 1) < 0) {
    TRACE_TEXT("ERR dsvp_CreateMsgStringW");
    TRACE_TEXT("ERR InitDialogSelectFile");
    return false;
  }
  SetFocus(GetDlgItem(dialog, IDOK));
  return true;
}

bool IsExistingFile(const char* path) {
  DWORD attributes = plat::GetFileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Reads the typed path into the caller's buffer; true when it is taken.
bool AcceptTypedPath(HWND dialog) {
  GetDlgItemText(dialog, kIdSelectFilePath, SelectedFilePath, MAX_PATH);
  if (!IsExistingFile(SelectedFilePath)) {
    ShowMessage(dialog, 63, 4703, 20214, 2, 0);
    TRACE_TEXT("ERR Invalid FilePath");
    return false;
  }
  if (!HasExtension(SelectedFilePath, kBackupFileExtension)) {
    ShowMessage(dialog, 63, 4702, 20214, 2, 0);
    TRACE_TEXT("ERR Invalid FileExtension");
    return false;
  }
  return true;
}

}  // namespace

bool HasExtension(const char* path, const char* extension) {
  if (!path || !extension) return false;
  const char* dot = std::strrchr(path, '.');
  if (!dot || dot[1] == '\0') return false;
  return std::strcmp(dot + 1, extension) == 0;
}

INT_PTR SelectFileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      if (!InitSelectFileDialog(dialog, reinterpret_cast<const SelectFileParam*>(lParam)))
        EndDialog(dialog, kDialogFailed);
      return FALSE;  // the focus is on OK
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          if (AcceptTypedPath(dialog)) EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DRAWITEM:
      if (wParam != static_cast<WPARAM>(kIdSelectFileMessage)) return FALSE;
      DrawMessageText(dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), SelectFileText);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

int SelectBackupFile(HWND parentWindow, int messageId, char* path, WORD* resultWord) {
  SelectedFilePath = path;
  SelectFileParam param = {messageId, path, resultWord};
  INT_PTR result =
      DialogBoxParam(ModuleInstance, MAKEINTRESOURCE(kSelectFileTemplate), parentWindow,
                     SelectFileDialogProc, reinterpret_cast<LPARAM>(&param));
  if (result == IDOK) return 1;
  if (result == IDCANCEL) {
    *resultWord = kWordCancelled;
    return 2;
  }
  *resultWord = kWordFailure;
  TRACE_TEXT("Invalid Error");
  return 7;
}
