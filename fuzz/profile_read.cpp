// libFuzzer target: profile-string reads (SVP_MAIN.INI) over a hostile file.
//
// Input: a section name and a key name, each ended by a 0x00 byte, then the
// file. Checked, for buffers of 0, 1, 7, 64 and 4096 bytes:
//   - the count returned is below the buffer's size, the text is terminated
//     there, and nothing is written past the buffer;
//   - a smaller buffer gets a prefix of what a larger one gets;
//   - the text is the default or a piece of one line of the file;
//   - a file that opens with the section and the key gives their value
//     whatever follows (the first match wins);
// and the identity check of the service-processor type agrees with the
// value of [SVP_MAIN] Type that it reads.
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzWorld.h"
#include "common/Globals.h"
#include "validate/CnfChkMedia.h"

namespace {

fuzz::World gWorld;
std::string gProfile;  // C:\PLAXON\TMP\SVP_MAIN.INI
constexpr char kPath[] = "C:\\PLAXON\\TMP\\SVP_MAIN.INI";
constexpr char kDefault[] = "dflt";
constexpr char kGuard = '\x5A';

// Reads with a buffer of `size` bytes inside a guarded one; the text read.
std::string Read(const char* section, const char* key, DWORD size) {
  static char buffer[4096 + 64];
  std::memset(buffer, kGuard, sizeof buffer);
  const DWORD n = plat::GetPrivateProfileString(section, key, kDefault, buffer, size, kPath);
  for (std::size_t i = size; i < sizeof buffer; ++i)
    fuzz::Check(buffer[i] == kGuard, "the read wrote past the buffer");
  if (size == 0) {
    fuzz::Check(n == 0, "a read into no buffer counted characters");
    return {};
  }
  fuzz::Check(n < size, "the count is not below the buffer size");
  // A 0x00 byte of the file may stand inside the value: the count is the
  // characters copied, the text ends at the first zero.
  fuzz::Check(buffer[n] == '\0' && std::strlen(buffer) <= n, "the text is not terminated");
  return std::string(buffer, n);
}

bool IsPrefix(const std::string& part, const std::string& whole) {
  return whole.compare(0, part.size(), part) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gWorld = fuzz::SetUpWorld("fuzz-profile");
  gProfile = gWorld.c + "/PLAXON/TMP/SVP_MAIN.INI";
  RefreshRootPath();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const void* end1 = std::memchr(data, 0, size);
  if (!end1) return 0;
  const std::size_t sectionEnd = static_cast<const std::uint8_t*>(end1) - data;
  const void* end2 = std::memchr(data + sectionEnd + 1, 0, size - sectionEnd - 1);
  if (!end2) return 0;
  const std::size_t keyEnd = static_cast<const std::uint8_t*>(end2) - data;
  const std::string section(text, sectionEnd);
  const std::string key(text + sectionEnd + 1, keyEnd - sectionEnd - 1);
  const std::string file(text + keyEnd + 1, size - keyEnd - 1);
  fuzz::WriteBytes(gProfile, file.data(), file.size());

  const std::string whole = Read(section.c_str(), key.c_str(), 4096);
  for (DWORD small : {0u, 1u, 7u, 64u})
    fuzz::Check(IsPrefix(Read(section.c_str(), key.c_str(), small), whole),
                "a smaller buffer got other text");
  if (whole != kDefault) {
    fuzz::Check(whole.find_first_of("\r\n") == std::string::npos, "the value spans lines");
    fuzz::Check(file.find(whole) != std::string::npos, "the value is not from the file");
  }

  // The first match wins: a value put before the file is the one read.
  const std::string front = "[SVP_MAIN]\r\nType = TQ520\r\n" + file;
  fuzz::WriteBytes(gProfile, front.data(), front.size());
  fuzz::Check(Read("SVP_MAIN", "Type", 64) == "TQ520", "a later line overrode the first match");
  fuzz::Check(Read("svp_main", "TYPE", 64) == "TQ520", "names were compared with their case");

  // The identity check reads the same value from the hostile file.
  fuzz::WriteBytes(gProfile, file.data(), file.size());
  // The check compares the text up to its first zero byte.
  const std::string type = Read("SVP_MAIN", "Type", 64);
  WORD word = 0;
  const int check = Talver_CheckZeLT330Data(&word);
  const bool expected = strcasecmp(type.c_str(), "TQ520") == 0;
  fuzz::Check(check == (expected ? 1 : 0), "the type check disagrees with the value read");
  fuzz::Check(word == (expected ? 0 : 0x400B), "the type check has the wrong word");
  plat::TakeDebugOutput();
  return 0;
}
