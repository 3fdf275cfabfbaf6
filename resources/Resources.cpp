// Dialog templates 101, 106, 112, 113, 114, 115, 117 and the string table.
#include "Resources.h"

#include <cstring>
#include <iterator>

#include "platform/Win.h"

using namespace plat;

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kModal = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;

// 101: the progress dialog of every archive job, conversion and copy.
const DialogControlTemplate kWait[] = {
    {"SysAnimate32", "", 1001, kChild | ACS_CENTER | ACS_TRANSPARENT | ACS_AUTOPLAY, 6, 7, 161, 41},
    {"msctls_progress32", "", 1002, kChild | PBS_SMOOTH | WS_BORDER, 6, 55, 161, 16},
    {"Static", "", 1003, kChild | SS_LEFT, 6, 73, 161, 31},
};

// 106: the media dialog.
const DialogControlTemplate kSelectMedia[] = {
    {"Button", "&OK", 1, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 64, 140, 50, 14},
    {"Button", "&Cancel", 2, kChild | WS_TABSTOP | BS_PUSHBUTTON, 120, 140, 50, 14},
    {"Button", "Select Media", IDC_STATIC, kChild | BS_GROUPBOX, 7, 77, 221, 58},
    {"ComboBox", "", 1007, kChild | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL, 56, 113, 115, 83},
    {"Static", "", 1009, kChild | SS_OWNERDRAW, 7, 7, 221, 62},
    {"Static", "Disk : ", IDC_STATIC, kChild | SS_RIGHT, 23, 115, 30, 13},
    {"Button", "&Refresh", 1024, kChild | WS_TABSTOP | BS_PUSHBUTTON, 174, 113, 48, 12},
};

// 112: the backup list.
const DialogControlTemplate kBackupList[] = {
    {"Button", "&OK", 1, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 45, 108, 50, 14},
    {"Button", "&Cancel", 2, kChild | WS_TABSTOP | BS_PUSHBUTTON, 100, 108, 50, 14},
    {"SysListView32", "", 1019, kChild | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | WS_BORDER, 7, 7,
     181, 89},
};

// 113: the key code.
const DialogControlTemplate kKeyCode[] = {
    {"Static", "", 1023, kChild | SS_OWNERDRAW, 7, 7, 216, 50},
    {"Edit", "", 1022, kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 60, 64, 110, 14},
    {"Edit", "", 1021, WS_CHILD | WS_DISABLED | WS_BORDER | ES_AUTOHSCROLL, 60, 64, 110, 14},
    {"Button", "&OK", 1, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 60, 91, 50, 14},
    {"Button", "&Cancel", 2, kChild | WS_TABSTOP | BS_PUSHBUTTON, 120, 91, 50, 14},
};

// 114: the setup source (both choices start a group of their own).
const DialogControlTemplate kSetupConfig[] = {
    {"Button", "&OK", 1, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 64, 140, 50, 14},
    {"Button", "Cancel[&X]", 2, kChild | WS_TABSTOP | BS_PUSHBUTTON, 120, 140, 50, 14},
    {"Button", "Config Data", IDC_STATIC, kChild | BS_GROUPBOX, 7, 74, 221, 58},
    {"Button", "&Backup Config Media", 1025, kChild | WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON,
     23, 107, 124, 13},
    {"Button", "&CD-R", 1026, kChild | WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 23, 90, 124, 13},
    {"Static", "", 1027, kChild | SS_OWNERDRAW, 7, 7, 221, 62},
};

// 115: the backup file.
const DialogControlTemplate kSelectFile[] = {
    {"Button", "OK", 1, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 203, 111, 50, 14},
    {"Button", "Cancel", 2, kChild | WS_TABSTOP | BS_PUSHBUTTON, 263, 111, 50, 14},
    {"Static", "Config File : ", IDC_STATIC, kChild | SS_LEFT, 19, 91, 41, 8},
    {"Edit", "", 1029, kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 66, 88, 236, 14},
    {"Static", "", 1030, kChild | SS_OWNERDRAW, 7, 7, 306, 73},
};

// 117: the confirmation.
const DialogControlTemplate kConfirm[] = {
    {"Static", "", 1039, kChild | SS_OWNERDRAW, 7, 7, 315, 110},
    {"Button", "Confirmed", 1038, kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 7, 122, 100, 10},
    {"Button", "OK", 1, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 213, 141, 50, 14},
    {"Button", "Cancel", 2, kChild | WS_TABSTOP | BS_PUSHBUTTON, 272, 141, 50, 14},
};

#define CONTROLS(table) table, static_cast<int>(std::size(table))

const DialogTemplate kTemplates[] = {
    {101, "TALVER Wait...", DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION,
     "Microsoft Sans Serif", 8, 174, 111, CONTROLS(kWait)},
    {106, "Select Media", kModal, "Microsoft Sans Serif", 8, 235, 161, CONTROLS(kSelectMedia)},
    {112, "Backup Config List", kModal, "MS Sans Serif", 8, 195, 129, CONTROLS(kBackupList)},
    {113, "Configuration Key Code", kModal, "MS Sans Serif", 8, 230, 112, CONTROLS(kKeyCode)},
    {114, "Select Setup Config", kModal, "Microsoft Sans Serif", 8, 235, 161,
     CONTROLS(kSetupConfig)},
    {115, "Select Configuration Backup File", kModal | DS_FIXEDSYS, "MS Shell Dlg", 8, 320, 132,
     CONTROLS(kSelectFile)},
    {117, "Confirm Configuration Information", kModal | DS_FIXEDSYS, "MS Shell Dlg", 8, 329, 162,
     CONTROLS(kConfirm)},
};

struct StringEntry {
  unsigned id;
  const char* text;
};

const StringEntry kStrings[] = {
    {1, "Configuration Update"},
    {2, "All Configuration Files"},
    {3, "Assist Configuration Files"},
    {4, "Create Configuration Backup"},
    {5, "Restore Configuration"},
    {6, "Copy Config File"},
    {7, "Update Config"},
    {8, "All Config"},
    {9, "Assist Config"},
    {10, "Backup Config"},
    {11, "Restore Config"},
    {12, "Normal end"},
    {13, "Error"},
    {14, "NEW Installation"},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  for (const auto& t : kTemplates)
    if (t.id == id) return &t;
  return nullptr;
}

const char* FindResourceString(unsigned id) {
  for (const auto& s : kStrings)
    if (s.id == id) return s.text;
  return nullptr;
}

int LoadString(void* /*instance*/, unsigned id, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  const char* text = FindResourceString(id);
  if (!text) {
    buffer[0] = '\0';
    return 0;
  }
  std::size_t n = std::strlen(text);
  if (n > static_cast<std::size_t>(size - 1)) n = static_cast<std::size_t>(size - 1);
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

void RegisterModuleResources() { plat::RegisterDialogTemplates(&FindDialogTemplate); }

namespace {
// Whoever links the resources has their templates registered before main.
[[maybe_unused]] const bool kRegistered = (RegisterModuleResources(), true);
}  // namespace
