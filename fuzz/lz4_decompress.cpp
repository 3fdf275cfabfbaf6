// libFuzzer target: the conversion of one compressed table file. The input is
// the file; the result must agree with the LZ4 library's own answer on the
// same bytes (within the conversion's 700,000-byte input limit), and a
// converted table file must hold exactly the decompressed bytes.
#include <lz4.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "FuzzWorld.h"
#include "backupfile/CnfCmpThd2.h"

namespace {
std::string gIn, gOut;
std::unique_ptr<char[]> gExpected;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string dir = fuzz::SetUpScratch("fuzz-lz4");
  gIn = dir + "/in.lz4";
  gOut = dir + "/in";
  gExpected.reset(new char[kLz4OutputBufferSize]);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::WriteBytes(gIn, data, size);
  std::error_code ec;
  std::filesystem::remove(gOut, ec);
  WORD detail = 0xFFFF;
  const int result = DecompressLz4File(gIn.c_str(), gOut.c_str(), &detail);
  if ((result == 1) != (detail == 0)) std::abort();
  if (size > kLz4InputBufferSize) {
    if (result != 0 || detail != kDecompInputUnreadable) std::abort();
    return 0;
  }
  const int expected =
      LZ4_decompress_safe(reinterpret_cast<const char*>(data), gExpected.get(),
                          static_cast<int>(size), static_cast<int>(kLz4OutputBufferSize));
  if (expected < 0) {
    if (result != 0 || detail != kDecompMalformed) std::abort();
    return 0;
  }
  if (result != 1) std::abort();
  std::ifstream in(gOut, std::ios::binary);
  const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (got.size() != static_cast<std::size_t>(expected) ||
      std::memcmp(got.data(), gExpected.get(), got.size()) != 0)
    std::abort();
  return 0;
}
