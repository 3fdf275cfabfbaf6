// The table conversion: one raw LZ4 block into one table file, and every file
// of a directory on the conversion worker.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "archive/CnfCmpDlg.h"
#include "backupfile/CnfCmpThd2.h"
#include "common/CompressRequest.h"
#include "host/talver_host.h"
#include "platform/Platform.h"
#include "platform/Win.h"
#include "support/FlowFixtures.h"
#include "support/GpfmTestFile.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"

namespace {

using fixtures::Table;

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
    while (plat::PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
      EXPECT_EQ(msg.wParam, 0u);
      EXPECT_EQ(msg.lParam, 0);
      posted.push_back(msg.message);
    }
    return posted;
  }
  static constexpr UINT kStep = WM_USER + 4;
  static constexpr UINT kClose = WM_CLOSE;
  void PutLz4(const std::string& name, const std::string& bytes) {
    world_.WriteHostFile('C', "PLAXON/TMP/LZ4/" + name, bytes);
  }
  bool HasTable(const std::string& name) const {
    return world_.HostExists('C', "PLAXON/TMP/TABLES/" + name);
  }
  std::string ReadTable(const std::string& name) const {
    return world_.ReadHostFile('C', "PLAXON/TMP/TABLES/" + name);
  }
  int Convert(std::int16_t mode = kArchiveTableConversion, const char* from = kLz4,
              const char* to = kTables) {
    world_.TakeTrace();
    plat::TakeDebugOutput();
    int r = CompressCommand2(mode, 1, from, to, 0);
    trace_ = world_.TakeTrace();
    debug_ = plat::TakeDebugOutput();
    return r;
  }
  // Decompresses LZ4\<in> into TABLES\<out>; the detail code lands in detail_.
  int Decompress(const std::string& in, const std::string& out) {
    return DecompressPaths((std::string(kLz4) + "\\" + in).c_str(),
                           (std::string(kTables) + "\\" + out).c_str());
  }
  int DecompressPaths(const char* in, const char* out) {
    world_.TakeTrace();
    detail_ = 99;
    int r = DecompressLz4File(in, out, &detail_);
    trace_ = world_.TakeTrace();
    return r;
  }
  bool Traced(const std::string& text) const { return TestWorld::Contains(trace_, text); }

  static constexpr char kLz4[] = "C:\\PLAXON\\TMP\\LZ4";
  static constexpr char kTables[] = "C:\\PLAXON\\TMP\\TABLES";
  TestWorld world_;
  std::vector<std::string> trace_;
  std::vector<std::string> debug_;
  WORD detail_ = 0;
};

// ------------------------------------------------------------ one file

