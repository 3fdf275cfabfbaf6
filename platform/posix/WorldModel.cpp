// The world as data: drives and their media, settings. Loading it from its
// file is World.cpp's; this part needs nothing of the host, so a test world
// on another half can keep its drives in the same shape.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "platform/posix/World.h"

namespace plat {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

World World::Empty() { return World{}; }
void Drive::Insert(std::size_t index) {
  inserted = index < media.size() ? index : media.size();
  if (inserted == media.size()) {
    // Empty: every query fails with 21 until a medium is put in.
    hostDir = media.empty() ? hostDir : media.back().hostDir;
    notReady = true;
    return;
  }
  const Medium& m = media[inserted];
  hostDir = m.hostDir;
  totalBytes = m.totalBytes.value_or(driveTotalBytes);
  notReady = m.notReady.value_or(driveNotReady);
  writeProtected = m.writeProtected.value_or(driveWriteProtected);
}

void Drive::InsertFolder(const std::string& name, const std::string& folder) {
  Medium m;
  m.name = name;
  m.hostDir = folder;
  media.push_back(m);
  Insert(media.size() - 1);
}

Drive& World::drive(char letter) {
  return drives[static_cast<std::size_t>(std::toupper(static_cast<unsigned char>(letter)) - 'A')];
}
const Drive& World::drive(char letter) const {
  return drives[static_cast<std::size_t>(std::toupper(static_cast<unsigned char>(letter)) - 'A')];
}

std::string World::Setting(const std::string& key, const std::string& fallback) const {
  auto it = settings.find(Lower(key));
  return it == settings.end() ? fallback : it->second;
}

long long World::SettingInt(const std::string& key, long long fallback) const {
  auto it = settings.find(Lower(key));
  if (it == settings.end() || it->second.empty()) return fallback;
  char* end = nullptr;
  long long v = std::strtoll(it->second.c_str(), &end, 0);
  return *end == '\0' ? v : fallback;
}

std::string World::HostPathOf(const std::string& path) const {
  std::filesystem::path p(path);
  if (p.is_absolute() || baseDir.empty()) return p.lexically_normal().string();
  return (std::filesystem::path(baseDir) / p).lexically_normal().string();
}

}  // namespace plat
