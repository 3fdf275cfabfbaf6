// Profile strings over the world's files, read through the platform (so
// faults injected there reach them) as the system's own reader reads them. A
// Windows half forwards to the system's GetPrivateProfileString.
#include <strings.h>

#include <cstring>
#include <string>
#include <string_view>

#include "platform/posix/PosixPlatform.h"

namespace plat {
namespace {

// Profile files are read line by line as the system's reader does: blanks
// trimmed at both ends of a line, ";" lines are comments, "[name]" opens a
// section, "key=value" gives the text after "=" trimmed, with one pair of
// surrounding double or single quotes removed. Nothing else of the line is a
// comment. Names are compared without regard to case; the first match wins.
constexpr std::string_view kProfileBlanks = " \t\r\v\f";

std::string_view TrimBlanks(std::string_view text) {
  std::size_t first = text.find_first_not_of(kProfileBlanks);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(kProfileBlanks);
  return text.substr(first, last - first + 1);
}

// An empty name (a line "=x", a key asked for as "") has no characters to
// compare, and its view may hold no pointer at all.
bool SameName(std::string_view a, const char* b) {
  return a.size() == std::strlen(b) && (a.empty() || strncasecmp(a.data(), b, a.size()) == 0);
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// The next line of the text with its blanks trimmed; false at the end.
bool TakeLine(std::string_view* text, std::string_view* line) {
  if (text->empty()) return false;
  std::size_t end = text->find_first_of("\r\n");
  *line = TrimBlanks(text->substr(0, end));
  text->remove_prefix(end == std::string_view::npos ? text->size() : end + 1);
  return true;
}

// The value of key in section, or false when the file has none.
bool FindProfileValue(std::string_view text, const char* section, const char* key,
                      std::string* value) {
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) text.remove_prefix(kUtf8Mark.size());
  bool inSection = false;
  std::string_view line;
  while (TakeLine(&text, &line)) {
    if (line.empty() || line.front() == ';') continue;
    std::size_t close = line.rfind(']');
    if (line.front() == '[' && close != std::string_view::npos) {
      inSection = SameName(line.substr(1, close - 1), section);
      continue;
    }
    if (!inSection) continue;
    std::size_t equals = line.find('=');
    if (!SameName(TrimBlanks(line.substr(0, equals)), key)) continue;
    std::string_view found =
        equals == std::string_view::npos ? std::string_view{} : line.substr(equals + 1);
    value->assign(StripQuotes(TrimBlanks(found)));
    return true;
  }
  return false;
}

DWORD CopyBounded(const std::string& text, char* out, DWORD size) {
  if (size == 0) return 0;
  std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<DWORD>(n);
}

}  // namespace

DWORD PosixPlatform::GetPrivateProfileString(const char* section, const char* key,
                                             const char* defaultText, char* out, DWORD size,
                                             const char* path) {
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
  bool read = true;
  while ((read = ReadFile(f, buffer, sizeof buffer, &got)) && got > 0) text.append(buffer, got);
  const DWORD readError = read ? 0 : plat::GetLastError();
  plat::CloseHandle(f);
  // A file read only in part gives no value from its part: the default.
  if (!read) {
    DWORD n = CopyBounded(fallback, out, size);
    SetLastError(readError);
    return n;
  }
  std::string value;
  bool found = FindProfileValue(text, section ? section : "", key ? key : "", &value);
  return CopyBounded(found ? value : fallback, out, size);
}

}  // namespace plat
