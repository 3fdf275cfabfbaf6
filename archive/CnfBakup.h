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

// One folder below the backup root as the scan sees it: valid when it holds
// a non-empty svp_conf.tgz (what the retention counts), interrupted when it
// has no such archive but a temporary the archiver left.
struct BackupFolder {
  char name[MAX_PATH];
  std::uint64_t archiveSize;
  bool valid;
  bool interrupted;
};
// Calls `each` for every folder below the backup root (never "." and "..",
// never a file or a temporary), in the order of the search. 0 when the root
// cannot be searched.
int Talver_ListBackupDirectories(void (*each)(const BackupFolder& folder, void* context),
                                 void* context);

// The limit of valid backups kept on the disk.
constexpr WORD kBackupRetentionLimit = 100;
