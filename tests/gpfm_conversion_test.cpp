// The table conversion: one raw LZ4 block into one table file, and every file
// of a directory on the conversion worker.
#include <gtest/gtest.h>
#include <lz4.h>

#include <string>

#include "archive/CnfCmpDlg.h"
#include "archive/CompressRequest.h"
#include "backupfile/CnfCmpThd2.h"
#include "exports/talver_host.h"
#include "platform/Platform.h"
#include "platform/Win.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"

namespace {

std::string Table(std::size_t n, int seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>(i % 16 < 3 ? (i * 31 + static_cast<std::size_t>(seed)) & 0xFF : seed);
  return s;
}

std::string Compress(const std::string& table) {
  std::string out(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(table.size()))),
                  '\0');
  int n = LZ4_compress_default(table.data(), out.data(), static_cast<int>(table.size()),
                               static_cast<int>(out.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world_.MakeHostDir('C', "PLAXON/TMP/LZ4");
    world_.MakeHostDir('C', "PLAXON/TMP/TABLES");
    TakePosted();
  }
  // The messages posted to window 0, this thread's own queue, in order.
  static std::vector<UINT> TakePosted() {
    std::vector<UINT> posted;
    plat::MSG msg;
    while (plat::PeekMessage(&msg, 0, 0, 0, plat::PM_REMOVE)) {
      EXPECT_EQ(msg.wParam, 0u);
      EXPECT_EQ(msg.lParam, 0);
      posted.push_back(msg.message);
    }
    return posted;
  }
  static constexpr UINT kStep = plat::WM_USER + 4;
  static constexpr UINT kClose = plat::WM_CLOSE;
  void PutLz4(const std::string& name, const std::string& bytes) {
    world_.WriteHostFile('C', "PLAXON/TMP/LZ4/" + name, bytes);
  }
  bool HasTable(const std::string& name) const {
    return world_.HostExists('C', "PLAXON/TMP/TABLES/" + name);
  }
  std::string ReadTable(const std::string& name) const {
    return world_.ReadHostFile('C', "PLAXON/TMP/TABLES/" + name);
  }
  int Convert(std::int16_t mode = kArchiveTableConversion) {
    world_.TakeTrace();
    plat::TakeDebugOutput();
    int r = CompressCommand2(mode, 1, kLz4, kTables, 0);
    trace_ = world_.TakeTrace();
    debug_ = plat::TakeDebugOutput();
    return r;
  }
  int Decompress(const char* in, const char* out, WORD* detail) {
    world_.TakeTrace();
    int r = DecompressLz4File(in, out, detail);
    trace_ = world_.TakeTrace();
    return r;
  }
  bool Traced(const std::string& text) const { return TestWorld::Contains(trace_, text); }

  static constexpr char kLz4[] = "C:\\PLAXON\\TMP\\LZ4";
  static constexpr char kTables[] = "C:\\PLAXON\\TMP\\TABLES";
  TestWorld world_;
  std::vector<std::string> trace_;
  std::vector<std::string> debug_;
};

// ------------------------------------------------------------ one file

TEST_F(ConversionTest, DecompressesOneBlockIntoItsTableFile) {
  const std::string table = Table(100000, 3);
  PutLz4("5.lz4", Compress(table));
  WORD detail = 99;
  ASSERT_EQ(Decompress("C:\\PLAXON\\TMP\\LZ4\\5.lz4", "C:\\PLAXON\\TMP\\TABLES\\5", &detail), 1);
  EXPECT_EQ(detail, 0);
  EXPECT_EQ(ReadTable("5"), table);

  // The largest table there may be, and the block of an empty one.
  const std::string largest = Table(kLz4OutputBufferSize, 4);
  PutLz4("6.lz4", Compress(largest));
  ASSERT_EQ(Decompress("C:\\PLAXON\\TMP\\LZ4\\6.lz4", "C:\\PLAXON\\TMP\\TABLES\\6", &detail), 1);
  EXPECT_EQ(ReadTable("6"), largest);
  PutLz4("7.lz4", Compress(""));
  ASSERT_EQ(Decompress("C:\\PLAXON\\TMP\\LZ4\\7.lz4", "C:\\PLAXON\\TMP\\TABLES\\7", &detail), 1);
  EXPECT_TRUE(HasTable("7"));
  EXPECT_EQ(ReadTable("7"), "");
}

