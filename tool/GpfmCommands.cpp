// svpconf gpfm: ".gpfm" backup files for their users. inspect shows what the
// reader would see and whether it would accept the file; extract runs the
// library's reader (and the table conversion); make builds a file from a
// folder of table files. Paths are host paths; no world is needed unless
// --env names one (then the trace lines go to its trace file).
#include <cctype>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "GpfmMaker.h"
#include "Json.h"
#include "Tool.h"
#include "backupfile/GpfmFormat.h"
#include "host/talver_host.h"

namespace fs = std::filesystem;

namespace {

// Table 63 holds the DKCF (13,088 bytes) and the CFREV (32 bytes) a restore splits off.
constexpr std::uint64_t kRawTableBytes = 13088 + 32;
// The library forms paths in 260-character buffers.
constexpr std::size_t kLibraryPathLimit = 259;

// A path of the loaded world's drives ("C:\PLAXON\TMP\LZ4").
bool IsDrivePath(const std::string& path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// Drive paths ("C:\OUT\b.gpfm") need a world to name them: --env, then
// $TALVER_WORLD, then the default world. Host paths alone need none.
bool UseWorld(ToolContext& ctx, std::initializer_list<std::string> paths) {
  bool drivePaths = false;
  for (const auto& p : paths) drivePaths = drivePaths || IsDrivePath(p);
  if (!ctx.envPath.empty() || drivePaths) return LoadWorld(ctx);
  TalverHost_UseHostFiles();
  TalverHost_SetTraceEcho(ctx.traceEcho ? 1 : 0);
  return InstallToolOperator(ctx);
}

// The path handed to the library: a drive path as it is, a host path made
// absolute.
std::string SystemPath(const std::string& path) {
  if (IsDrivePath(path)) return path;
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  return ec ? path : p.lexically_normal().string();
}

// The host path the tool itself opens for a system path.
std::string HostPath(const std::string& systemPath) {
  if (!IsDrivePath(systemPath)) return systemPath;
  char host[4096] = {};
  if (TalverHost_ResolvePath(systemPath.c_str(), host, sizeof host)) return host;
  // Never the drive path itself, which would name a file in the current folder.
  std::fprintf(stderr, "svpconf: %s is on no drive of the world\n", systemPath.c_str());
  return {};
}

bool Fits(const std::string& path, const char* what, ToolContext& ctx) {
  if (path.size() <= kLibraryPathLimit) return true;
  std::fprintf(stderr, "svpconf: the %s path has %zu characters; the library takes at most %zu\n",
               what, path.size(), kLibraryPathLimit);
  ctx.exitCode = 1;
  return false;
}

// A table file name: a number 0..1023 written without leading zeros.
bool TableNumber(const std::string& name, int* table) {
  if (name.empty() || name.size() > 4 || (name.size() > 1 && name[0] == '0')) return false;
  int value = 0;
  auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), value);
  if (ec != std::errc() || end != name.data() + name.size()) return false;
  if (value < 0 || value >= static_cast<int>(gpfm::kTableCount)) return false;
  *table = value;
  return true;
}

// ------------------------------------------------------------------ inspect

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

bool ReadBytes(std::ifstream& in, void* buffer, std::size_t n) {
  in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(n));
  return static_cast<std::size_t>(in.gcount()) == n;
}

// Prints what the reader's walk meets (TalverHost_GpfmInspect) and what a
// restore would make of the tables.
class Inspection : public TalverHostGpfmView {
 public:
  explicit Inspection(bool segmentsShown) : segmentsShown_(segmentsShown), doc_(JsonOut()) {}

