// The reader of ".gpfm" backup files: headers, table directory, segment sums
// and one "%d.lz4" file per present table. The file is read once, front to
// back, through one working buffer; the only moves are the two skips around
// the table directory in use.
#include "CnfBakCnfReader.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <type_traits>

#include "GpfmFormat.h"
#include "common/Format.h"
#include "common/Trace.h"
#include "platform/Platform.h"

TALVER_SOURCE("CnfBakCnfReader")

namespace {

// The system's long is 32 bits: a stored value is printed as that long.
long AsLong(std::uint32_t value) { return static_cast<long>(static_cast<std::int32_t>(value)); }

struct HandleCloser {
  void operator()(HANDLE handle) const { plat::CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// Reads exactly count bytes; false when the file ends first or the read fails.
bool ReadExact(HANDLE file, void* buffer, DWORD count) {
  DWORD got = 0;
  return plat::ReadFile(file, buffer, count, &got) && got == count;
}

bool SkipForward(HANDLE file, std::int64_t bytes) {
  return plat::SetFilePointerEx(file, bytes, FILE_CURRENT, nullptr) != 0;
}

// Steps 3 to 7: the GUM and PFM CMN headers, the table directory that
// targetCFM names, and the move to the data area.
bool ReadDirectory(HANDLE file, PfmHeader* directory) {
  char text[256];
  GumHeader gum;
  if (!ReadExact(file, &gum, sizeof gum)) {
    TRACE_TEXT("GUM Header read failed");
    return false;
  }
  PfmCmnHeader common;
  if (!ReadExact(file, &common, sizeof common)) {
    TRACE_TEXT("PFM CMN Header read failed");
    return false;
  }
  const std::uint32_t targetCFM = gum.targetCFM;
  if (targetCFM != 1 && targetCFM != 2) {
    TRACE_TEXT(TraceFormat(text, "invalid param \"targetCFM\"->(%d) in GPFM Header",
                           static_cast<int>(static_cast<std::int32_t>(targetCFM))));
    return false;
  }
  const std::int64_t header = gpfm::kPfmHeaderSize;
  if (!SkipForward(file, (targetCFM - 1) * header) ||
      !ReadExact(file, directory, sizeof *directory)) {
    TRACE_TEXT("PFM Header read failed");
    return false;
  }
  if (directory->valid != 1) {
    TRACE_TEXT(TraceFormat(text, "invalid param \"valid\"->(%d) in PFM Header",
                           static_cast<int>(static_cast<std::int32_t>(directory->valid))));
    return false;
  }
  if (!SkipForward(file, (2 - targetCFM) * header)) {
    TRACE_TEXT("PFM Header seekg failed");
    return false;
  }
  return true;
}

// Step 9.3 for one segment: read, skip the padding of an odd length, check
// the sum, append to the table file.
bool CopySegment(HANDLE file, HANDLE out, const PfmHeader& directory, std::uint32_t t, int s,
                 std::uint8_t* buffer) {
  char text[256];
  const int entry = static_cast<int>(t) + 1, segment = s + 1;
  const std::uint32_t n = directory.entrySize[t][s];
  // The working buffer holds one segment; a longer one is refused before
  // anything is read into it.
  if (n > gpfm::kSegmentBufferSize) {
    TRACE_TEXT(TraceFormat(text, "Segment size over buffer size(Entry=%d-%d, size=%lu)", entry,
                           segment, static_cast<unsigned long>(n)));
    return false;
  }
  // An odd segment is followed by one padding byte. Both come in one read:
  // an odd length is at most 409,599, so the padding byte still lands in the
  // buffer, behind the data, where nothing uses it.
  const DWORD withPadding = n + n % 2;
  DWORD got = 0;
  const bool read = plat::ReadFile(file, buffer, withPadding, &got) != 0;
  if (!read || got < n) {
    TRACE_TEXT(TraceFormat(text, "File read failed(Entry=%d-%d)", entry, segment));
    return false;
  }
  if (got < withPadding) {
    TRACE_TEXT(
        TraceFormat(text, "File read failed(boundary correction)(Entry=%d-%d)", entry, segment));
    return false;
  }
  const std::uint32_t sum = gpfm::SegmentSum(buffer, n);
  if (sum != directory.entrySum[t][s]) {
    TRACE_TEXT(TraceFormat(text, "SUM in config file = %ld, actual SUM = %ld(Entry=%d-%d)",
                           AsLong(directory.entrySum[t][s]), AsLong(sum), entry, segment));
    plat::OutputDebugString("[ERROR] CheckSUM\n");
    return false;
  }
  DWORD written = 0;
  if (!plat::WriteFile(out, buffer, n, &written) || written != n) {
    TRACE_TEXT(TraceFormat(text, "File write failed(Entry=%d-%d)", entry, segment));
    return false;
  }
  return true;
}

// Steps 9.2 to 9.4 for one present table.
bool WriteTable(HANDLE file, const char* outDir, const PfmHeader& directory, std::uint32_t t,
                std::uint8_t* buffer) {
  char text[256];
  char outPath[MAX_PATH] = "";
  if (outDir && !FORMAT_PATH(outPath, "%s\\%d.lz4", outDir, static_cast<int>(t))) {
    TRACE_TEXT(TraceFormat(text, "Output path too long(Entry=%d)", static_cast<int>(t) + 1));
    return false;
  }
  // Without an output directory there is no file to open.
  FileHandle out(outDir
                     ? plat::CreateFile(outPath, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, 0)
                     : nullptr);
  if (!out) {
    TRACE_TEXT(TraceFormat(text, "File open failed.(file=%s)", outPath));
    plat::OutputDebugString("[ERROR] Can not open a file.\n");
    return false;
  }
  const int segments = gpfm::SegmentCount(directory, t);
  for (int s = 0; s < segments; ++s)
    if (!CopySegment(file, out.get(), directory, t, s, buffer)) return false;
  return true;
}

}  // namespace

int ParseGpfmFile(const char* gpfmPath, const char* outDir) {
  char text[256];
  TRACE_TEXT("Parse start");
  FileHandle file(plat::CreateFile(gpfmPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   OPEN_EXISTING, 0));
  if (!file) {
    TRACE_TEXT(TraceFormat(text, "File open failed.(file=%s)", gpfmPath ? gpfmPath : ""));
    return 0;
  }
  TRACE_TEXT(TraceFormat(text, "File open successed.(file=%s)", gpfmPath));

  PfmHeader directory;
  if (!ReadDirectory(file.get(), &directory)) return 0;

  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow)
                                             std::uint8_t[gpfm::kSegmentBufferSize]());
  if (!buffer) {
    TRACE_TEXT("Memory allocation failed");
    return 0;
  }
  for (std::uint32_t t = 0; t < gpfm::kTableCount; ++t) {
    if (directory.entrySize[t][0] == 0) continue;
    if (!WriteTable(file.get(), outDir, directory, t, buffer.get())) return 0;
  }
  file.reset();
  TRACE_TEXT("Parse end");
  return 1;
}
