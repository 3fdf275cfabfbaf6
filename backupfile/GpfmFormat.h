// The layout of a ".gpfm" backup configuration file: a fixed header area and
// then the segments of up to 1,024 numbered tables.
//
//   offset       size    region
//   0            128     GumHeader (targetCFM at 36)
//   128          16      PfmCmnHeader (not interpreted)
//   144          65,600  first PfmHeader  (table directory of CFM 1)
//   65,744       65,600  second PfmHeader (table directory of CFM 2)
//   131,344      ...     data area: the segments of the present tables
//
// Every multi-byte field is a 32-bit little-endian unsigned integer. This
// header holds only the fixed sizes and records; the reader, the maker of the
// tool and the benchmark all use it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "backup file records are read as little-endian words");

namespace gpfm {

constexpr std::uint32_t kGumHeaderSize = 128;
constexpr std::uint32_t kPfmCmnHeaderSize = 16;
constexpr std::uint32_t kPfmHeaderSize = 65600;
constexpr std::uint32_t kTableCount = 1024;
constexpr std::uint32_t kSegmentsPerTable = 8;
constexpr std::uint64_t kFirstPfmHeaderOffset = kGumHeaderSize + kPfmCmnHeaderSize;  // 144
constexpr std::uint64_t kDataAreaOffset = kFirstPfmHeaderOffset + 2ull * kPfmHeaderSize;
// The reader's one working buffer: no segment may be longer.
constexpr std::uint32_t kSegmentBufferSize = 409600;
// Table 63 holds raw table files; every other table is one raw LZ4 block.
constexpr int kRawTable = 63;

}  // namespace gpfm

struct GumHeader {
  std::uint8_t reserved1[36];
  std::uint32_t targetCFM;  // 1: the first PfmHeader describes the data area, 2: the second
  std::uint8_t reserved2[88];
};

struct PfmCmnHeader {
  std::uint8_t bytes[16];
};

struct PfmHeader {
  std::uint32_t valid;  // 1 for a usable directory
  std::uint8_t reserved1[12];
  // entrySize[t][s]: byte length of segment s of table t; 0 ends the table
  // (and a first size of 0 marks the table absent).
  std::uint32_t entrySize[gpfm::kTableCount][gpfm::kSegmentsPerTable];
  // entrySum[t][s]: the sum modulo 2^32 of the segment's data bytes.
  std::uint32_t entrySum[gpfm::kTableCount][gpfm::kSegmentsPerTable];
  std::uint8_t reserved2[48];
};

static_assert(sizeof(GumHeader) == gpfm::kGumHeaderSize);
static_assert(offsetof(GumHeader, targetCFM) == 36);
static_assert(sizeof(PfmCmnHeader) == gpfm::kPfmCmnHeaderSize);
static_assert(sizeof(PfmHeader) == gpfm::kPfmHeaderSize);
static_assert(offsetof(PfmHeader, entrySize) == 16);
static_assert(offsetof(PfmHeader, entrySum) == 32784);
static_assert(gpfm::kDataAreaOffset == 131344);

namespace gpfm {

// The byte sum of a segment: every data byte as 0..255, modulo 2^32. The
// padding byte after an odd segment is never part of it.
inline std::uint32_t SegmentSum(const std::uint8_t* data, std::size_t size) {
  // Eight lanes of 32-bit partial sums keep the loop vectorisable; each lane
  // sees at most size/8 bytes, and the wrap-around modulo 2^32 is the same
  // whichever order the bytes are added in.
  std::uint32_t lanes[8] = {};
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8)
    for (int k = 0; k < 8; ++k) lanes[k] += data[i + static_cast<std::size_t>(k)];
  std::uint32_t sum = 0;
  for (std::uint32_t lane : lanes) sum += lane;
  for (; i < size; ++i) sum += data[i];
  return sum;
}

// The segments of a present table: up to the first size of 0, at most 8.
inline int SegmentCount(const PfmHeader& header, std::uint32_t table) {
  int n = 0;
  while (n < static_cast<int>(kSegmentsPerTable) && header.entrySize[table][n] != 0) ++n;
  return n;
}

}  // namespace gpfm
