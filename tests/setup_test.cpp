// Setup of the configuration in an SVP tree: the CD-R by key code, the
// backup medium, and the fetch of archives split over several media.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flows/FetchArchive.h"
#include "flows/SetupInSvp.h"
#include "media/CnfSelPcDlg.h"
#include "media/CnfSetupDlg.h"
#include "platform/winemu/Operator.h"
#include "support/FlowFixtures.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "validate/CnfImpKey.h"

namespace {

constexpr char kSource[] = "E:\\";
constexpr char kTarget[] = "C:\\TARGET\\";

using fixtures::MediaOperator;

class SetupTest : public ::testing::Test {
 protected:
  SetupTest() { fixtures::PutSetupTarget(world, "TARGET"); }

  static void ChooseBackupMedium(ScriptedOperator& op) {
    op.ExpectDialog(kSetupTemplate).Click(kIdBackupMediumChoice).Click(kIdOk);
    op.ExpectDialog(kMediaTemplate).SelectText(kIdDriveList, "E").Click(kIdOk);
  }
  WORD RunSetup() { return SetupConfigInSvp(0, kSource, kTarget, &word); }

  TestWorld world;
  WORD word = 0;
};

// The key code names the type folder of the CD-R: its archive is fetched
// and unpacked; a CD-R without one of the type is the wrong medium, and an
// archive that cannot be unpacked fails with the step word, unannounced.
struct CdrCase {
  const char* name;
  const char* folder;  // where the CD-R holds the archive
  bool archive;        // false: bytes that are no archive
  WORD word;
  int message;  // shown after the key code's question; 0: none
  const char* line;
};

class SetupCdr : public SetupTest, public ::testing::WithParamInterface<CdrCase> {};

TEST_P(SetupCdr, KeyCodeFetchesTheArchiveOfItsType) {
  const CdrCase& c = GetParam();
  const std::string archive =
      c.archive ? fixtures::TgzBytes(world, {{"CONFIG/config.inf", "VERSION=01020360\n"}})
                : "not an archive";
  world.WriteHostFile('E', std::string("PLAXON/CONFIG/") + c.folder + "/svp_conf.tgz", archive);
  ScriptedOperator op;
  op.ExpectDialog(kSetupTemplate).Click(kIdCdrChoice).Click(kIdOk);
  op.ExpectDialog(kKeyCodeTemplate).Type(kIdKeyCodeEdit, "XBKZNRTQ").Click(kIdOk);
  op.ExpectMessage(4053, plat::IDOK);
  if (c.message) op.ExpectMessage(c.message, plat::IDOK);
  EXPECT_EQ(RunSetup(), c.word ? 0 : 1);
  EXPECT_EQ(word, c.word);
  EXPECT_EQ(world.HostExists('C', "TARGET/TMP/svp_conf.tgz"), c.message == 0);
  if (c.word == 0) {
    EXPECT_EQ(world.ReadHostFile('C', "TARGET/TMP/svp_conf.tgz"), archive);
    EXPECT_EQ(world.ReadHostFile('C', "TARGET/CONFIG/config.inf"), "VERSION=01020360\n");
  }
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), c.line)) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Cdr, SetupCdr,
    ::testing::Values(CdrCase{"Fetched", "8360", true, 0, 0, "End CompressDialog"},
                      CdrCase{"NoArchiveOfTheType", "8300", true, 0x400B, 3676, "ErrCode=0x400B"},
                      CdrCase{"NotAnArchive", "8360", false, 0x4004, 0, "ERR CompressDialogProc"}),
    [](const auto& info) { return std::string(info.param.name); });

