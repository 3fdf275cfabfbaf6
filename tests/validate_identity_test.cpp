// The identity checks of an archive's unpacked files against the SVP's
// configuration: their fixed order, the first-failure rule, each check's
// result word and trace line, and the archive check around them.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/CnfCmpThd.h"
#include "common/Globals.h"
#include "exports/Exports.h"
#include "exports/Operations.h"
#include "support/IdentityFiles.h"
#include "support/TestWorld.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfChkMedia.h"

namespace {

class IdentityCheckTest : public ::testing::Test {
 protected:
  // CONFIG and TMP agree on every identity value.
  void SetUp() override {
    svp.WriteTo(world, "CONFIG");
    archived.WriteTo(world, "TMP");
    world.TakeTrace();
  }
  int Check(DWORD selector) {
    archived.WriteTo(world, "TMP");
    word = 0;
    return CheckConfigIdentity(selector, &word);
  }

  TestWorld world;
  IdentityFiles svp;
  IdentityFiles archived;
  WORD word = 0;
};

TEST_F(IdentityCheckTest, MatchingFilesPassEveryCheck) {
  EXPECT_EQ(Check(0x1F), 1);
  EXPECT_EQ(word, 0);
  auto counts = svc::GetExclusiveCounts();
  EXPECT_EQ(counts.begun, 2);  // the two CONFIG.INF reads
  EXPECT_EQ(counts.ended, counts.begun);
}

TEST_F(IdentityCheckTest, NoSelectedCheckSucceedsWithoutReadingAnything) {
  std::filesystem::remove_all(world.HostOf('C', "PLAXON/TMP"));
  EXPECT_EQ(CheckConfigIdentity(0, &word), 1);
  EXPECT_EQ(CheckConfigIdentity(0x100, &word), 1);  // only the low byte counts
  EXPECT_EQ(word, 0);
}

TEST_F(IdentityCheckTest, LowerCaseServiceProcessorTypePasses) {
  archived.svpType = "tq520";
  EXPECT_EQ(Check(0x01), 1);
}

TEST_F(IdentityCheckTest, OtherServiceProcessorTypeFailsWith400B) {
  archived.svpType = "TQ521";
  EXPECT_EQ(Check(0x01), 0);
  EXPECT_EQ(word, 0x400B);
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "ERR Talver_CheckZeLT330Data"));
}

TEST_F(IdentityCheckTest, MissingSvpMainIniFailsWith400B) {
  std::filesystem::remove(world.HostOf('C', "PLAXON/TMP/SVP_MAIN.INI"));
  word = 0;
  EXPECT_EQ(CheckConfigIdentity(0x01, &word), 0);
  EXPECT_EQ(word, 0x400B);
}

