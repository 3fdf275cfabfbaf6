// The request of an archive job or a table conversion, and the state word
// that the worker and the caller share.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/WinTypes.h"

// Archive modes.
constexpr std::int16_t kArchiveExtractAll = 1;
constexpr std::int16_t kArchiveCreate = 4;
constexpr std::int16_t kArchiveTableConversion = 10;

// Zeroed before it is filled; lives on the requesting thread's stack for the
// whole call.
struct CompressRequest {
  HWND dialogWindow;  // set by the progress dialog when it opens
  std::int16_t mode;  // ArchiveMode
  DWORD displayFlag;  // 1: the archiver reports progress to the dialog
  char archivePath[MAX_PATH];
  char directory[MAX_PATH];  // create: names are relative to it; extract: target
};

// 0 running, 1 finished, -1 failed. One aligned 32-bit word, module-wide;
// written by the worker, read by the caller and the dialog.
extern std::atomic<std::int32_t> CompressThreadState;
