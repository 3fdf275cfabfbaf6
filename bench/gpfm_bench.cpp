// Benchmark of the backup-file reader and the table conversion.
//
// Generates a large .gpfm (several hundred tables, >= 200 MB of table data
// before compression, segments of an odd length so that most of them carry a
// padding byte) in a fresh folder below /tmp and times, in the same run and
// on the same (cached) bytes:
//   - ParseGpfmFile against `cp` of the .gpfm file,
//   - the conversion of the extracted tables (CompressCommand2) against
//     `cp -r` of the decompressed tables (the conversion must at least write
//     them).
// For reference it also times the floors the parse cannot go below on the
// folder's file system: one empty file per table, a user-space copy, and the
// reader's own reads and writes with bare system calls.
// Each timed step runs in a child process, so its peak resident memory is
// its own (wait4). Targets: parse <= 1.5 x cp, conversion <= 1.5 x copy,
// peak memory of either < 16 MB. Exit 0 when all targets are met.
//
//   bench_gpfm_bench [--tables N] [--megabytes M] [--runs R] [--dir DIR] [--segment N] [--keep]
// (DIR: where the scratch folder is made, /tmp by default)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchMeasure.h"
#include "backupfile/CnfBakCnfReader.h"
#include "backupfile/CnfCmpThd2.h"
#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/World.h"
#include "tool/GpfmMaker.h"

namespace fs = std::filesystem;

