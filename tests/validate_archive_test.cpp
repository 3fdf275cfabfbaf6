// The check of an archive end to end: the identity files are unpacked from a
// real "svp_conf.tgz", checked and removed again.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "exports/Exports.h"
#include "exports/Operations.h"
#include "support/IdentityFiles.h"
#include "support/TestWorld.h"
#include "support/TgzWriter.h"

namespace {

class ArchiveCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    svp.WriteTo(world, "CONFIG");
    entries = {
        {"CONFIG/CONFIG.INF", "SVPCONF 01020360\r\n"},
        {"CONFIG/SVP_MAIN.INI", "[SVP_MAIN]\r\nType=TQ520\r\n"},
        {"CONFIG/DKCPRP.DAT", "SERIAL=412345\r\nMODEL=7\r\n"},
        {"CONFIG/LMCPT.DAT", "PCMTYPE=3\r\n"},
        {"CONFIG/CNFDATA/TBL000.DAT", std::string(300, 'x')},
    };
    world.TakeTrace();
  }

  int Check(DWORD selector) {
    WriteTgz(world.HostOf('C', "PLAXON/TMP/svp_conf.tgz"), entries);
    word = 0;
    int result = dsvCnf_CheckConfigFile("C:\\PLAXON\\TMP\\svp_conf.tgz", selector, &word);
    trace = world.TakeTrace();
    return result;
  }

  bool AnyIdentityFileLeft() const {
    for (const char* n : {"DKCPRP.DAT", "CONFIG.INF", "LMCPT.DAT", "SVP_MAIN.INI"})
      if (world.HostExists('C', std::string("PLAXON/TMP/") + n)) return true;
    return false;
  }

  TestWorld world;
  IdentityFiles svp;
  std::map<std::string, std::string> entries;
  std::vector<std::string> trace;
  WORD word = 0;
};

TEST_F(ArchiveCheckTest, ArchiveOfTheSameConfigurationPasses) {
  EXPECT_EQ(Check(0x1F), 1);
  EXPECT_EQ(word, 0);
  EXPECT_FALSE(AnyIdentityFileLeft());
}

TEST_F(ArchiveCheckTest, MissingSvpMainIniFailsAtTheUnpackingStep) {
  entries.erase("CONFIG/SVP_MAIN.INI");
  EXPECT_EQ(Check(0x1F), 0);
  EXPECT_EQ(word, 0x2000);
  EXPECT_FALSE(TestWorld::Contains(trace, "ERR Talver_CheckZeLT330Data"));  // before any check
}

TEST_F(ArchiveCheckTest, FailingCheckStillRemovesTheIdentityFiles) {
  entries["CONFIG/LMCPT.DAT"] = "PCMTYPE=4\r\n";
  EXPECT_EQ(Check(0x1F), 0);
  EXPECT_EQ(word, 0x4002);
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0x4002"));
  EXPECT_FALSE(AnyIdentityFileLeft());
}

// Two entries match CONFIG.INF and LMCPT.DAT is missing: the extraction still
// counts four lines. A stale LMCPT.DAT in TMP from an earlier run must not
// stand in for the missing one.
TEST_F(ArchiveCheckTest, StaleIdentityFileDoesNotStandInForAMissingOne) {
  entries.erase("CONFIG/LMCPT.DAT");
  entries["CONFIG/CONFIG.INF.OLD"] = "SVPCONF 01020360\r\n";
  world.WriteHostFile('C', "PLAXON/TMP/LMCPT.DAT", "PCMTYPE=3\r\n");
  EXPECT_EQ(Check(0x02), 0);
  EXPECT_EQ(word, 0x2000);
}

}  // namespace
