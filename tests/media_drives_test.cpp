// Drive discovery (the SVP's drives and the client PC's), the media dialog
// (106), the setup-source dialog (114), and the world's media lists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/Format.h"
#include "common/Globals.h"
#include "media/CnfSelPcDlg.h"
#include "media/CnfSetupDlg.h"
#include "media/MediaSelection.h"
#include "platform/ForwardingPlatform.h"
#include "platform/winemu/Operator.h"
#include "support/FlowFixtures.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "svpsvc/SvpServices.h"

using plat::ControlView;
using plat::DialogView;

namespace {

// C fixed, D CD-ROM, E removable; the floppy A of the test world is taken out.
class DrivesTest : public ::testing::Test {
 protected:
  DrivesTest() {
    world.MutableWorld().drive('A').present = false;
    fixtures::AddCdromDrive(world);
  }
  ~DrivesTest() override {
    CopyBounded(RootPath, sizeof RootPath, "C:");
    SelectionPurpose = 0;
  }
  void AddClient(const std::string& remote) {
    world.MutableWorld().clientDrives.push_back({remote, world.Dir()});
  }
  TestWorld world;
  WORD word = 0;
};

// The request of a selection names its drive class, the class the drive
// types offered: a restore takes the backup drives for purpose 5 and the
// CD-ROM and fixed ones otherwise, the installation of mode 2 the backup
// drives, any other request all drives. Only a root of exactly "C:" keeps
// C: out of the backup drives; a class of no request (0) offers those.
TEST_F(DrivesTest, RequestsAndClassesOfferTheirDriveTypes) {
  struct Case {
    WORD kind;  // 0: class 0
    BYTE purpose;
    const char *root, *drives;
  };
  const Case cases[] = {
      {6, 5, "C:", "E: "},         {6, 4, "C:", "C: D: "},    {6, 0, "C:", "C: D: "},
      {8, 0, "C:", "C: D: E: "},   {9, 0, "C:", "E: "},       {9, 0, "D:", "C: E: "},
      {9, 0, "C:\\SVP", "C: E: "}, {1, 0, "C:", "C: D: E: "}, {5, 5, "C:", "C: D: E: "},
      {7, 0, "C:", "C: D: E: "},   {0, 0, "C:", "E: "}};
  for (const Case& c : cases) {
    SelectionPurpose = c.purpose;
    CopyBounded(RootPath, sizeof RootPath, c.root);
    RefreshDriveLists(c.kind ? DriveClassOfRequest(c.kind) : DriveClass{0});
    std::string entries;  // each followed by a space
    for (WORD i = 0; i < SvpDriveList.count; ++i)
      entries += SvpDriveList.entries[i] + std::string(" ");
    EXPECT_EQ(entries, c.drives) << c.kind << "/" << int(c.purpose) << " " << c.root;
  }
  // No drives at all give an empty list, whatever it held.
  for (auto& d : world.MutableWorld().drives) d.present = false;
  DriveList list{};
  list.count = 7;
  EXPECT_EQ(GetSvpInstallDisk(&list), 1);
  EXPECT_EQ(list.count, 0);
}

// A network whose enumeration fails.
class FailingNetwork : public plat::ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  DWORD WNetEnumResource(HANDLE, DWORD*, void*, DWORD*) override { return ERROR_NO_NETWORK; }
};

