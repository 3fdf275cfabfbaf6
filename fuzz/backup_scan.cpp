// libFuzzer target: the scans of backup folders by their names.
//
// The input is a list of folder names, each ended by a 0x00 byte and opened
// by a byte of flags (1 no archive inside, 2 an empty archive, 4 a file
// instead of a folder, 8 a link to a folder outside the drive instead of a
// folder, 16 links to the outside folder and its file inside the folder).
// Each name is made a folder of the HDD backup root (C:\PLAXON\OTHERS\BACKUP\)
// and of a backup medium's E:\PLAXON\CONFIG\. A host name cannot hold "/" or
// be longer than 255 bytes, and a Windows disk cannot hold two names that
// differ only in case: such names are changed or left out.
// Checked:
//   - the HDD backup scan counts exactly the folders that hold a non-empty
//     archive and that a Windows path can name (no "\" in the name, the
//     archive's path within 260 characters), and names the newest and the
//     oldest of them by name;
//   - deleting the oldest (as the retention does) removes that folder and
//     nothing else: the other backups, the configuration and the folder
//     outside the drive are as they were, links are never followed;
//   - the medium's backup test takes exactly the six-digit names beginning
//     with 4 that hold an archive.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzWorld.h"
#include "archive/CnfBakup.h"
#include "backupfile/CnfBakCnfList.h"
#include "common/Globals.h"

namespace {

namespace fs = std::filesystem;

fuzz::World gWorld;
std::string gBackupRoot, gMediumRoot, gMediumConfig;

constexpr std::size_t kBackupPrefix = sizeof "C:\\PLAXON\\OTHERS\\BACKUP\\" - 1;
constexpr std::size_t kArchiveSuffix = sizeof "\\svp_conf.tgz" - 1;

struct Folder {
  std::string name;
  std::uint8_t flags;
};

void MakeFolder(const std::string& parent, const Folder& f) {
  const std::string path = parent + "/" + f.name;
  std::error_code ec;
  if (f.flags & 4) {
    fuzz::WriteBytes(path, "file", 4);
    return;
  }
  if (f.flags & 8) {
    fs::create_directory_symlink(gWorld.outside, path, ec);
    return;
  }
  fs::create_directory(path, ec);
  if (!(f.flags & 1)) fuzz::WriteBytes(path + "/svp_conf.tgz", "archive", (f.flags & 2) ? 0 : 7);
  if (f.flags & 16) {
    fs::create_directory_symlink(gWorld.outside, path + "/linked", ec);
    fs::create_symlink(gWorld.outside + "/kept", path + "/linked-file", ec);
  }
}

bool IsBackupOnHdd(const Folder& f) {
  return !(f.flags & (1 | 2 | 4 | 8)) && f.name.find('\\') == std::string::npos &&
         kBackupPrefix + f.name.size() + kArchiveSuffix < MAX_PATH;
}

bool IsBackupOnMedium(const Folder& f) {
  if (f.flags & (1 | 4 | 8) || f.name.size() != 6 || f.name[0] != '4') return false;
  return std::all_of(f.name.begin(), f.name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void Reset(const std::string& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gWorld = fuzz::SetUpWorld("fuzz-backups");
  gBackupRoot = gWorld.c + "/PLAXON/OTHERS/BACKUP";
  gMediumRoot = gWorld.dir + "/e";
  gMediumConfig = gMediumRoot + "/PLAXON/CONFIG";
  fuzz::WriteBytes(gWorld.c + "/PLAXON/CONFIG/keep.dat", "keep", 4);
  plat::World world = plat::CurrentWorld();
  plat::Drive& e = world.drive('E');
  e.present = true;
  e.type = DRIVE_REMOVABLE;
  e.hostDir = gMediumRoot;
  plat::Install(std::make_shared<plat::PosixPlatform>(std::move(world)));
  RefreshRootPath();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<Folder> folders;
  std::size_t at = 0;
  while (at < size && folders.size() < 24) {
    const std::uint8_t flags = data[at++];
    const void* end = std::memchr(data + at, 0, size - at);
    const std::size_t stop = end ? static_cast<const std::uint8_t*>(end) - data : size;
    std::string name(reinterpret_cast<const char*>(data + at), stop - at);
    at = stop + 1;
    std::replace(name.begin(), name.end(), '/', '_');
    if (name.size() > 255) name.resize(255);
    if (name.empty() || name == "." || name == "..") continue;
    const bool twin = std::any_of(folders.begin(), folders.end(), [&](const Folder& f) {
      return strcasecmp(f.name.c_str(), name.c_str()) == 0;
    });
    if (!twin) folders.push_back({name, flags});
  }
  Reset(gBackupRoot);
  Reset(gMediumConfig);
  for (const Folder& f : folders) {
    MakeFolder(gBackupRoot, f);
    MakeFolder(gMediumConfig, f);
  }

  // The HDD backup scan.
  std::vector<std::string> valid;
  for (const Folder& f : folders)
    if (IsBackupOnHdd(f)) valid.push_back(f.name);
  auto byName = [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  };
  std::sort(valid.begin(), valid.end(), byName);
  char newest[MAX_PATH] = {}, oldest[MAX_PATH] = {};
  WORD newestCount = 0xFFFF, oldestCount = 0xFFFF;
  const int foundNewest = Talver_FindBackupDirectory(newest, &newestCount, 1);
  const int foundOldest = Talver_FindBackupDirectory(oldest, &oldestCount, 2);
  fuzz::Check(foundNewest == foundOldest && newestCount == oldestCount, "two scans disagree");
  fuzz::Check(newestCount == valid.size(), "the scan counted other backups than there are");
  fuzz::Check(foundNewest == (valid.empty() ? 0 : 1), "the scan's result disagrees with its count");
  if (!valid.empty()) {
    const std::string prefix = "C:\\plaxon\\others\\backup\\";
    fuzz::Check(newest == prefix + valid.back(), "the newest backup is not the last by name");
    fuzz::Check(oldest == prefix + valid.front(), "the oldest backup is not the first by name");

    // The retention's deletion of the oldest takes that folder and no more.
    auto before = fuzz::Snapshot(gWorld.c);
    const auto outside = fuzz::Snapshot(gWorld.outside);
    const std::string gone = "PLAXON/OTHERS/BACKUP/" + valid.front();
    for (auto it = before.begin(); it != before.end();)
      it = it->first == gone || it->first.rfind(gone + "/", 0) == 0 ? before.erase(it) : ++it;
    Talver_DeleteDirectory(oldest);
    fuzz::Check(fuzz::Snapshot(gWorld.c) == before, "the deletion touched more than the oldest");
    fuzz::Check(fuzz::Snapshot(gWorld.outside) == outside, "the deletion followed a link outside");
  }

  // The medium's backup folders.
  for (const Folder& f : folders) {
    if (f.name.find('\\') != std::string::npos) continue;
    fuzz::Check(IsBackupSerialDir("E:", f.name.c_str()) == IsBackupOnMedium(f),
                "the medium's backup test disagrees with the folder");
  }
  plat::TakeDebugOutput();
  return 0;
}