  void File(std::uint64_t size) override {
    size_ = size;
    std::printf("size=%llu\n", static_cast<unsigned long long>(size));
    doc_["size"] = size;
  }
  void Target(std::uint32_t targetCfm) override {
    std::printf("targetCFM=%u\n", targetCfm);
    doc_["target_cfm"] = targetCfm;
  }
  void Directory(int cfm, std::uint64_t offset, std::uint32_t valid) override {
    std::printf("cfm=%d (table directory at offset %llu)\nvalid=%u\n", cfm,
                static_cast<unsigned long long>(offset), valid);
    doc_["cfm"] = cfm;
    doc_["directory_offset"] = offset;
    doc_["valid"] = valid;
    dataArea_ = valid == 1;
    doc_["tables"] = JsonDoc::array();
  }
  void Table(int t, int segments, std::uint64_t bytes) override {
    const bool raw = t == gpfm::kRawTable;
    std::printf("table %d: file %d.lz4, %d segment%s, %llu bytes%s\n", t, t, segments,
                segments == 1 ? "" : "s", static_cast<unsigned long long>(bytes),
                raw ? " (raw table files)" : " (one LZ4 block)");
    doc_["tables"].push_back({{"table", t},
                              {"segment_count", segments},
                              {"bytes", bytes},
                              {"raw", raw},
                              {"segments", JsonDoc::array()}});
    if (!raw && bytes > gpfm::kMaxCompressedBytes)
      warnings_.push_back(Printf(
          "table %d holds %llu bytes; the conversion reads at most 700000 and would refuse it", t,
          static_cast<unsigned long long>(bytes)));
    rawTable_ = rawTable_ || raw;
    if (raw && bytes < kRawTableBytes)
      warnings_.push_back(
          Printf("table 63 holds %llu bytes; a restore splits the first 13120 (DKCF and CFREV) "
                 "from it and would fail",
                 static_cast<unsigned long long>(bytes)));
    ++tables_;
  }
  void Segment(int, int segment, std::uint64_t offset, std::uint32_t bytes, std::uint32_t storedSum,
               std::uint32_t computedSum) override {
    const bool padded = bytes % 2 != 0, match = storedSum == computedSum;
    doc_["tables"].back()["segments"].push_back({{"segment", segment},
                                                 {"offset", offset},
                                                 {"bytes", bytes},
                                                 {"padded", padded},
                                                 {"sum_stored", storedSum},
                                                 {"sum_computed", computedSum},
                                                 {"sum_ok", match}});
    if (segmentsShown_ || !match)
      std::printf("  segment %d: offset %llu, %u bytes%s, sum stored %u computed %u %s\n", segment,
                  static_cast<unsigned long long>(offset), bytes, padded ? " + 1 padding" : "",
                  storedSum, computedSum, match ? "ok" : "MISMATCH");
    dataEnd_ = offset + bytes + (padded ? 1 : 0);
    stored_ += bytes;
  }

  // The totals and warnings once the walk reached the data area.
  void Finish() {
    if (!dataArea_) return;
    if (!rawTable_)
      warnings_.push_back("no table 63: a restore takes DKCF and CFREV from it and would fail");
    const std::uint64_t trailing = size_ > dataEnd_ ? size_ - dataEnd_ : 0;
    std::printf("tables=%d\nstored_bytes=%llu\ndata_end=%llu\ntrailing_bytes=%llu\n", tables_,
                static_cast<unsigned long long>(stored_), static_cast<unsigned long long>(dataEnd_),
                static_cast<unsigned long long>(trailing));
    doc_["table_count"] = tables_;
    doc_["stored_bytes"] = stored_;
    doc_["data_end"] = dataEnd_;
    doc_["trailing_bytes"] = trailing;
  }
  const std::vector<std::string>& Warnings() const { return warnings_; }

 private:
  bool segmentsShown_;
  JsonDoc& doc_;
  std::uint64_t size_ = 0, stored_ = 0, dataEnd_ = gpfm::kDataAreaOffset;
  bool dataArea_ = false, rawTable_ = false;
  int tables_ = 0;
  std::vector<std::string> warnings_;
};

void RunInspect(ToolContext& ctx, const std::string& file, bool brief) {
  if (!UseWorld(ctx, {file})) return;
  const std::string system = SystemPath(file), host = HostPath(system);
  if (host.empty()) {
    ctx.exitCode = 1;
    return;
  }
  std::printf("file=%s\n", host.c_str());
  JsonDoc& doc = JsonOut();
  doc["file"] = host;
  Inspection inspection(!brief);
  char refusal[512] = "";
  const int accepted = TalverHost_GpfmInspect(system.c_str(), inspection, refusal, sizeof refusal);
  inspection.Finish();
  for (const auto& w : inspection.Warnings()) std::printf("warning: %s\n", w.c_str());
  doc["warnings"] = inspection.Warnings();
  doc["verdict"] = accepted ? "ok" : "refused";
  if (!accepted) doc["refusal"] = refusal;
  if (accepted) {
    std::printf("verdict=ok: the reader accepts this file\n");
    ctx.exitCode = 0;
  } else {
    std::printf("verdict=refused: %s\n", *refusal ? refusal : "the reader refuses it");
    ctx.exitCode = 1;
  }
}

