// Tar headers as the archiver writes them: a plain ustar header for every
// entry that ustar can hold, and only when it cannot, the one extension that
// GNU tar and bsdtar both read without a word in any locale:
// - a name too long for ustar's name and prefix fields: a pax "path" record
//   when the name is plain ASCII, a GNU long-name record otherwise (a pax
//   name that is not ASCII makes bsdtar warn in the C locale, and
//   "hdrcharset" makes GNU tar warn; the long-name record keeps the bytes);
// - a size of 8 GiB or more, or a time ustar's field cannot hold: pax "size"
//   and "mtime" records.
// Names are bytes and are stored as they are, whatever the host's locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tar32 {

constexpr std::size_t kTarBlock = 512;
// GNU tar and libarchive pad the archive to records of 20 blocks.
constexpr std::size_t kTarRecord = 20 * kTarBlock;

struct TarHeaderFields {
  std::string name;  // "/"-separated, a folder's with a trailing "/"
  std::uint64_t size = 0;
  std::int64_t mtime = 0;  // Unix seconds
  unsigned mode = 0644;
  bool directory = false;
};

// Appends the header blocks of one entry (its extension blocks first);
// the entry's data follows, padded to a block with PadToBlock.
void AppendTarHeader(const TarHeaderFields& fields, std::vector<unsigned char>* out);

// The zero bytes that complete `size` bytes of data to a whole block.
inline std::size_t PadToBlock(std::uint64_t size) {
  return static_cast<std::size_t>((kTarBlock - size % kTarBlock) % kTarBlock);
}

}  // namespace tar32
