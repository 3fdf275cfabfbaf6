// The machine's own files, by host path, for the stand-ins (platform/Machine.h):
// the same on every half, in the host's text mode.
#include "platform/Machine.h"

#include <cstdio>

namespace plat {

bool AppendHostFile(const std::string& hostPath, const std::string& text) {
  std::FILE* f = std::fopen(hostPath.c_str(), "a");
  if (!f) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return (std::fclose(f) == 0) && written;
}

bool ReadHostFile(const std::string& hostPath, std::string* text) {
  std::FILE* f = std::fopen(hostPath.c_str(), "r");
  if (!f) return false;
  text->clear();
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text->append(buffer, n);
  const bool read = std::ferror(f) == 0;
  std::fclose(f);
  return read;
}

}  // namespace plat
