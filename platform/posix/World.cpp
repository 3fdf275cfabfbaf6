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
  if (v == "removable" || v == "2")
    *type = DRIVE_REMOVABLE;
  else if (v == "fixed" || v == "3")
    *type = DRIVE_FIXED;
  else if (v == "cdrom" || v == "cd-rom" || v == "5")
    *type = DRIVE_CDROM;
  else
    return false;
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

// A whole decimal number within [low, high].
bool ParseSigned(const std::string& value, long long low, long long high, long long* out) {
  if (value.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long n = std::strtoll(value.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || n < low || n > high) return false;
  *out = n;
  return true;
}

// The clock may be set back or ahead by up to 200 years: far enough for any
// test, near enough that the time it gives stays a date.
constexpr long long kLongestClockOffset = 200LL * 366 * 24 * 3600;

struct MediumSettings {
  std::optional<std::uint64_t> totalBytes;
  std::optional<bool> notReady;
  std::optional<bool> writeProtected;
};

struct LoadState {
  World* world;
  std::string error;
  std::map<std::string, ClientDrive> clients;
  std::map<int, std::string> mediaLists;        // drive index -> "a;b;c"
  std::map<std::string, MediumSettings> media;  // lower-case name -> settings
};

std::string Trim(const std::string& text) {
  std::size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

constexpr char kUnavailableMark[] = ", unavailable";

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
    if (key == "root")
      w.root = value;
    else if (key == "identity")
      w.identity = value;
    else if (key == "desktop_width" || key == "desktop_height") {
      long long n = 0;
      if (!ParseSigned(value, 1, 100000, &n)) return fail("a desktop size is 1 to 100000 pixels");
      (key == "desktop_width" ? w.desktopWidth : w.desktopHeight) = static_cast<int>(n);
    } else if (key == "clock_offset_seconds") {
      if (!ParseSigned(value, -kLongestClockOffset, kLongestClockOffset, &w.clockOffsetSeconds))
        return fail("the clock offset is a number of seconds within 200 years");
    } else
      return fail("unknown key");
    return 1;
  }
  if (section.rfind("drive.", 0) == 0 && section.size() == 7 && std::isalpha(section[6])) {
    Drive& d = w.drive(section[6]);
    d.present = true;
    if (key == "path")
      d.hostDir = w.HostPathOf(value);
    else if (key == "media")
      state->mediaLists[section[6] >= 'a' ? section[6] - 'a' : section[6] - 'A'] = value;
    else if (key == "type") {
      if (!ParseDriveType(value, &d.type)) return fail("type must be removable, fixed or cdrom");
    } else if (key == "size") {
      if (!ParseUnsigned(value, &d.totalBytes)) return fail("size must be a byte count");
    } else if (key == "not_ready")
      d.notReady = ParseBool(value);
    else if (key == "write_protected")
      d.writeProtected = ParseBool(value);
    else
      return fail("unknown key");
    return 1;
  }
  if (section.rfind("medium.", 0) == 0 && section.size() > 7) {
    MediumSettings& m = state->media[section.substr(7)];
    if (key == "size") {
      std::uint64_t n = 0;
      if (!ParseUnsigned(value, &n)) return fail("size must be a byte count");
      m.totalBytes = n;
    } else if (key == "not_ready")
      m.notReady = ParseBool(value);
    else if (key == "write_protected")
      m.writeProtected = ParseBool(value);
    else
      return fail("unknown key");
    return 1;
  }
  if (section.rfind("client.", 0) == 0) {
    ClientDrive& c = state->clients[section];
    if (key == "remote")
      c.remoteName = value;
    else if (key == "path")
      c.hostDir = w.HostPathOf(value);
    else
      return fail("unknown key");
    return 1;
  }
  if (section == "connections") {
    if (key.size() != 1 || !std::isalpha(static_cast<unsigned char>(key[0])))
      return fail("a connection is named by its drive letter");
    char letter = static_cast<char>(std::toupper(key[0]));
    std::string remote = value;
    const std::size_t mark = sizeof kUnavailableMark - 1;
    if (remote.size() > mark && Lower(remote.substr(remote.size() - mark)) == kUnavailableMark) {
      remote = Trim(remote.substr(0, remote.size() - mark));
      w.unavailableConnections[letter] = true;
    }
    w.connections[letter] = remote;
    return 1;
  }
  w.settings[section + "." + key] = value;
  return 1;
}

}  // namespace

std::optional<World> World::Load(const std::string& iniPath, std::string* error) {
  World w;
  std::error_code ec;
  auto abs = std::filesystem::absolute(iniPath, ec);
  w.iniPath = ec ? iniPath : abs.string();
  w.baseDir = std::filesystem::path(w.iniPath).parent_path().string();
  LoadState state{&w, {}, {}, {}, {}};
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
  for (const auto& [index, list] : state.mediaLists) {
    Drive& d = w.drives[static_cast<std::size_t>(index)];
    std::string name = "[drive." + std::string(1, static_cast<char>('A' + index)) + "]";
    if (!d.hostDir.empty()) {
      *error = w.iniPath + ": " + name + " has both path and media";
      return std::nullopt;
    }
    if (d.type != DRIVE_REMOVABLE && d.type != DRIVE_CDROM) {
      *error = w.iniPath + ": " + name + " media are for removable and cdrom drives";
      return std::nullopt;
    }
    std::size_t start = 0;
    for (;;) {
      std::size_t end = list.find(';', start);
      std::string folder = Trim(list.substr(start, end == std::string::npos ? end : end - start));
      if (!folder.empty()) {
        Medium m;
        m.name = folder;
        m.hostDir = w.HostPathOf(folder);
        if (auto it = state.media.find(Lower(folder)); it != state.media.end()) {
          m.totalBytes = it->second.totalBytes;
          m.notReady = it->second.notReady;
          m.writeProtected = it->second.writeProtected;
        }
        d.media.push_back(m);
      }
      if (end == std::string::npos) break;
      start = end + 1;
    }
    if (d.media.empty()) {
      *error = w.iniPath + ": " + name + " media names no folder";
      return std::nullopt;
    }
    d.driveTotalBytes = d.totalBytes;
    d.driveNotReady = d.notReady;
    d.driveWriteProtected = d.writeProtected;
    d.Insert(0);
  }
  for (int i = 0; i < 26; ++i) {
    const Drive& d = w.drives[i];
    if (d.present && d.hostDir.empty() && d.media.empty()) {
      *error =
          w.iniPath + ": [drive." + std::string(1, static_cast<char>('A' + i)) + "] needs a path";
      return std::nullopt;
    }
  }
  return w;
}

}  // namespace plat
