// One folder of many files: `svpconf unpack` of an archive of N one-byte
// files in one folder against GNU tar xzf of the same archive, for several
// N in one run, with the time per file of each. The time per file of the
// export should stay flat as N grows (each name it resolves costs the same
// however full the folder is), and 20,000 files should take at most 1.5x
// GNU tar's time.
//
// "net us" leaves out what a call costs whatever its archive (an archive of
// one file). The last column is the floor of a writer that never leaves a
// half file under a final name: the bare system calls that make each file
// under a temporary name, write its byte, close it and rename it into
// place, nothing else (no archive, no checks), in microseconds a file.
//
//   bench_wide_folder_bench SVPCONF [N ...]     (default 1000 10000 20000 100000)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchMeasure.h"

namespace fs = std::filesystem;

namespace {

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

// The archive of `count` one-byte files in the folder WIDE.
bool MakeArchive(const fs::path& work, int count, const fs::path& archive) {
  const fs::path tree = work / "tree";
  fs::remove_all(tree);
  fs::create_directories(tree / "WIDE");
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "F%07d.DAT", i);
    std::ofstream(tree / "WIDE" / name, std::ios::binary) << 'x';
  }
  const bool ok = Shell("tar czf " + Quote(archive) + " -C " + Quote(tree) + " WIDE").ok;
  fs::remove_all(tree);
  return ok;
}

// The floor above for `count` files in the new folder `dir`, in seconds.
double RenameFloor(const fs::path& dir, int count) {
  fs::create_directories(dir);
  const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    char name[32], temporary[48];
    std::snprintf(name, sizeof name, "F%07d.DAT", i);
    std::snprintf(temporary, sizeof temporary, "%s.~tv%08X", name, static_cast<unsigned>(i));
    const int fd = ::openat(folder, temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, "x", 1) != 1 || ::close(fd) != 0 ||
        ::renameat(folder, temporary, folder, name) != 0)
      break;
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  ::close(folder);
  fs::remove_all(dir);
  return took.count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SVPCONF [N ...]\n", argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it comes
  const std::string svpconf = fs::absolute(argv[1]).string();
  std::vector<int> counts;
  for (int i = 2; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {1000, 10000, 20000, 100000};

  std::string templ = (fs::temp_directory_path() / "wide-bench-XXXXXX").string();
  if (!::mkdtemp(templ.data())) return 1;
  const fs::path work = templ;
  if (!Shell(svpconf + " init " + Quote(work / "world") + " >/dev/null").ok) return 1;
  ::setenv("TALVER_WORLD", (work / "world" / "svp.ini").c_str(), 1);
  const fs::path c = work / "world" / "drives" / "c";

  int failures = 0;
  // The best of two runs each way of the archive of `count` files: the
  // machine may be shared.
  const auto best = [&](int count, Measure* gnu, Measure* ours) {
    const fs::path archive = c / "WIDE.tgz";
    if (!MakeArchive(work, count, archive)) return false;
    gnu->seconds = ours->seconds = 1e9;
    for (int run = 0; run < 2; ++run) {
      fs::remove_all(c / "OUT");
      fs::remove_all(work / "gnu");
      fs::create_directories(c / "OUT");
      fs::create_directories(work / "gnu");
      ::sync();
      const Measure g = Shell("tar xzf " + Quote(archive) + " -C " + Quote(work / "gnu"));
      ::sync();
      const Measure o =
          Shell(svpconf + " unpack 'C:\\WIDE.tgz' 'C:\\OUT\\' </dev/null >/dev/null 2>&1");
      std::size_t extracted = 0;
      for (const auto& e : fs::recursive_directory_iterator(c / "OUT"))
        extracted += e.is_regular_file() ? 1 : 0;
      if (!g.ok || !o.ok || extracted != static_cast<std::size_t>(count)) ++failures;
      if (g.seconds < gnu->seconds) *gnu = g;
      if (o.seconds < ours->seconds) *ours = o;
    }
    return true;
  };
  // What a call costs whatever its archive (the program's start, the world,
  // the dialogs): an archive of one file. "net" is the time per file
  // without it.
  Measure oneGnu, oneOurs;
  if (!best(1, &oneGnu, &oneOurs)) return 1;
  std::printf("%8s %12s %12s %9s %12s %12s %7s %10s %9s\n", "files", "unpack (s)", "us/file",
              "net us", "tar xzf (s)", "us/file", "ratio", "peak (MB)", "floor us");
  for (int count : counts) {
    Measure gnu, ours;
    if (!best(count, &gnu, &ours)) return 1;
    const double floor =
        std::min(RenameFloor(work / "floor", count), RenameFloor(work / "floor", count));
    const double net = count > 1 ? (ours.seconds - oneOurs.seconds) / (count - 1) : 0;
    std::printf("%8d %12.3f %12.1f %9.1f %12.3f %12.1f %7.2f %10.1f %9.1f\n", count, ours.seconds,
                1e6 * ours.seconds / count, 1e6 * net, gnu.seconds, 1e6 * gnu.seconds / count,
                ours.seconds / gnu.seconds, ours.maxRssKb / 1024.0, 1e6 * floor / count);
  }
  fs::remove_all(work);
  std::printf("checks: %s\n", failures ? "FAILED" : "ok");
  return failures ? 1 : 0;
}
