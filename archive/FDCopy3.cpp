// Whole-file writes and reads on media, and the cutting of an archive into
// numbered pieces and their joining.
#include "archive/FDCopy3.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/Format.h"
#include "common/Globals.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "platform/Temporary.h"

TALVER_SOURCE("FDCopy3")

namespace {

using Buffer = std::unique_ptr<BYTE[]>;

Buffer Allocate(DWORD size) { return Buffer(new (std::nothrow) BYTE[size == 0 ? 1 : size]); }

// One write call that must take every byte. A write that takes fewer bytes
// than asked leaves the file short: that is a failure with its own line.
BOOL WriteAll(HANDLE file, const void* buffer, DWORD count) {
  DWORD written = 0;
  if (!plat::WriteFile(file, buffer, count, &written)) {
    TRACE_CODE(plat::GetLastError());
    return FALSE;
  }
  if (written != count) {
    char line[256];
    TRACE_TEXT(TraceFormat(line, "ERR WriteFile %u of %u bytes", static_cast<unsigned>(written),
                           static_cast<unsigned>(count)));
    return FALSE;
  }
  return TRUE;
}

// Splits: the step that writes piece n; false after its trace line.
bool WritePiece(DWORD n, const BYTE* buffer, DWORD count) {
  char piece[MAX_PATH];
  if (!FORMAT_PATH(piece, "%s\\plaxon\\tmp\\svp_conf.%d", RootPath, static_cast<int>(n)) ||
      !Talver_WriteWholeFile(piece, buffer, count)) {
    TRACE_CODE(0x2000);
    return false;
  }
  return true;
}

// Joins: appends piece n of the directory to the archive.
bool AppendPiece(HANDLE archive, const char* directory, WORD n) {
  char piece[MAX_PATH];
  if (!FORMAT_PATH(piece, "%ssvp_conf.%d", directory, static_cast<int>(n))) {
    TRACE_CODE(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  std::uint64_t size64 = 0;
  if (!plat::GetFileSizeByName(piece, &size64)) {
    TRACE_CODE(plat::GetLastError());
    return false;
  }
  const DWORD size = static_cast<DWORD>(size64);
  Buffer buffer = Allocate(size);
  if (!buffer) {
    TRACE_CODE(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  DWORD read = 0;
  if (!Talver_ReadWholeFile(piece, buffer.get(), size, &read)) {
    TRACE_CODE(plat::GetLastError());
    return false;
  }
  return WriteAll(archive, buffer.get(), read);
}

// After the join counts: the pieces go.
void DeletePieces(const char* directory, WORD count) {
  for (WORD n = 0; n < count; ++n) {
    char piece[MAX_PATH];
    if (FORMAT_PATH(piece, "%ssvp_conf.%d", directory, static_cast<int>(n)))
      plat::DeleteFile(piece);
  }
}

}  // namespace

int Talver_WriteWholeFile(const char* path, const void* buffer, DWORD count) {
  HANDLE file = plat::CreateFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (!file) {
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  BOOL result = WriteAll(file, buffer, count);
  // On the medium before anything counts on it.
  if (result && !plat::FlushFileBuffers(file)) {
    TRACE_CODE(plat::GetLastError());
    result = FALSE;
  }
  plat::CloseHandle(file);
  // A file that did not take all its bytes goes: a short config4 or piece
  // left under its name would be read as one.
  if (!result) plat::DeleteFile(path);
  return result;
}

int Talver_ReadWholeFile(const char* path, void* buffer, DWORD count, DWORD* read) {
  HANDLE file = plat::CreateFile(path, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (!file) {
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  BOOL result = plat::ReadFile(file, buffer, count, read);
  if (!result) TRACE_CODE(plat::GetLastError());
  plat::CloseHandle(file);
  return result;
}

int Talver_SplitArchive(const char* archivePath, DWORD pieceSize, WORD* pieceCount,
                        WORD* resultWord) {
  *pieceCount = 0;
  // A piece size of 0 would read nothing and report an archive of no pieces.
  Buffer buffer = pieceSize ? Allocate(pieceSize) : nullptr;
  if (!buffer) {
    *resultWord = 0x2000;
    return 0;
  }
  HANDLE archive =
      plat::CreateFile(archivePath, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (!archive) {
    *resultWord = 0x2000;
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  WORD n = 0;
  DWORD read = 0;
  std::memset(buffer.get(), 0, pieceSize);
  while (plat::ReadFile(archive, buffer.get(), pieceSize, &read)) {
    if (read == 0) {
      plat::CloseHandle(archive);
      *pieceCount = n;
      return 1;
    }
    if (!WritePiece(n, buffer.get(), read)) {
      *resultWord = 0x2000;
      plat::CloseHandle(archive);
      *pieceCount = n;
      return 0;
    }
    ++n;
    std::memset(buffer.get(), 0, pieceSize);
  }
  *resultWord = 0x2000;
  TRACE_CODE(plat::GetLastError());
  plat::CloseHandle(archive);
  *pieceCount = n;
  return 0;
}

int Talver_JoinArchive(const char* directory, WORD count, WORD* resultWord) {
  char joined[MAX_PATH];
  if (!FORMAT_PATH(joined, "%ssvp_conf.tgz", directory)) {
    *resultWord = 0x2000;
    TRACE_CODE(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  // The join goes to a temporary that replaces the archive only when whole:
  // a join cut short never leaves a short archive under the final name.
  plat::RemoveTemporariesIn(directory);
  std::string temporary;
  HANDLE archive = plat::CreateTemporaryBeside(joined, &temporary);
  if (!archive) {
    *resultWord = 0x2000;
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  for (WORD n = 0; n < count; ++n) {
    if (!AppendPiece(archive, directory, n)) {
      *resultWord = 0x2000;
      plat::CloseHandle(archive);
      plat::DeleteFile(temporary.c_str());
      return 0;
    }
  }
  if (!plat::CommitTemporary(archive, temporary, joined)) {
    *resultWord = 0x2000;
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  DeletePieces(directory, count);
  return 1;
}
