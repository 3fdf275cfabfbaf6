// The table conversion: each compressed table file (one raw LZ4 block) of a
// directory becomes one table file, on a worker thread under the progress
// dialog.
#pragma once

#include <cstdint>

#include "platform/Win.h"
#include "platform/WinTypes.h"

// What DecompressLz4File reports besides its result.
enum DecompDetailCode : WORD {
  kDecompConverted = 0,
  kDecompNoBuffer = 1,         // a working buffer cannot be obtained
  kDecompNoInputPath = 2,      // input path missing or empty
  kDecompNoOutputPath = 3,     // output path missing or empty
  kDecompNoInputSize = 4,      // the input file's size cannot be determined
  kDecompInputUnreadable = 5,  // the input file cannot be read whole (or is too large)
  kDecompMalformed = 6,        // malformed block, or more than 3,500,000 bytes decompressed
  kDecompWriteFailed = 7,      // the table file cannot be written
};

// Working buffer sizes of one conversion.
constexpr DWORD kLz4InputBufferSize = 700000;
constexpr DWORD kLz4OutputBufferSize = 3500000;
// The progress message of one converted file (WM_USER + 4).
constexpr UINT kTableConvertedMessage = WM_USER + 4;

// Decompresses one table's raw LZ4 block of size bytes (at most
// kLz4InputBufferSize) into output (kLz4OutputBufferSize bytes): the table's
// length, or -1 for a malformed or too long block.
int DecompressTableBlock(const char* input, DWORD size, char* output);

// Decompresses the raw LZ4 block in inputPath into the new file outputPath.
// 1 with detail 0, or 0 with detail 1..7.
int DecompressLz4File(const char* inputPath, const char* outputPath, WORD* detail);

// Converts every file of sourceDir into destinationDir (the name without its
// extension), posting one progress message per file and WM_CLOSE at the end
// to dialogWindow. mode must be 10. 1 when every file was converted.
int CompressCommand2(std::int16_t mode, DWORD displayFlag, const char* sourceDir,
                     const char* destinationDir, HWND dialogWindow);

// Worker procedure: the argument is the CompressRequest of the dialog, with
// the LZ4 directory and the tables directory in its two path fields.
void Talver_CompressThread2(void* request);