namespace {

// Runs body in a child process; wall time and the child's own peak RSS.
Measure InChild(const std::function<int()>& body) {
  Measure m;
  std::fflush(nullptr);
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

Measure Command(const std::vector<std::string>& argv) {
  return InChild([&argv] {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    return 127;
  });
}

std::uint64_t FolderBytes(const fs::path& dir, int* files) {
  std::uint64_t total = 0;
  *files = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    total += e.file_size();
    ++*files;
  }
  return total;
}

void InstallHostPlatform() {
  plat::World world = plat::World::Empty();
  world.settings["services.trace_file"] = "";  // no trace file: the copy writes none either
  plat::Install(std::make_shared<plat::PosixPlatform>(std::move(world)));
}

// Table contents: records of 64 bytes, 24 of them noise, the rest structure;
// LZ4 keeps a little under half.
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

struct Generated {
  int tables = 0;
  std::uint64_t tableBytes = 0;
  std::uint64_t fileBytes = 0;
  int segments = 0;
  int oddSegments = 0;
};

bool Generate(const fs::path& gpfmPath, int tableCount, std::uint64_t minBytes,
              std::uint32_t segmentSize, Generated* g) {
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
      size = 13120;  // DKCF and CFREV, stored raw
    } else {
      // Sizes spread +-25% around the average, odd and even alike.
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      size = static_cast<std::size_t>(average * 3 / 4 + state % (average / 2 + 1)) + 1;
    }
    table.resize(size);
    FillTable(&table, &state, t);
    if (!writer.AddTable(t, table.data(), table.size(), &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
  }
  if (!writer.Finish(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  g->tables = writer.Summary().tables;
  g->tableBytes = writer.Summary().tableBytes;
  g->fileBytes = writer.Summary().fileBytes;
  return true;
}

// Counts segments and odd segments from the written file's directory.
void CountSegments(const fs::path& gpfmPath, Generated* g) {
  std::unique_ptr<PfmHeader> header(new PfmHeader());
  std::FILE* f = std::fopen(gpfmPath.c_str(), "rb");
  if (!f) return;
  if (std::fseek(f, static_cast<long>(gpfm::kFirstPfmHeaderOffset), SEEK_SET) == 0 &&
      std::fread(header.get(), sizeof *header, 1, f) == 1) {
    for (std::uint32_t t = 0; t < gpfm::kTableCount; ++t)
      for (int s = 0; s < gpfm::SegmentCount(*header, t); ++s) {
        ++g->segments;
        if (header->entrySize[t][s] % 2 != 0) ++g->oddSegments;
      }
  }
  std::fclose(f);
}

// The reader's own input and output with bare system calls: the same reads
// (a segment and its padding byte), the same writes into one new file per
// table, without the sum, the trace or the platform layer. No reader that
// reads each segment into its buffer and writes it out can beat this; the
// parse's distance to it is what the reader itself costs.
int BareReadWrite(const fs::path& gpfmPath, const fs::path& outDir) {
  std::unique_ptr<PfmHeader> header(new PfmHeader());
  const int in = ::open(gpfmPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return 1;
  if (::pread(in, header.get(), sizeof *header, gpfm::kFirstPfmHeaderOffset) !=
          static_cast<ssize_t>(sizeof *header) ||
      ::lseek(in, static_cast<off_t>(gpfm::kDataAreaOffset), SEEK_SET) < 0)
    return 1;
  std::vector<std::uint8_t> buffer(gpfm::kSegmentBufferSize);
  for (std::uint32_t t = 0; t < gpfm::kTableCount; ++t) {
    const int segments = gpfm::SegmentCount(*header, t);
    if (segments == 0) continue;
    const fs::path name = outDir / (std::to_string(t) + ".lz4");
    const int out = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) return 1;
    for (int s = 0; s < segments; ++s) {
      const std::uint32_t n = header->entrySize[t][s];
      if (n > buffer.size() ||
          ::read(in, buffer.data(), n + n % 2) != static_cast<ssize_t>(n + n % 2) ||
          ::write(out, buffer.data(), n) != static_cast<ssize_t>(n))
        return 1;
    }
    ::close(out);
  }
  ::close(in);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int tableCount = 400;
  std::uint64_t megabytes = 240;
  int runs = 5;
  bool keep = false;
  std::string base = "/tmp";
  std::uint32_t segmentSize = 65537;  // odd: every full segment is padded
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--tables" && i + 1 < argc)
      tableCount = std::atoi(argv[++i]);
    else if (a == "--megabytes" && i + 1 < argc)
      megabytes = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--runs" && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (a == "--keep")
      keep = true;
    else if (a == "--dir" && i + 1 < argc)
      base = argv[++i];
    else if (a == "--segment" && i + 1 < argc)
      segmentSize = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    else {
      std::fprintf(
          stderr,
          "usage: %s [--tables N] [--megabytes M] [--runs R] [--dir DIR] [--segment N] [--keep]\n",
          argv[0]);
      return 2;
    }
  }
  if (tableCount < 64 || tableCount > 1024) {
    std::fprintf(stderr, "--tables must be 64..1024 (table 63 is always the raw one)\n");
    return 2;
  }

  std::string templ = base + "/talver-gpfm-bench-XXXXXX";
  if (!::mkdtemp(templ.data())) {
    std::perror("mkdtemp");
    return 2;
  }
  const fs::path dir = templ;
  const fs::path gpfmPath = dir / "bench.gpfm";

  Generated g;
  std::printf("generating %d tables, %llu MB of table data, segments of %u bytes in %s ...\n",
              tableCount, static_cast<unsigned long long>(megabytes), segmentSize, dir.c_str());
  if (!Generate(gpfmPath, tableCount, megabytes * 1000000, segmentSize, &g)) {
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 2;
  }
  CountSegments(gpfmPath, &g);
  std::printf("gpfm: %d tables, %.1f MB table data, %.1f MB file, %d segments (%d odd)\n", g.tables,
              g.tableBytes / 1e6, g.fileBytes / 1e6, g.segments, g.oddSegments);
  InstallHostPlatform();

  // Every run writes into folders and files of its own, made before the
  // clock starts and removed only after the last run: a file system that
  // holds back recently deleted inodes then charges no run for the clean-up
  // of the one before.
  auto runDir = [&dir](const char* what, int r) {
    fs::path p = dir / (std::string(what) + "-" + std::to_string(r));
    fs::create_directories(p);
    return p;
  };
  std::vector<Measure> cpRuns, parseRuns, convertRuns, copyRuns, createRuns, ddRuns, bareRuns;
  for (int r = 0; r < runs; ++r) {
    // The floor that no copy of one file pays: one new file per table.
    const fs::path empty = runDir("create", r);
    const int files = g.tables;
    createRuns.push_back(InChild([&] {
      for (int t = 0; t < files; ++t) {
        std::FILE* f = std::fopen((empty / (std::to_string(t) + ".lz4")).c_str(), "wb");
        if (!f || std::fclose(f) != 0) return 1;
      }
      return 0;
    }));
    const fs::path copyTo = runDir("cp", r) / "copy.gpfm";
    cpRuns.push_back(Command({"cp", gpfmPath.string(), copyTo.string()}));
    // For reference: a copy through user space, as the reader must make one
    // to see every byte (cp copies inside the kernel where it can).
    const fs::path ddTo = runDir("dd", r) / "copy.gpfm";
    ddRuns.push_back(Command(
        {"dd", "if=" + gpfmPath.string(), "of=" + ddTo.string(), "bs=65536", "status=none"}));
    const fs::path bare = runDir("bare", r);
    bareRuns.push_back(InChild([&] { return BareReadWrite(gpfmPath, bare); }));
    const fs::path lz4 = runDir("lz4", r);
    parseRuns.push_back(
        InChild([&] { return ParseGpfmFile(gpfmPath.c_str(), lz4.c_str()) == 1 ? 0 : 1; }));
    // Table 63 holds raw table files and is not converted (as in a restore).
    fs::remove(lz4 / "63.lz4");
  }
  // The conversion against cp -r of the same decompressed bytes.
  for (int r = 0; r < runs; ++r) {
    const fs::path lz4 = dir / ("lz4-" + std::to_string(r));
    const fs::path tables = runDir("tables", r);
    convertRuns.push_back(InChild(
        [&] { return CompressCommand2(10, 1, lz4.c_str(), tables.c_str(), 0) == 1 ? 0 : 1; }));
    const fs::path copyTo = runDir("tables-copy", r) / "tables";
    copyRuns.push_back(Command({"cp", "-r", tables.string(), copyTo.string()}));
  }
  int converted = 0;
  const std::uint64_t convertedBytes = FolderBytes(dir / "tables-0", &converted);

  const double cpSec = Best(cpRuns), parseSec = Best(parseRuns);
  const double copySec = Best(copyRuns), convertSec = Best(convertRuns);
  const double parseRatio = parseSec / cpSec, convertRatio = convertSec / copySec;
  const double parseMb = PeakKb(parseRuns) / 1024.0, convertMb = PeakKb(convertRuns) / 1024.0;
  const bool parseOk = AllOk(parseRuns) && AllOk(cpRuns) && AllOk(bareRuns);
  const bool convertOk = AllOk(convertRuns) && AllOk(copyRuns) && converted == g.tables - 1;
  const bool parsePass = parseOk && parseRatio <= 1.5 && parseMb < 16;
  const bool convertPass = convertOk && convertRatio <= 1.5 && convertMb < 16;

  std::printf("best of %d runs\n", runs);
  std::printf(
      "parse:   %.3f s  cp of the .gpfm %.3f s  ratio %.2f (target <= 1.5)  peak RSS %.1f MB"
      "  %s\n",
      parseSec, cpSec, parseRatio, parseMb, parsePass ? "PASS" : "FAIL");
  std::printf(
      "convert: %.3f s  cp -r of the tables %.3f s  ratio %.2f (target <= 1.5)  peak RSS"
      " %.1f MB  %s  (%d tables, %.1f MB)\n",
      convertSec, copySec, convertRatio, convertMb, convertPass ? "PASS" : "FAIL", converted,
      convertedBytes / 1e6);
  const double createSec = Best(createRuns), ddSec = Best(ddRuns);
  std::printf("(dd of the .gpfm through user space, 64 KiB blocks: %.3f s; parse %.2f x that)\n",
              ddSec, parseSec / ddSec);
  std::printf(
      "(creating %d empty files in a fresh folder takes %.3f s here; parse less that: "
      "%.2f x cp)\n",
      g.tables, createSec, (parseSec - createSec) / cpSec);
  const double bareSec = Best(bareRuns);
  std::printf(
      "(the same reads and writes with bare system calls, no sum: %.3f s, %.2f x cp; "
      "parse %.2f x that)\n",
      bareSec, bareSec / cpSec, parseSec / bareSec);
  if (!parseOk || !convertOk) std::printf("a step failed: the figures above are not valid\n");

  if (!keep) {
    std::error_code ec;
    fs::remove_all(dir, ec);
  } else {
    std::printf("kept %s\n", dir.c_str());
  }
  return parsePass && convertPass ? 0 : 1;
}
