// config4 records: the reads, the configuration-type export and the check
// that a further volume continues the previous one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "exports/Exports.h"
#include "exports/Operations.h"
#include "platform/FaultPlatform.h"
#include "support/TestWorld.h"
#include "validate/CnfProcess2.h"

namespace {

std::string Config4(WORD type, BYTE count, BYTE number, DWORD serial, DWORD high, DWORD low) {
  Config4Record r{};
  std::memcpy(r.head, "HEADBYTES!", 10);
  r.Config4TypeWord = type;
  r.volumeCount = count;
  r.volumeNumber = number;
  r.serialNumber = serial;
  r.archiveTimeHigh = high;
  r.archiveTimeLow = low;
  std::memcpy(r.tail, "TAIL6!", 6);
  return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

TEST(Config4Record, FieldsSitAtTheirOffsetsLittleEndian) {
  std::string bytes = Config4(0x8360, 3, 1, 412345, 0x01D9A0B0, 0xC0D0E0F0);
  ASSERT_EQ(bytes.size(), 32u);
  EXPECT_EQ(bytes.substr(0, 10), "HEADBYTES!");
  EXPECT_EQ(static_cast<BYTE>(bytes[10]), 0x60);
  EXPECT_EQ(static_cast<BYTE>(bytes[11]), 0x83);
  EXPECT_EQ(bytes[12], 3);
  EXPECT_EQ(bytes[13], 1);
  // 412345 = 0x00064AB9
  EXPECT_EQ(static_cast<BYTE>(bytes[14]), 0xB9);
  EXPECT_EQ(static_cast<BYTE>(bytes[15]), 0x4A);
  EXPECT_EQ(static_cast<BYTE>(bytes[16]), 0x06);
  EXPECT_EQ(static_cast<BYTE>(bytes[18]), 0xB0);
  EXPECT_EQ(static_cast<BYTE>(bytes[25]), 0xC0);
  EXPECT_EQ(bytes.substr(26), "TAIL6!");
}

class Config4ReadTest : public ::testing::Test {
 protected:
  TestWorld world;
  WORD word = 0;
};

TEST_F(Config4ReadTest, ReadsThirtyTwoBytes) {
  world.WriteHostFile('C', "PLAXON/CONFIG/config4", Config4(0x8360, 0xFF, 0, 412345, 1, 2));
  Config4Record r{};
  ASSERT_NE(talver_ReadConfig4("C:\\Plaxon\\Config\\config4", reinterpret_cast<BYTE*>(&r)), 0);
  EXPECT_EQ(r.Config4TypeWord, 0x8360);
  EXPECT_EQ(r.serialNumber, 412345u);
  EXPECT_EQ(r.archiveTimeLow, 2u);
}

TEST_F(Config4ReadTest, TwentyByteFileIsAcceptedAndTheRestKept) {
  world.WriteHostFile('C', "PLAXON/CONFIG/config4",
                      Config4(0x00AB, 1, 0, 412345, 7, 8).substr(0, 20));
  BYTE buffer[32];
  std::memset(buffer, 0xEE, sizeof buffer);
  ASSERT_NE(talver_ReadConfig4("C:\\Plaxon\\Config\\config4", buffer), 0);
  EXPECT_EQ(buffer[10], 0xAB);
  for (int i = 20; i < 32; ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
}

TEST_F(Config4ReadTest, MissingFileTracesCodeZero) {
  BYTE buffer[32] = {};
  world.TakeTrace();
  EXPECT_EQ(talver_ReadConfig4("C:\\Plaxon\\Config\\config4", buffer), 0);
  auto trace = world.TakeTrace();
  ASSERT_EQ(trace.size(), 1u);
  EXPECT_NE(trace[0].find("CnfProcess2.cpp"), std::string::npos);
  EXPECT_NE(trace[0].find("ErrCode=0x0"), std::string::npos);
}

TEST_F(Config4ReadTest, ReadFailureTracesTheSystemError) {
  world.WriteHostFile('C', "PLAXON/CONFIG/config4", Config4(1, 1, 0, 1, 0, 0));
  world.Faults().AddRule({plat::FaultOp::Read, "config4", ERROR_NOT_READY, 0, 1});
  BYTE buffer[32] = {};
  world.TakeTrace();
  EXPECT_EQ(talver_ReadConfig4("C:\\Plaxon\\Config\\config4", buffer), 0);
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "ErrCode=0x15"));
}

TEST_F(Config4ReadTest, ReadConfig4FileWithoutFileFailsSilentlyWith2000) {
  BYTE buffer[32] = {};
  world.TakeTrace();
  EXPECT_EQ(ReadConfig4File("C:\\Plaxon\\Config\\config4", buffer, &word), 0);
  EXPECT_EQ(word, 0x2000);
  EXPECT_TRUE(world.TakeTrace().empty());
}

TEST_F(Config4ReadTest, ReadConfig4FileLeavesTheWordOnSuccess) {
  world.WriteHostFile('C', "PLAXON/CONFIG/config4", Config4(1, 1, 0, 1, 0, 0));
  BYTE buffer[32] = {};
  word = 0x1234;
  EXPECT_EQ(ReadConfig4File("C:\\Plaxon\\Config\\config4", buffer, &word), 1);
  EXPECT_EQ(word, 0x1234);
}

TEST_F(Config4ReadTest, ConfigTypeIsFourUpperCaseHexDigits) {
  char text[8] = {};
  world.WriteHostFile('C', "PLAXON/CONFIG/config4", Config4(0x00AB, 0xFF, 0, 1, 0, 0));
  EXPECT_EQ(dsvCnf_GetStrConfigType(text, &word), 1);
  EXPECT_STREQ(text, "00AB");
  world.WriteHostFile('C', "PLAXON/CONFIG/config4", Config4(0x8360, 0xFF, 0, 1, 0, 0));
  EXPECT_EQ(dsvCnf_GetStrConfigType(text, &word), 1);
  EXPECT_STREQ(text, "8360");
}

TEST_F(Config4ReadTest, ConfigTypeWithoutConfig4Fails) {
  char text[8] = "same";
  world.TakeTrace();
  EXPECT_EQ(dsvCnf_GetStrConfigType(text, &word), 0);
  EXPECT_EQ(word, 0x2000);
  EXPECT_STREQ(text, "same");
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "ErrCode=0x2000"));
}