// Client-PC drives through terminal services, in their order; a client
// list longer than the table, or a remote name too short to hold a drive
// letter, neither overflows the table nor reads past the name; a failing
// network enumeration is traced and leaves no client drives.
TEST_F(DrivesTest, ClientPcDrivesThroughTerminalServices) {
  SKIP_ON_WINDOWS(
      "client drives and connections come from the world's network provider; Wine has none");
  DriveList list{};
  EXPECT_EQ(dsvp_GetConnectedClientPcDrive(&list), 1);  // no client PC
  EXPECT_EQ(list.count, 0);
  AddClient("\\\\tsclient");
  AddClient("\\\\tsclient\\");
  AddClient("\\\\tsclient\\E");
  for (int i = 0; i < 300; ++i) AddClient("\\\\tsclient\\" + std::string(1, 'A' + i % 26));
  EXPECT_EQ(dsvp_GetConnectedClientPcDrive(&list), 1);
  ASSERT_EQ(list.count, kDriveListEntries);
  EXPECT_STREQ(list.entries[0], "E");
  EXPECT_STREQ(list.entries[1], "A");
  EXPECT_STREQ(list.entries[255], std::string(1, 'A' + 254 % 26).c_str());
  // A network whose enumeration fails: the client list stays empty and the
  // refresh says which enumeration failed.
  world.TakeTrace();
  auto previous = plat::Install(std::make_shared<FailingNetwork>(plat::InstalledShared()));
  EXPECT_EQ(dsvp_GetConnectedClientPcDrive(&list), 0);
  RefreshDriveLists(kDriveClassInstall);
  plat::Install(previous);
  EXPECT_EQ(ClientPcDriveList.count, 0);
  EXPECT_EQ(SvpDriveList.count, 3);
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "dsvp_GetConnectedClientPcDrive"));
  // Client-PC drives alone make OK of the media dialog usable, but its list
  // (SVP drives only) is empty and OK does nothing; Cancel empties the path.
  for (auto& d : world.MutableWorld().drives) d.present = false;
  ScriptedOperator op;
  op.ExpectDialog(kMediaTemplate)
      .Check([](const DialogView& v) { EXPECT_TRUE(v.Find(kIdOk)->enabled); })
      .Click(kIdOk)
      .Check([](const DialogView& v) { EXPECT_TRUE(v.Find(kIdDriveList)->items.empty()); })
      .Click(kIdCancel);
  MediaDialogParam param{kDriveClassInstall, 3683};
  char path[MAX_PATH] = "untouched";
  EXPECT_EQ(SelectMediaDialog(0, &param, path, &word), 2);
  EXPECT_STREQ(path, "");
  EXPECT_EQ(word, 0x4000);
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "### [SEL_PC] Cancel button was selected."));
}

TEST_F(DrivesTest, MediaDialogOffersTheClassAndYieldsTheChosenRoot) {
  ScriptedOperator op;
  op.ExpectDialog(kMediaTemplate)
      .Check([](const DialogView& v) {
        EXPECT_EQ(v.caption, "Select Media" + std::string(" - SVP"));
        EXPECT_EQ(v.Find(kIdDriveList)->items, (std::vector<std::string>{"C", "D", "E"}));
        EXPECT_EQ(v.Find(kIdDriveList)->selected, 0);
        EXPECT_EQ(v.MessageText(), CatalogueText(3683));
      })
      .SelectText(kIdDriveList, "D")
      .Click(kIdOk);
  MediaDialogParam param{kDriveClassInstall, 3683};
  char path[MAX_PATH] = "untouched";
  EXPECT_EQ(SelectMediaDialog(0, &param, path, &word), 1);
  EXPECT_STREQ(path, "D:\\");
  EXPECT_EQ(word, 0);
  EXPECT_TRUE(
      TestWorld::Contains(world.TakeTrace(), "### [SEL_PC] OK button was selected.<<SVP>>"));
}

TEST_F(DrivesTest, WithoutDrivesOnlyCancelIsUsableAndRefreshFindsANewDrive) {
  for (auto& d : world.MutableWorld().drives) d.present = false;
  ScriptedOperator op;
  op.ExpectDialog(kMediaTemplate)
      .Check([this](const DialogView& v) {
        EXPECT_FALSE(v.Find(kIdOk)->enabled);
        EXPECT_FALSE(v.Find(kIdDriveList)->enabled);
        EXPECT_TRUE(v.Find(kIdCancel)->focused);
        EXPECT_TRUE(v.Find(kIdDriveList)->items.empty());
        world.MutableWorld().drive('E').present = true;  // a drive comes
      })
      .Click(kIdRefresh)
      .Check([](const DialogView& v) {
        EXPECT_TRUE(v.Find(kIdOk)->enabled);
        EXPECT_EQ(v.Find(kIdDriveList)->items, (std::vector<std::string>{"E"}));
      })
      .Click(kIdOk);
  MediaDialogParam param{kDriveClassBackup, 3686};
  char path[MAX_PATH] = "";
  EXPECT_EQ(SelectMediaDialog(0, &param, path, &word), 1);
  EXPECT_STREQ(path, "E:\\");
  EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), "There is no drive."));
}

// A dialog whose initialisation fails (here: no parameter) ends invalid
// before the operator sees it.
TEST_F(DrivesTest, MediaDialogThatCannotInitialiseEndsInvalid) {
  ScriptedOperator op;
  char path[MAX_PATH] = "untouched";
  EXPECT_EQ(SelectMediaDialog(0, nullptr, path, &word), 7);
  EXPECT_STREQ(path, "untouched");
  EXPECT_EQ(word, 0x2000);
  auto trace = world.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR InitDialogSelectedPc"));
  EXPECT_TRUE(TestWorld::Contains(trace, "Invalid Error"));
  EXPECT_TRUE(TestWorld::Contains(trace, "### [SEL_PC] ???"));
}

