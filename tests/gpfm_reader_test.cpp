// The backup-file reader: header checks, table directory walk, segment sums,
// the output files and what a failure leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include "backupfile/CnfBakCnfReader.h"
#include "backupfile/GpfmFormat.h"
#include "platform/Platform.h"
#include "support/GpfmTestFile.h"
#include "support/TestWorld.h"

namespace {

constexpr char kGpfm[] = "C:\\PLAXON\\TMP\\bkcnf.gpfm";
constexpr char kLz4Dir[] = "C:\\PLAXON\\TMP\\LZ4";
constexpr std::size_t kData = GpfmTestFile::kHeaderArea;

std::string Pattern(std::size_t n, int seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed) * 31) & 0xFF);
  return s;
}

class GpfmReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { world_.MakeHostDir('C', "PLAXON/TMP/LZ4"); }

  int Parse(const GpfmTestFile& file) { return Parse(file.Bytes()); }
  int Parse(const std::string& bytes, const char* dir = kLz4Dir) {
    world_.WriteHostFile('C', "PLAXON/TMP/bkcnf.gpfm", bytes);
    return Run(kGpfm, dir);
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
  const std::string a = Pattern(6, 1), b0 = Pattern(11, 2), b1 = Pattern(4, 3), c = Pattern(1, 4);
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
}

TEST_F(GpfmReaderTest, Cfm2UsesTheSecondDirectoryAndIgnoresAnInvalidFirstOne) {
  GpfmTestFile file(2);
  file.SetValid(1, 0x12345678);
  file.SetSize(1, 3, 0, 400);  // a table the data area does not hold
  const std::string data = Pattern(9, 5);
  file.AddTable(2, 7, {data});
  ASSERT_EQ(Parse(file), 1);
  ExpectTables({{7, data}});  // read from offset 131,344 as for CFM 1
}

TEST_F(GpfmReaderTest, ASegmentFillingTheWholeBufferIsRead) {
  GpfmTestFile file;
  const std::string full = Pattern(409600, 12);
  file.AddTable(1, 0, {full});
  ASSERT_EQ(Parse(file), 1);
  EXPECT_EQ(Table(0), full);
}

TEST(GpfmSegmentSum, AddsEveryByteAsUnsignedWhateverTheLengthAndAlignment) {
  std::string bytes(1000, '\0');
  std::uint32_t x = 99;
  for (auto& c : bytes) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 23);
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  for (std::size_t start : {0u, 1u, 7u})
    for (std::size_t n : {0u, 1u, 15u, 16u, 17u, 31u, 33u, 500u, 993u}) {
      std::uint32_t expected = 0;
      for (std::size_t i = 0; i < n; ++i) expected += data[start + i];
      EXPECT_EQ(gpfm::SegmentSum(data + start, n), expected) << start << "+" << n;
    }
  const std::string ff(409600, '\xFF');
  EXPECT_EQ(gpfm::SegmentSum(reinterpret_cast<const std::uint8_t*>(ff.data()), ff.size()),
            409600u * 255u);
}

// ------------------------------------------------------------ refusals

TEST_F(GpfmReaderTest, TargetCfmOtherThanOneOrTwoIsRefusedBeforeAnyDirectoryIsRead) {
  for (std::uint32_t cfm : {0u, 3u, 0xFFFFFFFFu}) {
    GpfmTestFile file(cfm);
    // Only the GUM and PFM CMN headers: a read of a directory would fail differently.
    ASSERT_EQ(Parse(file.Bytes().substr(0, 144)), 0) << cfm;
    const std::string shown = cfm == 0xFFFFFFFFu ? "-1" : std::to_string(cfm);
    EXPECT_TRUE(Traced("invalid param \"targetCFM\"->(" + shown + ") in GPFM Header")) << cfm;
    EXPECT_FALSE(Traced("PFM Header read failed"));
  }
}

TEST_F(GpfmReaderTest, ADirectoryNotMarkedValidIsRefused) {
  GpfmTestFile file;
  file.SetValid(1, 0);
  file.AddTable(1, 0, {"abcd"});
  ASSERT_EQ(Parse(file), 0);
  EXPECT_TRUE(Traced("invalid param \"valid\"->(0) in PFM Header"));
  ExpectTables({});

  GpfmTestFile second(2);
  second.SetValid(2, 2);
  ASSERT_EQ(Parse(second), 0);
  EXPECT_TRUE(Traced("invalid param \"valid\"->(2) in PFM Header"));
}

