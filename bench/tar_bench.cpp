// Archiver benchmark: creates and extracts a generated configuration tree
// through Tar and through GNU tar (tar czf / tar xzf) in the same run, and
// the floors (igzip -dc + cp -r; tar | igzip -3 -T2 + a copy), and prints
// times, each ratio against its target, archive sizes, the time of the
// count and peak memory.
//
//   bench_tar_bench [--files N] [--mb M] [--runs R] [--dir HOSTDIR]
//
// Peak memory of our side alone: /usr/bin/time -v bench_tar_bench --ours-only
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ConfigTree.h"
#include "platform/posix/PosixPlatform.h"
#include "tar32/Tar32.h"

namespace fs = std::filesystem;

namespace {

// Each timed phase starts with the dirty pages of the last one written out.
double Seconds(const std::function<void()>& f) {
  ::sync();
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long PeakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

int Shell(const std::string& command) {
  int rc = std::system(command.c_str());
  if (rc != 0) std::fprintf(stderr, "command failed (%d): %s\n", rc, command.c_str());
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  int files = 1500;
  std::uint64_t mb = 200;
  int runs = 2;
  bool oursOnly = false;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--files" && i + 1 < argc)
      files = std::atoi(argv[++i]);
    else if (a == "--mb" && i + 1 < argc)
      mb = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--runs" && i + 1 < argc)
      runs = std::atoi(argv[++i]);
    else if (a == "--dir" && i + 1 < argc)
      dir = argv[++i];
    else if (a == "--ours-only")
      oursOnly = true;
    else {
      std::fprintf(stderr, "usage: %s [--files N] [--mb M] [--runs R] [--dir D] [--ours-only]\n",
                   argv[0]);
      return 2;
    }
  }
  bool own = dir.empty();
  if (own) {
    std::string templ = (fs::temp_directory_path() / "tar-bench-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return 1;
    dir = templ;
  }
  fs::path host = dir;
  fs::path c = host / "c";
  std::uint64_t bytes = bench_tree::Generate(c, files, mb << 20);
  std::printf("tree: %d files, %.1f MB in %s\n", files, bytes / 1048576.0, c.c_str());

  plat::World w = plat::World::Empty();
  w.baseDir = dir;
  plat::Drive& d = w.drive('C');
  d.present = true;
  d.type = DRIVE_FIXED;
  d.hostDir = c.string();
  plat::Install(std::make_shared<plat::PosixPlatform>(std::move(w)));

  std::string gnuArchive = (host / "gnu.tgz").string();
  std::string hostPlaxon = (c / "PLAXON").string();
  Shell("tar cf /dev/null -C '" + hostPlaxon + "' CONFIG");  // warm the page cache

  double oursCreate = 1e9, gnuCreate = 1e9, oursExtract = 1e9, gnuExtract = 1e9,
         oursExtractGnu = 1e9;
  char output[256];
  int failures = 0;
  // GNU tar reads names one per line: give it the list without CR.
  if (!oursOnly)
    Shell("tr -d '\\r' < '" + hostPlaxon + "/TMP/cnfbaklist' > '" + hostPlaxon +
          "/TMP/cnfbaklist.lf'");
  for (int run = 0; run < runs; ++run) {
    if (!oursOnly)
      gnuCreate = std::min(gnuCreate, Seconds([&] {
                             Shell("tar czf '" + gnuArchive + "' -C '" + hostPlaxon + "' -T '" +
                                   hostPlaxon + "/TMP/cnfbaklist.lf'");
                           }));
    oursCreate =
        std::min(oursCreate, Seconds([&] {
                   int rc = Tar(0,
                                "--display-dialog=0 cvfZ C:\\PLAXON\\TMP\\ours.tgz C:\\PLAXON\\ "
                                "@C:\\PLAXON\\TMP\\cnfbaklist",
                                output, sizeof output);
                   if (rc) {
                     std::fprintf(stderr, "Tar create: %s\n", output);
                     ++failures;
                   }
                 }));
  }
  std::uint64_t oursSize = fs::file_size(c / "PLAXON" / "TMP" / "ours.tgz");
  std::uint64_t gnuSize = oursOnly ? 0 : fs::file_size(gnuArchive);
  long peakCreate = PeakKb();

  for (int run = 0; run < runs; ++run) {
    fs::remove_all(host / "outgnu");
    fs::remove_all(c / "OUT1");
    fs::remove_all(c / "OUT2");
    fs::create_directories(host / "outgnu");
    fs::create_directories(c / "OUT1");
    fs::create_directories(c / "OUT2");
    if (!oursOnly)
      gnuExtract =
          std::min(gnuExtract, Seconds([&] {
                     Shell("tar xzf '" + gnuArchive + "' -C '" + (host / "outgnu").string() + "'");
                   }));
    oursExtract =
        std::min(oursExtract, Seconds([&] {
                   if (Tar(0, "--display-dialog=0 xvfo C:\\PLAXON\\TMP\\ours.tgz C:\\OUT1\\ *.*",
                           output, sizeof output)) {
                     std::fprintf(stderr, "Tar extract: %s\n", output);
                     ++failures;
                   }
                 }));
    if (!oursOnly) {
      fs::copy_file(gnuArchive, c / "gnu.tgz", fs::copy_options::overwrite_existing);
      oursExtractGnu = std::min(oursExtractGnu, Seconds([&] {
                                  if (Tar(0, "--display-dialog=0 xvfo C:\\gnu.tgz C:\\OUT2\\ *.*",
                                          output, sizeof output)) {
                                    std::fprintf(stderr, "Tar extract (GNU archive): %s\n", output);
                                    ++failures;
                                  }
                                }));
    }
  }
  long peak = PeakKb();

  // The floors: decompression alone with the fastest decompressor here and a
  // copy of the tree; tar piped into ISA-L's level 3 on two threads, and a
  // copy of an archive (the HDD backup copies it once written).
  double extractFloor = 1e9, createFloor = 1e9, copyArchive = 1e9, countOurs = 1e9, countGnu = 1e9;
  int countedOurs = 0, countedGnu = 0;
  const std::string ours = (c / "PLAXON" / "TMP" / "ours.tgz").string();
  for (int run = 0; !oursOnly && run < runs; ++run) {
    fs::remove_all(host / "cpr");
    double inflate = Seconds([&] { Shell("igzip -dc '" + ours + "' > /dev/null"); });
    double copyTree = Seconds([&] {
      Shell("cp -r '" + (c / "PLAXON" / "CONFIG").string() + "' '" + (host / "cpr").string() + "'");
    });
    extractFloor = std::min(extractFloor, inflate + copyTree);
    createFloor = std::min(createFloor, Seconds([&] {
                             Shell("tar cf - -C '" + hostPlaxon + "' -T '" + hostPlaxon +
                                   "/TMP/cnfbaklist.lf' | igzip -3 -T2 > '" +
                                   (host / "isal.tgz").string() + "'");
                           }));
    copyArchive = std::min(copyArchive, Seconds([&] {
                             Shell("cp '" + ours + "' '" + (host / "copy.tgz").string() + "'");
                           }));
    countOurs = std::min(
        countOurs, Seconds([&] { countedOurs = TarGetFileCount("C:\\PLAXON\\TMP\\ours.tgz"); }));
    countGnu = std::min(countGnu, Seconds([&] { countedGnu = TarGetFileCount("C:\\gnu.tgz"); }));
  }
  if (!oursOnly && (countedOurs != files || countedGnu != files)) {
    std::fprintf(stderr, "counts %d and %d, not %d\n", countedOurs, countedGnu, files);
    ++failures;
  }

  if (!oursOnly) {
    // Interop: GNU tar lists and extracts ours; both extractions match the tree.
    fs::create_directories(host / "gnuofours");
    failures += Shell("tar xzf '" + (c / "PLAXON" / "TMP" / "ours.tgz").string() + "' -C '" +
                      (host / "gnuofours").string() + "'") != 0;
    failures += Shell("diff -r '" + (c / "PLAXON" / "CONFIG").string() + "' '" +
                      (host / "gnuofours" / "CONFIG").string() + "'") != 0;
    failures += Shell("diff -r '" + (c / "PLAXON" / "CONFIG").string() + "' '" +
                      (c / "OUT1" / "CONFIG").string() + "'") != 0;
    failures += Shell("diff -r '" + (c / "PLAXON" / "CONFIG").string() + "' '" +
                      (c / "OUT2" / "CONFIG").string() + "'") != 0;
  }

  if (oursOnly) {
    std::printf(
        "create : ours %.2f s\nextract: ours %.2f s\narchive: ours %llu bytes; "
        "compression %.1f%%\n",
        oursCreate, oursExtract, static_cast<unsigned long long>(oursSize),
        100.0 * static_cast<double>(oursSize) / static_cast<double>(bytes));
  } else {
    std::printf("create : ours %.2f s, GNU tar czf %.2f s, ratio %.2f (target <= 0.80)\n",
                oursCreate, gnuCreate, oursCreate / gnuCreate);
    std::printf("extract: ours %.2f s, GNU tar xzf %.2f s, ratio %.2f (target <= 1.00)\n",
                oursExtract, gnuExtract, oursExtract / gnuExtract);
    std::printf("extract of the GNU archive: ours %.2f s, ratio %.2f\n", oursExtractGnu,
                oursExtractGnu / gnuExtract);
    std::printf(
        "archive: ours %llu bytes, GNU (gzip -6) %llu bytes, ratio %.3f (target <= 1.03); "
        "compression %.1f%%\n",
        static_cast<unsigned long long>(oursSize), static_cast<unsigned long long>(gnuSize),
        gnuSize ? static_cast<double>(oursSize) / static_cast<double>(gnuSize) : 0.0,
        100.0 * static_cast<double>(oursSize) / static_cast<double>(bytes));
  }
  if (!oursOnly) {
    std::printf(
        "extract: floor (igzip -dc + cp -r) %.2f s, ratio %.2f (target <= 1.30)\n"
        "create : floor (tar | igzip -3 -T2) %.2f s, ratio %.2f; with the copy of the archive "
        "(%.2f s) %.2f (target <= 1.00)\n"
        "count  : ours %.4f s (recorded), GNU archive %.2f s (counted), against our extraction "
        "%.3f and %.3f (target: ours about 0)\n",
        extractFloor, oursExtract / extractFloor, createFloor, oursCreate / createFloor,
        copyArchive, (oursCreate + copyArchive) / (createFloor + copyArchive), countOurs, countGnu,
        countOurs / oursExtract, countGnu / oursExtractGnu);
  }
  std::printf("peak memory (this process): after create %ld KB, overall %ld KB (target < 65536)\n",
              peakCreate, peak);
  std::printf("interop and content checks: %s\n", failures ? "FAILED" : "ok");
  if (own) fs::remove_all(host);
  return failures ? 1 : 0;
}
