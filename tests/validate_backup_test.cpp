// The checks of a backup file's DKCF, the serial-number file and the version
// texts.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "support/IdentityFiles.h"
#include "support/TestWorld.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"

namespace {

constexpr char kConfigDir[] = "C:\\PLAXON\\CONFIG\\";
constexpr char kSerialFile[] = "C:\\PLAXON\\MP\\PC\\SerialNumber";

std::vector<BYTE> Dkcf(DWORD serial, const char* type = "60", const char* version = "01020360") {
  std::vector<BYTE> d(kDkcfSize, 0);
  DWORD stored = serial - 400000;
  std::memcpy(d.data() + 16, &stored, 4);
  std::memcpy(d.data() + 6484, version, 8);
  std::memcpy(d.data() + 6490, type, 2);
  return d;
}

class BackupCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    svp.WriteTo(world, "CONFIG");
    world.TakeTrace();
  }
  void SetSvpSerial(const std::string& serial) {
    svp.serial = serial;
    svp.WriteTo(world, "CONFIG");
  }
  void SetSerialFile(const std::string& text) {
    world.WriteHostFile('C', "PLAXON/MP/PC/SerialNumber", text);
  }
  int CheckSerial(DWORD backupSerial) {
    word = 0;
    auto d = Dkcf(backupSerial);
    int r = CheckBackupSerialNumber(kConfigDir, d.data(), kSerialFile, &word);
    trace = world.TakeTrace();
    return r;
  }

  TestWorld world;
  IdentityFiles svp;
  WORD word = 0;
  std::vector<std::string> trace;
};

TEST_F(BackupCheckTest, ConfigInfTypeAgainstTheDkcf) {
  auto same = Dkcf(412345, "60");
  EXPECT_EQ(CheckBackupConfigInfType(kConfigDir, same.data(), &word), 1);
  EXPECT_EQ(word, 0);
  auto other = Dkcf(412345, "61");
  EXPECT_EQ(CheckBackupConfigInfType(kConfigDir, other.data(), &word), 0);
  EXPECT_EQ(word, 0x400A);
  std::filesystem::remove(world.HostOf('C', "PLAXON/CONFIG/CONFIG.INF"));
  EXPECT_EQ(CheckBackupConfigInfType(kConfigDir, same.data(), &word), 0);
  EXPECT_EQ(word, 0x2000);
}

TEST_F(BackupCheckTest, SerialStoredLessFourHundredThousandAtOffset16) {
  EXPECT_EQ(CheckSerial(412345), 1);
  EXPECT_EQ(word, 0);
}

TEST_F(BackupCheckTest, DefaultBackupSerialFailsAtOnceWith4011) {
  std::filesystem::remove(world.HostOf('C', "PLAXON/CONFIG/DKCPRP.DAT"));  // never read
  EXPECT_EQ(CheckSerial(400001), 0);
  EXPECT_EQ(word, 0x4011);
  EXPECT_TRUE(TestWorld::Contains(trace, "BackupFileSerialNo is DefaultSerialNo"));
  EXPECT_FALSE(TestWorld::Contains(trace, "ErrCode"));
}

TEST_F(BackupCheckTest, MismatchAgainstConfigFailsWith2000) {
  EXPECT_EQ(CheckSerial(412346), 0);
  EXPECT_EQ(word, 0x2000);
  EXPECT_TRUE(TestWorld::Contains(trace, "Hdd=412345, Tmp=412346"));
}

TEST_F(BackupCheckTest, UnreadableConfigSerialFailsWith2000) {
  std::filesystem::remove(world.HostOf('C', "PLAXON/CONFIG/DKCPRP.DAT"));
  EXPECT_EQ(CheckSerial(412345), 0);
  EXPECT_EQ(word, 0x2000);
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0x500"));
}

TEST_F(BackupCheckTest, DefaultSvpSerialTakesTheSerialNumberFile) {
  SetSvpSerial("400001");
  SetSerialFile("412346");
  EXPECT_EQ(CheckSerial(412346), 1);
  EXPECT_TRUE(TestWorld::Contains(trace, "HddSerialNo is DefaultSerialNo"));
}

TEST_F(BackupCheckTest, MismatchAgainstTheFileFailsWith4011) {
  SetSvpSerial("400001");
  SetSerialFile("412399");
  EXPECT_EQ(CheckSerial(412346), 0);
  EXPECT_EQ(word, 0x4011);
  EXPECT_TRUE(TestWorld::Contains(trace, "Hdd=412399, Tmp=412346"));
}

TEST_F(BackupCheckTest, UnreadableSerialNumberFileFailsWith4011) {
  SetSvpSerial("400001");
  EXPECT_EQ(CheckSerial(412346), 0);
  EXPECT_EQ(word, 0x4011);
  EXPECT_TRUE(TestWorld::Contains(trace, "SerialNumberFileOpenErr"));
  EXPECT_TRUE(TestWorld::Contains(trace, "GetSerialNumberFalse"));
  SetSerialFile("412346\r\n");  // seven characters in text mode
  EXPECT_EQ(CheckSerial(412346), 0);
  EXPECT_EQ(word, 0x4011);
  EXPECT_TRUE(TestWorld::Contains(trace, "GetSerialNumberFalse"));
}

