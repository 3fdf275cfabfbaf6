// Profile strings over the world's files: the INI text is read through the
// platform (so faults injected there reach it) and parsed with inih. A
// Windows half forwards to the system's own GetPrivateProfileString.
#include <ini.h>
#include <strings.h>

#include <cstring>
#include <string>

#include "platform/Platform.h"

namespace plat {
namespace {

struct ProfileQuery {
  const char* section;
  const char* key;
  std::string value;
  bool found = false;
};

int OnProfileEntry(void* user, const char* section, const char* key, const char* value) {
  auto* q = static_cast<ProfileQuery*>(user);
  if (!q->found && strcasecmp(section, q->section) == 0 && strcasecmp(key, q->key) == 0) {
    q->value = value;
    q->found = true;
  }
  return 1;
}

DWORD CopyBounded(const std::string& text, char* out, DWORD size) {
  if (size == 0) return 0;
  std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<DWORD>(n);
}

}  // namespace

DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                              char* out, DWORD size, const char* path) {
  std::string fallback = defaultText ? defaultText : "";
  while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
  HANDLE f = CreateFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!f) {
    DWORD n = CopyBounded(fallback, out, size);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return n;
  }
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got) && got > 0) text.append(buffer, got);
  CloseHandle(f);
  ProfileQuery q{section, key, {}, false};
  ini_parse_string(text.c_str(), OnProfileEntry, &q);
  return CopyBounded(q.found ? q.value : fallback, out, size);
}

}  // namespace plat