struct ShortFileCase {
  const char* name;
  std::uint32_t cfm;
  std::size_t length;  // bytes kept of the file
  const char* trace;
};

class GpfmReaderShortFileTest : public GpfmReaderTest,
                                public ::testing::WithParamInterface<ShortFileCase> {};

TEST_P(GpfmReaderShortFileTest, AFileEndingInsideARegionIsRefusedByThatRegion) {
  const ShortFileCase& c = GetParam();
  GpfmTestFile file(c.cfm);
  // Table 0: an odd segment of 5 bytes (with padding) and one of 6 bytes.
  file.AddTable(static_cast<int>(c.cfm), 0, {Pattern(5, 1), Pattern(6, 2)});
  ASSERT_LE(c.length, file.Bytes().size());
  ASSERT_EQ(Parse(file.Bytes().substr(0, c.length)), 0);
  EXPECT_TRUE(Traced(c.trace)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Regions, GpfmReaderShortFileTest,
    ::testing::Values(
        ShortFileCase{"Empty", 1, 0, "GUM Header read failed"},
        ShortFileCase{"InGumHeader", 1, 127, "GUM Header read failed"},
        ShortFileCase{"InPfmCmnHeader", 1, 143, "PFM CMN Header read failed"},
        ShortFileCase{"InFirstDirectory", 1, 144 + 65599, "PFM Header read failed"},
        ShortFileCase{"Cfm2BeforeSecondDirectory", 2, 65744, "PFM Header read failed"},
        ShortFileCase{"Cfm2InSecondDirectory", 2, 65744 + 65599, "PFM Header read failed"},
        ShortFileCase{"AtDataArea", 1, kData, "File read failed(Entry=1-1)"},
        ShortFileCase{"InSegment", 1, kData + 4, "File read failed(Entry=1-1)"},
        ShortFileCase{"AtPadding", 1, kData + 5,
                      "File read failed(boundary correction)(Entry=1-1)"},
        ShortFileCase{"InSecondSegment", 1, kData + 6 + 5, "File read failed(Entry=1-2)"}),
    [](const ::testing::TestParamInfo<ShortFileCase>& info) { return info.param.name; });

TEST_F(GpfmReaderTest, ASumMismatchStopsAtOnceAndKeepsWhatWasCheckedBefore) {
  GpfmTestFile file;
  std::map<int, std::string> kept;
  for (int t = 0; t < 5; ++t) {
    kept[t] = Pattern(static_cast<std::size_t>(7 + t), t);
    file.AddTable(1, t, {kept[t]});
  }
  const std::string s0 = Pattern(9, 20), s1 = Pattern(10, 21), s2 = Pattern(11, 22);
  file.AddTable(1, 5, {s0, s1, s2});
  file.SetSum(1, 5, 2, GpfmTestFile::Sum(s2) + 1);
  file.AddTable(1, 6, {Pattern(4, 23)});
  ASSERT_EQ(Parse(file), 0);
  const std::string line = "SUM in config file = " + std::to_string(GpfmTestFile::Sum(s2) + 1) +
                           ", actual SUM = " + std::to_string(GpfmTestFile::Sum(s2)) +
                           "(Entry=6-3)";
  EXPECT_TRUE(Traced(line)) << line;
  EXPECT_EQ(debug_, std::vector<std::string>{"[ERROR] CheckSUM\n"});
  kept[5] = s0 + s1;
  ExpectTables(kept);
  EXPECT_FALSE(Traced("Parse end"));

  // Bytes count 0..255 (never as negative chars), the stored sum is shown as
  // the system's long, and a segment of zeros is checked like any other.
  const std::tuple<char, std::uint32_t, const char*> rows[] = {
      {'\xFF', 0xFFFFFFFF, "SUM in config file = -1, actual SUM = 1020(Entry=1-1)"},
      {'\0', 5, "SUM in config file = 5, actual SUM = 0(Entry=1-1)"}};
  for (const auto& [byte, stored, line] : rows) {
    GpfmTestFile wrong;
    wrong.AddTable(1, 0, {std::string(4, byte)});
    wrong.SetSum(1, 0, 0, stored);
    ASSERT_EQ(Parse(wrong), 0) << line;
    EXPECT_TRUE(Traced(line)) << line;
  }
}

TEST_F(GpfmReaderTest, ASegmentLongerThanTheBufferIsRefusedWithoutReadingIt) {
  GpfmTestFile file;
  file.AddTable(1, 0, {"ok"});
  file.AddTable(1, 2, {Pattern(409601, 1)});
  ASSERT_EQ(Parse(file), 0);
  EXPECT_TRUE(Traced("Segment size over buffer size(Entry=3-1, size=409601)"));
  ExpectTables({{0, "ok"}, {2, ""}});

  GpfmTestFile huge;  // a size far beyond any file
  huge.SetSize(1, 0, 0, 0xFFFFFFFF);
  ASSERT_EQ(Parse(huge), 0);
  EXPECT_TRUE(Traced("Segment size over buffer size(Entry=1-1, size=4294967295)"));
}

TEST_F(GpfmReaderTest, AWriteOrReadFailureInTheDataAreaNamesTheEntry) {
  GpfmTestFile file;
  file.AddTable(1, 0, {"ab"});
  file.AddTable(1, 1, {"cd", "ef"});
  world_.Faults().AddRule({plat::FaultOp::Write, "1.lz4", ERROR_DISK_FULL, 1, 1});
  ASSERT_EQ(Parse(file), 0);
  EXPECT_TRUE(Traced("File write failed(Entry=2-2)"));
  ExpectTables({{0, "ab"}, {1, "cd"}});

  // The header reads (GUM, PFM CMN, directory) and table 0 pass; table 1 fails.
  world_.Faults().AddRule({plat::FaultOp::Read, "bkcnf.gpfm", ERROR_ACCESS_DENIED, 4, 1});
  ASSERT_EQ(Parse(file), 0);
  EXPECT_TRUE(Traced("File read failed(Entry=2-1)"));
  ExpectTables({{0, "ab"}, {1, ""}});
}

TEST_F(GpfmReaderTest, AnOutputPathThatDoesNotFitIsRefused) {
  // 251 characters of directory: "\0.lz4" still fits 259, "\1000.lz4" does not.
  const std::string relative = "PLAXON/TMP/" + std::string(251 - 14, 'd');
  world_.MakeHostDir('C', relative);
  const std::string dir = "C:\\PLAXON\\TMP\\" + std::string(251 - 14, 'd');
  GpfmTestFile file;
  file.AddTable(1, 0, {"ab"});
  file.AddTable(1, 1000, {"cd"});
  EXPECT_EQ(Parse(file.Bytes(), dir.c_str()), 0);
  EXPECT_TRUE(Traced("Output path too long(Entry=1001)"));
  EXPECT_EQ(world_.ReadHostFile('C', relative + "/0.lz4"), "ab");
}

TEST_F(GpfmReaderTest, AMissingBackupFileOrOutputDirectoryIsReported) {
  EXPECT_EQ(Run("C:\\PLAXON\\TMP\\none.gpfm", kLz4Dir), 0);
  EXPECT_TRUE(Traced("File open failed.(file=C:\\PLAXON\\TMP\\none.gpfm)"));

  GpfmTestFile file;
  file.AddTable(1, 0, {"ab"});
  EXPECT_EQ(Parse(file.Bytes(), "C:\\PLAXON\\TMP\\NOPE"), 0);
  EXPECT_TRUE(Traced("File open failed.(file=C:\\PLAXON\\TMP\\NOPE\\0.lz4)"));
  EXPECT_EQ(debug_, std::vector<std::string>{"[ERROR] Can not open a file.\n"});
  // No directory at all: nothing is written anywhere.
  EXPECT_EQ(Run(kGpfm, nullptr), 0);
  EXPECT_TRUE(Traced("File open failed.(file=)"));
  EXPECT_EQ(debug_, std::vector<std::string>{"[ERROR] Can not open a file.\n"});
}

}  // namespace
