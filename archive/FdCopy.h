// The target medium of a backup and its free space.
#pragma once

#include "platform/WinTypes.h"

// The record of a backup target medium, owned by the backup flow and zeroed
// before use.
struct BackupTarget {
  char drivePath[MAX_PATH];    // root of the chosen drive, ending in a backslash
  char archivePath[MAX_PATH];  // path of the archive on the medium
  DWORD freeBytes;             // free bytes plus an archive already there
  BYTE splitVolumes;           // 1: the archive is written in pieces
  BYTE isFloppy;               // 1: a 1.44 MB medium
};

// Total size of a 1.44 MB floppy disk.
constexpr DWORD kFloppyTotalBytes = 0x163E00;

// Fills freeBytes (the medium's free bytes plus the size of this
// controller's archive already on it, which will be replaced) and, for a
// 1.44 MB medium, isFloppy. Nonzero on success; on failure the result word
// is 0x2001 (not ready) or 0x2012.
int Talver_GetMediaFreeSpace(BackupTarget* target, WORD* resultWord);
