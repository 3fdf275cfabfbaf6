// Benchmark of the whole restore from a backup file (dsvCnf_RestoreConf2)
// against its parts measured alone in the same run.
//
// Makes the backup file of bench_gpfm_bench (400 tables, 240 MB of table
// data, about 111 MB of file) with a DKCF in table 63 that fits the world's
// configuration, and times, each in a child process with its own peak
// resident memory (wait4):
//   - the whole export: file dialog, copy, extraction, split, conversion
//     under the progress dialog, check, versions, message, audit record;
//   - the parts alone: the copy of the file (CopyFileForced), ParseGpfmFile,
//     the conversion (CompressCommand2 on the calling thread).
// Target: whole <= 1.1 x the sum of the parts' best runs, peak < 16 MB.
//
//   bench_restore_gpfm_bench [--runs R] [--dir DIR] [--keep]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

#include "BenchMeasure.h"
#include "backupfile/CnfBakCnfReader.h"
#include "backupfile/CnfCmpThd2.h"
#include "common/CnfFunc.h"
#include "common/Globals.h"
#include "exports/Exports.h"
#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/World.h"
#include "platform/winemu/Operator.h"
#include "tool/GpfmMaker.h"

namespace fs = std::filesystem;

namespace {

// The data an earlier step left dirty is written back before the clock
// starts, so that no step pays for the one before.
Measure InChild(const std::function<int()>& body) {
  Measure m;
  std::fflush(nullptr);
  ::sync();
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.maxRssKb = usage.ru_maxrss;
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return m;
}

// The table contents of bench_gpfm_bench: records of 64 bytes, 24 of them
// noise.
void FillTable(std::vector<std::uint8_t>* table, std::uint64_t* state, int index) {
  for (std::size_t i = 0; i < table->size(); ++i) {
    if (i % 64 < 24) {
      *state ^= *state << 13;
      *state ^= *state >> 7;
      *state ^= *state << 17;
      (*table)[i] = static_cast<std::uint8_t>(*state);
    } else {
      (*table)[i] = static_cast<std::uint8_t>((index + i / 64) & 0x3F);
    }
  }
}

// The DKCF fields the check reads: serial 412345, type "60", a version.
void StampDkcf(std::vector<std::uint8_t>* table) {
  std::uint32_t stored = 12345;
  std::memcpy(table->data() + 16, &stored, 4);
  std::memcpy(table->data() + 6484, "02030460", 8);
}

bool Generate(const fs::path& gpfmPath, int tableCount, std::uint64_t minBytes,
              std::uint32_t segmentSize, double* fileMb) {
  gpfm::GpfmWriter writer;
  std::string error;
  if (!writer.Open(gpfmPath.string(), 1, segmentSize, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  const std::uint64_t average = (minBytes + tableCount - 1) / tableCount;
  std::vector<std::uint8_t> table;
  for (int t = 0; t < tableCount; ++t) {
    std::size_t size;
    if (t == gpfm::kRawTable) {
      size = 13120;
    } else {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      size = static_cast<std::size_t>(average * 3 / 4 + state % (average / 2 + 1)) + 1;
    }
    table.resize(size);
    FillTable(&table, &state, t);
    if (t == gpfm::kRawTable) StampDkcf(&table);
    if (!writer.AddTable(t, table.data(), table.size(), &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
  }
  if (!writer.Finish(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  *fileMb = writer.Summary().fileBytes / 1e6;
  return true;
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// The SVP: drive C with a configuration whose identity the DKCF fits.
void InstallWorld(const fs::path& c, const fs::path& dir) {
  const fs::path config = c / "PLAXON" / "CONFIG";
  WriteText(config / "CONFIG.INF", "SVPCONF 01020360\r\n");
  WriteText(config / "DKCPRP.DAT", "SERIAL=412345\r\nMODEL=7\r\n");
  fs::create_directories(c / "PLAXON" / "TMP");
  plat::World world = plat::World::Empty();
  plat::Drive& drive = world.drives['C' - 'A'];
  drive.present = true;
  drive.hostDir = c.string();
  drive.type = DRIVE_FIXED;
  world.settings["services.trace_file"] = (dir / "trace.log").string();
  world.settings["services.audit_file"] = (dir / "audit.log").string();
  plat::Install(std::make_shared<plat::PosixPlatform>(std::move(world)));
}

// Types the backup file into the file dialog, then acts as the default
// operator: OK to the dialogs and to the closing message.
class BenchOperator : public plat::Operator {
 public:
  explicit BenchOperator(std::string path) : path_(std::move(path)) {}
  WORD AnswerMessageBox(const plat::MessageBoxView&) override { return 1; }
  void OnDialog(const plat::DialogView& view, plat::DialogActions& act) override {
    if (view.templateId == 115 && typedInto_ != view.window) {
      typedInto_ = view.window;
      act.Type(1029, path_);
      return;
    }
    Operator::OnDialog(view, act);
  }

 private:
  std::string path_;
  HWND typedInto_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  bool keep = false;
  std::string base = "/tmp";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--dir" && i + 1 < argc) {
      base = argv[++i];
    } else if (a == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: %s [--runs R] [--dir DIR] [--keep]\n", argv[0]);
      return 2;
    }
  }
  std::string templ = base + "/talver-restore-bench-XXXXXX";
  if (!::mkdtemp(templ.data())) {
    std::perror("mkdtemp");
    return 2;
  }
  const fs::path dir = templ;
  const fs::path c = dir / "c";
  double fileMb = 0;
  fs::create_directories(c / "OUT");
  std::printf("generating the backup file in %s ...\n", dir.c_str());
  if (!Generate(c / "OUT" / "bench.gpfm", 400, 240000000, 65537, &fileMb)) return 2;
  std::printf("gpfm: 400 tables, %.1f MB file\n", fileMb);
  InstallWorld(c, dir);
  RefreshRootPath();
  const char kBackup[] = "C:\\OUT\\bench.gpfm";
  const fs::path tmp = c / "PLAXON" / "TMP";

  std::vector<Measure> whole, copy, parse, convert;
  for (int r = 0; r < runs; ++r) {
    // Each step starts from empty work folders, cleared before the clock.
    std::error_code ec;
    fs::remove_all(tmp, ec);
    fs::create_directories(tmp);
    whole.push_back(InChild([&] {
      plat::SetOperator(std::make_shared<BenchOperator>(kBackup));
      WORD word = 0;
      return dsvCnf_RestoreConf2(0, &word) == 1 ? 0 : 1;
    }));
    const std::string rs = std::to_string(r);
    const std::string copyTo = "C:\\PLAXON\\TMP\\copy" + rs + ".gpfm";
    copy.push_back(
        InChild([&] { return CopyFileForced(kBackup, copyTo.c_str(), 0) == 1 ? 0 : 1; }));
    const std::string lz4 = "C:\\PLAXON\\TMP\\lz4-" + rs;
    fs::create_directories(tmp / ("lz4-" + rs));
    parse.push_back(
        InChild([&] { return ParseGpfmFile(copyTo.c_str(), lz4.c_str()) == 1 ? 0 : 1; }));
    fs::remove(tmp / ("lz4-" + rs) / "63.lz4", ec);
    const std::string tables = "C:\\PLAXON\\TMP\\tables-" + rs;
    fs::create_directories(tmp / ("tables-" + rs));
    convert.push_back(InChild(
        [&] { return CompressCommand2(10, 1, lz4.c_str(), tables.c_str(), 0) == 1 ? 0 : 1; }));
  }
  const double wholeSec = Best(whole);
  const double partsSec = Best(copy) + Best(parse) + Best(convert);
  const double ratio = wholeSec / partsSec;
  const double peakMb = PeakKb(whole) / 1024.0;
  const bool ok = AllOk(whole) && AllOk(copy) && AllOk(parse) && AllOk(convert);
  const bool pass = ok && ratio <= 1.1 && peakMb < 16;
  std::printf("best of %d runs\n", runs);
  std::printf("parts: copy %.3f s + parse %.3f s + convert %.3f s = %.3f s\n", Best(copy),
              Best(parse), Best(convert), partsSec);
  std::printf(
      "whole: %.3f s  ratio %.2f (target <= 1.1)  peak RSS %.1f MB (parts: %.1f, %.1f, %.1f)  %s\n",
      wholeSec, ratio, peakMb, PeakKb(copy) / 1024.0, PeakKb(parse) / 1024.0,
      PeakKb(convert) / 1024.0, pass ? "PASS" : "FAIL");
  if (!ok) std::printf("a step failed: the figures above are not valid\n");
  if (!keep) {
    std::error_code ec;
    fs::remove_all(dir, ec);
  } else {
    std::printf("kept %s\n", dir.c_str());
  }
  return pass ? 0 : 1;
}