// ------------------------------------------------------------------ extract

bool PrepareDirectory(const std::string& dir, bool force, const char* what, ToolContext& ctx) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) {
    std::fprintf(stderr, "svpconf: cannot create the %s %s\n", what, dir.c_str());
    ctx.exitCode = 1;
    return false;
  }
  if (!force && !fs::is_empty(dir, ec)) {
    std::fprintf(stderr,
                 "svpconf: the %s %s is not empty (files of another backup would be mixed in); "
                 "empty it or pass --force\n",
                 what, dir.c_str());
    ctx.exitCode = 1;
    return false;
  }
  return true;
}

// The conversion reads every file of the LZ4 directory: in the same folder it
// would take the table files it writes (and the raw table 63) for LZ4 blocks.
bool SeparateFolders(const std::string& lz4Dir, const std::string& tablesDir, ToolContext& ctx) {
  std::error_code ec;
  if (!fs::equivalent(lz4Dir, tablesDir, ec) && !ec) return true;
  std::fprintf(stderr, "svpconf: the tables directory %s must not be the LZ4 directory\n",
               tablesDir.c_str());
  ctx.exitCode = 1;
  return false;
}

int CountFiles(const std::string& dir) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.is_regular_file()) ++n;
  return n;
}

void RunExtract(ToolContext& ctx, const std::string& fileArg, const std::string& lz4Arg,
                const std::string& tablesArg, bool force) {
  if (!UseWorld(ctx, {fileArg, lz4Arg, tablesArg})) return;
  const std::string file = SystemPath(fileArg), lz4 = SystemPath(lz4Arg);
  const std::string tables = tablesArg.empty() ? std::string() : SystemPath(tablesArg);
  const std::string lz4Host = HostPath(lz4), tablesHost = tables.empty() ? "" : HostPath(tables);
  if (lz4Host.empty() || (!tables.empty() && tablesHost.empty())) {
    std::printf("result=0\n");
    ctx.exitCode = 1;
    return;
  }
  // Room for "\1023.lz4" behind the directory.
  if (!Fits(file, "backup file", ctx) || !Fits(lz4 + "/1023.lz4", "LZ4 directory", ctx) ||
      (!tables.empty() && !Fits(tables + "/1023.lz4", "tables directory", ctx)) ||
      !PrepareDirectory(lz4Host, force, "LZ4 directory", ctx) ||
      (!tables.empty() && (!PrepareDirectory(tablesHost, force, "tables directory", ctx) ||
                           !SeparateFolders(lz4Host, tablesHost, ctx)))) {
    std::printf("result=0\n");
    JsonOut()["result"] = 0;
    return;
  }

  int result = TalverHost_GpfmExtract(file.c_str(), lz4.c_str());
  std::printf("extracted=%d\n", CountFiles(lz4Host));
  JsonOut()["extracted"] = CountFiles(lz4Host);
  if (result != 1) {
    std::fprintf(stderr,
                 "svpconf: the reader refused %s (svpconf gpfm inspect names the reason; "
                 "--trace shows the reader's trace)\n",
                 file.c_str());
  } else if (!tables.empty()) {
    // Table 63 holds raw table files: it is copied, not converted, and leaves
    // the LZ4 directory as it does in a restore.
    const fs::path raw = fs::path(lz4Host) / "63.lz4";
    std::error_code ec;
    if (fs::exists(raw, ec)) {
      fs::copy_file(raw, fs::path(tablesHost) / "63", fs::copy_options::overwrite_existing, ec);
      if (!ec) fs::remove(raw, ec);
      if (ec) {
        std::fprintf(stderr, "svpconf: cannot copy table 63: %s\n", ec.message().c_str());
        result = 0;
      }
    }
    if (result == 1) {
      result = TalverHost_GpfmConvert(lz4.c_str(), tables.c_str(), ctx.interactive ? 1 : 0);
      std::printf("converted=%d\n", CountFiles(tablesHost));
      JsonOut()["converted"] = CountFiles(tablesHost);
      if (result != 1)
        std::fprintf(stderr, "svpconf: the table conversion failed (--trace shows which file)\n");
    }
  }
  std::printf("result=%d\n", result);
  JsonOut()["result"] = result;
  ctx.exitCode = result == 1 ? 0 : 1;
}

