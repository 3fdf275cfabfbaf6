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

// The limit of valid backups kept on the disk.
constexpr WORD kBackupRetentionLimit = 100;
