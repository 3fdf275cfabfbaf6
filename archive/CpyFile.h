// Copy of a file (an archive onto a medium) under the progress dialog.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Win.h"
#include "platform/WinTypes.h"

// Zeroed before it is filled; lives on the caller's stack for the whole copy.
struct CopyFileRequest {
  char sourcePath[MAX_PATH];
  char destinationPath[MAX_PATH];
  DWORD size;         // the source's size (low 32 bits), for the progress steps
  HWND dialogWindow;  // set when the dialog opens
  // The copy's outcome: 0 not started, 1 running, 2 every byte written, -1 failed.
  std::atomic<std::int32_t> outcome;
  DWORD error;  // the system error of a failed copy
  // Set by the caller: the whole copy stays under its temporary name, which
  // the copy stores in temporaryPath, instead of replacing the destination.
  bool keepTemporary;
  char temporaryPath[MAX_PATH];
};

// 1 when every byte of the source reached the destination, else 0 (with a
// trace line). The copy is written beside the destination under a temporary
// name, flushed, and renamed over it only when whole: a failed copy leaves
// the old destination as it was and no temporary behind.
int Talver_CopyFileDialog(HWND owner, const char* sourcePath, const char* destinationPath);
// The same, but the whole, flushed copy stays under its temporary name
// (beside the destination, into temporaryOut, MAX_PATH characters) for the
// caller to rename with CommitCopy when the rest of its work is whole.
int Talver_CopyFileDialogToTemporary(HWND owner, const char* sourcePath,
                                     const char* destinationPath, char* temporaryOut);
// Renames a whole temporary over its destination and flushes the folder;
// 0 with the last error set (the temporary is then removed).
int CommitCopy(const char* temporary, const char* destination);
plat::INT_PTR CopyFileDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam);
void Talver_CopyFileThread(void* request);

// The copy itself (source, destination, dialog for the step messages: 0 for
// none): 1 when every byte was written; *error gets the system error.
int CopyFileInChunks(const char* source, const char* destination, HWND dialog, DWORD* error);
// The copy into a new temporary beside the destination, flushed and closed;
// its name in *temporary. On failure nothing stays.
int CopyFileToTemporary(const char* source, const char* destination, HWND dialog,
                        std::string* temporary, DWORD* error);
