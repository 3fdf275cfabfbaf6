// The media selection: its steps, the classification of a medium by its
// config4, and the archive path it ends with.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Format.h"
#include "common/Globals.h"
#include "common/SameFailure.h"
#include "media/CnfSelPcDlg.h"
#include "media/MediaSelection.h"
#include "platform/winemu/Operator.h"
#include "support/FlowFixtures.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"

namespace {

constexpr WORD kSvpType = 0x8360;

using fixtures::Config4;

// C fixed (the SVP, type 0x8360), D CD-ROM, E removable.
class SelectionTest : public ::testing::Test {
 protected:
  SelectionTest() {
    fixtures::PutSetupTarget(world, "PLAXON");
    fixtures::AddCdromDrive(world);
    CopyBounded(ModelNumberText, sizeof ModelNumberText, "R700");
    CopyBounded(SizeCodeText, sizeof SizeCodeText, "L");
    CopyBounded(TypeHexText, sizeof TypeHexText, "");
    SelectionPurpose = 0;
  }
  ~SelectionTest() override { SelectionPurpose = 0; }
  void Request(WORD kind, const char* drive = "") {
    std::memset(&selection, 0, sizeof selection);
    selection.requestKind = kind;
    selection.promptMessageId = 3683;
    CopyBounded(selection.drivePath, sizeof selection.drivePath, drive);
  }
  void PutMediumConfig4(char drive, WORD type, BYTE count, BYTE number = 0) {
    world.WriteHostFile(drive, "PLAXON/CONFIG/config4", Config4(type, count, number));
  }
  TestWorld world;
  MediaSelection selection{};
  WORD word = 0;
};

// A medium without volume information (count 0xFF) is a flat medium: taken
// by the backup volumes and the setup (as one volume), refused elsewhere. A
// medium without a type (0xFFFF) is a software medium; it takes the SVP's
// own type except for the setup, the software request (which keeps the type
// the record held before) and the installation of mode 0. A medium without a
// config4 is the wrong medium; an untyped one fails when the SVP's own
// config4, whose type it would take, is missing (the last row).
TEST_F(SelectionTest, MediumClassifiedByItsConfig4AndTheRequest) {
  struct Case {
    WORD mediumType;  // 0: no config4 on the medium
    BYTE mediumCount, mediumNumber;
    WORD kind;
    int result;
    WORD word;
    BYTE mediaKind;
    WORD type;           // of the record after the classification
    BYTE count, number;  // count 0: not looked at
  };
  const Case cases[] = {
      {0x1234, 0xFF, 7, 1, 1, 0, 2, 0x1234, 0xFF, 7},
      {0x1234, 0xFF, 7, 5, 1, 0, 2, 0x1234, 1, 0},
      {0x1234, 0xFF, 7, 6, 0, 0x400B, 0, 0x1234, 0xFF, 7},
      {0x1234, 0xFF, 7, 8, 0, 0x400B, 0, 0x1234, 0xFF, 7},
      {0x1234, 0xFF, 7, 9, 0, 0x400B, 0, 0x1234, 0xFF, 7},
      {0xFFFF, 3, 2, 1, 1, 0, 3, kSvpType, 1, 0},
      {0xFFFF, 3, 2, 5, 0, 0x4105, 0, 0x0042, 0, 0},
      {0xFFFF, 3, 2, 6, 0, 0x400B, 0, 0x0042, 0, 0},
      {0xFFFF, 3, 2, 7, 1, 0, 3, 0x0042, 0, 0},
      {0xFFFF, 3, 2, 8, 1, 0, 3, 0xFFFF, 0, 0},
      {0xFFFF, 3, 2, 9, 1, 0, 3, kSvpType, 1, 0},
      {0, 0, 0, 1, 0, 0x400B, 0, 0, 0, 0},
      {0xFFFF, 1, 0, 1, 0, 0x2000, 0, 0x0042, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mediumType) + " kind " + std::to_string(c.kind));
    if (c.mediumType) PutMediumConfig4('E', c.mediumType, c.mediumCount, c.mediumNumber);
    if (!c.mediumType) std::filesystem::remove(world.HostOf('E', "PLAXON/CONFIG/config4"));
    if (&c == std::end(cases) - 1)
      std::filesystem::remove(world.HostOf('C', "PLAXON/CONFIG/config4"));
    Request(c.kind, "E:\\");
    selection.config4.Config4TypeWord = 0x0042;  // what the record held before
    word = 0;
    EXPECT_EQ(ClassifyMediaByConfig4(&selection, &word), c.result);
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(selection.MediaKind, c.mediaKind);
    if (c.mediumType == 0xFFFF) {
      EXPECT_EQ(WORD(selection.config4.Config4TypeWord), c.type);
    }
    if (c.count == 0) continue;
    EXPECT_EQ(selection.config4.volumeCount, c.count);
    EXPECT_EQ(selection.config4.volumeNumber, c.number);
  }
}

