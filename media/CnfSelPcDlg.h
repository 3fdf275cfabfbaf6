// The media dialog (template 106) and the drive discovery that fills it: the
// SVP's own drives by drive class and the drives a terminal-services client
// PC has connected.
#pragma once

#include <cstddef>

#include "platform/Win.h"
#include "platform/WinTypes.h"

// A table of drives: an SVP entry holds "X:", a client-PC entry the drive
// letter alone, each zero-terminated.
constexpr std::size_t kDriveListEntries = 256;
constexpr std::size_t kDriveEntrySize = 5;
struct DriveList {
  char entries[kDriveListEntries][kDriveEntrySize];
  WORD count;
};

// The two module-wide lists, refilled at each opening and refresh of the
// media dialog.
extern DriveList ClientPcDriveList;
extern DriveList SvpDriveList;

// Which SVP drives the media dialog offers.
using DriveClass = BYTE;
constexpr DriveClass kDriveClassInstall = 1;     // removable, CD-ROM, fixed
constexpr DriveClass kDriveClassBackup = 2;      // removable, fixed (not the root's C:)
constexpr DriveClass kDriveClassInstallCdr = 3;  // CD-ROM, fixed

// The dialog's only parameter.
struct MediaDialogParam {
  DriveClass driveClass;
  DWORD promptMessageId;
};

// Control ids of template 106.
constexpr int kMediaTemplate = 106;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdDriveList = 1007;
constexpr int kIdMediaMessage = 1009;
constexpr int kIdRefresh = 1024;

// Dialog results.
constexpr int kDialogOk = 1;
constexpr int kDialogCancel = 2;
constexpr int kDialogInvalid = 7;

// SVP drive enumerations; each returns 1.
int GetSvpInstallDisk(DriveList* list);
int GetSvpInstallDiskCDR(DriveList* list);
int GetSvpBackupDisk(DriveList* list);
// The client PC's drives; 0 when the network enumeration fails.
int dsvp_GetConnectedClientPcDrive(DriveList* list);
// Zeroes both lists and fills them for the class.
void RefreshDriveLists(DriveClass driveClass);

int InitDialogSelectedPc(HWND dialog, HWND listControl, const MediaDialogParam* parameter);
plat::INT_PTR SelectMediaDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                    plat::LPARAM lParam);
// Shows the media dialog. 1 with chosenPath (260 characters) = "X:\"; 2 when
// cancelled (result word 0x4000, chosenPath empty); 7 for anything else
// (result word 0x2000, chosenPath untouched).
int SelectMediaDialog(HWND owner, const MediaDialogParam* parameter, char* chosenPath,
                      WORD* resultWord);
