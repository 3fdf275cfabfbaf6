// The gzip members the archiver writes, as its reader and writer share them:
// each member's header carries its total length, and an archive ends in a
// member that records its entry count (see TarGzip.h).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tar32::gzip {

// Gzip member header with one extra subfield "SM" holding the member's
// total length: ID1 ID2 CM FLG(FEXTRA) MTIME(4) XFL OS XLEN(2) SI1 SI2 LEN(2) SIZE(4).
constexpr std::size_t kHeaderBytes = 20;
constexpr std::size_t kTrailerBytes = 8;
// Our members never hold more than kMemberBytes; a larger claim is read by streaming.
constexpr std::size_t kLargestWholeMember = 4u << 20;

inline void PutLe32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
inline std::uint32_t GetLe32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void PutHeader(unsigned char* h, std::uint32_t memberSize) {
  const unsigned char fixed[16] = {0x1f, 0x8b, 8, 4, 0, 0, 0, 0, 0, 3, 8, 0, 'S', 'M', 4, 0};
  std::memcpy(h, fixed, sizeof fixed);
  PutLe32(h + 16, memberSize);
}

// The total length of a member written by GzipWriter, or 0.
inline std::size_t OwnMemberSize(const unsigned char* p, std::size_t avail) {
  if (avail < kHeaderBytes || p[0] != 0x1f || p[1] != 0x8b || p[2] != 8) return 0;
  if ((p[3] & 4) == 0 || p[10] != 8 || p[11] != 0) return 0;
  if (p[12] != 'S' || p[13] != 'M' || p[14] != 4 || p[15] != 0) return 0;
  std::size_t size = GetLe32(p + 16);
  if (size < kHeaderBytes + kTrailerBytes || size > kLargestWholeMember) return 0;
  return size;
}

constexpr unsigned char kCountHeader[16] = {0x1f, 0x8b, 8,  4, 0,   0,   0,  0,
                                            0,    3,    20, 0, 'E', 'C', 16, 0};
// An empty deflate stream (one final fixed block), then CRC 0 and length 0.
constexpr unsigned char kEmptyBody[10] = {3, 0, 0, 0, 0, 0, 0, 0, 0, 0};

inline void PutLe64(unsigned char* p, std::uint64_t v) {
  PutLe32(p, static_cast<std::uint32_t>(v));
  PutLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline std::uint64_t GetLe64(const unsigned char* p) {
  return GetLe32(p) | static_cast<std::uint64_t>(GetLe32(p + 4)) << 32;
}

inline bool AllZero(const unsigned char* p, std::size_t n) {
  return std::all_of(p, p + n, [](unsigned char c) { return c == 0; });
}

}  // namespace tar32::gzip