// The config4 of the software medium, found by model and type, and the one
// beside the chosen backup; without it the medium is the wrong one.
TEST_F(SelectionTest, Config4OfTheSoftwareMediumAndBesideTheChosenBackup) {
  Request(6, "D:\\");
  EXPECT_EQ(ClassifySoftwareMedia(&selection, &word), 0);
  EXPECT_EQ(word, 0x400B);
  EXPECT_STREQ(TypeHexText, "60");
  world.WriteHostFile('D', "software/L/R70060/config4", Config4(0xFFFF, 1, 0));
  EXPECT_EQ(ClassifySoftwareMedia(&selection, &word), 1);
  EXPECT_EQ(selection.MediaKind, 3);
  EXPECT_EQ(WORD(selection.config4.Config4TypeWord), kSvpType);
  Request(1, "E:\\");
  CopyBounded(selection.archivePath, sizeof selection.archivePath,
              "E:\\PLAXON\\CONFIG\\412345\\svp_conf.tgz");
  word = 0;
  EXPECT_EQ(LoadArchiveConfig4(&selection, &word), 0);
  EXPECT_EQ(word, 0x400B);
  world.WriteHostFile('E', "PLAXON/CONFIG/412345/config4", Config4(0x1234, 2, 1));
  EXPECT_EQ(LoadArchiveConfig4(&selection, &word), 1);
  EXPECT_EQ(WORD(selection.config4.Config4TypeWord), 0x1234);
  EXPECT_EQ(selection.config4.volumeNumber, 1);
}

// ---- the step machine ---------------------------------------------------

TEST_F(SelectionTest, NotReadyDriveLeadsBackToTheChoiceUntilItFailsTooOften) {
  world.MutableWorld().drive('E').notReady = true;
  Request(5);
  // An operator who keeps choosing the same drive: the choice comes back
  // after each failure, and after the limit the selection ends as a cancel.
  ScriptedOperator op;
  for (int i = 0; i <= kSameFailureLimit; ++i)
    op.ExpectDialog(kMediaTemplate)
        .SelectText(kIdDriveList, "E")
        .Click(kIdOk)
        .ExpectMessage(3677, plat::IDOK);
  EXPECT_EQ(SelectMedia(0, &selection, 0, &word), 0);
  EXPECT_EQ(word, 0x4000);
  auto trace = world.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0x15"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0x2001"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR The same failure again: cancelled"));
}

// A drive letter with a remembered connection stands for its share, even
// while the connection is unavailable; a further volume is asked for without
// the drive dialog, and the word of that request stays.
TEST_F(SelectionTest, InstallationThroughAConnectedDriveUsesTheShare) {
  SKIP_ON_WINDOWS(
      "client drives and connections come from the world's network provider; Wine has none");
  plat::World& w = world.MutableWorld();
  w.clientDrives.push_back({"\\\\tsclient\\C", world.Dir()});
  plat::Drive& f = w.drive('F');
  f.present = true;
  f.type = DRIVE_REMOVABLE;
  f.hostDir = world.Dir();
  w.connections['F'] = "\\\\tsclient\\C";
  w.unavailableConnections['F'] = true;
  Request(8, "f:\\");
  ScriptedOperator op;
  op.ExpectMessage(3836, plat::IDOK);
  EXPECT_EQ(SelectMedia(0, &selection, 1, &word), 1);
  EXPECT_EQ(word, 0x4104);
  EXPECT_STREQ(selection.drivePath, "\\\\tsclient\\C\\");
  EXPECT_STREQ(selection.archivePath, "\\\\tsclient\\C\\software\\L\\R700xx\\svp_conf.tgz");
}

// A further volume of a key-code medium is asked for without the drive
// dialog, and the flow forms its archive path itself.
TEST_F(SelectionTest, FurtherKeyCodeVolumeLeavesThePathToTheFlow) {
  PutMediumConfig4('E', kSvpType, 0xFF, 2);
  Request(5, "E:\\");
  ScriptedOperator op;
  op.ExpectMessage(3836, plat::IDOK);
  EXPECT_EQ(SelectMedia(0, &selection, 2, &word), 1);
  EXPECT_EQ(selection.MediaKind, kMediaKeyCode);
  EXPECT_STREQ(selection.archivePath, "");
}

