// What both fuzz targets share: a platform over host paths with no trace
// file, and a scratch folder of their own (in /dev/shm when it exists).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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

}  // namespace fuzz
