// Archiver stand-in (first cut: the calls exist and fail cleanly).
#include "Tar32.h"

namespace {
bool gCursorMode = false;
}

int Tar(HWND, const char*, char* output, DWORD outputSize) {
  if (output && outputSize) output[0] = '\0';
  return 0x8000;
}
HARC TarOpenArchive(HWND, const char*, DWORD) { return nullptr; }
int TarCloseArchive(HARC) { return 0; }
int TarFindFirst(HARC, const char*, void*) { return -1; }
int TarFindNext(HARC, void*) { return -1; }
int TarGetFileCount(const char*) { return -1; }
BOOL TarSetOwnerWindow(HWND) { return FALSE; }
BOOL TarClearOwnerWindow() { return TRUE; }
BOOL TarSetCursorMode(BOOL mode) {
  gCursorMode = mode != 0;
  return TRUE;
}
