// The archiver library's calls, as the system makes them (stand-in on
// libarchive; see docs/archiver.md).
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

using HARC = void*;

// Runs one command line ("--display-dialog=N cvfZ ARCHIVE DIR @LIST", ...).
// 0 on success, otherwise a failure code (docs/archiver.md).
int Tar(HWND window, const char* commandLine, char* output, DWORD outputSize);
HARC TarOpenArchive(HWND window, const char* archivePath, DWORD mode);
int TarCloseArchive(HARC archive);
// Fill the published 558-byte entry record; 0 while an entry was found.
int TarFindFirst(HARC archive, const char* pattern, void* entry558);
int TarFindNext(HARC archive, void* entry558);
// Number of entries of an archive, -1 on failure.
int TarGetFileCount(const char* archivePath);
BOOL TarSetOwnerWindow(HWND window);
BOOL TarClearOwnerWindow();
BOOL TarSetCursorMode(BOOL mode);
