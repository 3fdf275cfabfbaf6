#include "Format.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool FormatBounded(char* buffer, std::size_t size, const char* format, ...) {
  if (size == 0) return false;
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  if (n < 0 || static_cast<std::size_t>(n) >= size) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

bool CopyBounded(char* buffer, std::size_t size, const char* text) {
  if (size == 0) return false;
  std::size_t n = std::strlen(text);
  if (n >= size) {
    buffer[0] = '\0';
    return false;
  }
  std::memcpy(buffer, text, n + 1);
  return true;
}