TEST_F(ConversionTest, EachFailureHasItsDetailCode) {
  PutLz4("ok.lz4", Compress(Table(1000, 1)));
  const char* ok = "C:\\PLAXON\\TMP\\LZ4\\ok.lz4";
  const char* out = "C:\\PLAXON\\TMP\\TABLES\\ok";
  WORD detail = 0;
  EXPECT_EQ(Decompress(nullptr, out, &detail), 0);
  EXPECT_EQ(detail, kDecompNoInputPath);
  EXPECT_EQ(Decompress("", out, &detail), 0);
  EXPECT_EQ(detail, kDecompNoInputPath);
  EXPECT_EQ(Decompress(ok, nullptr, &detail), 0);
  EXPECT_EQ(detail, kDecompNoOutputPath);
  EXPECT_EQ(Decompress(ok, "", &detail), 0);
  EXPECT_EQ(detail, kDecompNoOutputPath);
  EXPECT_EQ(Decompress("C:\\PLAXON\\TMP\\LZ4\\none.lz4", out, &detail), 0);
  EXPECT_EQ(detail, kDecompNoInputSize);
  world_.Faults().AddRule({plat::FaultOp::Read, "ok.lz4", ERROR_ACCESS_DENIED, 0, 1});
  EXPECT_EQ(Decompress(ok, out, &detail), 0);
  EXPECT_EQ(detail, kDecompInputUnreadable);
  EXPECT_EQ(Decompress(ok, "C:\\PLAXON\\NOPE\\ok", &detail), 0);
  EXPECT_EQ(detail, kDecompWriteFailed);
  EXPECT_FALSE(HasTable("ok"));
}

TEST_F(ConversionTest, MalformedOrOverlongBlocksFailWithDetail6) {
  WORD detail = 0;
  PutLz4("bad.lz4", std::string("\xF0\xFF\xFF\x00garbage", 11));
  EXPECT_EQ(Decompress("C:\\PLAXON\\TMP\\LZ4\\bad.lz4", "C:\\PLAXON\\TMP\\TABLES\\bad", &detail),
            0);
  EXPECT_EQ(detail, kDecompMalformed);
  PutLz4("long.lz4", Compress(std::string(kLz4OutputBufferSize + 1, 'z')));
  EXPECT_EQ(Decompress("C:\\PLAXON\\TMP\\LZ4\\long.lz4", "C:\\PLAXON\\TMP\\TABLES\\long", &detail),
            0);
  EXPECT_EQ(detail, kDecompMalformed);
  PutLz4("empty.lz4", "");
  EXPECT_EQ(Decompress("C:\\PLAXON\\TMP\\LZ4\\empty.lz4", "C:\\PLAXON\\TMP\\TABLES\\e", &detail),
            0);
  EXPECT_EQ(detail, kDecompMalformed);
  EXPECT_FALSE(HasTable("bad"));
  EXPECT_FALSE(HasTable("long"));
}

TEST_F(ConversionTest, ACompressedFileLargerThanTheInputBufferIsRefusedUnread) {
  // A valid block of more than 700,000 bytes (incompressible data grows a little).
  std::string noise(699000, '\0');
  std::uint32_t x = 12345;
  for (auto& c : noise) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  const std::string block = Compress(noise);
  ASSERT_GT(block.size(), kLz4InputBufferSize);
  PutLz4("big.lz4", block);
  world_.Faults().AddRule({plat::FaultOp::Read, "big.lz4", ERROR_ACCESS_DENIED});
  WORD detail = 0;
  EXPECT_EQ(Decompress("C:\\PLAXON\\TMP\\LZ4\\big.lz4", "C:\\PLAXON\\TMP\\TABLES\\big", &detail),
            0);
  EXPECT_EQ(detail, kDecompInputUnreadable);
  EXPECT_TRUE(Traced("Compressed file too large (size = " + std::to_string(block.size()) +
                     ", limit = 700000)"));
  EXPECT_EQ(world_.Faults().Injected(), 0);  // nothing was read
  EXPECT_FALSE(HasTable("big"));
}

// ------------------------------------------------------------ a directory

TEST_F(ConversionTest, EveryFileBecomesATableNamedWithoutItsExtension) {
  const std::string a = Table(500, 1), b = Table(600, 2), c = Table(700, 3);
  PutLz4("12", Compress(a));
  PutLz4("a.b.lz4", Compress(b));
  PutLz4("5.lz4", Compress(c));
  world_.MakeHostDir('C', "PLAXON/TMP/LZ4/sub.lz4");
  world_.WriteHostFile('C', "PLAXON/TMP/LZ4/sub.lz4/9.lz4", Compress(a));
  ASSERT_EQ(Convert(), 1);
  EXPECT_EQ(ReadTable("12"), a);
  EXPECT_EQ(ReadTable("a.b"), b);
  EXPECT_EQ(ReadTable("5"), c);
  EXPECT_FALSE(HasTable("sub"));
  EXPECT_FALSE(HasTable("9"));
  EXPECT_TRUE(trace_.empty());
  // One step per converted file, then the close.
  EXPECT_EQ(TakePosted(), (std::vector<UINT>{kStep, kStep, kStep, kClose}));
}

TEST_F(ConversionTest, AnEmptyDirectoryConvertsNothingAndSucceeds) {
  EXPECT_EQ(Convert(), 1);
  EXPECT_TRUE(trace_.empty());
  EXPECT_EQ(TakePosted(), std::vector<UINT>{kClose});
}

