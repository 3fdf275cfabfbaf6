// Hand-built ".gpfm" files for the reader's tests: the header area and the
// data area are laid out byte by byte here, independently of the maker of
// svpconf, so that a fault shared by the maker and the reader would show.
#pragma once

#include <lz4.h>

#include <cstdint>
#include <string>
#include <vector>

class GpfmTestFile {
 public:
  static constexpr std::size_t kHeaderArea = 131344;

  explicit GpfmTestFile(std::uint32_t targetCFM = 1) : bytes_(kHeaderArea, '\0') {
    Put32(36, targetCFM);
    SetValid(1, 1);
    SetValid(2, 1);
  }

  // The offset of a table directory (1 or 2).
  static std::size_t HeaderOffset(int cfm) {
    return 144 + static_cast<std::size_t>(cfm - 1) * 65600;
  }

  void SetValid(int cfm, std::uint32_t value) { Put32(HeaderOffset(cfm), value); }
  void SetSize(int cfm, int t, int s, std::uint32_t size) {
    Put32(
        HeaderOffset(cfm) + 16 + 32 * static_cast<std::size_t>(t) + 4 * static_cast<std::size_t>(s),
        size);
  }
  void SetSum(int cfm, int t, int s, std::uint32_t sum) {
    Put32(HeaderOffset(cfm) + 32784 + 32 * static_cast<std::size_t>(t) +
              4 * static_cast<std::size_t>(s),
          sum);
  }

  static std::uint32_t Sum(const std::string& data) {
    std::uint32_t sum = 0;
    for (unsigned char c : data) sum += c;
    return sum;
  }

  // Table t of directory cfm with these segments: sizes and sums set, the
  // data appended with a padding byte (of value pad) after odd segments.
  void AddTable(int cfm, int t, const std::vector<std::string>& segments, char pad = '\xEE') {
    for (std::size_t s = 0; s < segments.size(); ++s) {
      SetSize(cfm, t, static_cast<int>(s), static_cast<std::uint32_t>(segments[s].size()));
      SetSum(cfm, t, static_cast<int>(s), Sum(segments[s]));
      bytes_ += segments[s];
      if (segments[s].size() % 2 != 0) bytes_ += pad;
    }
  }

  void Append(const std::string& raw) { bytes_ += raw; }
  const std::string& Bytes() const { return bytes_; }
  std::string& MutableBytes() { return bytes_; }

 private:
  void Put32(std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
      bytes_[offset + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }

  std::string bytes_;
};

// A wrong sum in the third segment of table 5, after tables 0 ("abc") and 1
// ("de"), before table 6.
inline GpfmTestFile SumMismatch() {
  GpfmTestFile file;
  file.AddTable(1, 0, {"abc"});
  file.AddTable(1, 1, {"de"});
  file.AddTable(1, 5, {"12", "34", "56"});
  file.SetSum(1, 5, 2, 1);
  file.AddTable(1, 6, {"later"});
  return file;
}

// One table compressed as an LZ4 block, as a backup file stores it.
inline std::string Lz4Block(const std::string& table) {
  std::string out(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(table.size()))),
                  '\0');
  int n = LZ4_compress_default(table.data(), out.data(), static_cast<int>(table.size()),
                               static_cast<int>(out.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}
