// The backup list dialog (112): the backups of a backup medium, chosen
// automatically by SVP state and serial number where that is safe, else by
// the operator.
#pragma once

#include "platform/Win.h"
#include "platform/WinTypes.h"

// The 16-bit mode handed to the dialog (the media selection's mode).
using BackupListMode = WORD;

// On entry path (260 characters) holds the medium's root ending in "\"; on
// success it holds the chosen backup directory ending in "\". 1 on success,
// else 0 with the result word 0x4000 (cancelled), 0x400B (no backup for this
// SVP, or none on the medium) or 0x2000 (dialog failure).
int SelectBackupConfig(HWND parentWindow, BackupListMode mode, char* path, WORD* resultWord);

// True when name (below root\PLAXON\CONFIG\) is a backup directory: six
// decimal digits beginning with 4, holding svp_conf.tgz.
bool IsBackupSerialDir(const char* root, const char* name);
plat::INT_PTR BackupListDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam);
