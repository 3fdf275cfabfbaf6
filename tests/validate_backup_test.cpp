// The checks of a backup file's DKCF, the serial-number file and the version
// texts.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "support/FlowFixtures.h"
#include "support/IdentityFiles.h"
#include "support/TestWorld.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"

namespace {

constexpr char kConfigDir[] = "C:\\PLAXON\\CONFIG\\";
constexpr char kSerialFile[] = "C:\\PLAXON\\MP\\PC\\SerialNumber";

// The bytes of a DKCF (fixtures::Dkcf) as the checks take them.
const BYTE* Bytes(const std::string& dkcf) { return reinterpret_cast<const BYTE*>(dkcf.data()); }
using fixtures::Dkcf;

class BackupCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    svp.WriteTo(world, "CONFIG");
    world.TakeTrace();
  }

  TestWorld world;
  IdentityFiles svp;
  WORD word = 0;
};

// Without CONFIG.INF the DKCF's type cannot be checked (the check of the same
// and of another type: RestoreGpfm's success and its TypeMismatch).
TEST_F(BackupCheckTest, ConfigInfTypeNeedsConfigInf) {
  std::filesystem::remove(world.HostOf('C', "PLAXON/CONFIG/CONFIG.INF"));
  EXPECT_EQ(CheckBackupConfigInfType(kConfigDir, Bytes(Dkcf(412345, "60", "01020360")), &word), 0);
  EXPECT_EQ(word, 0x2000);
}

// The serial stored in the DKCF (less 400,000, at offset 16) against the
// SVP's DKCPRP.DAT, or the serial-number file when that holds the default.
struct SerialCase {
  const char* name;
  const char* svpSerial;   // nullptr: no DKCPRP.DAT
  const char* serialFile;  // nullptr: no serial-number file
  DWORD backupSerial;
  int result;
  WORD word;
  const char* traced = nullptr;
  const char* tracedToo = nullptr;
  const char* notTraced = nullptr;
};

class BackupSerialTest : public BackupCheckTest,
                         public ::testing::WithParamInterface<SerialCase> {};

TEST_P(BackupSerialTest, ResultWordAndTrace) {
  const SerialCase& c = GetParam();
  if (c.svpSerial) {
    svp.serial = c.svpSerial;
    svp.WriteTo(world, "CONFIG");
  } else {
    std::filesystem::remove(world.HostOf('C', "PLAXON/CONFIG/DKCPRP.DAT"));
  }
  if (c.serialFile) world.WriteHostFile('C', "PLAXON/MP/PC/SerialNumber", c.serialFile);
  world.TakeTrace();
  EXPECT_EQ(CheckBackupSerialNumber(kConfigDir, Bytes(Dkcf(c.backupSerial, "60", "01020360")),
                                    kSerialFile, &word),
            c.result);
  EXPECT_EQ(word, c.word);
  auto trace = world.TakeTrace();
  for (const char* text : {c.traced, c.tracedToo})
    EXPECT_TRUE(!text || TestWorld::Contains(trace, text)) << text;
  EXPECT_FALSE(c.notTraced && TestWorld::Contains(trace, c.notTraced));
}

INSTANTIATE_TEST_SUITE_P(
    Serials, BackupSerialTest,
    ::testing::Values(SerialCase{"Same", "412345", nullptr, 412345, 1, 0},
                      // The SVP's serial is never read.
                      SerialCase{"DefaultInTheBackup", nullptr, nullptr, 400001, 0, 0x4011,
                                 "BackupFileSerialNo is DefaultSerialNo", nullptr, "ErrCode=*"},
                      SerialCase{"OtherThanConfig", "412345", nullptr, 412346, 0, 0x2000,
                                 "Hdd=412345, Tmp=412346"},
                      SerialCase{"UnreadableConfig", nullptr, nullptr, 412345, 0, 0x2000,
                                 "ErrCode=0x500"},
                      SerialCase{"DefaultSvpTakesTheFile", "400001", "412346", 412346, 1, 0,
                                 "HddSerialNo is DefaultSerialNo"},
                      SerialCase{"OtherThanTheFile", "400001", "412399", 412346, 0, 0x4011,
                                 "Hdd=412399, Tmp=412346"},
                      SerialCase{"NoSerialNumberFile", "400001", nullptr, 412346, 0, 0x4011,
                                 "SerialNumberFileOpenErr", "GetSerialNumberFalse", nullptr},
                      SerialCase{"DefaultInTheFile", "400001", "400001", 412346, 0, 0x4011,
                                 "SDLFileSerialNo is DefaultSerialNo"}),
    [](const ::testing::TestParamInfo<SerialCase>& info) { return info.param.name; });

