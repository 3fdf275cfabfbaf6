// Container files: whole-file reads and writes, range copies in 256-byte
// pieces and file sizes, with the trace and debugger texts of each failure.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "backupfile/CnfSimpleCnfReaderWriter.h"
#include "platform/Platform.h"
#include "support/FlowFixtures.h"
#include "support/TestWorld.h"

namespace {

using RW = CnfSimpleCnfReaderWriter;

std::string Bytes(std::size_t n) { return fixtures::Incompressible(n, 5); }

constexpr char kSrc[] = "C:\\PLAXON\\TMP\\src";
constexpr char kDst[] = "C:\\PLAXON\\TMP\\dst";
constexpr char kNone[] = "C:\\PLAXON\\TMP\\none";

// C:\PLAXON\TMP\ holds src (400 bytes) and dst ("old").
class ContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world_.WriteHostFile('C', "PLAXON/TMP/src", Bytes(400));
    world_.WriteHostFile('C', "PLAXON/TMP/dst", "old");
    world_.TakeTrace();
    plat::TakeDebugOutput();
  }
  std::string Dst() const { return world_.ReadHostFile('C', "PLAXON/TMP/dst"); }
  TestWorld world_;
};

TEST_F(ContainerTest, EachCallDoesItsWork) {
  char buffer[500] = {};
  EXPECT_EQ(RW::ReadContainer(kSrc, buffer, 100), 1);  // the rest of the file is ignored
  EXPECT_EQ(std::string(buffer, 100), Bytes(100));
  EXPECT_EQ(RW::ReadContainer(kSrc, buffer, 400), 1);
  EXPECT_EQ(RW::WriteContainer(kDst, "abcde", 5), 1);
  EXPECT_EQ(Dst(), "abcde");
  EXPECT_EQ(RW::CopyRange(kSrc, 0, 0, kDst), 1);  // nothing: an empty file
  EXPECT_TRUE(world_.HostExists('C', "PLAXON/TMP/dst"));
  EXPECT_EQ(Dst(), "");
  ASSERT_EQ(RW::CopyRange(kSrc, 50, 300, kDst), 1);
  EXPECT_EQ(Dst(), Bytes(400).substr(50, 300));
  EXPECT_EQ(RW::WriteContainer(kDst, "", 0), 1);
  EXPECT_EQ(Dst(), "");
  std::uint64_t size = 0;
  EXPECT_EQ(RW::GetSize(kSrc, &size), 1);
  EXPECT_EQ(size, 400u);
  EXPECT_TRUE(world_.TakeTrace().empty());
}

// Each failure: result 0, exactly its trace line and its debugger text (or
// none); dst keeps its old bytes and no temporary is left beside it.
struct Failure {
  const char* name;
  std::function<int()> call;
  const char* trace;
  const char* debug = nullptr;
  plat::FaultRule fault{plat::FaultOp::Open, "", 0};
};

void PrintTo(const Failure& c, std::ostream* out) { *out << c.name; }

class ContainerFailure : public ContainerTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(ContainerFailure, IsReportedAndLeavesTheFileAsItWas) {
  const Failure& c = GetParam();
  if (!c.fault.pathContains.empty()) world_.Faults().AddRule(c.fault);
  EXPECT_EQ(c.call(), 0);
  const auto trace = world_.TakeTrace();
  EXPECT_EQ(trace.size(), 1u) << ::testing::PrintToString(trace);
  EXPECT_TRUE(TestWorld::Contains(trace, c.trace)) << c.trace;
  EXPECT_EQ(plat::TakeDebugOutput(),
            c.debug ? std::vector<std::string>{c.debug} : std::vector<std::string>{});
  EXPECT_EQ(TestWorld::Snapshot(world_.HostOf('C', "PLAXON/TMP")),
            (std::map<std::string, std::string>{{"dst", "old"}, {"src", Bytes(400)}}));
}

char gBuffer[500];

// clang-format off
INSTANTIATE_TEST_SUITE_P(Container, ContainerFailure, ::testing::Values(
    Failure{"ReadBeyondTheFile", [] { return RW::ReadContainer(kSrc, gBuffer, 401); },
            "Read file failed (readSize = 400, containerSize = 401)",
            "[ERROR] Can not read a file.\n"},
    Failure{"ReadAMissingFile", [] { return RW::ReadContainer(kNone, gBuffer, 4); },
            "File open failed (file path = C:\\PLAXON\\TMP\\none)", "[ERROR] Can not open a file.\n"},
    Failure{"ReadNoPath", [] { return RW::ReadContainer(nullptr, gBuffer, 4); }, "Invalid Param"},
    Failure{"ReadNoBuffer", [] { return RW::ReadContainer(kSrc, nullptr, 4); }, "Invalid Param"},
    Failure{"WriteNoFolder", [] { return RW::WriteContainer("C:\\NOPE\\dst", "abcde", 5); },
            "Write File open failed (file path = C:\\NOPE\\dst)"},
    Failure{"WriteFails", [] { return RW::WriteContainer(kDst, "abcde", 5); },
            "Write file write failed (outDataSize = 5)", nullptr,
            {plat::FaultOp::Write, "dst", ERROR_DISK_FULL, 0, 1}},
    Failure{"RenameFails", [] { return RW::WriteContainer(kDst, "abcde", 5); },
            "Write file rename failed (file path = C:\\PLAXON\\TMP\\dst)", nullptr,
            {plat::FaultOp::Rename, "dst", ERROR_ACCESS_DENIED, 0, 1}},
    Failure{"WriteNoPath", [] { return RW::WriteContainer(nullptr, "a", 1); }, "Invalid Param"},
    // The second write (the piece of 44) fails: the piece of 256 goes with the temporary.
    Failure{"CopySecondPieceFails", [] { return RW::CopyRange(kSrc, 50, 300, kDst); },
            "Write file write failed", "[ERROR] Can not write a file for writing.\n",
            {plat::FaultOp::Write, "dst", ERROR_DISK_FULL, 1, 1}},
    // A range past the end fails after the complete pieces.
    Failure{"CopyPastTheEnd", [] { return RW::CopyRange(kSrc, 0, 600, kDst); },
            "Read file read failed", "[ERROR] Can not read a file for reading.\n"},
    Failure{"CopyBehindTheEnd", [] { return RW::CopyRange(kSrc, 1000, 10, kDst); },
            "Read file read failed", "[ERROR] Can not read a file for reading.\n"},
    Failure{"CopyAMissingFile", [] { return RW::CopyRange(kNone, 0, 10, kDst); },
            "Read file open failed (file path = C:\\PLAXON\\TMP\\none)",
            "[ERROR] Can not open a file for reading.\n"},
    Failure{"CopyNoFolder", [] { return RW::CopyRange(kSrc, 0, 10, "C:\\NOPE\\dst"); },
            "Write File open failed (file path = C:\\NOPE\\dst)",
            "[ERROR] Can not open a file for writing.\n"},
    Failure{"SizeOfAMissingFile", [] { std::uint64_t s = 0; return RW::GetSize(kNone, &s); },
            "Read file open failed (file path = C:\\PLAXON\\TMP\\none)",
            "[ERROR] Can not open a file for reading.\n"},
    Failure{"SizeNoPath", [] { std::uint64_t s = 0; return RW::GetSize(nullptr, &s); },
            "Invalid Param"}),
    [](const ::testing::TestParamInfo<Failure>& info) { return info.param.name; });
// clang-format on

}  // namespace