TEST_F(DrivesTest, SetupSourceDialogChoices) {
  struct Case {
    int click, button, result;  // click 0: none
    BYTE choice;
    WORD word;
    const char* line;
  };
  const Case cases[] = {
      {0, kIdOk, 1, kSetupSourceCdr, 0, "No DLG OK button was selected.<<FD>>"},
      {kIdBackupMediumChoice, kIdOk, 1, kSetupSourceBackupMedium, 0,
       "No DLG OK button was selected.<<CD>>"},
      {kIdBackupMediumChoice, kIdCancel, 2, kSetupSourceCdr, 0x4000,
       "No DLG Cancel button was selected."},
  };
  for (const Case& c : cases) {
    ScriptedOperator op;
    op.ExpectDialog(kSetupTemplate).Check([](const DialogView& v) {
      EXPECT_TRUE(v.Find(kIdCdrChoice)->checked);
      EXPECT_FALSE(v.Find(kIdBackupMediumChoice)->checked);
      EXPECT_EQ(v.MessageText(), CatalogueText(4061));
    });
    if (c.click) op.Click(c.click);
    if (c.click == kIdBackupMediumChoice)
      op.Check([](const DialogView& v) { EXPECT_FALSE(v.Find(kIdCdrChoice)->checked); });
    op.Click(c.button);
    BYTE choice = 9;
    word = 0;
    EXPECT_EQ(SelectSetupConfigDialog(0, 4061, &choice, &word), c.result) << c.line;
    EXPECT_EQ(choice, c.choice) << c.line;
    EXPECT_EQ(word, c.word) << c.line;
    EXPECT_TRUE(TestWorld::Contains(world.TakeTrace(), c.line)) << c.line;
  }
}

// ---- the platform: media lists ---------------------------------------------

#if !defined(_WIN32)
// World files and their media lists are the POSIX half's (on Windows a
// test world is drive letters).
class MediaListTest : public ::testing::Test {
 protected:
  MediaListTest() {
    dir = world.Dir() + "/listed";
    for (const char* m : {"vol1", "vol2", "vol3", "spare"})
      std::filesystem::create_directories(dir + "/" + m);
    std::ofstream(dir + "/svp.ini") << "[world]\nroot = C:\n"
                                    << "[drive.C]\npath = vol1\ntype = fixed\n"
                                    << "[drive.E]\ntype = removable\nmedia = vol1; vol2;vol3\n"
                                    << "[medium.vol2]\nwrite_protected = true\nsize = 1000\n";
    std::string error;
    auto loaded = plat::World::Load(dir + "/svp.ini", &error);
    EXPECT_TRUE(loaded) << error;
    previous = plat::Install(std::make_shared<plat::PosixPlatform>(std::move(*loaded)));
  }
  ~MediaListTest() override { plat::Install(previous); }
  const plat::Drive& E() { return plat::CurrentWorld().drive('E'); }
  TestWorld world;
  std::string dir;
  std::shared_ptr<plat::Platform> previous;
};

TEST_F(MediaListTest, EachOkToAnInsertRequestPutsTheNextMediumIn) {
  ScriptedOperator op;
  op.ExpectMessage(3836, plat::IDOK)
      .ExpectMessage(4036, plat::IDCANCEL)
      .ExpectMessage(4036, plat::IDOK)
      .ExpectMessage(3836, plat::IDOK);
  dsvp_MessageBox(0, 63, 3836, 20198, 2, 0x31, 2);
  EXPECT_EQ(E().hostDir, dir + "/vol2");
  EXPECT_TRUE(E().writeProtected);
  EXPECT_EQ(E().totalBytes, 1000u);
  EXPECT_EQ(op.Seen()[0].mediaDrive, 'E');
  EXPECT_EQ(op.Seen()[0].media, (std::vector<std::string>{"vol1", "vol2", "vol3"}));
  dsvp_MessageBox(0, 63, 4036, 20198, 2, 0x31);  // cancelled: nothing changes
  EXPECT_EQ(E().hostDir, dir + "/vol2");
  dsvp_MessageBox(0, 63, 4036, 20198, 2, 0x31);
  EXPECT_EQ(E().hostDir, dir + "/vol3");
  EXPECT_FALSE(E().writeProtected);
  dsvp_MessageBox(0, 63, 3836, 20198, 2, 0x31, 4);
  // After the last medium the drive is empty.
  std::uint64_t free = 0;
  EXPECT_FALSE(plat::GetDiskFreeSpaceEx("E:\\", &free, nullptr, nullptr));
  EXPECT_EQ(plat::GetLastError(), ERROR_NOT_READY);
}

#endif

}  // namespace