// ---- the serial-number file -------------------------------------------------

TEST(SerialFile, SixCharactersWithLeadingDigitsAreTheSerialNumber) {
  struct Case {
    const char* text;  // nullptr: no file
    DWORD serial;      // 0: refused
    const char* trace;
  };
  const Case cases[] = {
      {"412345", 412345, nullptr},
      {"12ab34", 12, nullptr},
      {"412345\r\n", 0, "InvalidLength:7(412345\n)"},  // the line end makes seven
      {"12345", 0, "InvalidLength:5(12345)"},
      {"1234567", 0, "InvalidLength:7(1234567)"},
      {"000000", 0, "NotNumericChars:000000"},
      {"-12345", 0, "NotNumericChars:-12345"},
      {" 12345", 0, "NotNumericChars: 12345"},
      {"", 0, "SerialNumberFileReadErr"},
      {nullptr, 0, "SerialNumberFileOpenErr"},
  };
  TestWorld world;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(no file)");
    if (c.text)
      world.WriteHostFile('C', "PLAXON/MP/PC/SerialNumber", c.text);
    else
      std::filesystem::remove(world.HostOf('C', "PLAXON/MP/PC/SerialNumber"));
    world.TakeTrace();
    DWORD serial = 0xDEAD;
    EXPECT_EQ(ReadSerialNumberFile(kSerialFile, &serial), c.serial ? 1 : 0);
    EXPECT_EQ(serial, c.serial ? c.serial : 0xDEADu);  // a refusal leaves it alone
    EXPECT_TRUE(!c.trace || TestWorld::Contains(world.TakeTrace(), c.trace));
    auto counts = svc::GetExclusiveCounts();
    EXPECT_EQ(counts.ended, counts.registered) << "every guarded stream is ended";
  }
}

// ---- version texts -------------------------------------------------------------

TEST(VersionText, FromTheFirstLineOfConfigInf) {
  TestWorld world;
  char text[32];
  std::memset(text, 'x', sizeof text);
  ResetVersionText(text, sizeof text);
  EXPECT_STREQ(text, "----");
  // Unreadable, then empty: the text is left empty.
  EXPECT_EQ(ReadVersionText("C:\\PLAXON\\CONFIG\\config.inf", text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  world.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "");
  std::strcpy(text, "----");
  EXPECT_EQ(ReadVersionText("C:\\PLAXON\\CONFIG\\config.inf", text, sizeof text), 0);
  EXPECT_STREQ(text, "");

  world.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "SVPCONF 01020360\r\nSVPCONF 99999999\r\n");
  svc::ResetExclusiveCounts();
  EXPECT_EQ(ReadVersionText("C:\\PLAXON\\CONFIG\\config.inf", text, sizeof text), 1);
  EXPECT_STREQ(text, "01-02-03/60");
  auto counts = svc::GetExclusiveCounts();
  EXPECT_EQ(counts.begun, 1);
  EXPECT_EQ(counts.ended, 1);
}

TEST(VersionText, FromTheDkcfBytes6484To6491) {
  TestWorld world;
  // Extra bytes are ignored.
  world.WriteHostFile('C', "PLAXON/TMP/TABLES/DKCF.TIF", Dkcf(412345, "21", "87654321") + "zzz");
  char text[32];
  EXPECT_EQ(ReadContainerVersionText("C:\\PLAXON\\TMP\\TABLES\\DKCF.TIF", text, sizeof text), 1);
  EXPECT_STREQ(text, "87-65-43/21");

  // Short or missing: the text is left empty.
  world.WriteHostFile('C', "PLAXON/TMP/TABLES/DKCF.TIF", std::string(kDkcfSize - 1, '1'));
  EXPECT_EQ(ReadContainerVersionText("C:\\PLAXON\\TMP\\TABLES\\DKCF.TIF", text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(ReadContainerVersionText("C:\\PLAXON\\TMP\\TABLES\\NONE.TIF", text, sizeof text), 0);
}

}  // namespace
