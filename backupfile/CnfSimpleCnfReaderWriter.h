// Whole-file operations on table containers: read a file into a buffer of
// known size, write a buffer to a new file, copy a byte range of one file
// into a new file, and give a file's size. Each operation opens and closes
// its files itself, keeps no state and returns 1 on success, 0 on failure
// after one trace line.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

class CnfSimpleCnfReaderWriter {
 public:
  // Reads the first size bytes of path into buffer; a shorter file fails,
  // extra bytes are ignored.
  static int ReadContainer(const char* path, void* buffer, DWORD size);
  // Writes size bytes of data as the file path, whole or not at all: into a
  // temporary beside it that replaces path only when every byte is in. After
  // a failure path holds what it held before (nothing when it was missing).
  static int WriteContainer(const char* path, const void* data, DWORD size);
  // Writes the length bytes of sourcePath that start at offset as the file
  // destinationPath, moved in pieces of 256 bytes, whole or not at all as
  // WriteContainer does.
  static int CopyRange(const char* sourcePath, DWORD offset, DWORD length,
                       const char* destinationPath);
  // The byte length of path.
  static int GetSize(const char* path, std::uint64_t* size);

  // The piece size of CopyRange.
  static constexpr DWORD kCopyPieceSize = 256;
};