// --------------------------------------------------------------------- make

bool ReadWholeFile(const fs::path& path, std::vector<std::uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec) return false;
  bytes->resize(static_cast<std::size_t>(size));
  return ReadBytes(in, bytes->data(), bytes->size());
}

// The tables of a file made from a folder: their numbers and files.
bool TablesInFolder(const std::string& from, std::map<int, fs::path>* tables) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(from, ec)) {
    int t = 0;
    const std::string name = e.path().filename().string();
    if (!e.is_regular_file() || !TableNumber(name, &t)) {
      std::fprintf(stderr,
                   "svpconf: %s is not a table file (the folder holds only files named by their "
                   "table number 0..1023)\n",
                   e.path().string().c_str());
      return false;
    }
    (*tables)[t] = e.path();
  }
  if (ec) {
    std::fprintf(stderr, "svpconf: cannot read the folder %s\n", from.c_str());
    return false;
  }
  return true;
}

// A sample configuration's tables: table 63 with this serial number and
// version, a text table and a table of data that does not compress.
bool SampleTables(unsigned long serial, const std::string& version,
                  std::map<int, std::vector<std::uint8_t>>* tables) {
  std::vector<std::uint8_t> t63(16384);
  t63.resize(TalverHost_SampleTable63(serial, version.c_str(), t63.data(), t63.size()));
  if (t63.empty()) {
    std::fprintf(stderr,
                 "svpconf: --serial takes 400000..4294967295 and --version eight characters "
                 "such as 02030460, not %lu and '%s'\n",
                 serial, version.c_str());
    return false;
  }
  (*tables)[63] = std::move(t63);
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "LDEV " + std::to_string(i) + " EMULATION=OPEN-V\r\n";
  (*tables)[5].assign(text.begin(), text.end());
  std::vector<std::uint8_t> data(65536);
  std::uint32_t x = 2463534242u;
  for (auto& b : data) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  (*tables)[12] = std::move(data);
  return true;
}

struct MakeSource {
  std::string from;  // a folder of table files, or
  bool sample = false;
  unsigned long serial = 412345;  // the sample world's
  std::string version = "02030460";
};

