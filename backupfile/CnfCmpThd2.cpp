// The table conversion: one raw LZ4 block per compressed table file into one
// table file, for every file of a directory, on the conversion worker.
#include "CnfCmpThd2.h"

#include <lz4.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "CnfSimpleCnfReaderWriter.h"
#include "common/CompressRequest.h"
#include "common/Format.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "platform/ScopedFind.h"
#include "platform/Win.h"

TALVER_SOURCE("CnfCmpThd2")

namespace {

// The worker's only contact with the progress dialog: a posted message with
// both parameters 0.
void PostToDialog(HWND dialogWindow, UINT message) {
  plat::PostMessage(dialogWindow, message, 0, 0);
}

// The table file's name: the entry's name up to its last ".", or the whole
// name when it has none.
void StripExtension(const char* name, char* stem, std::size_t size) {
  const char* dot = std::strrchr(name, '.');
  std::size_t n = dot ? static_cast<std::size_t>(dot - name) : std::strlen(name);
  if (n >= size) n = size - 1;
  std::memcpy(stem, name, n);
  stem[n] = '\0';
}

// What one run of the conversion may still write (the drive's free space,
// measured once before the first table) and the table files it has written,
// removed again when the run fails.
struct RunOutput {
  std::uint64_t room = 0;
  std::vector<std::string> written;
};

int Decompress(const char* inputPath, const char* outputPath, std::uint64_t* room, WORD* detail);

// One entry of the search: 1 converted, 0 failed (traced).
int ConvertEntry(const char* sourceDir, const char* destinationDir, const char* name,
                 RunOutput* run) {
  char text[256];
  char inputPath[MAX_PATH];
  char outputPath[MAX_PATH];
  char stem[MAX_PATH];
  StripExtension(name, stem, sizeof stem);
  if (!FORMAT_PATH(inputPath, "%s\\%s", sourceDir, name) ||
      !FORMAT_PATH(outputPath, "%s\\%s", destinationDir, stem)) {
    TRACE_TEXT(TraceFormat(text, "ERR path too long (file = %s)", name));
    return 0;
  }
  WORD detail = kDecompConverted;
  if (!Decompress(inputPath, outputPath, &run->room, &detail)) {
    plat::OutputDebugString("decomp failed\n");
    TRACE_CODE(detail);
    return 0;
  }
  run->written.emplace_back(outputPath);
  return 1;
}

// A failed run takes back its table files: a part of the tables is never
// left to be taken for all of them.
void RemoveWritten(const RunOutput& run) {
  for (const std::string& path : run.written) plat::DeleteFile(path.c_str());
}

// room: what the table file may take at most (nullptr: no bound); reduced
// by what it takes.
int Decompress(const char* inputPath, const char* outputPath, std::uint64_t* room, WORD* detail) {
  WORD ignored = 0;
  WORD& code = detail ? *detail : ignored;
  code = kDecompConverted;
  // The buffers are not cleared: no byte of either is used before it is
  // written (the input by the read of exactly the file's size, the output by
  // the decompression, which reads back only what it has written itself), and
  // clearing 4.2 MB per table would cost more than decompressing it.
  std::unique_ptr<char[]> input(new (std::nothrow) char[kLz4InputBufferSize]);
  std::unique_ptr<char[]> output(input ? new (std::nothrow) char[kLz4OutputBufferSize] : nullptr);
  if (!input || !output) {
    code = kDecompNoBuffer;
    return 0;
  }
  if (!inputPath || !*inputPath) {
    code = kDecompNoInputPath;
    return 0;
  }
  if (!outputPath || !*outputPath) {
    code = kDecompNoOutputPath;
    return 0;
  }
  std::uint64_t size = 0;
  if (!CnfSimpleCnfReaderWriter::GetSize(inputPath, &size)) {
    code = kDecompNoInputSize;
    return 0;
  }
  char text[256];
  // The input buffer holds one compressed table; a longer file is refused
  // before anything is read.
  if (size > kLz4InputBufferSize) {
    TRACE_TEXT(TraceFormat(text, "Compressed file too large (size = %llu, limit = %lu)",
                           static_cast<unsigned long long>(size),
                           static_cast<unsigned long>(kLz4InputBufferSize)));
    code = kDecompInputUnreadable;
    return 0;
  }
  const DWORD compressedSize = static_cast<DWORD>(size);
  if (!CnfSimpleCnfReaderWriter::ReadContainer(inputPath, input.get(), compressedSize)) {
    code = kDecompInputUnreadable;
    return 0;
  }
  const int length = DecompressTableBlock(input.get(), compressedSize, output.get());
  if (length < 0) {
    code = kDecompMalformed;
    return 0;
  }
  const auto tableSize = static_cast<std::uint64_t>(length);
  if (room && tableSize > *room) {
    TRACE_TEXT(TraceFormat(text, "Tables exceed the free space (size = %llu, free = %llu)",
                           static_cast<unsigned long long>(tableSize),
                           static_cast<unsigned long long>(*room)));
    code = kDecompWriteFailed;
    return 0;
  }
  if (!CnfSimpleCnfReaderWriter::WriteContainer(outputPath, output.get(),
                                                static_cast<DWORD>(length))) {
    code = kDecompWriteFailed;
    return 0;
  }
  if (room) *room -= tableSize;
  return 1;
}

}  // namespace

