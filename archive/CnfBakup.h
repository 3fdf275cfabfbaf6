// Timestamped backups of the configuration on the SVP's own disk.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

// Lives on the requesting thread's stack for the whole backup.
struct BackupThreadRecord {
  HWND ownerWindow;
  char commandLine[1024];
};

int Talver_HddBacukupConfig(HWND owner, char* archivePathOut, DWORD display, WORD* resultWord);
int Talver_GetLocalTime(char* stamp);
int Talver_WriteBackupDirFile(const char* stamp);
int Talver_CreateBackupDirectory(const char* stamp);
int Talver_FindBackupDirectory(char* pathOut, WORD* count, WORD which);
int Talver_DeleteDirectory(const char* path);
void Talver_CnfBackupThread(void* record);

// One folder below the backup root as the retention's scan sees it: valid
// when it holds a non-empty svp_conf.tgz (what the retention counts),
// interrupted when the next backup removes it (no such archive, no link, and
// a temporary the archiver left or the marker naming it).
struct BackupFolder {
  char name[MAX_PATH];
  std::uint64_t archiveSize;
  bool valid;
  bool interrupted;
};
// Calls `each` for every folder of the retention's scan of the backup root
// (never "." and "..", never a file), in the order of the search. 1 when the
// whole root was searched, 0 when it cannot be, -1 when the search was cut
// short (the folders before that were handed on).
int Talver_ListBackupDirectories(void (*each)(const BackupFolder& folder, void* context),
                                 void* context);

// The limit of valid backups kept on the disk.
constexpr WORD kBackupRetentionLimit = 100;
