// libFuzzer target: the backup-file reader.
//
// The first input byte chooses the form of the file:
//   even: the rest of the input is the whole file (short files, headers as
//         they come; the seeds made by `svpconf gpfm make` are of this form);
//   odd:  a compact description that reaches the table walk quickly:
//         byte 1 targetCFM (0..3), byte 2 valid (1 unless >= 240), byte 3 the
//         number of directory rows (0..16), then per row 2 bytes of table
//         number, 8 x 2 bytes of sizes (>= 0xFFF0: sizes over the buffer) and
//         one byte whose bits mark the sums to corrupt; the rest is the data
//         area. The sums are otherwise the true sums of the bytes the reader
//         will meet, so the walk goes on past the first segment.
// After a successful parse every present table's file must hold exactly the
// sum of its segment sizes.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FuzzWorld.h"
#include "backupfile/CnfBakCnfReader.h"
#include "backupfile/GpfmFormat.h"

namespace {

std::string gFile, gOut;

struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  std::uint32_t Byte() { return pos < size ? data[pos++] : 0; }
  std::uint32_t Word() { return Byte() | (Byte() << 8); }
};

std::uint32_t SizeOf(std::uint32_t word) {
  if (word >= 0xFFF8) return 0xFFFFFFFFu;
  if (word >= 0xFFF0) return gpfm::kSegmentBufferSize + (word - 0xFFF0);
  return word % 1500;
}

// Builds the file of the compact form; fills directory with what it holds.
std::vector<std::uint8_t> Compact(const std::uint8_t* data, std::size_t size, PfmHeader* directory,
                                  int* cfm) {
  Reader in{data, size};
  GumHeader gum{};
  gum.targetCFM = in.Byte() % 4;
  *cfm = static_cast<int>(gum.targetCFM);
  const std::uint32_t valid = in.Byte();
  directory->valid = valid >= 240 ? valid : 1;
  const std::uint32_t rows = in.Byte() % 17;
  std::uint8_t corrupt[gpfm::kTableCount] = {};
  for (std::uint32_t r = 0; r < rows; ++r) {
    const std::uint32_t t = in.Word() % gpfm::kTableCount;
    for (std::uint32_t s = 0; s < gpfm::kSegmentsPerTable; ++s)
      directory->entrySize[t][s] = SizeOf(in.Word());
    corrupt[t] = static_cast<std::uint8_t>(in.Byte());
  }
  const std::uint8_t* area = data + std::min(in.pos, size);
  const std::size_t areaSize = size - std::min(in.pos, size);
  // True sums of what the reader will meet, walking as it walks.
  std::size_t offset = 0;
  for (std::uint32_t t = 0; t < gpfm::kTableCount; ++t) {
    if (directory->entrySize[t][0] == 0) continue;
    for (int s = 0; s < gpfm::SegmentCount(*directory, t); ++s) {
      const std::uint32_t n = directory->entrySize[t][s];
      const std::size_t have = offset < areaSize ? std::min<std::size_t>(n, areaSize - offset) : 0;
      directory->entrySum[t][s] =
          gpfm::SegmentSum(area + std::min(offset, areaSize), have) ^ ((corrupt[t] >> s) & 1u);
      offset += have;
      if (have < n) break;
      offset += n % 2;
    }
  }
  std::vector<std::uint8_t> file(gpfm::kDataAreaOffset);
  std::memcpy(file.data(), &gum, sizeof gum);
  const std::size_t at =
      gpfm::kFirstPfmHeaderOffset + (gum.targetCFM == 2 ? gpfm::kPfmHeaderSize : 0);
  std::memcpy(file.data() + at, directory, sizeof *directory);
  file.insert(file.end(), area, area + areaSize);
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string dir = fuzz::SetUpScratch("fuzz-gpfm");
  gFile = dir + "/in.gpfm";
  gOut = dir + "/out";
  std::filesystem::create_directories(gOut);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::unique_ptr<PfmHeader> directory(new PfmHeader());
  bool known = false;
  int cfm = 0;
  if (data[0] % 2 == 0) {
    fuzz::WriteBytes(gFile, data + 1, size - 1);
  } else {
    const std::vector<std::uint8_t> file = Compact(data + 1, size - 1, directory.get(), &cfm);
    fuzz::WriteBytes(gFile, file.data(), file.size());
    known = true;
  }
  fuzz::EmptyFolder(gOut);
  const int result = ParseGpfmFile(gFile.c_str(), gOut.c_str());
  if (result == 1 && known) {
    // A bad targetCFM or valid word was accepted.
    if ((cfm != 1 && cfm != 2) || directory->valid != 1) std::abort();
    for (std::uint32_t t = 0; t < gpfm::kTableCount; ++t) {
      const std::string path = gOut + "/" + std::to_string(t) + ".lz4";
      std::error_code ec;
      const bool present = directory->entrySize[t][0] != 0;
      if (std::filesystem::exists(path, ec) != present) std::abort();
      if (!present) continue;
      std::uint64_t expected = 0;
      for (int s = 0; s < gpfm::SegmentCount(*directory, t); ++s)
        expected += directory->entrySize[t][s];
      if (std::filesystem::file_size(path, ec) != expected) std::abort();
    }
  }
  plat::TakeDebugOutput();
  return 0;
}
