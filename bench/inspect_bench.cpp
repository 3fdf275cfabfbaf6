// Looking inside backups: `backups --verify` over ten HDD backups of a
// generated configuration against `gzip -t` over the same ten archives, and
// the diff of two of them against reading both whole (`gzip -dc`), best of
// R runs each, side by side. Exit 0 when both ratios are at most 1.2.
//
//   build/bench/bench_inspect_bench build/svpconf [--mb M] [--files N] [--runs R] [--dir D]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ConfigTree.h"
#include "exports/Exports.h"
#include "host/talver_host.h"

namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<bool()>& f, bool* ok) {
  auto t0 = std::chrono::steady_clock::now();
  *ok = f() && *ok;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

void Ignore(const talver_change*, void*) {}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SVPCONF [--mb M] [--files N] [--runs R] [--dir D]\n", argv[0]);
    return 2;
  }
  std::uint64_t mb = 300;
  int files = 1500, runs = 3;
  std::string dir;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--mb")
      mb = std::strtoull(argv[i + 1], nullptr, 10);
    else if (a == "--files")
      files = std::atoi(argv[i + 1]);
    else if (a == "--runs")
      runs = std::atoi(argv[i + 1]);
    else if (a == "--dir")
      dir = argv[i + 1];
  }
  const bool own = dir.empty();
  if (own) {
    std::string templ = (fs::temp_directory_path() / "inspect-bench-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return 1;
    dir = templ;
  }
  const fs::path work = dir;
  if (!Shell(std::string(argv[1]) + " init '" + work.string() + "' >/dev/null")) return 1;
  const fs::path c = work / "drives/c";
  const std::uint64_t bytes = bench_tree::Generate(c, files, mb << 20);
  char error[256];
  if (!TalverHost_LoadWorld((work / "svp.ini").c_str(), error, sizeof error)) {
    std::fprintf(stderr, "%s\n", error);
    return 1;
  }
  // One backup by the export, copied under nine more stamps.
  WORD word = 0;
  if (dsvCnf_ConfigIsHddBackup(0, 0, &word) != 1) return 1;
  const fs::path backups = c / "PLAXON/OTHERS/BACKUP";
  fs::path first = fs::directory_iterator(backups)->path();
  std::vector<std::string> stamps;
  std::string archives;
  for (int i = 0; i < 10; ++i) {
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "202601%02d000000", i + 1);
    stamps.push_back(stamp);
    if (i > 0) fs::copy(first, backups / stamp);
    archives += " '" + (backups / stamp / "svp_conf.tgz").string() + "'";
  }
  fs::rename(first, backups / stamps[0]);
  std::printf("configuration: %d files, %.1f MB; archive %.1f MB; 10 backups in %s\n", files,
              bytes / 1048576.0, fs::file_size(backups / stamps[0] / "svp_conf.tgz") / 1048576.0,
              backups.c_str());
  Shell("cat" + archives + " >/dev/null");  // warm the page cache

  double verify = 1e9, gzipT = 1e9, diff = 1e9, read = 1e9;
  bool ok = true;
  for (int run = 0; run < runs; ++run) {
    gzipT = std::min(gzipT, Seconds([&] { return Shell("gzip -t" + archives); }, &ok));
    verify = std::min(verify, Seconds(
                                  [&] {
                                    bool sound = true;
                                    char why[512];
                                    for (const auto& s : stamps)
                                      sound = TalverHost_Verify(s.c_str(), why, sizeof why) == 1 &&
                                              sound;
                                    return sound;
                                  },
                                  &ok));
    read = std::min(
        read, Seconds(
                  [&] {
                    return Shell("gzip -dc '" + (backups / stamps[0] / "svp_conf.tgz").string() +
                                 "' >/dev/null && gzip -dc '" +
                                 (backups / stamps[1] / "svp_conf.tgz").string() + "' >/dev/null");
                  },
                  &ok));
    diff = std::min(diff, Seconds(
                              [&] {
                                char why[512];
                                return TalverHost_Diff(stamps[0].c_str(), stamps[1].c_str(), Ignore,
                                                       nullptr, why, sizeof why) == 1;
                              },
                              &ok));
  }
  std::printf("%-34s %8.3f s\n", "backups --verify (10 backups)", verify);
  std::printf("%-34s %8.3f s   ratio %.2f (target <= 1.2)\n", "gzip -t (the same 10 archives)",
              gzipT, verify / gzipT);
  std::printf("%-34s %8.3f s\n", "diff of two backups", diff);
  std::printf("%-34s %8.3f s   ratio %.2f (target <= 1.2)\n", "gzip -dc of both", read,
              diff / read);
  if (own) fs::remove_all(work);
  if (!ok) {
    std::fprintf(stderr, "a step failed\n");
    return 1;
  }
  return verify <= 1.2 * gzipT && diff <= 1.2 * read ? 0 : 1;
}
