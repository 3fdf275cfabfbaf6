// The preparation of backup media and the writing of the configuration
// archive onto them: one medium when the archive fits, else one piece of
// 1,400,000 bytes per medium, each with its config4 record.
#pragma once

#include "archive/FdCopy.h"
#include "platform/Win.h"
#include "platform/WinTypes.h"
#include "validate/CnfProcess2.h"

// The archive to write; path set by the caller, the rest by GetArchiveFileInfo.
struct ArchiveFileInfo {
  char path[MAX_PATH];
  DWORD sizeLow;   // low part of the file size
  DWORD timeHigh;  // the file's last-write time, high half
  DWORD timeLow;   // and low half
};

// The largest archive a floppy takes whole, and the size of each piece.
constexpr DWORD kFloppyArchiveLimit = 1400000;

// 1 when the medium holds a configuration medium's config4 (volume count
// below 0xFF, type below 0xFFFF). A medium without config4: 0 with the
// result word 0x4001; otherwise 0 with the result word unchanged.
int CheckConfigFd(BackupTarget* target, WORD* resultWord);
// 1 when a probe file can be created at the medium's root; 0 with 0x2005
// (write protected) or 0x2000.
int CheckMediaWritable(BackupTarget* target, WORD* resultWord);
// Asks for a medium (the drive dialog for volume 0, the next-medium message
// otherwise) until one is usable: free space known, a configuration or
// blank medium, overwriting agreed to, writable. 1 with archivePath set; 0
// when cancelled (0x4000) or the choice failed.
int PrepareBackupMedia(HWND owner, BackupTarget* target, BYTE volumeNumber, WORD* resultWord);

// Size and last-write time of info->path; 0 when the file is missing.
int GetArchiveFileInfo(ArchiveFileInfo* info);
// Writes the record as "config4" in the directory of path.
int WriteConfig4Beside(const char* path, const Config4Record* record);
// Writes the archive (and, for a split archive, its further pieces onto
// further media) with the config4 records. Shows its failure's message.
int WriteBackupVolumes(HWND owner, ArchiveFileInfo* info, BackupTarget* target, WORD* resultWord);
