#include "platform/posix/World.h"

#include <ini.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace plat {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool ParseBool(const std::string& value) {
  std::string v = Lower(value);
  return v == "1" || v == "true" || v == "yes" || v == "on";
}

bool ParseDriveType(const std::string& value, UINT* type) {
  std::string v = Lower(value);
  if (v == "removable" || v == "2") *type = DRIVE_REMOVABLE;
  else if (v == "fixed" || v == "3") *type = DRIVE_FIXED;
  else if (v == "cdrom" || v == "cd-rom" || v == "5") *type = DRIVE_CDROM;
  else return false;
  return true;
}

bool ParseUnsigned(const std::string& value, std::uint64_t* out) {
  if (value.empty()) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long n = std::strtoull(value.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value[0] == '-') return false;
  *out = n;
  return true;
}

struct LoadState {
  World* world;
  std::string error;
  std::map<std::string, ClientDrive> clients;
};

int OnEntry(void* user, const char* sectionRaw, const char* keyRaw, const char* valueRaw) {
  auto* state = static_cast<LoadState*>(user);
  World& w = *state->world;
  std::string section = Lower(sectionRaw);
  std::string key = Lower(keyRaw);
  std::string value = valueRaw;
  // A value may be quoted to keep its blanks: caption_suffix = " - SVP".
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  auto fail = [&](const std::string& why) {
    if (state->error.empty())
      state->error = "[" + std::string(sectionRaw) + "] " + keyRaw + ": " + why;
    return 0;
  };

  if (section == "world") {
    if (key == "root") w.root = value;
    else if (key == "identity") w.identity = value;
    else if (key == "desktop_width") w.desktopWidth = std::atoi(value.c_str());
    else if (key == "desktop_height") w.desktopHeight = std::atoi(value.c_str());
    else if (key == "clock_offset_seconds") w.clockOffsetSeconds = std::atoll(value.c_str());
    else return fail("unknown key");
    return 1;
  }
  if (section.rfind("drive.", 0) == 0 && section.size() == 7 && std::isalpha(section[6])) {
    Drive& d = w.drive(section[6]);
    d.present = true;
    if (key == "path") d.hostDir = w.HostPathOf(value);
    else if (key == "type") {
      if (!ParseDriveType(value, &d.type)) return fail("type must be removable, fixed or cdrom");
    } else if (key == "size") {
      if (!ParseUnsigned(value, &d.totalBytes)) return fail("size must be a byte count");
    } else if (key == "not_ready") d.notReady = ParseBool(value);
    else if (key == "write_protected") d.writeProtected = ParseBool(value);
    else return fail("unknown key");
    return 1;
  }
  if (section.rfind("client.", 0) == 0) {
    ClientDrive& c = state->clients[section];
    if (key == "remote") c.remoteName = value;
    else if (key == "path") c.hostDir = w.HostPathOf(value);
    else return fail("unknown key");
    return 1;
  }
  if (section == "connections") {
    if (key.size() != 1 || !std::isalpha(static_cast<unsigned char>(key[0])))
      return fail("a connection is named by its drive letter");
    w.connections[static_cast<char>(std::toupper(key[0]))] = value;
    return 1;
  }
  w.settings[section + "." + key] = value;
  return 1;
}

}  // namespace

World World::Empty() { return World{}; }

std::optional<World> World::Load(const std::string& iniPath, std::string* error) {
  World w;
  std::error_code ec;
  auto abs = std::filesystem::absolute(iniPath, ec);
  w.iniPath = ec ? iniPath : abs.string();
  w.baseDir = std::filesystem::path(w.iniPath).parent_path().string();
  LoadState state{&w, {}, {}};
  int rc = ini_parse(w.iniPath.c_str(), OnEntry, &state);
  if (rc < 0) {
    *error = "cannot open world file " + w.iniPath;
    return std::nullopt;
  }
  if (!state.error.empty()) {
    *error = w.iniPath + ": " + state.error;
    return std::nullopt;
  }
  if (rc > 0) {
    *error = w.iniPath + ": syntax error on line " + std::to_string(rc);
    return std::nullopt;
  }
  for (auto& [name, client] : state.clients) {
    if (client.remoteName.empty() || client.hostDir.empty()) {
      *error = w.iniPath + ": [" + name + "] needs remote and path";
      return std::nullopt;
    }
    w.clientDrives.push_back(client);
  }
  for (int i = 0; i < 26; ++i) {
    const Drive& d = w.drives[i];
    if (d.present && d.hostDir.empty()) {
      *error = w.iniPath + ": [drive." + std::string(1, static_cast<char>('A' + i)) +
               "] needs a path";
      return std::nullopt;
    }
  }
  return w;
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
