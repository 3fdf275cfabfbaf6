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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  // A 64-bit total truncated to 32 bits is the sum modulo 2^32.
  std::uint64_t sum = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  // 16 bytes at a time: the sum of absolute differences against zero adds
  // each half of them into one 64-bit lane.
  const __m128i zero = _mm_setzero_si128();
  __m128i lanes = zero;
  for (; i + 16 <= size; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    lanes = _mm_add_epi64(lanes, _mm_sad_epu8(bytes, zero));
  }
  sum = static_cast<std::uint64_t>(_mm_cvtsi128_si64(lanes)) +
        static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(lanes, lanes)));
#endif
  for (; i < size; ++i) sum += data[i];
  return static_cast<std::uint32_t>(sum);
}

// The segments of a present table: up to the first size of 0, at most 8.
inline int SegmentCount(const PfmHeader& header, std::uint32_t table) {
  int n = 0;
  while (n < static_cast<int>(kSegmentsPerTable) && header.entrySize[table][n] != 0) ++n;
  return n;
}

}  // namespace gpfm