TEST_F(BackupCheckTest, DefaultSerialInTheFileFailsWith4011) {
  SetSvpSerial("400001");
  SetSerialFile("400001");
  EXPECT_EQ(CheckSerial(412346), 0);
  EXPECT_EQ(word, 0x4011);
  EXPECT_TRUE(TestWorld::Contains(trace, "SDLFileSerialNo is DefaultSerialNo"));
}

// ---- the serial-number file -------------------------------------------------

class SerialFileTest : public ::testing::Test {
 protected:
  int Read(const std::string& text) {
    world.WriteHostFile('C', "PLAXON/MP/PC/SerialNumber", text);
    world.TakeTrace();
    serial = 0xDEAD;
    int r = ReadSerialNumberFile(kSerialFile, &serial);
    trace = world.TakeTrace();
    auto counts = svc::GetExclusiveCounts();
    EXPECT_EQ(counts.ended, counts.begun) << "every guarded open is ended";
    return r;
  }
  TestWorld world;
  DWORD serial = 0;
  std::vector<std::string> trace;
};

TEST_F(SerialFileTest, SixDigitsAreTheSerialNumber) {
  EXPECT_EQ(Read("412345"), 1);
  EXPECT_EQ(serial, 412345u);
}

TEST_F(SerialFileTest, LineEndMakesSevenCharacters) {
  EXPECT_EQ(Read("412345\r\n"), 0);
  EXPECT_TRUE(TestWorld::Contains(trace, "InvalidLength:7(412345\n)"));
  EXPECT_EQ(serial, 0xDEADu);
}

TEST_F(SerialFileTest, OtherLengthsFail) {
  EXPECT_EQ(Read("12345"), 0);
  EXPECT_TRUE(TestWorld::Contains(trace, "InvalidLength:5(12345)"));
  EXPECT_EQ(Read("1234567"), 0);
  EXPECT_TRUE(TestWorld::Contains(trace, "InvalidLength:7(1234567)"));
}

TEST_F(SerialFileTest, LeadingDigitsOnly) {
  EXPECT_EQ(Read("12ab34"), 1);
  EXPECT_EQ(serial, 12u);
}

TEST_F(SerialFileTest, NoLeadingDigitFails) {
  EXPECT_EQ(Read("000000"), 0);
  EXPECT_TRUE(TestWorld::Contains(trace, "NotNumericChars:000000"));
  EXPECT_EQ(Read("-12345"), 0);
  EXPECT_TRUE(TestWorld::Contains(trace, "NotNumericChars:-12345"));
  EXPECT_EQ(Read(" 12345"), 0);
}

TEST_F(SerialFileTest, EmptyOrMissingFileFails) {
  EXPECT_EQ(Read(""), 0);
  EXPECT_TRUE(TestWorld::Contains(trace, "SerialNumberFileReadErr"));
  std::filesystem::remove(world.HostOf('C', "PLAXON/MP/PC/SerialNumber"));
  serial = 0;
  EXPECT_EQ(ReadSerialNumberFile(kSerialFile, &serial), 0);
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "SerialNumberFileOpenErr"));
}

// ---- version texts -------------------------------------------------------------

TEST(VersionText, ResetIsFourHyphens) {
  char text[32];
  std::memset(text, 'x', sizeof text);
  ResetVersionText(text, sizeof text);
  EXPECT_STREQ(text, "----");
}

TEST(VersionText, FromTheFirstLineOfConfigInf) {
  TestWorld world;
  world.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "SVPCONF 01020360\r\nSVPCONF 99999999\r\n");
  char text[32] = "----";
  EXPECT_EQ(ReadVersionText("C:\\PLAXON\\CONFIG\\config.inf", text, sizeof text), 1);
  EXPECT_STREQ(text, "01-02-03/60");
  auto counts = svc::GetExclusiveCounts();
  EXPECT_EQ(counts.begun, 1);
  EXPECT_EQ(counts.ended, 1);
}

TEST(VersionText, UnreadableConfigInfLeavesTheTextEmpty) {
  TestWorld world;
  char text[32] = "----";
  EXPECT_EQ(ReadVersionText("C:\\PLAXON\\CONFIG\\config.inf", text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  world.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "");
  std::strcpy(text, "----");
  EXPECT_EQ(ReadVersionText("C:\\PLAXON\\CONFIG\\config.inf", text, sizeof text), 0);
  EXPECT_STREQ(text, "");
}

TEST(VersionText, FromTheDkcfBytes6484To6491) {
  TestWorld world;
  auto d = Dkcf(412345, "21", "87654321");
  d.resize(kDkcfSize + 500, 'z');  // extra bytes are ignored
  world.WriteHostFile('C', "PLAXON/TMP/TABLES/DKCF.TIF", std::string(d.begin(), d.end()));
  char text[32];
  EXPECT_EQ(ReadContainerVersionText("C:\\PLAXON\\TMP\\TABLES\\DKCF.TIF", text, sizeof text), 1);
  EXPECT_STREQ(text, "87-65-43/21");
}

TEST(VersionText, ShortOrMissingContainerFails) {
  TestWorld world;
  world.WriteHostFile('C', "PLAXON/TMP/TABLES/DKCF.TIF", std::string(kDkcfSize - 1, '1'));
  char text[32] = "----";
  EXPECT_EQ(ReadContainerVersionText("C:\\PLAXON\\TMP\\TABLES\\DKCF.TIF", text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(ReadContainerVersionText("C:\\PLAXON\\TMP\\TABLES\\NONE.TIF", text, sizeof text), 0);
}

}  // namespace
