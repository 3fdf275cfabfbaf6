// The backup-file reader: header checks, table directory walk, segment sums,
// the output files and what a failure leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "backupfile/CnfBakCnfReader.h"
#include "platform/Platform.h"
#include "support/FlowFixtures.h"
#include "support/GpfmTestFile.h"
#include "support/TestWorld.h"

namespace {

constexpr char kGpfm[] = "C:\\PLAXON\\TMP\\bkcnf.gpfm";
constexpr char kLz4Dir[] = "C:\\PLAXON\\TMP\\LZ4";
constexpr std::size_t kData = GpfmTestFile::kHeaderArea;

constexpr auto Pattern = fixtures::Incompressible;

class GpfmReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { world_.MakeHostDir('C', "PLAXON/TMP/LZ4"); }

  int Parse(const GpfmTestFile& file) {
    world_.WriteHostFile('C', "PLAXON/TMP/bkcnf.gpfm", file.Bytes());
    return Run(kGpfm, kLz4Dir);
  }
  int Run(const char* path, const char* dir) {
    world_.TakeTrace();
    plat::TakeDebugOutput();
    int result = ParseGpfmFile(path, dir);
    trace_ = world_.TakeTrace();
    debug_ = plat::TakeDebugOutput();
    return result;
  }
  bool Traced(const std::string& text) const { return TestWorld::Contains(trace_, text); }
  std::string Table(int table) const { return world_.ReadHostFile('C', Lz4(table)); }
  static std::string Lz4(int table) { return "PLAXON/TMP/LZ4/" + std::to_string(table) + ".lz4"; }
  // The table files in the LZ4 folder are exactly these.
  void ExpectTables(const std::map<int, std::string>& expected) const {
    std::map<int, std::string> found;
    for (int t = 0; t < 1024; ++t)
      if (world_.HostExists('C', Lz4(t))) found[t] = Table(t);
    EXPECT_EQ(found, expected);
  }

  TestWorld world_;
  std::vector<std::string> trace_;
  std::vector<std::string> debug_;
};

// ------------------------------------------------------------ the layout

TEST_F(GpfmReaderTest, WritesEachPresentTableWithItsSegmentsInOrder) {
  world_.WriteHostFile('C', Lz4(0), std::string(100, 'x'));  // replaced, not appended to
  GpfmTestFile file;
  const std::string a = Pattern(6, 1), b0 = Pattern(11, 2), b1 = Pattern(4, 3);
  const std::string c = Pattern(409600, 4);  // a segment filling the whole buffer
  file.AddTable(1, 0, {a});
  file.SetSize(1, 2, 1, 9);  // sizes 0, 9: absent, and takes no bytes
  file.AddTable(1, 4, {"five5"});
  file.SetSize(1, 4, 2, 7);  // sizes 5, 0, 7: the 7 is ignored
  file.AddTable(1, 5, {b0, b1});
  // The padding after an odd segment is neither summed nor written.
  file.AddTable(1, 6, {"odd", "\xFF\xFF\xFF\xFF"}, '\xFF');
  file.AddTable(1, 1023, {c});
  file.Append(Pattern(1000, 11));  // trailing bytes are ignored
  ASSERT_EQ(Parse(file), 1);
  ExpectTables({{0, a}, {4, "five5"}, {5, b0 + b1}, {6, "odd\xFF\xFF\xFF\xFF"}, {1023, c}});
  EXPECT_TRUE(Traced("Parse start"));
  EXPECT_TRUE(Traced(std::string("File open successed.(file=") + kGpfm + ")"));
  EXPECT_TRUE(Traced("Parse end"));
  EXPECT_TRUE(TestWorld::TracedAt(trace_, "CnfBakCnfReader.cpp"));

  std::filesystem::remove_all(world_.HostOf('C', "PLAXON/TMP/LZ4"));
  world_.MakeHostDir('C', "PLAXON/TMP/LZ4");
  ASSERT_EQ(Parse(GpfmTestFile()), 1);  // an empty directory
  ExpectTables({});
  // CFM 2 uses the second directory and ignores an invalid first one.
  GpfmTestFile second(2);
  second.SetValid(1, 0x12345678);
  second.SetSize(1, 3, 0, 400);  // a table the data area does not hold
  second.AddTable(2, 7, {b0});
  ASSERT_EQ(Parse(second), 1);
  ExpectTables({{7, b0}});  // read from offset 131,344 as for CFM 1
}

