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
#include <string>
#include <type_traits>

#include "GpfmFormat.h"
#include "common/Format.h"
#include "common/Trace.h"
#include "platform/Platform.h"

TALVER_SOURCE("CnfBakCnfReader")

namespace {

// The first failure of the walk running on this thread, as it was traced.
thread_local std::string gLastFailure;

void NoteFailure(const char* text) {
  if (gLastFailure.empty()) gLastFailure = text;
}

}  // namespace

// Traces a failure of the walk and keeps it as the walk's reason.
#define FAIL_TEXT(text)            \
  do {                             \
    const char* failure_ = (text); \
    TRACE_TEXT(failure_);          \
    NoteFailure(failure_);         \
  } while (0)

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
bool ReadDirectory(HANDLE file, PfmHeader* directory, GpfmTableSink& sink) {
  char text[256];
  GumHeader gum;
  if (!ReadExact(file, &gum, sizeof gum)) {
    FAIL_TEXT("GUM Header read failed");
    return false;
  }
  PfmCmnHeader common;
  if (!ReadExact(file, &common, sizeof common)) {
    FAIL_TEXT("PFM CMN Header read failed");
    return false;
  }
  const std::uint32_t targetCFM = gum.targetCFM;
  sink.Target(targetCFM);
  if (targetCFM != 1 && targetCFM != 2) {
    FAIL_TEXT(TraceFormat(text, "invalid param \"targetCFM\"->(%d) in GPFM Header",
                          static_cast<int>(static_cast<std::int32_t>(targetCFM))));
    return false;
  }
  const std::int64_t header = gpfm::kPfmHeaderSize;
  if (!SkipForward(file, (targetCFM - 1) * header) ||
      !ReadExact(file, directory, sizeof *directory)) {
    FAIL_TEXT("PFM Header read failed");
    return false;
  }
  sink.Directory(*directory, gpfm::kFirstPfmHeaderOffset + (targetCFM - 1) * header);
  if (directory->valid != 1) {
    FAIL_TEXT(TraceFormat(text, "invalid param \"valid\"->(%d) in PFM Header",
                          static_cast<int>(static_cast<std::int32_t>(directory->valid))));
    return false;
  }
  if (!SkipForward(file, (2 - targetCFM) * header)) {
    FAIL_TEXT("PFM Header seekg failed");
    return false;
  }
  return true;
}

// A walk of the data area: the file, the sink, the directory in use, the
// working buffer, where the next segment starts and whether a sum differed.
struct DataWalk {
  HANDLE file;
  GpfmTableSink& sink;
  const PfmHeader& directory;
  std::uint8_t* buffer;
  std::uint64_t offset;
  bool mismatch;
};

// Step 9.3 for one segment: read, skip the padding of an odd length, check
// the sum, hand the bytes on.
bool ReadSegment(DataWalk& walk, std::uint32_t t, int s) {
  char text[256];
  const int entry = static_cast<int>(t) + 1, segment = s + 1;
  const std::uint32_t n = walk.directory.entrySize[t][s];
  // The working buffer holds one segment; a longer one is refused before
  // anything is read into it.
  if (n > gpfm::kSegmentBufferSize) {
    FAIL_TEXT(TraceFormat(text, "Segment size over buffer size(Entry=%d-%d, size=%lu)", entry,
                          segment, static_cast<unsigned long>(n)));
    return false;
  }
  // An odd segment is followed by one padding byte. Both come in one read:
  // an odd length is at most 409,599, so the padding byte still lands in the
  // buffer, behind the data, where nothing uses it.
  const DWORD withPadding = n + n % 2;
  DWORD got = 0;
  const bool read = plat::ReadFile(walk.file, walk.buffer, withPadding, &got) != 0;
  if (!read || got < n) {
    FAIL_TEXT(TraceFormat(text, "File read failed(Entry=%d-%d)", entry, segment));
    return false;
  }
  if (got < withPadding) {
    FAIL_TEXT(
        TraceFormat(text, "File read failed(boundary correction)(Entry=%d-%d)", entry, segment));
    return false;
  }
  const std::uint32_t sum = gpfm::SegmentSum(walk.buffer, n);
  const std::uint32_t stored = walk.directory.entrySum[t][s];
  walk.sink.Segment({static_cast<int>(t), segment, walk.offset, n, stored, sum});
  walk.offset += withPadding;
  if (sum != stored) {
    FAIL_TEXT(TraceFormat(text, "SUM in config file = %ld, actual SUM = %ld(Entry=%d-%d)",
                          AsLong(stored), AsLong(sum), entry, segment));
    plat::OutputDebugString("[ERROR] CheckSUM\n");
    walk.mismatch = true;
    return walk.sink.ReadOnAfterMismatch();
  }
  return walk.mismatch || walk.sink.TableData(walk.buffer, n, segment);
}

