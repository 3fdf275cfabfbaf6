// The restore from the software medium: the controller's model index, the
// model table, the drive choice and the unpacking, with the audit record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Format.h"
#include "exports/Exports.h"
#include "flows/RestoreFromMedia.h"
#include "media/CnfSelPcDlg.h"
#include "media/MediaSelection.h"
#include "platform/winemu/Operator.h"
#include "support/FlowFixtures.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "support/TgzWriter.h"
#include "svpsvc/AuditLog.h"

namespace {

using fixtures::Config4;

// C the SVP (type 0x8360, version 01-02-03/60), D a CD-ROM drive.
class RestoreMediaTest : public ::testing::Test {
 protected:
  RestoreMediaTest() {
    fixtures::PutSetupTarget(world, "PLAXON");
    fixtures::AddCdromDrive(world);
    world.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "VERSION=01020360\n");
    svc::TakeAuditCalls();
  }
  ~RestoreMediaTest() override { SelectionPurpose = 0; }
  void Answer(const char* result, const char* status, const char* index) {
    auto& s = world.MutableWorld().settings;
    s["send.result"] = result;
    s["send.status"] = status;
    s["send.model_index"] = index;
  }
  TestWorld world;
  WORD kind = 0;
  WORD word = 0;
};

// The controller's answer, status and model index come before any medium.
// An index of the table names the software directory, and the drive choice
// follows; its cancel leaves the export's record unwritten. A refusal (the
// answer or status, or an index outside the table, also one that reads as
// negative) ends with its message and the record of an error, before any
// dialog, nothing unpacked.
TEST_F(RestoreMediaTest, ModelQueryNamesTheDirectoryOrEndsBeforeAnyDialog) {
  struct Case {
    const char *result, *status, *index;
    WORD word;
    int message;  // 0: the drive choice, cancelled
    const char *model, *size;
  };
  const Case cases[] = {
      {"0", "0", "0", 0x4000, 0, "6410", "P_AX"}, {"0", "0", "1", 0x4000, 0, "6430", "Q_B1"},
      {"0", "0", "2", 0x4000, 0, "6470", "R_C2"}, {"0", "0", "3", 0x4000, 0, "6470", "R_D"},
      {"0", "0", "5", 0x4000, 0, "6470", "R_E"},  {"0", "0", "4", 0x2000, 3333, "", ""},
      {"0", "0", "-2", 0x2000, 3333, "", ""},     {"0", "0", "6", 0x2000, 3333, "", ""},
      {"0", "0", "-1", 0x2000, 3333, "", ""},     {"2", "0", "0", 0x0400, 2467, "", ""},
      {"0", "7", "5", 0x0100, 469, "", ""},       {"1", "0", "5", 0x0100, 469, "", ""},
      {"3", "0", "5", 0x0100, 469, "", ""},       {"4", "0", "5", 0x2000, 3333, "", ""},
      {"-1", "0", "5", 0x2000, 3333, "", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.result) + "/" + c.status + "/" + c.index);
    Answer(c.result, c.status, c.index);
    CopyBounded(ModelNumberText, sizeof ModelNumberText, "");
    CopyBounded(SizeCodeText, sizeof SizeCodeText, "");
    const std::size_t recordsBefore = fixtures::AuditRecords().size();
    ScriptedOperator op;
    if (c.message) op.ExpectMessage(c.message, plat::IDOK);
    if (!c.message) op.ExpectDialog(kMediaTemplate).Click(kIdCancel);
    kind = 0;
    word = 0;
    EXPECT_EQ(dsvCnf_RestoreConf(0, &kind, &word), 0);
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(kind, 0);
    EXPECT_STREQ(ModelNumberText, c.model);
    EXPECT_STREQ(SizeCodeText, c.size);
    const auto calls = svc::TakeAuditCalls();
    auto trace = world.TakeTrace();
    EXPECT_TRUE(TestWorld::Contains(trace, "Get Model Info"));
    EXPECT_EQ(TestWorld::Contains(trace, "Select Drive"), c.message == 0);
    // The frame's lines open and close the call.
    EXPECT_TRUE(TestWorld::Contains({trace.front()}, "Start dsvCnf_RestoreConf"));
    EXPECT_TRUE(TestWorld::Contains({trace.back()}, "End dsvCnf_RestoreConf"));
    const auto records = fixtures::AuditRecords();
    if (!c.message) {
      EXPECT_EQ(calls, (std::vector<std::string>{"open", "close"}));
      EXPECT_EQ(records.size(), recordsBefore);
      continue;
    }
    EXPECT_EQ(calls.size(), 7u);
    ASSERT_EQ(records.size(), recordsBefore + 1);
    EXPECT_EQ(records.back().outcome + " " + records.back().detail, "Error {New Ver.}={----}");
  }
}