int DecompressTableBlock(const char* input, DWORD size, char* output) {
  if (size > kLz4InputBufferSize) return -1;
  return LZ4_decompress_safe(input, output, static_cast<int>(size),
                             static_cast<int>(kLz4OutputBufferSize));
}

int DecompressLz4File(const char* inputPath, const char* outputPath, WORD* detail) {
  return Decompress(inputPath, outputPath, nullptr, detail);
}

int CompressCommand2(std::int16_t mode, DWORD /*displayFlag*/, const char* sourceDir,
                     const char* destinationDir, HWND dialogWindow) {
  if (mode != kArchiveTableConversion) {
    TRACE_CODE(mode);
    return 0;
  }
  char pattern[MAX_PATH];
  WIN32_FIND_DATA entry;
  plat::ScopedFind search;
  if (sourceDir && destinationDir) {
    if (FORMAT_PATH(pattern, "%s\\*", sourceDir))
      search = plat::ScopedFind(pattern, &entry);
    else
      plat::SetLastError(ERROR_FILENAME_EXCED_RANGE);
  } else {
    plat::SetLastError(ERROR_INVALID_PARAMETER);
  }
  if (!search) {
    plat::OutputDebugString("[ERROR] Directory Not Found\n");
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  // The tables of a backup file may decompress to far more than the file
  // holds: all of them together get no more than the drive has free now.
  RunOutput run;
  if (!plat::GetFreeBytesOfDrive(destinationDir, &run.room)) {
    TRACE_TEXT("ERR GetDiskFreeSpaceEx");
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  int result = 1;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (!ConvertEntry(sourceDir, destinationDir, entry.cFileName, &run)) {
      result = 0;
      break;
    }
    PostToDialog(dialogWindow, kTableConvertedMessage);
  } while (search.Next(&entry));
  // A search cut short would leave tables unconverted under a success.
  if (result && !plat::SearchEnded()) {
    TRACE_CODE(plat::GetLastError());
    result = 0;
  }
  if (!result) RemoveWritten(run);
  PostToDialog(dialogWindow, WM_CLOSE);
  return result;
}

void Talver_CompressThread2(void* request) {
  CompressThreadState = 0;
  const auto* r = static_cast<const CompressRequest*>(request);
  const int result = r ? CompressCommand2(r->mode, r->displayFlag == 1 ? 1 : 0, r->archivePath,
                                          r->directory, r->dialogWindow)
                       : 0;
  if (result == 1) {
    CompressThreadState = 1;
  } else {
    TRACE_TEXT("ERR CompressCommand2");
    CompressThreadState = -1;
  }
}
