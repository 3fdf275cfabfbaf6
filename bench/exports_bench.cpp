// The whole exports through svpconf on a generated configuration (tables,
// texts and incompressible blobs; bench/ConfigTree.h), each against its
// peers and the floor measured in the same run, with the peak memory of
// each svpconf run:
//   HDD backup    tar czf + cp, tar | pigz -p2, tar | igzip -3 -T2;
//                 floor: tar | igzip -3 -T2 + cp
//   unpack        tar xzf, igzip -dc + cp -r (the floor)
//   backup-media  tar czf | split -b 1400000, onto floppies (a smaller
//                 configuration of its own: --media-mb, about three floppies)
//   setup         cat | tar xzf of those pieces; floor: cat | igzip -dc + cp -r
// Each figure is the best of the runs (the setup's and its peers' also the
// best of five in each run). Targets: backup <= floor, unpack
// <= 1.3x floor, setup <= 1.0x cat | tar xzf, peak memory < 64 MB.
//
//   bench_exports_bench SVPCONF [--mb M] [--files N] [--media-mb M] [--runs R] [--dir DIR] [--keep]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "BenchMeasure.h"
#include "ConfigTree.h"

namespace fs = std::filesystem;

namespace {

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

// A world of svpconf's sample SVP, its configuration grown by a generated
// tree (CONFIG\GEN), with a floppy drive A: of `floppies` media (folders
// f1 ...) and a target drive T: for the setup. One timed wait of the common
// library is 1 s on the SVP, and the HDD backup gives its archiver 60 of
// them; the benchmark scales the wait to the floor of each run (WaitFor). (A world file's line
// holds at most 200 characters: the floppies are few.)
struct World {
  fs::path dir, ini, plaxon;
  int floppies = 0;
  std::uint64_t bytes = 0;
};

bool MakeWorld(const std::string& svpconf, const fs::path& dir, int files, std::uint64_t mb,
               int floppies, World* w) {
  w->dir = dir;
  w->ini = dir / "svp.ini";
  w->plaxon = dir / "world" / "drives" / "c" / "PLAXON";
  w->floppies = floppies;
  if (!Shell(svpconf + " init " + Quote(dir / "world") + " >/dev/null").ok) return false;
  w->bytes = bench::GenerateConfigTree(w->plaxon / "CONFIG" / "GEN", files, mb * 1000000, nullptr);
  // The world file names only folders that are there.
  fs::create_directories(dir / "t");
  for (int i = 1; i <= floppies; ++i) fs::create_directories(dir / ("f" + std::to_string(i)));
  std::ofstream ini(w->ini, std::ios::binary);
  ini << "[world]\nroot = C:\nidentity = DKC-412345\n\n"
      << "[drive.C]\npath = world/drives/c\ntype = fixed\n\n"
      << "[drive.A]\ntype = removable\nsize = 1457664\nmedia = ";
  for (int i = 1; i <= floppies; ++i) ini << (i > 1 ? ";" : "") << "f" << i;
  ini << "\n\n[drive.T]\npath = t\ntype = fixed\n\n"
      << "[services]\ntrace_file = trace.log\naudit_file = audit.log\nwait_ms = 500\n"
      << "svp_state = 0\n";
  return static_cast<bool>(ini);
}

// One timed wait in milliseconds such that the archiver's 60 waits are four
// times the creation floor (at least 10 ms, at most 500): the wait in which
// the archive is done then adds at most a fifteenth of the floor.
int WaitFor(double floorSeconds) {
  return std::clamp(static_cast<int>(std::ceil(floorSeconds * 4 * 1000 / 60)), 10, 500);
}

bool SetWait(const World& w, int ms) {
  std::ifstream in(w.ini, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  const std::string key = "wait_ms = ";
  std::size_t at = text.find(key);
  if (at == std::string::npos) return false;
  text.replace(at + key.size(), text.find('\n', at) - at - key.size(), std::to_string(ms));
  std::ofstream out(w.ini, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(out << text);
}

struct Row {
  std::string name;
  std::vector<Measure> runs;
};

class Table {
 public:
  void Add(const std::string& name, const Measure& m) {
    auto it = index_.find(name);
    if (it == index_.end()) {
      index_[name] = rows_.size();
      rows_.push_back(Row{name, {}});
      it = index_.find(name);
    }
    rows_[it->second].runs.push_back(m);
    if (!m.ok) ++failures_;
  }
  double Best(const std::string& name) const { return ::Best(rows_[index_.at(name)].runs); }
  void Print() const {
    for (const Row& r : rows_) {
      std::printf("  %-34s", r.name.c_str());
      for (const Measure& m : r.runs) std::printf(" %8.3f s", m.seconds);
      std::printf("   peak %6.1f MB\n", ::PeakKb(r.runs) / 1024.0);
    }
  }
  long PeakKb(const std::string& name) const { return ::PeakKb(rows_[index_.at(name)].runs); }
  int Failures() const { return failures_; }

 private:
  std::vector<Row> rows_;
  std::map<std::string, std::size_t> index_;
  int failures_ = 0;
};

// An svpconf command in world `w` that counts only when the export
// reports result 1.
Measure Svpconf(const std::string& svpconf, const World& w, const std::string& args) {
  ::sync();
  const fs::path out = w.dir / "svpconf.out";
  return Shell("TALVER_WORLD=" + Quote(w.ini) + " " + svpconf + " " + args + " </dev/null >" +
               Quote(out) + " 2>&1 && grep -q '^result=1' " + Quote(out));
}

Measure Timed(const std::string& command) {
  ::sync();
  return Shell(command);
}

// The best of `n` runs of `run`, with the peak memory of all and failed
// when any failed.
constexpr int kSmallRepeats = 5;
Measure BestOf(int n, const std::function<Measure()>& run) {
  Measure best{};
  bool ok = true;
  long peak = 0;
  for (int i = 0; i < n; ++i) {
    const Measure m = run();
    ok = ok && m.ok;
    peak = std::max(peak, m.maxRssKb);
    if (i == 0 || m.seconds < best.seconds) best = m;
  }
  best.ok = ok;
  best.maxRssKb = peak;
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(
        stderr,
        "usage: %s SVPCONF [--mb M] [--files N] [--media-mb M] [--runs R] [--dir DIR] [--keep]\n",
        argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it comes
  const std::string svpconf = fs::absolute(argv[1]).string();
  std::uint64_t mb = 258;  // the generator overshoots: a tree of about 300 MB
  std::uint64_t mediaMb = 8;
  int files = 1200, runs = 2, mediaFiles = 40;
  std::string dir;
  bool keep = false;
  for (int i = 2; i < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--keep") {
      keep = true;
      --i;
      continue;
    }
    if (i + 1 >= argc) break;
    if (a == "--mb")
      mb = std::strtoull(argv[i + 1], nullptr, 10);
    else if (a == "--files")
      files = std::atoi(argv[i + 1]);
    else if (a == "--runs")
      runs = std::atoi(argv[i + 1]);
    else if (a == "--media-mb")
      mediaMb = std::strtoull(argv[i + 1], nullptr, 10);
    else if (a == "--dir")
      dir = argv[i + 1];
  }
  if (dir.empty()) {
    std::string templ = (fs::temp_directory_path() / "exports-bench-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return 1;
    dir = templ;
  }
  const fs::path work = dir;
  World big, small;
  if (!MakeWorld(svpconf, work / "big", files, mb, 1, &big) ||
      !MakeWorld(svpconf, work / "small", mediaFiles, mediaMb, 12, &small))
    return 1;
  std::printf("exports: %d files, %.1f MB; media: %d files, %.1f MB (%s)\n", files, big.bytes / 1e6,
              mediaFiles, small.bytes / 1e6, work.c_str());
  for (const World* w : {&big, &small})
    Shell("tar cf /dev/null -C " + Quote(w->plaxon) + " CONFIG");  // warm the page cache

  const fs::path peer = work / "peer";
  const fs::path diff = big.plaxon / "DIFF" / "svp_conf.tgz";
  Table t;
  int volumes = 0;
  for (int r = 0; r < runs; ++r) {
    fs::remove_all(peer);
    fs::create_directories(peer / "out");
    fs::remove_all(big.plaxon / "OTHERS" / "BACKUP");
    fs::create_directories(big.plaxon / "OTHERS" / "BACKUP");
    const std::string tarIn = "tar cf - -C " + Quote(big.plaxon) + " CONFIG";

    // The floor first: the backup's timed waits are scaled to it.
    const Measure floor = Timed(tarIn + " | igzip -3 -T2 > " + Quote(peer / "d.tgz") + " && cp " +
                                Quote(peer / "d.tgz") + " " + Quote(peer / "d2.tgz"));
    if (!SetWait(big, WaitFor(floor.seconds))) return 1;
    t.Add("hdd-backup", Svpconf(svpconf, big, "hdd-backup"));
    t.Add("tar czf + cp",
          Timed("tar czf " + Quote(peer / "a.tgz") + " -C " + Quote(big.plaxon) + " CONFIG && cp " +
                Quote(peer / "a.tgz") + " " + Quote(peer / "a2.tgz")));
    t.Add("tar | pigz -p2", Timed(tarIn + " | pigz -p2 > " + Quote(peer / "b.tgz")));
    t.Add("tar | igzip -3 -T2", Timed(tarIn + " | igzip -3 -T2 > " + Quote(peer / "c.tgz")));
    t.Add("floor: tar | igzip -3 -T2 + cp", floor);

    const fs::path out = big.plaxon.parent_path() / "OUT";
    fs::remove_all(out);
    fs::create_directories(out);
    t.Add("unpack", Svpconf(svpconf, big, "unpack 'C:\\PLAXON\\DIFF\\svp_conf.tgz' 'C:\\OUT\\'"));
    // GNU tar may warn once a file about our pax keywords: not a figure.
    t.Add("tar xzf",
          Timed("tar xzf " + Quote(diff) + " -C " + Quote(peer / "out") + " 2>/dev/null"));
    const Measure inflate = Timed("igzip -dc " + Quote(diff) + " >/dev/null");
    const Measure copy = Timed("cp -r " + Quote(big.plaxon / "CONFIG") + " " + Quote(peer / "cp"));
    t.Add("floor: igzip -dc + cp -r",
          Measure{inflate.seconds + copy.seconds, std::max(inflate.maxRssKb, copy.maxRssKb),
                  inflate.ok && copy.ok});
    fs::remove_all(peer);
    fs::remove_all(out);
    fs::create_directories(peer / "out");

    for (int i = 1; i <= small.floppies; ++i) {
      fs::remove_all(small.dir / ("f" + std::to_string(i)));
      fs::create_directories(small.dir / ("f" + std::to_string(i)));
    }
    fs::remove_all(small.dir / "t");
    fs::create_directories(small.dir / "t" / "SVP" / "TMP");
    fs::create_directories(peer / "split");
    t.Add("backup-media",
          Svpconf(svpconf, small, "backup-media --drive A --answer 4034=yes --answer 4036=ok"));
    volumes = 0;
    for (int i = 1; i <= small.floppies; ++i)
      volumes += fs::exists(small.dir / ("f" + std::to_string(i)) / "PLAXON") ? 1 : 0;
    t.Add("tar czf | split",
          Timed("tar czf - -C " + Quote(small.plaxon) + " CONFIG | split -b 1400000 - " +
                Quote(peer / "split" / "svp_conf.")));
    // The setup and its peers take a tenth of a second, as long as the
    // disk's writeback of the big runs may stall them: each is the best of
    // a few in a run.
    const std::string pieces = Quote(peer / "split") + "/svp_conf.*";
    t.Add("setup", BestOf(kSmallRepeats, [&] {
            fs::remove_all(small.dir / "t" / "SVP");
            fs::create_directories(small.dir / "t" / "SVP" / "TMP");
            return Svpconf(svpconf, small,
                           "setup 'A:\\' 'T:\\SVP\\' --setup-source backup --drive A "
                           "--backup 412345 --answer 3836=ok");
          }));
    t.Add("cat | tar xzf", BestOf(kSmallRepeats, [&] {
            fs::remove_all(peer / "out");
            fs::create_directories(peer / "out");
            return Timed("cat " + pieces + " | tar xzf - -C " + Quote(peer / "out"));
          }));
    t.Add("floor: cat | igzip -dc + cp -r", BestOf(kSmallRepeats, [&] {
            fs::remove_all(peer / "cp");
            const Measure catInflate = Timed("cat " + pieces + " | igzip -dc >/dev/null");
            const Measure copy2 =
                Timed("cp -r " + Quote(small.plaxon / "CONFIG") + " " + Quote(peer / "cp"));
            return Measure{catInflate.seconds + copy2.seconds,
                           std::max(catInflate.maxRssKb, copy2.maxRssKb),
                           catInflate.ok && copy2.ok};
          }));
  }
  std::printf("media: %d floppies written\n", volumes);
  std::printf("runs (seconds each) and peak memory:\n");
  t.Print();
  const long peak = std::max(
      {t.PeakKb("hdd-backup"), t.PeakKb("unpack"), t.PeakKb("backup-media"), t.PeakKb("setup")});
  auto ratio = [&t](const char* a, const char* b) { return t.Best(a) / t.Best(b); };
  std::printf("ratios (best of %d runs):\n", runs);
  std::printf("  hdd-backup / tar czf + cp          %.2f\n", ratio("hdd-backup", "tar czf + cp"));
  std::printf("  hdd-backup / tar | pigz -p2        %.2f\n", ratio("hdd-backup", "tar | pigz -p2"));
  std::printf("  hdd-backup / tar | igzip -3 -T2    %.2f\n",
              ratio("hdd-backup", "tar | igzip -3 -T2"));
  std::printf("  hdd-backup / floor                 %.2f (target <= 1.00)\n",
              ratio("hdd-backup", "floor: tar | igzip -3 -T2 + cp"));
  std::printf("  unpack / tar xzf                   %.2f\n", ratio("unpack", "tar xzf"));
  std::printf("  unpack / floor                     %.2f (target <= 1.30)\n",
              ratio("unpack", "floor: igzip -dc + cp -r"));
  std::printf("  backup-media / tar czf | split     %.2f\n",
              ratio("backup-media", "tar czf | split"));
  std::printf("  setup / cat | tar xzf              %.2f (target <= 1.00)\n",
              ratio("setup", "cat | tar xzf"));
  std::printf("  setup / floor                      %.2f\n",
              ratio("setup", "floor: cat | igzip -dc + cp -r"));
  std::printf("  peak memory of the exports         %.1f MB (target < 64)\n", peak / 1024.0);
  std::printf("archive: ours %llu bytes\n",
              static_cast<unsigned long long>(fs::exists(diff) ? fs::file_size(diff) : 0));
  std::printf("checks: %s\n", t.Failures() ? "FAILED" : "ok");
  if (!keep) fs::remove_all(work);
  return t.Failures() ? 1 : 0;
}
