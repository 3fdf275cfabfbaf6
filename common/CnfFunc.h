// File and directory utilities shared by the flows.
#pragma once

#include <cstdint>

#include "platform/Stream.h"
#include "platform/WinTypes.h"

int TalVer_FindFile(const char* path, int sizeTest);
int DeleteFileForced(const char* path);
int CopyFileForced(const char* source, const char* destination, int ignored);
int EnsureDirectory(const char* path, DWORD* error);
int PathExists(const char* path);
int CreateMediaConfigDirs(const char* root, DWORD* error);
void CreateConfigSubdirs(const char* dir);
int IsListedFile(const char* name);
// Compares two names as the system does, ignoring the case of ASCII letters:
// below, at or above zero as a sorts before, with or after b.
int CompareIgnoringCase(const char* a, const char* b);
int ListDirectoryFiles(const char* dir, const char* prefix, plat::Stream* stream);
int WriteBackupListFile();
DWORD GetSerialNumber();
void ResetSerialNumberCache();  // for tests: the cache lives as long as the module
int GetFileDirectory(const char* path, char* out);
void CopyIntDataFiles(const char* root);
int CenterWindow(HWND window);

// The exclusive-file library's guarded stream open and close, in the order
// every caller keeps: begin, open, register ... close, end.
plat::Stream* OpenGuardedStream(const char* path, const char* mode, int share);
void CloseGuardedStream(plat::Stream* stream);