// The drive chosen, the selection ends with the archive of the request: an
// installation takes the CD-ROM unread, its type "xx"; the software restore
// forms the software path with the type's low byte in lower-case hex (0x8360
// has no letter in it, 0x83A0 has); a backup medium goes to the backup list,
// which takes the only backup on it.
TEST_F(SelectionTest, ChosenDriveEndsWithTheArchiveOfTheRequest) {
  struct Case {
    WORD kind;
    BYTE purpose;
    WORD svpType;
    std::vector<std::string> drives;  // offered
    const char *drive, *hex;
    BYTE mediaKind;
    const char* archive;
  };
  const Case cases[] = {
      {8, 0, kSvpType, {"C", "D", "E"}, "D", "xx", 3, "D:\\software\\L\\R700xx\\svp_conf.tgz"},
      {6, 4, kSvpType, {"C", "D"}, "D", "60", 3, "D:\\software\\L\\R70060\\svp_conf.tgz"},
      {6, 4, 0x83A0, {"C", "D"}, "D", "a0", 3, "D:\\software\\L\\R700a0\\svp_conf.tgz"},
      {6, 5, kSvpType, {"E"}, "E", "", 1, "E:\\PLAXON\\CONFIG\\412345\\svp_conf.tgz"},
  };
  for (const char* folder : {"R70060", "R700a0"})
    world.WriteHostFile('D', std::string("software/L/") + folder + "/config4",
                        Config4(0xFFFF, 1, 0));
  fixtures::PutMedia(world, 'E', {"backup"});
  fixtures::PutVolume(world, "backup", 1, 0, "archive");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    world.WriteHostFile('C', "PLAXON/CONFIG/config4", Config4(c.svpType, 1, 0));
    CopyBounded(TypeHexText, sizeof TypeHexText, "");
    SelectionPurpose = c.purpose;
    Request(c.kind);
    ScriptedOperator op;
    op.ExpectDialog(kMediaTemplate)
        .Check(
            [&c](const plat::DialogView& v) { EXPECT_EQ(v.Find(kIdDriveList)->items, c.drives); })
        .SelectText(kIdDriveList, c.drive)
        .Click(kIdOk);
    word = 0;
    EXPECT_EQ(SelectMedia(0, &selection, 0, &word), 1);
    EXPECT_EQ(word, 0);
    EXPECT_STREQ(TypeHexText, c.hex);
    EXPECT_EQ(selection.MediaKind, c.mediaKind);
    if (c.mediaKind == 1) {
      EXPECT_STRCASEEQ(selection.archivePath, c.archive);  // the backup list's own case
    } else {
      EXPECT_STREQ(selection.archivePath, c.archive);
    }
    auto trace = world.TakeTrace();
    EXPECT_TRUE(TestWorld::TracedAt(trace, "CnfSelPcDlg.cpp"));
    EXPECT_TRUE(TestWorld::Contains(trace, "sMode = 0x1002"));
    EXPECT_TRUE(TestWorld::Contains(trace, selection.archivePath));
    EXPECT_TRUE(TestWorld::Contains(trace, std::string("Drive = ") + c.drive + ":\\"));
  }
}

// A medium of the wrong kind (a software medium for a setup), or a backup
// medium whose backups are all other SVPs' (the backup list fails with
// 0x400B), sends the operator back to the drive choice after its message.
TEST_F(SelectionTest, WrongMediumLeadsBackToTheChoice) {
  for (auto [kind, message] : {std::pair<WORD, int>{5, 4033}, {1, 3676}}) {
    SCOPED_TRACE(message);
    PutMediumConfig4('E', kind == 5 ? 0xFFFF : kSvpType, 1);
    for (const char* serial : {"499998", "499999"}) {
      const std::string dir = std::string("PLAXON/CONFIG/") + serial + "/";
      world.WriteHostFile('E', dir + "svp_conf.tgz", "archive");
      world.WriteHostFile('E', dir + "config4", Config4(kSvpType, 1, 0));
    }
    Request(kind);
    ScriptedOperator op;
    op.ExpectDialog(kMediaTemplate).SelectText(kIdDriveList, "E").Click(kIdOk);
    op.ExpectMessage(message, plat::IDOK).ExpectDialog(kMediaTemplate).Click(kIdCancel);
    word = 0;
    EXPECT_EQ(SelectMedia(0, &selection, 0, &word), 0);
    EXPECT_EQ(word, 0x4000);
  }
}

}  // namespace
