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
#include "common/ResultWords.h"
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
    TRACE_CODE(kWordFailure);
    return false;
  }
  return true;
}

// Appends the whole file `piece` to the open `archive` through a buffer of
// bounded size; false after the error-code line.
bool AppendFile(HANDLE archive, const char* piece) {
  constexpr DWORD kChunk = 1u << 20;
  HANDLE in =
      plat::CreateFile(piece, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (!in) {
    TRACE_CODE(plat::GetLastError());
    return false;
  }
  Buffer buffer = Allocate(kChunk);
  bool ok = buffer != nullptr;
  if (!ok) TRACE_CODE(ERROR_NOT_ENOUGH_MEMORY);
  DWORD read = 0;
  while (ok) {
    // A call asked to stop ends here; the caller undoes what went in.
    if (plat::StopRequested() || plat::CallStopRequested()) {
      TRACE_CODE(ERROR_OPERATION_ABORTED);
      ok = false;
    } else if (!plat::ReadFile(in, buffer.get(), kChunk, &read)) {
      TRACE_CODE(plat::GetLastError());
      ok = false;
    } else if (read == 0) {
      break;
    } else {
      ok = WriteAll(archive, buffer.get(), read);
    }
  }
  plat::CloseHandle(in);
  return ok;
}

// Joins: appends piece n of the directory to the archive.
bool AppendPiece(HANDLE archive, const char* directory, WORD n) {
  char piece[MAX_PATH];
  if (!FORMAT_PATH(piece, "%ssvp_conf.%d", directory, static_cast<int>(n))) {
    TRACE_CODE(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  return AppendFile(archive, piece);
}

// Appends `piece` to the open `archive` of `length` bytes at its end; on
// failure cuts it back to that length.
bool AppendAt(HANDLE archive, std::uint64_t length, const char* piece) {
  if (!plat::SetFilePointerEx(archive, static_cast<std::int64_t>(length), FILE_BEGIN, nullptr)) {
    TRACE_CODE(plat::GetLastError());
    return false;
  }
  if (AppendFile(archive, piece)) return true;
  if (!plat::SetFilePointerEx(archive, static_cast<std::int64_t>(length), FILE_BEGIN, nullptr) ||
      !plat::SetEndOfFile(archive))
    TRACE_CODE(plat::GetLastError());
  return false;
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
    *resultWord = kWordFailure;
    return 0;
  }
  HANDLE archive =
      plat::CreateFile(archivePath, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (!archive) {
    *resultWord = kWordFailure;
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
      *resultWord = kWordFailure;
      plat::CloseHandle(archive);
      *pieceCount = n;
      return 0;
    }
    ++n;
    std::memset(buffer.get(), 0, pieceSize);
  }
  *resultWord = kWordFailure;
  TRACE_CODE(plat::GetLastError());
  plat::CloseHandle(archive);
  *pieceCount = n;
  return 0;
}

int Talver_JoinArchive(const char* directory, WORD count, WORD* resultWord) {
  char joined[MAX_PATH];
  if (!FORMAT_PATH(joined, "%ssvp_conf.tgz", directory)) {
    *resultWord = kWordFailure;
    TRACE_CODE(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  // The join goes to a temporary that replaces the archive only when whole:
  // a join cut short never leaves a short archive under the final name.
  plat::RemoveTemporariesIn(directory);
  std::string temporary;
  HANDLE archive = plat::CreateTemporaryBeside(joined, &temporary);
  if (!archive) {
    *resultWord = kWordFailure;
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  for (WORD n = 0; n < count; ++n) {
    if (!AppendPiece(archive, directory, n)) {
      *resultWord = kWordFailure;
      plat::CloseHandle(archive);
      plat::DeleteFile(temporary.c_str());
      return 0;
    }
  }
  if (!plat::CommitTemporary(archive, temporary, joined)) {
    *resultWord = kWordFailure;
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  DeletePieces(directory, count);
  return 1;
}

int Talver_AppendToArchive(const char* archivePath, const char* piece, WORD* resultWord) {
  // While the piece goes in, the archive carries a temporary's name: an
  // append cut short by a kill leaves a temporary, never a longer archive
  // under the final name. A failed append cuts it back and renames it back.
  const std::string joined(archivePath);
  plat::RemoveTemporariesOf(joined);
  std::string temporary;
  HANDLE placeholder = plat::CreateTemporaryBeside(joined, &temporary);
  if (!placeholder) {
    *resultWord = kWordFailure;
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  plat::CloseHandle(placeholder);
  if (!plat::MoveFileEx(joined.c_str(), temporary.c_str(), true)) {
    *resultWord = kWordFailure;
    TRACE_CODE(plat::GetLastError());
    plat::DeleteFile(temporary.c_str());
    return 0;
  }
  HANDLE archive =
      plat::CreateFile(temporary.c_str(), GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  std::uint64_t length = 0;
  bool ok = archive != nullptr && plat::GetFileSizeEx(archive, &length);
  if (!ok) TRACE_CODE(plat::GetLastError());
  ok = ok && AppendAt(archive, length, piece);
  if (archive) plat::CloseHandle(archive);
  if (!plat::MoveFileEx(temporary.c_str(), joined.c_str(), true)) {
    TRACE_CODE(plat::GetLastError());
    ok = false;
  }
  if (!ok) *resultWord = kWordFailure;
  return ok ? 1 : 0;
}
