#include "platform/Temporary.h"

#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <random>

#include "platform/Platform.h"

namespace plat {
namespace {

constexpr std::size_t kDigits = 8;
// Tries of a fresh name before the name space counts as exhausted.
constexpr int kTries = 64;

}  // namespace

bool IsTemporaryName(const std::string& name) {
  const std::size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string::npos) return false;
  const std::size_t digits = mark + sizeof kTemporaryMark - 1;
  if (name.size() != digits + kDigits) return false;
  for (std::size_t i = digits; i < name.size(); ++i)
    if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
  return name.find_first_of("\\/", mark) == std::string::npos;
}

HANDLE CreateTemporaryBeside(const std::string& final, std::string* temporary) {
  // Random at the start, so that two processes seldom try the same name; a
  // name taken by the other is passed over all the same.
  static std::atomic<std::uint32_t> next{std::random_device{}()};
  for (int attempt = 0; attempt < kTries; ++attempt) {
    char suffix[sizeof kTemporaryMark + kDigits];
    std::snprintf(suffix, sizeof suffix, "%s%08X", kTemporaryMark,
                  static_cast<unsigned>(next.fetch_add(1)));
    *temporary = final + suffix;
    if (temporary->size() >= MAX_PATH) {
      temporary->clear();
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return 0;
    }
    if (HANDLE h = CreateFile(temporary->c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0)) return h;
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  temporary->clear();
  return 0;
}

}  // namespace plat