// The block of an empty table, an ordinary one and the largest there may be
// become their table files; each failure has its detail code and leaves none.
TEST_F(ConversionTest, EachFileBecomesItsTableOrHasItsDetailCode) {
  const std::string tables[] = {"", Table(100000, 3), Table(kLz4OutputBufferSize, 4)};
  for (const std::string& table : tables) {
    PutLz4("5.lz4", Lz4Block(table));
    ASSERT_EQ(Decompress("5.lz4", "5"), 1);
    EXPECT_EQ(detail_, kDecompConverted);
    EXPECT_TRUE(HasTable("5"));
    EXPECT_EQ(ReadTable("5"), table);
  }
  // A valid block of more than 700,000 bytes (incompressible data grows a
  // little) is refused unread.
  const std::string large = Lz4Block(fixtures::Incompressible(699000, 12345));
  ASSERT_GT(large.size(), kLz4InputBufferSize);
  PutLz4("big.lz4", large);
  world_.Faults().AddRule({plat::FaultOp::Read, "big.lz4", ERROR_ACCESS_DENIED});
  EXPECT_EQ(Decompress("big.lz4", "big"), 0);
  EXPECT_EQ(detail_, kDecompInputUnreadable);
  EXPECT_TRUE(Traced("Compressed file too large (size = " + std::to_string(large.size()) +
                     ", limit = 700000)"));
  EXPECT_EQ(world_.Faults().Injected(), 0);  // nothing was read
  EXPECT_FALSE(HasTable("big"));

  PutLz4("ok.lz4", Lz4Block(Table(1000, 1)));
  const char* ok = "C:\\PLAXON\\TMP\\LZ4\\ok.lz4";
  const char* out = "C:\\PLAXON\\TMP\\TABLES\\ok";
  const struct {
    const char *in, *out;
    WORD detail;
  } cases[] = {{nullptr, out, kDecompNoInputPath},
               {"", out, kDecompNoInputPath},
               {ok, nullptr, kDecompNoOutputPath},
               {ok, "", kDecompNoOutputPath},
               {"C:\\PLAXON\\TMP\\LZ4\\none.lz4", out, kDecompNoInputSize},
               {ok, "C:\\PLAXON\\NOPE\\ok", kDecompWriteFailed},
               {ok, out, kDecompInputUnreadable}};  // the read fails, the last row only
  for (const auto& c : cases) {
    if (&c == std::end(cases) - 1)
      world_.Faults().AddRule({plat::FaultOp::Read, "ok.lz4", ERROR_ACCESS_DENIED, 0, 1});
    EXPECT_EQ(DecompressPaths(c.in, c.out), 0);
    EXPECT_EQ(detail_, c.detail) << (c.in ? c.in : "null") << " " << (c.out ? c.out : "null");
  }
  EXPECT_FALSE(HasTable("ok"));

  // A malformed block, one that decompresses past the largest table, and an empty file.
  for (const std::string& block :
       {std::string("\xF0\xFF\xFF\x00garbage", 11),
        Lz4Block(std::string(kLz4OutputBufferSize + 1, 'z')), std::string()}) {
    PutLz4("bad.lz4", block);
    EXPECT_EQ(Decompress("bad.lz4", "bad"), 0);
    EXPECT_EQ(detail_, kDecompMalformed);
    EXPECT_FALSE(HasTable("bad"));
  }
}

// ------------------------------------------------------------ a directory