TEST_F(ConversionTest, AFailingFileEndsTheRunAndKeepsTheTablesBeforeIt) {
  const std::string first = Table(800, 1);
  PutLz4("1.lz4", Compress(first));
  PutLz4("2.lz4", Compress(std::string(kLz4OutputBufferSize + 1, 'x')));
  PutLz4("3.lz4", Compress(Table(900, 3)));
  EXPECT_EQ(Convert(), 0);
  EXPECT_EQ(ReadTable("1"), first);
  EXPECT_FALSE(HasTable("2"));
  EXPECT_FALSE(HasTable("3"));
  EXPECT_EQ(debug_, std::vector<std::string>{"decomp failed\n"});
  EXPECT_TRUE(Traced(".\\CnfCmpThd2.cpp("));
  EXPECT_TRUE(Traced("ErrCode=0x6"));
  // The dialog still learns that the run has ended.
  EXPECT_EQ(TakePosted(), (std::vector<UINT>{kStep, kClose}));
}

TEST_F(ConversionTest, OnlyModeTenIsServed) {
  PutLz4("1.lz4", Compress(Table(10, 1)));
  EXPECT_EQ(Convert(9), 0);
  EXPECT_TRUE(Traced("ErrCode=0x9"));
  EXPECT_FALSE(HasTable("1"));
  EXPECT_EQ(Convert(-1), 0);
  EXPECT_TRUE(Traced("ErrCode=0xFFFFFFFF"));
  // No close: the dialog ends when it sees the failed state.
  EXPECT_TRUE(TakePosted().empty());
}

TEST_F(ConversionTest, AMissingSourceDirectoryIsReported) {
  world_.TakeTrace();
  plat::TakeDebugOutput();
  EXPECT_EQ(CompressCommand2(10, 1, "C:\\PLAXON\\TMP\\NONE", kTables, 0), 0);
  EXPECT_EQ(plat::TakeDebugOutput(), std::vector<std::string>{"[ERROR] Directory Not Found\n"});
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ErrCode=0x3"));
  EXPECT_TRUE(TakePosted().empty());
}

TEST_F(ConversionTest, AnOutputPathThatDoesNotFitEndsTheRun) {
  PutLz4("1.lz4", Compress(Table(10, 1)));
  const std::string longDir = "C:\\PLAXON\\TMP\\" + std::string(244, 't');
  world_.TakeTrace();
  EXPECT_EQ(CompressCommand2(10, 1, kLz4, longDir.c_str(), 0), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR path too long (file = 1.lz4)"));
}

TEST_F(ConversionTest, TheWorkerPublishesItsOutcomeInTheStateWord) {
  PutLz4("1.lz4", Compress(Table(10, 1)));
  CompressRequest request{};
  request.mode = kArchiveTableConversion;
  request.displayFlag = 1;
  std::snprintf(request.archivePath, sizeof request.archivePath, "%s", kLz4);
  std::snprintf(request.directory, sizeof request.directory, "%s", kTables);
  CompressThreadState = 7;
  Talver_CompressThread2(&request);
  EXPECT_EQ(CompressThreadState.load(), 1);
  EXPECT_TRUE(HasTable("1"));

  request.mode = 4;
  world_.TakeTrace();
  Talver_CompressThread2(&request);
  EXPECT_EQ(CompressThreadState.load(), -1);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR CompressCommand2"));
}

}  // namespace

// ------------------------------------------------------------ under the dialog

namespace {

TEST_F(ConversionTest, UnderTheProgressDialogTheBarStepsOncePerTable) {
  const std::string a = Table(900, 1), b = Table(1900, 2), c = Table(50, 3);
  PutLz4("1.lz4", Compress(a));
  PutLz4("2.lz4", Compress(b));
  PutLz4("3.lz4", Compress(c));
  ScriptedOperator op;
  ASSERT_EQ(CompressDialog2(0, kArchiveTableConversion, 1, "C:\\PLAXON\\TMP\\LZ4\\", kTables), 1);
  EXPECT_EQ(CompressThreadState.load(), 1);
  auto closed = op.ClosedDialogs();
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0].second, 1);
  const plat::ControlView* bar = closed[0].first.ProgressBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->rangeHigh, 3);
  EXPECT_EQ(bar->position, 3);
  EXPECT_EQ(ReadTable("1"), a);
  EXPECT_EQ(ReadTable("2"), b);
  EXPECT_EQ(ReadTable("3"), c);
}

TEST_F(ConversionTest, AFailedConversionUnderTheDialogFailsTheCall) {
  PutLz4("1.lz4", Compress(Table(900, 1)));
  PutLz4("2.lz4", "not a block at all");
  ScriptedOperator op;
  world_.TakeTrace();
  EXPECT_EQ(TalverHost_GpfmConvert(kLz4, kTables, 1), 0);
  EXPECT_EQ(CompressThreadState.load(), -1);
  auto trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "Start CompressDialog2"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR CompressCommand2"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR Talver_CompressThread"));
  EXPECT_TRUE(HasTable("1"));
  EXPECT_FALSE(HasTable("2"));
}

TEST_F(ConversionTest, WithoutADialogTheHostConversionLeavesNoMessagesBehind) {
  PutLz4("1.lz4", Compress(Table(900, 1)));
  EXPECT_EQ(TalverHost_GpfmConvert(kLz4, kTables, 0), 1);
  EXPECT_TRUE(HasTable("1"));
  EXPECT_TRUE(TakePosted().empty());
}

}  // namespace