// A cancel in any dialog before the fetch returns 2 and shows nothing; one
// while the next volume is refused keeps what was joined.
TEST_F(SetupTest, CancelInEachDialogReturnsTwo) {
  enum Where { kSource, kKeyCode, kDrive, kVolume };
  for (Where where : {kSource, kKeyCode, kDrive, kVolume}) {
    SCOPED_TRACE(where);
    ScriptedOperator op;
    if (where == kSource) {
      op.ExpectDialog(kSetupTemplate).Click(kIdCancel);
    } else if (where == kKeyCode) {
      op.ExpectDialog(kSetupTemplate).Click(kIdCdrChoice).Click(kIdOk);
      op.ExpectDialog(kKeyCodeTemplate).Click(kIdCancel);
    } else if (where == kDrive) {
      op.ExpectDialog(kSetupTemplate).Click(kIdBackupMediumChoice).Click(kIdOk);
      op.ExpectDialog(kMediaTemplate).Click(kIdCancel);
    } else {
      fixtures::PutMedia(world, 'E', {"vol1", "vol2"});
      fixtures::PutVolume(world, "vol1", 2, 0, "first");
      fixtures::PutVolume(world, "vol2", 2, 0, "again the first");
      ChooseBackupMedium(op);
      op.ExpectMessage(3836, plat::IDOK).ExpectMessage(3835, plat::IDOK);
      op.ExpectMessage(3836, plat::IDCANCEL);
    }
    word = 0;
    EXPECT_EQ(RunSetup(), 2);
    EXPECT_EQ(word, 0x4000);
    EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "ErrCode=0x4000"));
  }
  EXPECT_EQ(world.ReadHostFile('C', "TARGET/TMP/svp_conf.tgz"), "first");
}

// The first medium decides: a volume count of 0 is no archive, and a split
// archive begins with its first volume only.
TEST_F(SetupTest, FirstMediumThatCannotStartTheArchiveIsRefused) {
  struct Case {
    BYTE count, number;
    WORD word;
    int message;
  };
  const Case cases[] = {{0, 0, 0x2000, 3333}, {3, 1, 0x400B, 3676}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.count) * 10 + c.number);
    fixtures::PutMedia(world, 'E', {"first"});
    fixtures::PutVolume(world, "first", c.count, c.number, "piece");
    ScriptedOperator op;
    ChooseBackupMedium(op);
    op.ExpectMessage(c.message, plat::IDOK);
    word = 0;
    EXPECT_EQ(RunSetup(), 0);
    EXPECT_EQ(word, c.word);
  }
}

TEST_F(SetupTest, BackupSplitOverThreeMediaIsJoinedVolumeByVolume) {
  const std::string archive =
      fixtures::TgzBytes(world, {{"CONFIG/config.inf", std::string(3000, 'c') + "\n"}});
  const std::size_t third = archive.size() / 3;
  const std::string pieces[] = {archive.substr(0, third), archive.substr(third, third),
                                archive.substr(2 * third)};
  fixtures::PutMedia(world, 'E', {"vol1", "vol2", "vol3"});
  for (int i = 0; i < 3; ++i)
    fixtures::PutVolume(world, "vol" + std::to_string(i + 1), 3, static_cast<BYTE>(i), pieces[i]);

  MediaOperator op;
  ChooseBackupMedium(op);
  // The third medium where the second is expected: refused, asked again.
  op.ExpectMessage(3836, plat::IDOK)
      .ExpectMessage(3835, plat::IDOK)
      .ExpectMessage(3836, plat::IDOK)
      .ExpectMessage(3836, plat::IDOK)
      .ExpectMessage(4037, plat::IDOK);
  op.names = {"vol3", "vol2", "vol3"};
  std::vector<std::string> joinedSoFar;
  op.onRequest = [&](const plat::MessageBoxView&) {
    joinedSoFar.push_back(world.ReadHostFile('C', "TARGET/TMP/svp_conf.tgz"));
  };
  EXPECT_EQ(RunSetup(), 1);

  std::vector<DWORD> inserts;
  for (const auto& box : op.Seen()) inserts.push_back(box.insert);
  EXPECT_EQ(inserts, (std::vector<DWORD>{2, 2, 2, 3, 0}));
  EXPECT_EQ(joinedSoFar, (std::vector<std::string>{pieces[0], pieces[0], pieces[0] + pieces[1]}));
  EXPECT_EQ(world.ReadHostFile('C', "TARGET/TMP/svp_conf.tgz"), archive);
  EXPECT_FALSE(world.HostExists('C', "TARGET/TMP/svp_conf.0"));
  EXPECT_FALSE(world.HostExists('C', "TARGET/TMP/svp_conf.1"));
  EXPECT_EQ(world.ReadHostFile('C', "TARGET/CONFIG/config.inf"), std::string(3000, 'c') + "\n");
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "ErrCode=0x4103"));
}

}  // namespace
