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

// One medium of a drive's media list: a host folder, with the size, write
// protection and readiness of its own where the world gives them (else the
// drive's).
struct Medium {
  std::string name;     // as the list names it ("vol2")
  std::string hostDir;  // absolute host directory
  std::optional<std::uint64_t> totalBytes;
  std::optional<bool> notReady;
  std::optional<bool> writeProtected;
};

struct Drive {
  bool present = false;
  std::string hostDir;           // absolute host directory of the drive root
  UINT type = DRIVE_FIXED;       // DRIVE_REMOVABLE 2, DRIVE_FIXED 3, DRIVE_CDROM 5
  std::uint64_t totalBytes = 0;  // 0: the host file system's own figures
  bool notReady = false;
  bool writeProtected = false;
  // A removable or CD-ROM drive may hold a list of media instead of one
  // folder; the fields above then describe the medium in the drive, and
  // `inserted` is its index (media.size(): the drive is empty).
  std::vector<Medium> media;
  std::size_t inserted = 0;
  // The drive's own values, under the media that give none.
  std::uint64_t driveTotalBytes = 0;
  bool driveNotReady = false;
  bool driveWriteProtected = false;

  // Puts a medium in (the fields above follow it); an index past the list
  // empties the drive (not ready).
  void Insert(std::size_t index);
  // Puts a folder that is not in the list in, with the drive's own values.
  void InsertFolder(const std::string& name, const std::string& hostDir);
};

// What a value of the world file may be.
enum class WorldValue {
  Text,        // any text, or at most `high` characters when high > 0
  Whole,       // a whole decimal number from `low` to `high`
  Flag,        // true or false (yes/no, on/off, 1/0)
  DriveType,   // removable, fixed or cdrom (2, 3 or 5)
  ByteCount,   // a whole number of bytes, 0 to 2^64 - 1
  Folder,      // an existing host folder, relative to the world file's folder
  FolderList,  // existing host folders separated by ';'
  Remote,      // a network name "\\server\share"
  Root,        // "X:" or "X:\FOLDER", at most `high` characters
};

// One key of the world file. A section "drive.X" stands for [drive.A] to
// [drive.Z], "medium.NAME" and "client.N" for any name after the dot, and
// the key "X" of [connections] for any drive letter.
struct WorldKey {
  const char* section;
  const char* key;
  WorldValue value;
  long long low;
  long long high;
  const char* meaning;
};

// Every key the world file may hold, section by section: the loader checks
// each line against it, and docs/world.md lists it (svpconf init --keys).
const std::vector<WorldKey>& WorldKeys();
// The values a key takes, in words: "a whole number from 0 to 3600000".
std::string DescribeAllowed(const WorldKey& key);

struct ClientDrive {
  std::string remoteName;  // as the network provider lists it, e.g. "\\tsclient\C"
  std::string hostDir;
};

class World {
 public:
  // Loads an INI file; on failure returns nullopt and fills *error with
  // every problem found, one a line.
  static std::optional<World> Load(const std::string& iniPath, std::string* error);
  // Every problem of a world file, each with the file and its line
  // ("svp.ini:12: unknown section [drve.C] (did you mean [drive.C]?)");
  // none when it loads.
  static std::vector<std::string> Check(const std::string& iniPath);
  // A world with no drives, rooted at "C:" (tests fill it in).
  static World Empty();

  std::string iniPath;  // the file it came from (empty when built in memory)
  std::string baseDir;  // folder of the INI file; relative paths start here
  std::string root = "C:";
  std::string identity = "DKC";
  std::array<Drive, 26> drives{};
  std::vector<ClientDrive> clientDrives;
  std::map<char, std::string> connections;  // drive letter -> remote name
  // Connections that are remembered but not connected (the connection query
  // answers ERROR_CONNECTION_UNAVAIL).
  std::map<char, bool> unavailableConnections;
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
