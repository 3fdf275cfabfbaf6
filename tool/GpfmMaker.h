// The maker of ".gpfm" backup files (svpconf gpfm make, the benchmark and the
// fuzz corpus): every table but 63 compressed as one raw LZ4 block, table 63
// stored raw, each table cut into segments of at most the segment size, the
// segment sums in the table directory and one padding byte after every
// segment of odd length. The data area is written first, table by table, and
// the header area last, so only one table is held in memory at a time.
#pragma once

#include <lz4.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "backupfile/CnfCmpThd2.h"
#include "backupfile/GpfmFormat.h"

namespace gpfm {

// The segment length the maker cuts tables at (the last segment of a table
// takes the rest). 8 segments of it hold more than the 700,000 bytes of the
// largest compressed table.
constexpr std::uint32_t kMakeSegmentSize = 131072;
// What the table conversion accepts: a table and its compressed block.
constexpr std::size_t kMaxTableBytes = kLz4OutputBufferSize;
constexpr std::size_t kMaxCompressedBytes = kLz4InputBufferSize;

struct MakeSummary {
  int tables = 0;
  std::uint64_t tableBytes = 0;   // table bytes before compression
  std::uint64_t storedBytes = 0;  // segment bytes in the data area, padding left out
  std::uint64_t fileBytes = 0;
};

class GpfmWriter {
 public:
  GpfmWriter() : directory_(new PfmHeader()) {}
  ~GpfmWriter() {
    if (file_) std::fclose(file_);
  }
  GpfmWriter(const GpfmWriter&) = delete;
  GpfmWriter& operator=(const GpfmWriter&) = delete;

  // cfm: which table directory describes the data area (1 or 2); the other
  // one is left all zero (valid 0). segmentSize: 1 .. 409,600.
  bool Open(const std::string& path, int cfm, std::uint32_t segmentSize, std::string* error) {
    if (cfm != 1 && cfm != 2) return Fail(error, "the CFM must be 1 or 2");
    if (segmentSize == 0 || segmentSize > kSegmentBufferSize)
      return Fail(error, "the segment size must be 1 to 409600 bytes");
    cfm_ = cfm;
    segmentSize_ = segmentSize;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return Fail(error, "cannot create " + path);
    if (std::fseek(file_, static_cast<long>(kDataAreaOffset), SEEK_SET) != 0)
      return Fail(error, "cannot write " + path);
    directory_->valid = 1;
    return true;
  }

  // Adds table t (tables in ascending order). Table 63 is stored as it is,
  // every other table compressed as one raw LZ4 block.
  bool AddTable(int t, const std::uint8_t* data, std::size_t size, std::string* error) {
    const std::string name = "table " + std::to_string(t);
    if (t < 0 || t >= static_cast<int>(kTableCount)) return Fail(error, name + ": no such table");
    if (t <= lastTable_) return Fail(error, name + ": tables must come in ascending order");
    std::vector<char> compressed;
    const std::uint8_t* stored = data;
    std::size_t storedSize = size;
    if (t != kRawTable) {
      if (size > kMaxTableBytes)
        return Fail(error, name + ": " + std::to_string(size) +
                               " bytes, more than the 3500000 bytes a table may hold");
      compressed.resize(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(size))));
      const int n =
          LZ4_compress_default(reinterpret_cast<const char*>(data), compressed.data(),
                               static_cast<int>(size), static_cast<int>(compressed.size()));
      if (n <= 0) return Fail(error, name + ": LZ4 compression failed");
      if (static_cast<std::size_t>(n) > kMaxCompressedBytes)
        return Fail(error, name + ": compresses to " + std::to_string(n) +
                               " bytes, more than the 700000 bytes the conversion reads");
      stored = reinterpret_cast<const std::uint8_t*>(compressed.data());
      storedSize = static_cast<std::size_t>(n);
    } else if (size == 0) {
      return Fail(error, name + ": an empty raw table cannot be stored (size 0 marks it absent)");
    }
    const std::size_t segments = (storedSize + segmentSize_ - 1) / segmentSize_;
    if (segments > kSegmentsPerTable)
      return Fail(error, name + ": " + std::to_string(storedSize) + " stored bytes need " +
                             std::to_string(segments) + " segments of " +
                             std::to_string(segmentSize_) + " bytes, at most 8 fit");
    for (std::size_t s = 0; s < segments; ++s) {
      const std::size_t offset = s * segmentSize_;
      const std::size_t n = storedSize - offset < segmentSize_ ? storedSize - offset : segmentSize_;
      directory_->entrySize[t][s] = static_cast<std::uint32_t>(n);
      directory_->entrySum[t][s] = SegmentSum(stored + offset, n);
      if (std::fwrite(stored + offset, 1, n, file_) != n) return Fail(error, "write failed");
      // Every segment starts at an even offset: one padding byte after an odd one.
      if (n % 2 != 0 && std::fputc(0, file_) == EOF) return Fail(error, "write failed");
    }
    lastTable_ = t;
    summary_.tables++;
    summary_.tableBytes += size;
    summary_.storedBytes += storedSize;
    return true;
  }

  // Writes the header area and closes the file.
  bool Finish(std::string* error) {
    if (!file_) return Fail(error, "not open");
    // The position is the end of the data area (its start when no table was added).
    summary_.fileBytes = static_cast<std::uint64_t>(std::ftell(file_));
    GumHeader gum{};
    gum.targetCFM = static_cast<std::uint32_t>(cfm_);
    PfmCmnHeader common{};
    std::unique_ptr<PfmHeader> unused(new PfmHeader());
    const PfmHeader* first = cfm_ == 1 ? directory_.get() : unused.get();
    const PfmHeader* second = cfm_ == 2 ? directory_.get() : unused.get();
    bool ok = std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(&gum, sizeof gum, 1, file_) == 1 &&
              std::fwrite(&common, sizeof common, 1, file_) == 1 &&
              std::fwrite(first, sizeof *first, 1, file_) == 1 &&
              std::fwrite(second, sizeof *second, 1, file_) == 1;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) return Fail(error, "write failed");
    return true;
  }

  const MakeSummary& Summary() const { return summary_; }

 private:
  static bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
  }

  std::FILE* file_ = nullptr;
  int cfm_ = 1;
  std::uint32_t segmentSize_ = kMakeSegmentSize;
  int lastTable_ = -1;
  std::unique_ptr<PfmHeader> directory_;
  MakeSummary summary_;
};

}  // namespace gpfm