void RunMake(ToolContext& ctx, const std::string& outArg, const MakeSource& source, int cfm,
             std::uint32_t segmentSize) {
  if (source.sample == !source.from.empty()) {
    std::fprintf(stderr, "svpconf: gpfm make takes either --from DIR or --sample\n");
    ctx.exitCode = 64;
    return;
  }
  // The maker works on host files; drive paths need the world to name them.
  if (!UseWorld(ctx, {outArg, source.from})) return;
  const std::string out = HostPath(outArg), from = source.from.empty() ? "" : HostPath(source.from);
  if (out.empty() || (!source.from.empty() && from.empty())) {
    ctx.exitCode = 1;
    return;
  }
  std::map<int, fs::path> files;
  std::map<int, std::vector<std::uint8_t>> sample;
  if (source.sample ? !SampleTables(source.serial, source.version, &sample)
                    : !TablesInFolder(from, &files)) {
    ctx.exitCode = 1;
    return;
  }
  std::error_code ec;
  // Creating the file would empty that table before it is read.
  for (const auto& [t, path] : files) {
    if (!fs::equivalent(out, path, ec)) continue;
    std::fprintf(stderr, "svpconf: %s is one of the table files it would be made from\n",
                 out.c_str());
    ctx.exitCode = 1;
    return;
  }
  gpfm::GpfmWriter writer;
  std::string error;
  // Only a file the maker has created is its own to remove after a failure.
  const bool created = writer.Open(out, cfm, segmentSize, &error);
  bool ok = created;
  std::vector<std::uint8_t> bytes;
  for (auto it = files.begin(); ok && it != files.end(); ++it) {
    if (!ReadWholeFile(it->second, &bytes)) {
      error = "cannot read " + it->second.string();
      ok = false;
      break;
    }
    ok = writer.AddTable(it->first, bytes.data(), bytes.size(), &error);
  }
  for (auto it = sample.begin(); ok && it != sample.end(); ++it)
    ok = writer.AddTable(it->first, it->second.data(), it->second.size(), &error);
  ok = ok && writer.Finish(&error);
  if (!ok) {
    std::fprintf(stderr, "svpconf: %s\n", error.c_str());
    JsonOut()["error"] = error;
    if (created) fs::remove(out, ec);
    ctx.exitCode = 1;
    return;
  }
  const auto& s = writer.Summary();
  std::printf(
      "file=%s\ncfm=%d\nsegment_size=%u\ntables=%d\ntable_bytes=%llu\nstored_bytes=%llu\n"
      "file_bytes=%llu\n",
      out.c_str(), cfm, segmentSize, s.tables, static_cast<unsigned long long>(s.tableBytes),
      static_cast<unsigned long long>(s.storedBytes), static_cast<unsigned long long>(s.fileBytes));
  JsonOut().update({{"file", out},
                    {"cfm", cfm},
                    {"segment_size", segmentSize},
                    {"tables", s.tables},
                    {"table_bytes", s.tableBytes},
                    {"stored_bytes", s.storedBytes},
                    {"file_bytes", s.fileBytes}});
  ctx.exitCode = 0;
}

void RegisterGpfmCommands(CLI::App& app, ToolContext& ctx) {
  auto* gpfm = app.add_subcommand("gpfm", "Backup configuration files (.gpfm)");
  gpfm->require_subcommand(1);

  static std::string file, lz4Dir, tablesDir, out;
  static bool brief = false, force = false;
  static int cfm = 1;
  static std::uint32_t segmentSize = gpfm::kMakeSegmentSize;

  auto* inspect = gpfm->add_subcommand(
      "inspect", "Show the headers, tables, segments and sums; exit 1 if the reader refuses it");
  inspect->add_option("FILE", file, "the .gpfm file")->required();
  inspect->add_flag("--brief", brief, "one line per table; segments only where a sum differs");
  inspect->callback([&ctx] { RunInspect(ctx, file, brief); });

  auto* extract = gpfm->add_subcommand(
      "extract", "Extract every table as LZ4DIR/N.lz4 (and convert them with --tables)");
  extract->add_option("FILE", file, "the .gpfm file")->required();
  extract->add_option("LZ4DIR", lz4Dir, "folder for the N.lz4 files (made if missing)")->required();
  extract->add_option("--tables", tablesDir,
                      "also convert every table into this folder (table 63 is copied as 63)");
  extract->add_flag("--force", force, "use folders that are not empty");
  extract->callback([&ctx] { RunExtract(ctx, file, lz4Dir, tablesDir, force); });

  static MakeSource source;
  auto* make = gpfm->add_subcommand(
      "make", "Build a .gpfm from a folder of table files 0..1023, or a sample one");
  make->add_option("OUT", out, "the .gpfm file to write")->required();
  make->add_option("--from", source.from, "folder of table files named by number");
  make->add_flag("--sample", source.sample,
                 "a sample file: table 63 (DKCF and CFREV), a text table and a data table");
  make->add_option("--serial", source.serial,
                   "--sample: the DKCF's serial number (default: the sample world's, 412345)");
  make->add_option("--version", source.version,
                   "--sample: the DKCF's version, eight characters, the type last (02030460)");
  make->add_option("--cfm", cfm, "table directory that describes the data")
      ->check(CLI::IsMember({1, 2}));
  make->add_option("--segment", segmentSize, "segment length the tables are cut at")
      ->check(CLI::Range(1u, gpfm::kSegmentBufferSize));
  make->callback([&ctx] { RunMake(ctx, out, source, cfm, segmentSize); });
}

}  // namespace

SVPCONF_COMMAND(RegisterGpfmCommands);