// Through the export: the model's archive unpacked over \PLAXON\, the
// record of a normal end with the new version.
TEST_F(RestoreMediaTest, SuccessfulRestoreUnpacksTheModelsArchive) {
  Answer("0", "0", "2");  // model 6470 size R_C2, here for type 0x60
  world.WriteHostFile('D', "software/R_C2/647060/config4", Config4(0xFFFF, 1, 0));
  ASSERT_TRUE(WriteTgz(world.HostOf('D', "software/R_C2/647060/svp_conf.tgz"),
                       {{"CONFIG/config.inf", "VERSION=01020461\n"}}));
  ScriptedOperator op;
  op.ExpectDialog(kMediaTemplate).SelectText(kIdDriveList, "D").Click(kIdOk);
  op.ExpectMessage(3188, plat::IDOK);
  EXPECT_EQ(dsvCnf_RestoreConf(0, &kind, &word), 1);
  EXPECT_EQ(kind, 0x5000);
  EXPECT_EQ(world.ReadHostFile('C', "PLAXON/CONFIG/config.inf"), "VERSION=01020461\n");
  EXPECT_TRUE(world.HostExists('C', "PLAXON/TMP/svp_conf.tgz"));
  EXPECT_EQ(SelectionPurpose, 4);
  auto trace = world.TakeTrace();
  for (const char* line :
       {"Get Model Info", "Index=4", "Select Drive", "Get Config Data", "Start Compress",
        "RootPath=C:\\PLAXON\\, FilePath=C:\\PLAXON\\TMP\\svp_conf.tgz",
        "Media Remove (RootPath=C:\\PLAXON\\CONFIG\\config.inf)"})
    EXPECT_TRUE(TestWorld::Contains(trace, line)) << line;
  const auto records = fixtures::AuditRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().outcome, "Normal end");
  EXPECT_EQ(records.back().detail, "{New Ver.}={01-02-04/61}");
}

// The restore kind is given once the archive is fetched, never before: a
// medium whose archive is missing leaves it unset; one whose archive cannot
// be unpacked keeps the kind and the old version.
TEST_F(RestoreMediaTest, FailedFetchOrUnpackingEndsWithItsMessage) {
  struct Case {
    const char* archive;  // nullptr: none on the medium
    int message;
    WORD word, kind;
    const char *oldVersion, *line;
  };
  const Case cases[] = {
      {nullptr, 3676, 0x400B, 0, "----", "ErrCode=0x400B"},
      {"not an archive", 3681, 0x4004, 0x5000, "01-02-03/60", "ERR CompressDialog"}};
  Answer("0", "0", "2");
  world.WriteHostFile('D', "software/R_C2/647060/config4", Config4(0xFFFF, 1, 0));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    if (c.archive) world.WriteHostFile('D', "software/R_C2/647060/svp_conf.tgz", c.archive);
    ScriptedOperator op;
    op.ExpectDialog(kMediaTemplate).SelectText(kIdDriveList, "D").Click(kIdOk);
    op.ExpectMessage(c.message, plat::IDOK);
    kind = 0;
    char newVersion[32], oldVersion[32];
    ResetVersionText(newVersion, sizeof newVersion);
    ResetVersionText(oldVersion, sizeof oldVersion);
    EXPECT_EQ(RestoreConfigFromMedia(0, &kind, newVersion, oldVersion, &word), 0);
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(kind, c.kind);
    EXPECT_STREQ(oldVersion, c.oldVersion);
    EXPECT_STREQ(newVersion, "----");
    EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), c.line));
  }
}

}  // namespace
