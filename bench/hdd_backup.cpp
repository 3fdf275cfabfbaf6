// HDD backup benchmark: the whole export on the sample configuration with 0,
// 100 and 150 valid backups already present, and one retention scan alone,
// so the growth with the number of backups shows.
//
//   build/bench/bench_hdd_backup build/svpconf [WORKDIR]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "archive/CnfBakup.h"
#include "common/Globals.h"
#include "exports/Exports.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/World.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void SeedBackups(const fs::path& backupRoot, int n) {
  for (int i = 0; i < n; ++i) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2020%02d01%06d", 1 + i % 12, i);
    fs::create_directories(backupRoot / stamp);
    std::ofstream(backupRoot / stamp / "svp_conf.tgz") << "seeded backup";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SVPCONF [WORKDIR]\n", argv[0]);
    return 2;
  }
  fs::path work = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "talver-bench-hdd";
  std::printf("%-10s %14s %16s %12s\n", "backups", "export (ms)", "one scan (ms)", "kept");
  for (int n : {0, 100, 150}) {
    fs::remove_all(work);
    std::string init = std::string(argv[1]) + " init " + work.string() + " >/dev/null";
    if (std::system(init.c_str()) != 0) return 1;
    std::string error;
    auto world = plat::World::Load((work / "svp.ini").string(), &error);
    if (!world) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    // One timed wait of the common library is 1 second on the SVP; a short
    // one keeps the watch's polling out of the figures.
    world->settings["services.wait_ms"] = "2";
    plat::Install(std::make_shared<plat::PosixPlatform>(std::move(*world)));
    fs::path backupRoot = work / "drives/c/PLAXON/OTHERS/BACKUP";
    SeedBackups(backupRoot, n);

    RefreshRootPath();
    char path[MAX_PATH];
    WORD count = 0;
    auto s0 = Clock::now();
    Talver_FindBackupDirectory(path, &count, 2);
    auto scan = Clock::now() - s0;

    WORD word = 0;
    auto t0 = Clock::now();
    int result = dsvCnf_ConfigIsHddBackup(0, 0, &word);
    auto whole = Clock::now() - t0;
    Talver_FindBackupDirectory(path, &count, 2);
    if (result != 1) {
      std::fprintf(stderr, "backup failed, word 0x%04X\n", word);
      return 1;
    }
    std::printf("%-10d %14.1f %16.2f %12u\n", n, Ms(whole), Ms(scan), count);
  }
  fs::remove_all(work);
  return 0;
}
