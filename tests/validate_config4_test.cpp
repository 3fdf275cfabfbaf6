// config4 records: the reads, the configuration-type export and the check
// that a further volume continues the previous one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "exports/Exports.h"
#include "exports/Operations.h"
#include "platform/testing/FaultPlatform.h"
#include "support/FlowFixtures.h"
#include "support/TestWorld.h"
#include "validate/CnfProcess2.h"

namespace {

using fixtures::Config4;

class Config4ReadTest : public ::testing::Test {
 protected:
  void Put(const std::string& bytes) { world.WriteHostFile('C', "PLAXON/CONFIG/config4", bytes); }
  static constexpr char kPath[] = "C:\\Plaxon\\Config\\config4";
  TestWorld world;
  WORD word = 0;
  BYTE buffer[32] = {};
};

TEST_F(Config4ReadTest, ReadsThirtyTwoBytesOrATwentyByteFileOrTracesTheError) {
  // A failure traces the system's error.
  world.TakeTrace();
  EXPECT_EQ(talver_ReadConfig4(kPath, buffer), 0);  // no file: code zero
  auto trace = world.TakeTrace();
  ASSERT_EQ(trace.size(), 1u);
  EXPECT_NE(trace[0].find("CnfProcess2.cpp"), std::string::npos);
  EXPECT_NE(trace[0].find("ErrCode=0x0"), std::string::npos);
  EXPECT_EQ(ReadConfig4File(kPath, buffer, &word), 0);  // silently, with 0x2000
  EXPECT_EQ(word, 0x2000);
  EXPECT_TRUE(world.TakeTrace().empty());

  Put(Config4(0x8360, 0xFF, 0, 412345, 1, 2));
  ASSERT_NE(talver_ReadConfig4(kPath, buffer), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 32),
            Config4(0x8360, 0xFF, 0, 412345, 1, 2));

  // A twenty-byte file is accepted and the rest of the buffer kept.
  Put(Config4(0x00AB, 1, 0, 412345, 7, 8).substr(0, 20));
  std::memset(buffer, 0xEE, sizeof buffer);
  ASSERT_NE(talver_ReadConfig4(kPath, buffer), 0);
  EXPECT_EQ(buffer[10], 0xAB);
  for (int i = 20; i < 32; ++i) EXPECT_EQ(buffer[i], 0xEE) << i;

  // ReadConfig4File leaves the word alone on success.
  word = 0x1234;
  EXPECT_EQ(ReadConfig4File(kPath, buffer, &word), 1);
  EXPECT_EQ(word, 0x1234);

  world.Faults().AddRule({plat::FaultOp::Read, "config4", ERROR_NOT_READY, 0, 1});
  EXPECT_EQ(talver_ReadConfig4(kPath, buffer), 0);
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "ErrCode=0x15"));
}

TEST_F(Config4ReadTest, ConfigTypeIsFourUpperCaseHexDigits) {
  char text[8] = "same";
  world.TakeTrace();
  EXPECT_EQ(dsvCnf_GetStrConfigType(text, &word), 0);
  EXPECT_EQ(word, 0x2000);
  EXPECT_STREQ(text, "same");  // without config4
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "ErrCode=0x2000"));
  Put(Config4(0x0A0B, 0xFF, 0, 1, 0, 0));  // both bytes, each with its leading zero
  EXPECT_EQ(dsvCnf_GetStrConfigType(text, &word), 1);
  EXPECT_STREQ(text, "0A0B");
}

// ---- CheckNextVolume ---------------------------------------------------------

// Volume `number` of three.
Config4Record Volume(BYTE number, DWORD serial, DWORD high, DWORD low) {
  return fixtures::RecordOf(Config4(0, 3, number, serial, high, low));
}

// (A volume skipped or given again: SetupTest's split backup and cancel.)
TEST(CheckNextVolume, OnlyTheNextVolumeOfTheSameArchiveAndSvpPasses) {
  TestWorld world;
  struct Case {
    Config4Record previous, next;
    int result;
  };
  const Config4Record first = Volume(0, 412345, 10, 20);
  const Case cases[] = {
      {first, Volume(1, 412345, 10, 20), 1},
      {first, Volume(1, 400001, 10, 20), 1},                        // a default serial
      {first, Volume(1, 412345, 11, 20), 0},                        // other archive (high half)
      {first, Volume(1, 412345, 10, 21), 0},                        // other archive (low half)
      {first, Volume(1, 412346, 10, 20), 0},                        // another SVP
      {Volume(255, 412345, 10, 20), Volume(0, 412345, 10, 20), 0},  // no wrap-around
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    WORD word = 0;
    world.TakeTrace();
    EXPECT_EQ(CheckNextVolume(&c.previous, &c.next, &word), c.result);
    EXPECT_EQ(word, c.result ? 0 : 0x4103);
    EXPECT_EQ(TestWorld::Contains(world.TakeTrace(), "ErrCode=0x4103"), c.result == 0);
  }
}

}  // namespace
