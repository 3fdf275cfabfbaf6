// Copy of a file (an archive onto a medium) under the progress dialog.
#pragma once

#include <atomic>
#include <cstdint>

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
};

// 1 when every byte of the source reached the destination, else 0 (with a
// trace line); a failed copy leaves no destination behind.
int Talver_CopyFileDialog(HWND owner, const char* sourcePath, const char* destinationPath);
plat::INT_PTR CopyFileDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam);
void Talver_CopyFileThread(void* request);

// The copy itself (source, destination, dialog for the step messages: 0 for
// none): 1 when every byte was written; *error gets the system error.
int CopyFileInChunks(const char* source, const char* destination, HWND dialog, DWORD* error);
