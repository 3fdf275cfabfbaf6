// The "Select Configuration Backup File" dialog (115): the operator types
// the path of a ".gpfm" backup file.
#pragma once

#include "platform/Win.h"
#include "platform/WinTypes.h"

// Control ids of template 115.
constexpr int kSelectFileTemplate = 115;
constexpr int kIdSelectFilePath = 1029;
constexpr int kIdSelectFileMessage = 1030;

// The dialog's creation parameter.
struct SelectFileParam {
  int messageId;  // the instruction text shown
  char* path;     // the caller's 260-character buffer
  WORD* resultWord;
};

// path receives the typed path of an existing ".gpfm" file. 1 (path set),
// 2 (cancelled; result word 0x4000) or 7 (dialog failure; result word 0x2000).
int SelectBackupFile(HWND parentWindow, int messageId, char* path, WORD* resultWord);
// True when the text after the last "." of path is exactly extension
// (case-sensitive); false when either is missing, path has no "." or ends
// with one.
bool HasExtension(const char* path, const char* extension);
plat::INT_PTR SelectFileDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam);