// Steps 9.2 to 9.4 for one present table.
bool ReadTable(DataWalk& walk, std::uint32_t t) {
  const int segments = gpfm::SegmentCount(walk.directory, t);
  std::uint64_t size = 0;
  for (int s = 0; s < segments; ++s) size += walk.directory.entrySize[t][s];
  if (!walk.sink.BeginTable(static_cast<int>(t), size, segments)) return false;
  for (int s = 0; s < segments; ++s)
    if (!ReadSegment(walk, t, s)) return false;
  return walk.mismatch || walk.sink.EndTable();
}

// The reader's own sink: one "<outDir>\<table>.lz4" per table.
class TableFiles : public GpfmTableSink {
 public:
  explicit TableFiles(const char* outDir) : outDir_(outDir) {}
  bool BeginTable(int table, std::uint64_t, int) override {
    char text[256];
    char outPath[MAX_PATH] = "";
    table_ = table;
    if (outDir_ && !FORMAT_PATH(outPath, "%s\\%d.lz4", outDir_, table)) {
      FAIL_TEXT(TraceFormat(text, "Output path too long(Entry=%d)", table + 1));
      return false;
    }
    // Without an output directory there is no file to open.
    out_.reset(outDir_ ? plat::CreateFile(outPath, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, 0)
                       : nullptr);
    if (!out_) {
      FAIL_TEXT(TraceFormat(text, "File open failed.(file=%s)", outPath));
      plat::OutputDebugString("[ERROR] Can not open a file.\n");
      return false;
    }
    return true;
  }
  bool TableData(const std::uint8_t* data, std::uint32_t size, int segment) override {
    char text[256];
    DWORD written = 0;
    if (!plat::WriteFile(out_.get(), data, size, &written) || written != size) {
      FAIL_TEXT(TraceFormat(text, "File write failed(Entry=%d-%d)", table_ + 1, segment));
      return false;
    }
    return true;
  }
  bool EndTable() override {
    out_.reset();
    return true;
  }

 private:
  const char* outDir_;
  FileHandle out_;
  int table_ = 0;
};

}  // namespace

int ParseGpfmFile(const char* gpfmPath, const char* outDir) {
  TableFiles files(outDir);
  return WalkGpfmFile(gpfmPath, files);
}

const char* LastGpfmFailure() { return gLastFailure.c_str(); }

int WalkGpfmFile(const char* gpfmPath, GpfmTableSink& sink) {
  char text[256];
  gLastFailure.clear();
  TRACE_TEXT("Parse start");
  FileHandle file(plat::CreateFile(gpfmPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   OPEN_EXISTING, 0));
  if (!file) {
    FAIL_TEXT(TraceFormat(text, "File open failed.(file=%s)", gpfmPath ? gpfmPath : ""));
    return 0;
  }
  TRACE_TEXT(TraceFormat(text, "File open successed.(file=%s)", gpfmPath));

  PfmHeader directory;
  if (!ReadDirectory(file.get(), &directory, sink)) return 0;

  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow)
                                             std::uint8_t[gpfm::kSegmentBufferSize]());
  if (!buffer) {
    FAIL_TEXT("Memory allocation failed");
    return 0;
  }
  DataWalk walk{file.get(), sink, directory, buffer.get(), gpfm::kDataAreaOffset, false};
  for (std::uint32_t t = 0; t < gpfm::kTableCount; ++t) {
    if (directory.entrySize[t][0] == 0) continue;
    if (!ReadTable(walk, t)) return 0;
  }
  if (walk.mismatch) return 0;
  file.reset();
  TRACE_TEXT("Parse end");
  return 1;
}
