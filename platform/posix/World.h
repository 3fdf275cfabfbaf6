// A world: the SVP machine that the POSIX platform half pretends to be.
//
// One INI file describes it (see docs/world.md): the software root, drives
// A..Z mapped to host directories with their type, size and flags, the
// controller identity, client-PC drives seen through terminal services,
// network connections of drive letters, and the settings of the SVP service
// stand-ins.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace plat {

struct Drive {
  bool present = false;
  std::string hostDir;      // absolute host directory of the drive root
  UINT type = DRIVE_FIXED;  // DRIVE_REMOVABLE 2, DRIVE_FIXED 3, DRIVE_CDROM 5
  std::uint64_t totalBytes = 0;  // 0: the host file system's own figures
  bool notReady = false;
  bool writeProtected = false;
};

struct ClientDrive {
  std::string remoteName;  // as the network provider lists it, e.g. "\\tsclient\C"
  std::string hostDir;
};

class World {
 public:
  // Loads an INI file; on failure returns nullopt and fills *error.
  static std::optional<World> Load(const std::string& iniPath, std::string* error);
  // A world with no drives, rooted at "C:" (tests fill it in).
  static World Empty();

  std::string iniPath;  // the file it came from (empty when built in memory)
  std::string baseDir;  // folder of the INI file; relative paths start here
  std::string root = "C:";
  std::string identity = "DKC";
  std::array<Drive, 26> drives{};
  std::vector<ClientDrive> clientDrives;
  std::map<char, std::string> connections;  // drive letter -> remote name
  int desktopWidth = 1024;
  int desktopHeight = 768;
  long long clockOffsetSeconds = 0;  // added to the host's local time

  // Settings of the service stand-ins, "section.key" (lower case) -> text.
  std::map<std::string, std::string> settings;

  Drive& drive(char letter);
  const Drive& drive(char letter) const;
  std::string Setting(const std::string& key, const std::string& fallback = "") const;
  long long SettingInt(const std::string& key, long long fallback) const;
  // A path relative to the world's folder made absolute.
  std::string HostPathOf(const std::string& relativeOrAbsolute) const;
};

}  // namespace plat
