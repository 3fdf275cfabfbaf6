// The identity checks of an archive's unpacked files against the SVP's
// configuration: their fixed order, the first-failure rule, each check's
// result word and trace line, and the archive check around them, end to end
// on a real svp_conf.tgz.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "archive/CnfCmpThd.h"
#include "common/Globals.h"
#include "exports/Exports.h"
#include "exports/Operations.h"
#include "support/IdentityFiles.h"
#include "support/TestWorld.h"
#include "support/TgzWriter.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfChkMedia.h"

namespace {

class IdentityCheckTest : public ::testing::Test {
 protected:
  // CONFIG and TMP agree on every identity value.
  void SetUp() override {
    IdentityFiles{}.WriteTo(world, "CONFIG");
    IdentityFiles{}.WriteTo(world, "TMP");
    world.TakeTrace();
  }

  TestWorld world;
  WORD word = 0;
};

TEST_F(IdentityCheckTest, MatchingFilesPassEveryCheck) {
  EXPECT_EQ(CheckConfigIdentity(0x1F, &word), 1);
  EXPECT_EQ(word, 0);
  auto counts = svc::GetExclusiveCounts();
  EXPECT_EQ(counts.begun, 2);  // the two CONFIG.INF reads
  EXPECT_EQ(counts.ended, counts.begun);
}

// The selected checks against CONFIG and TMP with one or two things changed.
struct SingleCase {
  const char* name;
  IdentityFiles svp, archived;
  const char* removed;  // a file or folder removed before the check, below PLAXON
  DWORD selector;
  int result;
  WORD word;
  const char* traced = nullptr;
  const char* tracedToo = nullptr;
  const char* notTraced = nullptr;
};

class SingleCheckTest : public IdentityCheckTest,
                        public ::testing::WithParamInterface<SingleCase> {};

TEST_P(SingleCheckTest, ResultWordAndTrace) {
  const SingleCase& c = GetParam();
  c.svp.WriteTo(world, "CONFIG");
  c.archived.WriteTo(world, "TMP");
  if (c.removed) std::filesystem::remove_all(world.HostOf('C', std::string("PLAXON/") + c.removed));
  world.TakeTrace();
  EXPECT_EQ(CheckConfigIdentity(c.selector, &word), c.result);
  EXPECT_EQ(word, c.word);
  auto trace = world.TakeTrace();
  for (const char* text : {c.traced, c.tracedToo})
    EXPECT_TRUE(!text || TestWorld::Contains(trace, text)) << text;
  EXPECT_FALSE(c.notTraced && TestWorld::Contains(trace, c.notTraced)) << c.notTraced;
  auto counts = svc::GetExclusiveCounts();
  EXPECT_EQ(counts.ended, counts.registered) << "every guarded stream is ended";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Checks, SingleCheckTest,
    ::testing::Values(
        // Nothing selected reads nothing; only the low byte selects.
        SingleCase{"NoneSelected", {}, {}, "TMP", 0, 1, 0},
        SingleCase{"NoneSelectedInTheLowByte", {}, {}, "TMP", 0x100, 1, 0},
        // Of two failing checks only the first in the order 0x01, 0x10, 0x02,
        // 0x04, 0x08 (not the order of the bits) reports.
        SingleCase{"SvpTypeBeforeModel", {}, {.svpType = "X", .model = 8}, nullptr, 0x1F, 0,
                   0x400B, "ERR Talver_CheckZeLT330Data", nullptr, "ERR Talver_CheckDkcModel"},
        SingleCase{"ModelBeforePcmType", {}, {.model = 8, .pcmType = 4}, nullptr, 0x1F, 0, 0x4010,
                   "ERR Talver_CheckDkcModel", nullptr, "ERR Talver_CheckPcmType"},
        SingleCase{"PcmTypeBeforeConfigInfType", {},
                   {.pcmType = 4, .configInfLine = "SVPCONF 01020361"}, nullptr, 0x1F, 0, 0x4002,
                   "ERR Talver_CheckPcmType", nullptr, "ERR Talver_CheckConfigInfType"},
        SingleCase{"ConfigInfTypeBeforeSerial", {},
                   {.serial = "412999", .configInfLine = "SVPCONF 01020361"}, nullptr, 0x1F, 0,
                   0x400A, "ERR Talver_CheckConfigInfType", nullptr,
                   "ERR Talver_CheckSerialNumber"},
        SingleCase{"LowerCaseSvpTypePasses", {}, {.svpType = "tq520"}, nullptr, 0x01, 1, 0},
        SingleCase{"OtherSvpType", {}, {.svpType = "TQ521"}, nullptr, 0x01, 0, 0x400B,
                   "ERR Talver_CheckZeLT330Data"},
        SingleCase{"MissingSvpMainIni", {}, {}, "TMP/SVP_MAIN.INI", 0x01, 0, 0x400B},
        // The SVP's reader strips the quotes and keeps a ";" after the value.
        SingleCase{"QuotedSvpTypePasses", {}, {.svpType = "\"TQ520\""}, nullptr, 0x01, 1, 0},
        SingleCase{"SvpTypeWithTrailingNote", {}, {.svpType = "TQ520 ;note"}, nullptr, 0x01, 0,
                   0x400B},
        SingleCase{"UnselectedFailingCheckIsNotRun", {}, {.model = 8}, nullptr, 0x1F & ~0x10, 1, 0},
        // The library's word: the stand-in's "not found".
        SingleCase{"UnreadableModel", {}, {}, "CONFIG/DKCPRP.DAT", 0x10, 0, 0x2000,
                   "ErrCode=0x500", "ERR Talver_CheckDkcModel"},
        SingleCase{"MissingConfigInf", {}, {}, "CONFIG/CONFIG.INF", 0x04, 0, 0x2000},
        SingleCase{"ConfigInfTypeIsPositions14And15", {}, {.configInfLine = "XXXXXXXX99999960"},
                   nullptr, 0x04, 1, 0},
        // Position 15 of a short line reads as zero.
        SingleCase{"ShortConfigInfLine", {}, {.configInfLine = "SVPCONF 0102036"}, nullptr, 0x04,
                   0, 0x400A},
        // A default serial in TMP passes without CONFIG being read; a
        // DKCPRP.DAT without a serial reads as the default.
        SingleCase{"DefaultTmpSerial", {}, {.serial = "400001"}, "CONFIG/DKCPRP.DAT", 0x08, 1, 0},
        SingleCase{"TmpWithoutSerial", {}, {.serial = ""}, "CONFIG/DKCPRP.DAT", 0x08, 1, 0},
        SingleCase{"DefaultConfigSerialTakesAny", {.serial = "400001"}, {.serial = "412999"},
                   nullptr, 0x08, 1, 0},
        SingleCase{"SerialMismatch", {}, {.serial = "412999"}, nullptr, 0x08, 0, 0x4009,
                   "Hdd=412345, Tmp=412999", "ERR Talver_CheckSerialNumber"},
        SingleCase{"UnreadableTmpSerial", {}, {}, "TMP/DKCPRP.DAT", 0x08, 0, 0x2000}),
    [](const ::testing::TestParamInfo<SingleCase>& info) { return info.param.name; });
// clang-format on

// ---- the archive check ------------------------------------------------------

// An archive of the SVP's identity files with one entry changed (bytes
// nullptr: left out): they are unpacked into TMP, checked and removed again.
// The export's frame opens and closes the call, a failure's line before its end.
struct ArchiveCase {
  const char* name;
  const char* entry;  // nullptr: no archive
  const char* bytes;
  DWORD selector;
  WORD word;  // 0: it passes
  const char* traced = nullptr;
  const char* notTraced = nullptr;
  const char* stale = nullptr;  // left out, and in TMP from an earlier run
};

class IdentityArchiveTest : public IdentityCheckTest,
                            public ::testing::WithParamInterface<ArchiveCase> {};

TEST_P(IdentityArchiveTest, ResultWordTraceAndNoIdentityFileLeft) {
  const ArchiveCase& c = GetParam();
  std::map<std::string, std::string> entries = {
      {"CONFIG/CONFIG.INF", "SVPCONF 01020360\r\n"},
      {"CONFIG/SVP_MAIN.INI", "[SVP_MAIN]\r\nType=TQ520\r\n"},
      {"CONFIG/DKCPRP.DAT", "SERIAL=412345\r\nMODEL=7\r\n"},
      {"CONFIG/LMCPT.DAT", "PCMTYPE=3\r\n"},
      {"CONFIG/CNFDATA/TBL000.DAT", std::string(300, 'x')},
  };
  if (c.entry && c.bytes) entries[c.entry] = c.bytes;
  if (c.entry && !c.bytes) entries.erase(c.entry);
  std::filesystem::remove_all(world.HostOf('C', "PLAXON/TMP"));
  world.MakeHostDir('C', "PLAXON/TMP");
  if (c.stale) {
    entries.erase(std::string("CONFIG/") + c.stale);
    world.WriteHostFile('C', std::string("PLAXON/TMP/") + c.stale, "PCMTYPE=3\r\n");
  }
  ASSERT_TRUE(!c.entry || WriteTgz(world.HostOf('C', "PLAXON/TMP/svp_conf.tgz"), entries));
  world.TakeTrace();
  EXPECT_EQ(dsvCnf_CheckConfigFile("C:\\PLAXON\\TMP\\svp_conf.tgz", c.selector, &word),
            c.word ? 0 : 1);
  EXPECT_EQ(word, c.word);
  auto trace = world.TakeTrace();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_NE(trace.front().find("Check Config File Start"), std::string::npos);
  EXPECT_NE(trace.back().find("Check Config File END"), std::string::npos);
  EXPECT_TRUE(!c.word || trace[trace.size() - 2].find("\nERR") != std::string::npos);
  EXPECT_TRUE(!c.traced || TestWorld::Contains(trace, c.traced)) << c.traced;
  EXPECT_FALSE(c.notTraced && TestWorld::Contains(trace, c.notTraced)) << c.notTraced;
  for (const char* n : {"DKCPRP.DAT", "CONFIG.INF", "LMCPT.DAT", "SVP_MAIN.INI"})
    EXPECT_FALSE(!c.stale && world.HostExists('C', std::string("PLAXON/TMP/") + n)) << n;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    ArchiveCheck, IdentityArchiveTest,
    ::testing::Values(
        ArchiveCase{"OfTheSameConfigurationPasses", "CONFIG/CNFDATA/TBL000.DAT", "t", 0x1F, 0},
        ArchiveCase{"MissingArchive", nullptr, nullptr, 0x1F, 0x2000, "ERR *"},
        // Before any check.
        ArchiveCase{"MissingSvpMainIniFailsAtTheUnpacking", "CONFIG/SVP_MAIN.INI", nullptr, 0x1F,
                    0x2000, nullptr, "ERR Talver_CheckZeLT330Data"},
        ArchiveCase{"FailingCheckStillRemovesTheFiles", "CONFIG/LMCPT.DAT", "PCMTYPE=4\r\n", 0x1F,
                    0x4002, "ErrCode=0x4002"},
        // Two entries match CONFIG.INF, so the extraction still counts four lines.
        ArchiveCase{"StaleFileDoesNotStandInForAMissingOne", "CONFIG/CONFIG.INF.OLD",
                    "SVPCONF 01020360\r\n", 0x02, 0x2000, nullptr, nullptr, "LMCPT.DAT"}),
    [](const ::testing::TestParamInfo<ArchiveCase>& info) { return info.param.name; });
// clang-format on

}  // namespace