// ---- CheckNextVolume ---------------------------------------------------------

Config4Record Volume(BYTE number, DWORD serial, DWORD high, DWORD low) {
  Config4Record r{};
  r.volumeCount = 3;
  r.volumeNumber = number;
  r.serialNumber = serial;
  r.archiveTimeHigh = high;
  r.archiveTimeLow = low;
  return r;
}

TEST(CheckNextVolume, ContinuingVolumePasses) {
  TestWorld world;
  WORD word = 0;
  Config4Record first = Volume(0, 412345, 10, 20);
  Config4Record second = Volume(1, 412345, 10, 20);
  EXPECT_EQ(CheckNextVolume(&first, &second, &word), 1);
  Config4Record defaultSerial = Volume(1, 400001, 10, 20);
  EXPECT_EQ(CheckNextVolume(&first, &defaultSerial, &word), 1);
  EXPECT_EQ(word, 0);
}

TEST(CheckNextVolume, WrongNumberTimeOrSerialFailsWith4103) {
  TestWorld world;
  Config4Record first = Volume(0, 412345, 10, 20);
  const Config4Record wrong[] = {
      Volume(2, 412345, 10, 20),  // one skipped
      Volume(0, 412345, 10, 20),  // the same volume again
      Volume(1, 412345, 11, 20),  // other archive (high half)
      Volume(1, 412345, 10, 21),  // other archive (low half)
      Volume(1, 412346, 10, 20),  // another SVP
  };
  for (const Config4Record& next : wrong) {
    WORD word = 0;
    world.TakeTrace();
    EXPECT_EQ(CheckNextVolume(&first, &next, &word), 0);
    EXPECT_EQ(word, 0x4103);
    EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "ErrCode=0x4103"));
  }
}

TEST(CheckNextVolume, VolumeNumberDoesNotWrapAround) {
  TestWorld world;
  WORD word = 0;
  Config4Record last = Volume(255, 412345, 10, 20);
  Config4Record next = Volume(0, 412345, 10, 20);
  EXPECT_EQ(CheckNextVolume(&last, &next, &word), 0);
}

}  // namespace