// Two failing checks report only the first in the order 0x01, 0x10, 0x02,
// 0x04, 0x08, which is not the order of the bits.
TEST_F(IdentityCheckTest, FirstFailureInFixedOrderWins) {
  struct Case {
    const char* name;
    void (*spoil)(IdentityFiles&);
    void (*spoil2)(IdentityFiles&);
    WORD expected;
    const char* trace;
    const char* notTraced;
  };
  const Case cases[] = {
      {"type before model", [](IdentityFiles& f) { f.svpType = "X"; },
       [](IdentityFiles& f) { f.model = 8; }, 0x400B, "ERR Talver_CheckZeLT330Data",
       "ERR Talver_CheckDkcModel"},
      {"model before pcm", [](IdentityFiles& f) { f.pcmType = 4; },
       [](IdentityFiles& f) { f.model = 8; }, 0x4010, "ERR Talver_CheckDkcModel",
       "ERR Talver_CheckPcmType"},
      {"pcm before config.inf", [](IdentityFiles& f) { f.configInfLine = "SVPCONF 01020361"; },
       [](IdentityFiles& f) { f.pcmType = 4; }, 0x4002, "ERR Talver_CheckPcmType",
       "ERR Talver_CheckConfigInfType"},
      {"config.inf before serial", [](IdentityFiles& f) { f.serial = "412999"; },
       [](IdentityFiles& f) { f.configInfLine = "SVPCONF 01020361"; }, 0x400A,
       "ERR Talver_CheckConfigInfType", "ERR Talver_CheckSerialNumber"},
      {"model before serial", [](IdentityFiles& f) { f.serial = "412999"; },
       [](IdentityFiles& f) { f.model = 8; }, 0x4010, "ERR Talver_CheckDkcModel", "Hdd="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    archived = IdentityFiles{};
    c.spoil(archived);
    c.spoil2(archived);
    world.TakeTrace();
    EXPECT_EQ(Check(0x1F), 0);
    EXPECT_EQ(word, c.expected);
    auto trace = world.TakeTrace();
    EXPECT_TRUE(TestWorld::Contains(trace, c.trace));
    EXPECT_FALSE(TestWorld::Contains(trace, c.notTraced));
  }
}

TEST_F(IdentityCheckTest, UnselectedFailingCheckIsNotRun) {
  archived.model = 8;
  EXPECT_EQ(Check(0x1F & ~0x10), 1);
}

TEST_F(IdentityCheckTest, UnreadableModelFailsWith2000AndTheLibraryWord) {
  std::filesystem::remove(world.HostOf('C', "PLAXON/CONFIG/DKCPRP.DAT"));
  world.TakeTrace();
  word = 0;
  EXPECT_EQ(CheckConfigIdentity(0x10, &word), 0);
  EXPECT_EQ(word, 0x2000);
  auto trace = world.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0x500"));  // the stand-in's "not found"
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR Talver_CheckDkcModel"));
}

TEST_F(IdentityCheckTest, MissingConfigInfFailsWith2000) {
  std::filesystem::remove(world.HostOf('C', "PLAXON/CONFIG/CONFIG.INF"));
  word = 0;
  EXPECT_EQ(CheckConfigIdentity(0x04, &word), 0);
  EXPECT_EQ(word, 0x2000);
  auto counts = svc::GetExclusiveCounts();
  EXPECT_EQ(counts.ended, counts.registered);
}

TEST_F(IdentityCheckTest, ConfigInfTypeIsPositions14And15) {
  archived.configInfLine =
      "XXXXXXXX999999"
      "60";  // everything else differs
  EXPECT_EQ(Check(0x04), 1);
  archived.configInfLine = "SVPCONF 0102036";  // short line: position 15 reads as zero
  EXPECT_EQ(Check(0x04), 0);
  EXPECT_EQ(word, 0x400A);
}

TEST_F(IdentityCheckTest, DefaultSerialAcceptedOnEitherSide) {
  // TMP default: CONFIG is not even read.
  archived.serial = "400001";
  std::filesystem::remove(world.HostOf('C', "PLAXON/CONFIG/DKCPRP.DAT"));
  EXPECT_EQ(Check(0x08), 1);
  archived.serial = "";  // a DKCPRP.DAT without a serial reads as the default
  EXPECT_EQ(Check(0x08), 1);
  // CONFIG default: any TMP serial passes.
  svp.serial = "400001";
  svp.WriteTo(world, "CONFIG");
  archived.serial = "412999";
  EXPECT_EQ(Check(0x08), 1);
}

TEST_F(IdentityCheckTest, SerialMismatchTracesBothAndFailsWith4009) {
  archived.serial = "412999";
  EXPECT_EQ(Check(0x08), 0);
  EXPECT_EQ(word, 0x4009);
  auto trace = world.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "Hdd=412345, Tmp=412999"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR Talver_CheckSerialNumber"));
}

TEST_F(IdentityCheckTest, UnreadableTmpSerialFailsWith2000) {
  std::filesystem::remove(world.HostOf('C', "PLAXON/TMP/DKCPRP.DAT"));
  word = 0;
  EXPECT_EQ(CheckConfigIdentity(0x08, &word), 0);
  EXPECT_EQ(word, 0x2000);
}

// ---- the archive check ------------------------------------------------------

// Identity files left in TMP by an earlier run are removed before the
// extraction, so a check can never read them instead of the archive's.
TEST_F(IdentityCheckTest, ArchiveCheckRemovesStaleIdentityFilesFirst) {
  world.WriteHostFile('C', "PLAXON/TMP/LMCPT.DAT", "PCMTYPE=3\r\n");
  word = 0;
  // No such archive: the extraction fails after the stale files are gone.
  EXPECT_EQ(CheckConfigFileArchive("C:\\PLAXON\\TMP\\missing.tgz", 0x1F, &word), 0);
  EXPECT_EQ(word, 0x2000);
  for (const char* name : {"DKCPRP.DAT", "CONFIG.INF", "LMCPT.DAT", "SVP_MAIN.INI"})
    EXPECT_FALSE(world.HostExists('C', std::string("PLAXON/TMP/") + name)) << name;
  EXPECT_TRUE(world.HostExists('C', "PLAXON/CONFIG/LMCPT.DAT"));
}

TEST_F(IdentityCheckTest, ExportFrameTracesStartErrAndEnd) {
  word = 0;
  EXPECT_EQ(dsvCnf_CheckConfigFile("C:\\PLAXON\\TMP\\missing.tgz", 0x1F, &word), 0);
  EXPECT_EQ(word, 0x2000);
  auto trace = world.TakeTrace();
  ASSERT_GE(trace.size(), 3u);
  EXPECT_NE(trace.front().find("Check Config File Start"), std::string::npos);
  EXPECT_NE(trace.back().find("Check Config File END"), std::string::npos);
  EXPECT_NE(trace[trace.size() - 2].find("\nERR"), std::string::npos);
}

}  // namespace