// ------------------------------------------------------------ refusals

// One-segment tables of CFM 1; a file of table 0 in two segments, odd and even.
GpfmTestFile Of(const std::map<int, std::string>& tables) {
  GpfmTestFile file;
  for (const auto& [t, bytes] : tables) file.AddTable(1, t, {bytes});
  return file;
}
GpfmTestFile TwoSegments(std::uint32_t cfm) {
  GpfmTestFile file(cfm);
  file.AddTable(static_cast<int>(cfm), 0, {Pattern(5, 1), Pattern(6, 2)});
  return file;
}
GpfmTestFile TwoTables() {
  GpfmTestFile file = Of({{0, "ab"}});
  file.AddTable(1, 1, {"cd", "ef"});
  return file;
}
const std::string kLongName(251 - 14, 'd');
const std::string kLongDir = "C:\\PLAXON\\TMP\\" + kLongName;
using Tables = std::map<int, std::string>;
constexpr std::size_t kAll = std::string::npos;

// Each refusal: result 0, its own trace line, and where given a line that
// must not come, the debugger text and the table files left.
struct Refusal {
  const char* name;
  const char* trace;
  GpfmTestFile (*make)();   // nullptr: no backup file at all
  std::size_t keep = kAll;  // bytes kept of the file
  const char* notTraced = nullptr;
  const char* dir = kLz4Dir;
  const char* debug = nullptr;
  std::optional<Tables> tables{};
  plat::FaultRule fault{plat::FaultOp::Open, "", 0};
};

void PrintTo(const Refusal& c, std::ostream* out) { *out << c.name; }

