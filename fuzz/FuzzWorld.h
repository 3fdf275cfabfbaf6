// What the fuzz targets share: a platform over host paths with no trace file,
// a scratch folder of their own (in /dev/shm when it exists), an SVP world
// with drive C: in that folder, and snapshots of host trees for the checks
// that nothing outside a target changed.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/World.h"

namespace fuzz {

inline std::string SetUpScratch(const char* name) {
  plat::World world = plat::World::Empty();
  world.settings["services.trace_file"] = "";
  plat::Install(std::make_shared<plat::PosixPlatform>(std::move(world)));
  std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string templ = base + "/talver-" + name + "-XXXXXX";
  if (!::mkdtemp(templ.data())) std::abort();
  // The folder goes when the fuzzer ends, however it ends.
  static std::string scratch;
  scratch = templ;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
  });
  return templ;
}

inline void EmptyFolder(const std::string& dir) {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    std::filesystem::remove_all(e.path(), ec);
}

inline void WriteBytes(const std::string& path, const void* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

// Aborts with the reason: the invariant a target checks did not hold.
[[noreturn]] inline void Fail(const char* why) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", why);
  std::abort();
}
inline void Check(bool holds, const char* why) {
  if (!holds) Fail(why);
}

// An SVP world in a scratch folder: drive C: is <dir>/c (a fixed disk of
// driveBytes, so a runaway write ends in a full disk), with the folders of
// the \PLAXON tree; <dir>/outside is a host folder beside the drive that no
// call may touch. No trace file is written.
struct World {
  std::string dir, c, outside;
};

inline World SetUpWorld(const char* name, std::uint64_t driveBytes = 64u << 20) {
  World w;
  w.dir = SetUpScratch(name);
  w.c = w.dir + "/c";
  w.outside = w.dir + "/outside";
  for (const char* d : {"PLAXON/CONFIG", "PLAXON/TMP", "PLAXON/OTHERS/BACKUP", "PLAXON/DIFF"})
    std::filesystem::create_directories(w.c + "/" + d);
  std::filesystem::create_directories(w.outside);
  WriteBytes(w.outside + "/kept", "kept", 4);
  plat::World world = plat::World::Empty();
  plat::Drive& drive = world.drive('C');
  drive.present = true;
  drive.type = DRIVE_FIXED;
  drive.totalBytes = driveBytes;
  drive.hostDir = w.c;
  world.settings["services.trace_file"] = "";
  world.settings["services.wait_ms"] = "0";
  plat::Install(std::make_shared<plat::PosixPlatform>(std::move(world)));
  return w;
}

// Every entry below dir: relative path -> size, -1 for a folder, -2 for a
// link (never followed). `skip` names a top-level entry left out.
inline std::map<std::string, long long> Snapshot(const std::string& dir,
                                                 const std::string& skip = "") {
  namespace fs = std::filesystem;
  std::map<std::string, long long> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const std::string relative = fs::path(it->path()).lexically_relative(dir).string();
    if (!skip.empty() && (relative == skip || relative.rfind(skip + "/", 0) == 0)) {
      if (relative == skip) it.disable_recursion_pending();
      continue;
    }
    const fs::file_status st = it->symlink_status(ec);
    long long size = -1;
    if (fs::is_symlink(st))
      size = -2;
    else if (fs::is_regular_file(st))
      size = static_cast<long long>(it->file_size(ec));
    tree[relative] = size;
  }
  return tree;
}

}  // namespace fuzz
