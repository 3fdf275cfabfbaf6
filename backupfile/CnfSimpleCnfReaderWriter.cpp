// Container files: whole-file read, write, range copy and size.
#include "CnfSimpleCnfReaderWriter.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "common/Trace.h"
#include "platform/Platform.h"
#include "platform/Temporary.h"

TALVER_SOURCE("CnfSimpleCnfReaderWriter")

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { plat::CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

FileHandle OpenForReading(const char* path) {
  return FileHandle(
      plat::CreateFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0));
}

// A container file written whole or not at all: the bytes go into a
// temporary beside the final name, which takes the final name only once
// every byte is in; a failure on the way removes it, and a file of the final
// name keeps its old bytes.
class WholeFile {
 public:
  explicit WholeFile(const char* path) : path_(path) {
    handle_ = plat::CreateTemporaryBeside(path_, &temporary_);
  }
  ~WholeFile() { Discard(); }
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }
  HANDLE get() const { return handle_; }

  // Flushes and closes the temporary and renames it over the final name,
  // durably (the temporary is gone on failure).
  bool Commit() {
    const bool committed =
        plat::CommitTemporary(std::exchange(handle_, nullptr), temporary_, path_);
    temporary_.clear();
    return committed;
  }

 private:
  void Discard() {
    if (handle_) plat::CloseHandle(handle_);
    handle_ = nullptr;
    if (!temporary_.empty()) plat::DeleteFile(temporary_.c_str());
  }

  std::string path_;
  std::string temporary_;
  HANDLE handle_ = nullptr;
};

bool ReadExact(HANDLE file, void* buffer, DWORD count, DWORD* got) {
  *got = 0;
  return plat::ReadFile(file, buffer, count, got) && *got == count;
}

bool WriteAll(HANDLE file, const void* data, DWORD count) {
  DWORD written = 0;
  return plat::WriteFile(file, data, count, &written) && written == count;
}

}  // namespace

int CnfSimpleCnfReaderWriter::ReadContainer(const char* path, void* buffer, DWORD size) {
  char text[256];
  if (!path || !buffer) {
    TRACE_TEXT("Invalid Param");
    return 0;
  }
  FileHandle file = OpenForReading(path);
  if (!file) {
    TRACE_TEXT(TraceFormat(text, "File open failed (file path = %s)", path));
    plat::OutputDebugString("[ERROR] Can not open a file.\n");
    return 0;
  }
  DWORD got = 0;
  if (!ReadExact(file.get(), buffer, size, &got)) {
    TRACE_TEXT(TraceFormat(text, "Read file failed (readSize = %lu, containerSize = %lu)",
                           static_cast<unsigned long>(got), static_cast<unsigned long>(size)));
    plat::OutputDebugString("[ERROR] Can not read a file.\n");
    return 0;
  }
  return 1;
}

int CnfSimpleCnfReaderWriter::WriteContainer(const char* path, const void* data, DWORD size) {
  char text[256];
  if (!path || !data) {
    TRACE_TEXT("Invalid Param");
    return 0;
  }
  WholeFile file(path);
  if (!file) {
    TRACE_TEXT(TraceFormat(text, "Write File open failed (file path = %s)", path));
    return 0;
  }
  if (!WriteAll(file.get(), data, size)) {
    TRACE_TEXT(TraceFormat(text, "Write file write failed (outDataSize = %lu)",
                           static_cast<unsigned long>(size)));
    return 0;
  }
  if (!file.Commit()) {
    TRACE_TEXT(TraceFormat(text, "Write file rename failed (file path = %s)", path));
    return 0;
  }
  return 1;
}

int CnfSimpleCnfReaderWriter::CopyRange(const char* sourcePath, DWORD offset, DWORD length,
                                        const char* destinationPath) {
  char text[256];
  if (!sourcePath || !destinationPath) {
    TRACE_TEXT("Invalid Param");
    return 0;
  }
  FileHandle source = OpenForReading(sourcePath);
  if (!source) {
    TRACE_TEXT(TraceFormat(text, "Read file open failed (file path = %s)", sourcePath));
    plat::OutputDebugString("[ERROR] Can not open a file for reading.\n");
    return 0;
  }
  WholeFile destination(destinationPath);
  if (!destination) {
    TRACE_TEXT(TraceFormat(text, "Write File open failed (file path = %s)", destinationPath));
    plat::OutputDebugString("[ERROR] Can not open a file for writing.\n");
    return 0;
  }
  if (!plat::SetFilePointerEx(source.get(), offset, FILE_BEGIN, nullptr)) {
    TRACE_TEXT(TraceFormat(text, "Seek file failed (offset size = %lu)",
                           static_cast<unsigned long>(offset)));
    plat::OutputDebugString("[ERROR] Can not seek a file.\n");
    return 0;
  }
  char piece[kCopyPieceSize];
  for (DWORD remaining = length; remaining > 0;) {
    const DWORD n = remaining > kCopyPieceSize ? kCopyPieceSize : remaining;
    DWORD got = 0;
    if (!ReadExact(source.get(), piece, n, &got)) {
      TRACE_TEXT("Read file read failed");
      plat::OutputDebugString("[ERROR] Can not read a file for reading.\n");
      return 0;
    }
    if (!WriteAll(destination.get(), piece, n)) {
      TRACE_TEXT("Write file write failed");
      plat::OutputDebugString("[ERROR] Can not write a file for writing.\n");
      return 0;
    }
    remaining -= n;
  }
  if (!destination.Commit()) {
    TRACE_TEXT(TraceFormat(text, "Write file rename failed (file path = %s)", destinationPath));
    plat::OutputDebugString("[ERROR] Can not write a file for writing.\n");
    return 0;
  }
  return 1;
}

int CnfSimpleCnfReaderWriter::GetSize(const char* path, std::uint64_t* size) {
  char text[256];
  if (!path || !size) {
    TRACE_TEXT("Invalid Param");
    return 0;
  }
  FileHandle file = OpenForReading(path);
  if (!file) {
    TRACE_TEXT(TraceFormat(text, "Read file open failed (file path = %s)", path));
    plat::OutputDebugString("[ERROR] Can not open a file for reading.\n");
    return 0;
  }
  std::uint64_t end = 0;
  if (!plat::SetFilePointerEx(file.get(), 0, FILE_END, &end)) {
    TRACE_TEXT("Seek file failed");
    plat::OutputDebugString("[ERROR] Can not seek a file.\n");
    return 0;
  }
  *size = end;
  return 1;
}