class GpfmRefusalTest : public GpfmReaderTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(GpfmRefusalTest, IsRefusedWithItsTraceLine) {
  const Refusal& c = GetParam();
  world_.MakeHostDir('C', "PLAXON/TMP/" + kLongName);
  if (c.make)
    world_.WriteHostFile('C', "PLAXON/TMP/bkcnf.gpfm", c.make().Bytes().substr(0, c.keep));
  if (!c.fault.pathContains.empty()) world_.Faults().AddRule(c.fault);
  ASSERT_EQ(Run(c.make ? kGpfm : "C:\\PLAXON\\TMP\\none.gpfm", c.dir), 0);
  EXPECT_TRUE(Traced(c.trace)) << c.trace;
  EXPECT_FALSE(c.notTraced && Traced(c.notTraced)) << c.notTraced;
  EXPECT_TRUE(!c.debug || debug_ == std::vector<std::string>{c.debug}) << c.debug;
  if (c.tables) ExpectTables(*c.tables);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Refusals, GpfmRefusalTest, ::testing::Values(
    // A CFM other than 1 or 2 is refused before any directory is read: the
    // file holds only the GUM and PFM CMN headers, a directory read would fail.
    Refusal{"Cfm0", "invalid param \"targetCFM\"->(0) in GPFM Header",
            [] { return GpfmTestFile(0); }, 144, "PFM Header read failed"},
    Refusal{"Cfm3", "invalid param \"targetCFM\"->(3) in GPFM Header",
            [] { return GpfmTestFile(3); }, 144, "PFM Header read failed"},
    Refusal{"CfmFfff", "invalid param \"targetCFM\"->(-1) in GPFM Header",
            [] { return GpfmTestFile(0xFFFFFFFF); }, 144, "PFM Header read failed"},
    Refusal{"FirstDirectoryNotValid", "invalid param \"valid\"->(0) in PFM Header",
            [] { GpfmTestFile f = Of({{0, "abcd"}}); f.SetValid(1, 0); return f; },
            kAll, nullptr, kLz4Dir, nullptr, Tables{}},
    Refusal{"SecondDirectoryNotValid", "invalid param \"valid\"->(2) in PFM Header",
            [] { GpfmTestFile f(2); f.SetValid(2, 2); return f; }},
    // A file ending inside a region is refused by that region.
    Refusal{"Empty", "GUM Header read failed", [] { return TwoSegments(1); }, 0},
    Refusal{"InGumHeader", "GUM Header read failed", [] { return TwoSegments(1); }, 127},
    Refusal{"InPfmCmnHeader", "PFM CMN Header read failed", [] { return TwoSegments(1); }, 143},
    Refusal{"InFirstDirectory", "PFM Header read failed", [] { return TwoSegments(1); }, 65743},
    Refusal{"Cfm2BeforeSecond", "PFM Header read failed", [] { return TwoSegments(2); }, 65744},
    Refusal{"Cfm2InSecond", "PFM Header read failed", [] { return TwoSegments(2); }, 131343},
    Refusal{"AtDataArea", "File read failed(Entry=1-1)", [] { return TwoSegments(1); }, kData},
    Refusal{"InSegment", "File read failed(Entry=1-1)", [] { return TwoSegments(1); }, kData + 4},
    Refusal{"AtPadding", "File read failed(boundary correction)(Entry=1-1)",
            [] { return TwoSegments(1); }, kData + 5},
    Refusal{"InSecondSegment", "File read failed(Entry=1-2)", [] { return TwoSegments(1); },
            kData + 6 + 5},
    // Bytes count 0..255 (never as negative chars), the stored sum is shown as
    // the system's long, and a segment of zeros is checked like any other.
    Refusal{"SumOfFfBytes", "SUM in config file = -1, actual SUM = 1020(Entry=1-1)",
            [] { GpfmTestFile f = Of({{0, "\xFF\xFF\xFF\xFF"}});
                 f.SetSum(1, 0, 0, ~0u); return f; },
            kAll, nullptr, kLz4Dir, "[ERROR] CheckSUM\n"},
    // A sum mismatch stops at once and keeps what was checked before it.
    Refusal{"SumStopsAtOnce", "SUM in config file = 1, actual SUM = 107(Entry=6-3)", SumMismatch,
            kAll, "Parse end", kLz4Dir, "[ERROR] CheckSUM\n",
            Tables{{0, "abc"}, {1, "de"}, {5, "1234"}}},
    Refusal{"SumOfZeros", "SUM in config file = 5, actual SUM = 0(Entry=1-1)",
            [] { GpfmTestFile f = Of({{0, std::string(4, '\0')}});
                 f.SetSum(1, 0, 0, 5); return f; }},
    // A segment longer than the buffer is refused without reading it.
    Refusal{"SegmentOverTheBuffer", "Segment size over buffer size(Entry=3-1, size=409601)",
            [] { return Of({{0, "ok"}, {2, Pattern(409601, 1)}}); }, kAll, nullptr, kLz4Dir,
            nullptr, Tables{{0, "ok"}, {2, ""}}},
    Refusal{"SegmentHuge", "Segment size over buffer size(Entry=1-1, size=4294967295)",
            [] { GpfmTestFile f; f.SetSize(1, 0, 0, 0xFFFFFFFF); return f; }},
    // A write or read failure in the data area names the entry; the reads of
    // the GUM, PFM CMN and directory headers and of table 0 pass.
    Refusal{"WriteFails", "File write failed(Entry=2-2)", TwoTables, kAll, nullptr, kLz4Dir,
            nullptr, Tables{{0, "ab"}, {1, "cd"}},
            {plat::FaultOp::Write, "1.lz4", ERROR_DISK_FULL, 1, 1}},
    Refusal{"ReadFails", "File read failed(Entry=2-1)", TwoTables, kAll, nullptr, kLz4Dir,
            nullptr, Tables{{0, "ab"}, {1, ""}},
            {plat::FaultOp::Read, "bkcnf.gpfm", ERROR_ACCESS_DENIED, 4, 1}},
    // 251 characters of directory: "\0.lz4" still fits 259, "\1000.lz4" does not.
    Refusal{"OutputPathTooLong", "Output path too long(Entry=1001)",
            [] { return Of({{0, "ab"}, {1000, "cd"}}); }, kAll, nullptr, kLongDir.c_str()},
    Refusal{"NoBackupFile", "File open failed.(file=C:\\PLAXON\\TMP\\none.gpfm)", nullptr},
    Refusal{"NoOutputDirectory", "File open failed.(file=C:\\PLAXON\\TMP\\NOPE\\0.lz4)", TwoTables,
            kAll, nullptr, "C:\\PLAXON\\TMP\\NOPE", "[ERROR] Can not open a file.\n"},
    Refusal{"NoDirectoryGiven", "File open failed.(file=)", TwoTables, kAll, nullptr, nullptr,
            "[ERROR] Can not open a file.\n"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });
// clang-format on

}  // namespace
