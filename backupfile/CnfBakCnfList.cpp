// The backup list dialog: the per-serial-number backups of a backup medium.
// It chooses by itself when one backup is there, or when this SVP's serial
// number names one; otherwise the operator chooses.
#include "backupfile/CnfBakCnfList.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "common/CnfFunc.h"
#include "common/DialogFrame.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/SerialNumber.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "platform/Win.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE("CnfBakCnfList")

using namespace plat;

namespace {

// The output path of the running dialog: the medium's root on entry.
char* BackupListPath = nullptr;

constexpr int kBackupListTemplate = 112;
constexpr int kIdBackupList = 1019;
constexpr INT_PTR kNoBackup = 7;
constexpr INT_PTR kPathFailed = 0;        // ends as a dialog failure
constexpr INT_PTR kOperatorChooses = -2;  // the dialog stays open
constexpr WORD kSvpStateOperatorChooses = 2;
constexpr char kSerialColumn[] = "Serial No";

HWND BackupList(HWND dialog) { return GetDlgItem(dialog, kIdBackupList); }

void SetUpBackupList(HWND list) {
  LVCOLUMN column{};
  column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.pszText = const_cast<char*>(kSerialColumn);
  ListView_InsertColumn(list, 0, &column);
  ListView_SetColumnWidth(list, 0, LVSCW_AUTOSIZE_USEHEADER);
  ListView_SetExtendedListViewStyle(list, ListView_GetExtendedListViewStyle(list) |
                                              LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES |
                                              LVS_EX_HEADERDRAGDROP);
}

void AddBackupRow(HWND list, const char* name) {
  LVITEM item{};
  item.mask = LVIF_TEXT;
  item.iItem = ListView_GetItemCount(list);
  item.pszText = const_cast<char*>(name);
  ListView_InsertItem(list, &item);
}

// Adds a row for every backup directory below root\PLAXON\CONFIG\, in the
// order the search finds them.
void FillBackupList(HWND list, const char* root) {
  char pattern[MAX_PATH];
  if (!FORMAT_PATH(pattern, "%s\\PLAXON\\CONFIG\\*", root)) return;
  WIN32_FIND_DATA data;
  HANDLE search = plat::FindFirstFile(pattern, &data);
  if (!search) return;
  // The first entry, the directory's own ".", is passed over.
  while (plat::FindNextFile(search, &data)) {
    if (std::strcmp(data.cFileName, "..") == 0) continue;
    if (IsBackupSerialDir(root, data.cFileName)) AddBackupRow(list, data.cFileName);
  }
  plat::FindClose(search);
}

// path := root + "plaxon\config\" + name + "\"; false when it does not fit.
bool SetBackupPath(const char* name) {
  char chosen[MAX_PATH];
  if (!FORMAT_PATH(chosen, "%splaxon\\config\\%s\\", BackupListPath, name)) {
    TRACE_TEXT("ERR SelectBackupConfig(path)");
    return false;
  }
  return CopyBounded(BackupListPath, MAX_PATH, chosen);
}

INT_PTR ChooseRow(HWND list, int row) {
  char name[MAX_PATH] = {};
  ListView_GetItemText(list, row, 0, name, sizeof name);
  return SetBackupPath(name) ? IDOK : kPathFailed;
}

bool OperatorChooses(BackupListMode mode) {
  WORD state = 0;
  DWORD other = 0;
  dsvp_ApiGetSvpState(&state, &other);
  return (mode == 1 && state == kSvpStateOperatorChooses) || mode == 5 || mode == 6 || mode == 8 ||
         mode == 9;
}

// Several backups: the one of this SVP's serial number, with the path set to
// its directory whether or not it is there.
INT_PTR ChooseBySerialNumber(HWND list, DWORD serial) {
  char serialText[16];
  if (!FORMAT_PATH(serialText, "%.6d", static_cast<int>(serial)) || !SetBackupPath(serialText))
    return kPathFailed;
  const int rows = ListView_GetItemCount(list);
  for (int row = 0; row < rows; ++row) {
    char name[MAX_PATH] = {};
    ListView_GetItemText(list, row, 0, name, sizeof name);
    if (std::strtoul(name, nullptr, 10) == serial) return IDOK;
  }
  return kNoBackup;
}

// The choice made while the dialog opens: the dialog's result, or
// kOperatorChooses.
INT_PTR ChooseAutomatically(HWND list, BackupListMode mode) {
  const int rows = ListView_GetItemCount(list);
  if (rows == 1) return ChooseRow(list, 0);
  if (rows == 0) return kNoBackup;
  if (OperatorChooses(mode)) return kOperatorChooses;
  const DWORD serial = GetSerialNumber();
  // A serial number that was never set names no backup: the operator picks
  // one (the medium's root is no backup directory to hand back).
  if (serial == DefaultSerialNumber) return kOperatorChooses;
  return ChooseBySerialNumber(list, serial);
}

void InitBackupListDialog(HWND dialog, BackupListMode mode) {
  OPEN_DIALOG_FRAME(dialog);
  HWND list = BackupList(dialog);
  SetUpBackupList(list);
  FillBackupList(list, BackupListPath);
  EnableWindow(GetDlgItem(dialog, IDOK), ListView_GetSelectedCount(list) > 0);
  INT_PTR choice = ChooseAutomatically(list, mode);
  if (choice != kOperatorChooses) EndDialog(dialog, choice);
}

void OnBackupListOk(HWND dialog) {
  HWND list = BackupList(dialog);
  int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  if (row < 0) return;
  EndDialog(dialog, ChooseRow(list, row));
}

}  // namespace

bool IsBackupSerialDir(const char* root, const char* name) {
  if (std::strlen(name) != 6 || name[0] != '4') return false;
  for (const char* c = name; *c; ++c)
    if (!std::isdigit(static_cast<unsigned char>(*c))) return false;
  char archive[MAX_PATH];
  if (!FORMAT_PATH(archive, "%s\\PLAXON\\CONFIG\\%s\\%s", root, name, "svp_conf.tgz")) return false;
  DWORD attributes = plat::GetFileAttributes(archive);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

INT_PTR BackupListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitBackupListDialog(dialog, static_cast<BackupListMode>(lParam));
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom != static_cast<std::uintptr_t>(kIdBackupList) ||
          header->code != LVN_ITEMCHANGED)
        return FALSE;
      EnableWindow(GetDlgItem(dialog, IDOK), ListView_GetSelectedCount(BackupList(dialog)) > 0);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          OnBackupListOk(dialog);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CLOSE:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

int SelectBackupConfig(HWND parentWindow, BackupListMode mode, char* path, WORD* resultWord) {
  BackupListPath = path;
  INT_PTR result = DialogBoxParam(ModuleInstance, MAKEINTRESOURCE(kBackupListTemplate),
                                  parentWindow, BackupListDialogProc, static_cast<LPARAM>(mode));
  if (result == IDOK) return 1;
  if (result == IDCANCEL) {
    *resultWord = kWordCancelled;
    return 0;
  }
  if (result == kNoBackup) {
    *resultWord = kWordWrongMedium;
    return 0;
  }
  *resultWord = kWordFailure;
  TRACE_TEXT("Invalid Error");
  return 0;
}
