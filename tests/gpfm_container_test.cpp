// Container files: whole-file reads and writes, range copies in 256-byte
// pieces and file sizes, with the trace and debugger texts of each failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "backupfile/CnfSimpleCnfReaderWriter.h"
#include "platform/Platform.h"
#include "support/TestWorld.h"

namespace {

using RW = CnfSimpleCnfReaderWriter;

std::string Bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 13 + 5) & 0xFF);
  return s;
}

class ContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world_.WriteHostFile('C', "PLAXON/TMP/src", Bytes(400));
    world_.TakeTrace();
    plat::TakeDebugOutput();
  }
  // The trace since the last call holds this line, and the debugger output is
  // exactly this text when one is given.
  void ExpectReported(const std::string& line, const char* debug = nullptr) {
    EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), line)) << line;
    auto output = plat::TakeDebugOutput();
    EXPECT_TRUE(!debug || output == std::vector<std::string>{debug}) << line;
  }

  // The names in C:\\PLAXON\\TMP\\, in order: no temporary is ever left.
  std::vector<std::string> TmpNames() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(world_.HostOf('C', "PLAXON/TMP")))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static constexpr char kSrc[] = "C:\\PLAXON\\TMP\\src";
  static constexpr char kDst[] = "C:\\PLAXON\\TMP\\dst";
  TestWorld world_;
};

TEST_F(ContainerTest, ReadContainerNeedsExactlyTheContainerSize) {
  char buffer[500] = {};
  EXPECT_EQ(RW::ReadContainer(kSrc, buffer, 100), 1);  // the rest of the file is ignored
  EXPECT_EQ(std::string(buffer, 100), Bytes(100));
  EXPECT_EQ(RW::ReadContainer(kSrc, buffer, 400), 1);
  EXPECT_EQ(RW::ReadContainer(kSrc, buffer, 401), 0);
  ExpectReported("Read file failed (readSize = 400, containerSize = 401)",
                 "[ERROR] Can not read a file.\n");
}

TEST_F(ContainerTest, ReadContainerReportsAMissingFileOrParameter) {
  char buffer[4];
  EXPECT_EQ(RW::ReadContainer("C:\\PLAXON\\TMP\\none", buffer, 4), 0);
  ExpectReported("File open failed (file path = C:\\PLAXON\\TMP\\none)",
                 "[ERROR] Can not open a file.\n");
  EXPECT_EQ(RW::ReadContainer(nullptr, buffer, 4), 0);
  EXPECT_EQ(RW::ReadContainer(kSrc, nullptr, 4), 0);
  auto trace = world_.TakeTrace();
  EXPECT_EQ(trace.size(), 2u);
  EXPECT_TRUE(TestWorld::Contains(trace, "Invalid Param"));
}

TEST_F(ContainerTest, WriteContainerReplacesTheFileAndReportsFailures) {
  world_.WriteHostFile('C', "PLAXON/TMP/dst", std::string(50, 'x'));
  EXPECT_EQ(RW::WriteContainer(kDst, "abcde", 5), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/dst"), "abcde");
  EXPECT_EQ(RW::WriteContainer(kDst, "", 0), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/dst"), "");

  EXPECT_EQ(RW::WriteContainer("C:\\NOPE\\dst", "abcde", 5), 0);
  ExpectReported("Write File open failed (file path = C:\\NOPE\\dst)");

  // A failed write leaves the file as it was and no temporary.
  EXPECT_EQ(RW::WriteContainer(kDst, "old", 3), 1);
  world_.Faults().AddRule({plat::FaultOp::Write, "dst", ERROR_DISK_FULL, 0, 1});
  EXPECT_EQ(RW::WriteContainer(kDst, "abcde", 5), 0);
  ExpectReported("Write file write failed (outDataSize = 5)");
  EXPECT_EQ(TmpNames(), (std::vector<std::string>{"dst", "src"}));
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/dst"), "old");
  world_.Faults().AddRule({plat::FaultOp::Rename, "dst", ERROR_ACCESS_DENIED, 0, 1});
  EXPECT_EQ(RW::WriteContainer(kDst, "abcde", 5), 0);
  ExpectReported("Write file rename failed (file path = C:\\PLAXON\\TMP\\dst)");
  EXPECT_EQ(TmpNames(), (std::vector<std::string>{"dst", "src"}));
  EXPECT_EQ(RW::WriteContainer(nullptr, "a", 1), 0);
  ExpectReported("Invalid Param");
}

TEST_F(ContainerTest, CopyRangeCopiesTheRangeInPiecesOf256) {
  world_.WriteHostFile('C', "PLAXON/TMP/dst", "old");
  EXPECT_EQ(RW::CopyRange(kSrc, 0, 0, kDst), 1);  // nothing: an empty file
  EXPECT_TRUE(world_.HostExists('C', "PLAXON/TMP/dst"));
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/dst"), "");

  ASSERT_EQ(RW::CopyRange(kSrc, 50, 300, kDst), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/dst"), Bytes(400).substr(50, 300));

  // The second write (the piece of 44) fails: the file keeps its old bytes,
  // the piece of 256 goes with the temporary.
  world_.Faults().AddRule({plat::FaultOp::Write, "dst", ERROR_DISK_FULL, 1, 1});
  EXPECT_EQ(RW::CopyRange(kSrc, 50, 300, kDst), 0);
  ExpectReported("Write file write failed", "[ERROR] Can not write a file for writing.\n");
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/dst"), Bytes(400).substr(50, 300));
  EXPECT_EQ(TmpNames(), (std::vector<std::string>{"dst", "src"}));
}

// A range past the end fails after the complete pieces, and makes no file.
TEST_F(ContainerTest, CopyRangePastTheEndFailsAndMakesNoFile) {
  EXPECT_EQ(RW::CopyRange(kSrc, 0, 600, kDst), 0);
  ExpectReported("Read file read failed", "[ERROR] Can not read a file for reading.\n");
  // A range that starts behind the end copies nothing.
  EXPECT_EQ(RW::CopyRange(kSrc, 1000, 10, kDst), 0);
  EXPECT_EQ(TmpNames(), std::vector<std::string>{"src"});
}

TEST_F(ContainerTest, CopyRangeReportsItsOpenFailures) {
  EXPECT_EQ(RW::CopyRange("C:\\PLAXON\\TMP\\none", 0, 10, kDst), 0);
  ExpectReported("Read file open failed (file path = C:\\PLAXON\\TMP\\none)",
                 "[ERROR] Can not open a file for reading.\n");
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/dst"));

  EXPECT_EQ(RW::CopyRange(kSrc, 0, 10, "C:\\NOPE\\dst"), 0);
  ExpectReported("Write File open failed (file path = C:\\NOPE\\dst)",
                 "[ERROR] Can not open a file for writing.\n");
}

TEST_F(ContainerTest, GetSizeGivesTheByteLength) {
  std::uint64_t size = 0;
  EXPECT_EQ(RW::GetSize(kSrc, &size), 1);
  EXPECT_EQ(size, 400u);
  EXPECT_EQ(RW::GetSize("C:\\PLAXON\\TMP\\none", &size), 0);
  ExpectReported("Read file open failed (file path = C:\\PLAXON\\TMP\\none)",
                 "[ERROR] Can not open a file for reading.\n");
  EXPECT_EQ(RW::GetSize(nullptr, &size), 0);
  ExpectReported("Invalid Param");
}

}  // namespace