TEST_F(ConversionTest, EveryFileBecomesATableNamedWithoutItsExtension) {
  EXPECT_EQ(Convert(), 1);  // an empty directory: nothing converted, still closed
  EXPECT_TRUE(trace_.empty());
  EXPECT_EQ(TakePosted(), std::vector<UINT>{kClose});

  const std::string a = Table(500, 1), b = Table(600, 2), c = Table(700, 3);
  PutLz4("12", Lz4Block(a));
  PutLz4("a.b.lz4", Lz4Block(b));
  PutLz4("5.lz4", Lz4Block(c));
  world_.MakeHostDir('C', "PLAXON/TMP/LZ4/sub.lz4");
  world_.WriteHostFile('C', "PLAXON/TMP/LZ4/sub.lz4/9.lz4", Lz4Block(a));
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

// A run that fails at its second table takes back the first one and leaves
// no temporary: a block too large, a table file that cannot be written, and
// tables that together need more than the drive had free when the run began.
struct FailingRun {
  const char* name;
  std::string second;  // the block of 2.lz4
  plat::FaultRule fault;
  std::uint64_t room;  // drive C: this much free; 0 the host's figures
  WORD detail;
  const char* traced;
};

void PrintTo(const FailingRun& c, std::ostream* out) { *out << c.name; }

class FailingRunTest : public ConversionTest, public ::testing::WithParamInterface<FailingRun> {};

TEST_P(FailingRunTest, EndsTheRunAndRemovesItsTables) {
  const FailingRun& c = GetParam();
  PutLz4("1.lz4", Lz4Block(Table(800, 1)));
  PutLz4("2.lz4", c.second);
  PutLz4("3.lz4", Lz4Block(Table(900, 3)));
  if (!c.fault.pathContains.empty()) world_.Faults().AddRule(c.fault);
  if (c.room) {
    SKIP_ON_WINDOWS("a drive smaller than its host folder is the POSIX world's");
    std::uint64_t used = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(world_.DriveDir('C')))
      if (e.is_regular_file()) used += e.file_size();
    world_.MutableWorld().drive('C').totalBytes = used + c.room;
  }
  EXPECT_EQ(Convert(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(world_.HostOf('C', "PLAXON/TMP/TABLES")));
  EXPECT_EQ(debug_, std::vector<std::string>{"decomp failed\n"});
  EXPECT_TRUE(Traced("ErrCode=0x" + std::to_string(c.detail)));
  EXPECT_TRUE(!c.traced || Traced(c.traced)) << c.traced;
  // The dialog still learns that the run has ended.
  EXPECT_EQ(TakePosted(), (std::vector<UINT>{kStep, kClose}));
}

const plat::FaultRule kNoFault{plat::FaultOp::Open, "", 0};
const plat::FaultRule kTableWriteFails{plat::FaultOp::Write, "TABLES\\2", ERROR_DISK_FULL};

INSTANTIATE_TEST_SUITE_P(
    Runs, FailingRunTest,
    ::testing::Values(FailingRun{"BlockTooLarge",
                                 Lz4Block(std::string(kLz4OutputBufferSize + 1, 'x')), kNoFault, 0,
                                 kDecompMalformed, nullptr},
                      FailingRun{"WriteFails", Lz4Block(Table(700, 2)), kTableWriteFails, 0,
                                 kDecompWriteFailed, "Write file write failed (outDataSize = 700)"},
                      // 14 KB of blocks that would take 3.5 MB: refused before it is written.
                      FailingRun{"TablesExceedTheFreeSpace",
                                 Lz4Block(std::string(kLz4OutputBufferSize, '\0')), kNoFault,
                                 1u << 20, kDecompWriteFailed,
                                 "Tables exceed the free space (size = 3500000, free = 1047776)"}),
    [](const ::testing::TestParamInfo<FailingRun>& info) { return info.param.name; });

TEST_F(ConversionTest, RunsThatCannotStartPostNoClose) {
  PutLz4("1.lz4", Lz4Block(Table(10, 1)));
  EXPECT_EQ(Convert(9), 0);  // only mode 10 is served
  EXPECT_TRUE(Traced("ErrCode=0x9"));
  EXPECT_FALSE(HasTable("1"));
  EXPECT_EQ(Convert(-1), 0);
  EXPECT_TRUE(Traced("ErrCode=0xFFFFFFFF"));
  EXPECT_EQ(Convert(10, "C:\\PLAXON\\TMP\\NONE"), 0);
  EXPECT_EQ(debug_, std::vector<std::string>{"[ERROR] Directory Not Found\n"});
  EXPECT_TRUE(Traced("ErrCode=0x3"));
  // The host's conversion has no dialog (a failed run under the dialog: the
  // ConversionHalfWay row of RestoreGpfmFailure).
  EXPECT_EQ(TalverHost_GpfmConvert(kLz4, kTables, 0), 1);
  EXPECT_TRUE(HasTable("1"));
  // No close: the dialog ends when it sees the failed state.
  EXPECT_TRUE(TakePosted().empty());

  const std::string longDir = "C:\\PLAXON\\TMP\\" + std::string(244, 't');
  EXPECT_EQ(Convert(10, kLz4, longDir.c_str()), 0);
  EXPECT_TRUE(Traced("ERR path too long (file = 1.lz4)"));
}

// ------------------------------------------------------------ under the dialog
// The dialog waits for the worker to publish its outcome in the state word.

TEST_F(ConversionTest, UnderTheProgressDialogTheBarStepsOncePerTable) {
  const std::string a = Table(900, 1), b = Table(1900, 2), c = Table(50, 3);
  PutLz4("1.lz4", Lz4Block(a));
  PutLz4("2.lz4", Lz4Block(b));
  PutLz4("3.lz4", Lz4Block(c));
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
  EXPECT_EQ(ReadTable("2"), b);
}

}  // namespace
