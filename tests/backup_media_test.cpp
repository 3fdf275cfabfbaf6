// The backup to media: the preparation of each medium, the capacity rules,
// the volumes of a split archive with their config4 records, the flow's
// audit record.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "backupfile/AuditRecord.h"
#include "common/CnfFunc.h"
#include "common/Format.h"
#include "exports/Exports.h"
#include "flows/BackupToMedia.h"
#include "flows/BackupVolumes.h"
#include "platform/ForwardingPlatform.h"
#include "platform/winemu/Operator.h"
#include "support/FlowFixtures.h"
#include "support/IdentityFiles.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "svpsvc/AuditLog.h"

namespace {

constexpr WORD kSvpType = 0x8360;
constexpr char kSerialDir[] = "PLAXON/CONFIG/412345/";
constexpr std::uint64_t kFloppy = 1457664;

std::string Config4(WORD type, BYTE count, BYTE number) {
  return fixtures::Config4(type, count, number, 0, 0, 0);
}
using fixtures::RecordOf;

using fixtures::Incompressible;

std::vector<int> MessageIds(const ScriptedOperator& op) {
  std::vector<int> ids;
  for (const auto& box : op.Seen()) ids.push_back(box.messageId);
  return ids;
}

// The SVP (C:, serial 412345, type 0x8360) and a floppy drive A: holding
// three blank media m1, m2, m3 in turn.
class BackupMediaTest : public ::testing::Test {
 protected:
  BackupMediaTest() {
    IdentityFiles{}.WriteTo(world, "CONFIG");
    world.WriteHostFile('C', "PLAXON/CONFIG/config4", Config4(kSvpType, 1, 0));
    world.MutableWorld().drive('A').driveTotalBytes = kFloppy;
    fixtures::PutMedia(world, 'A', {"m1", "m2", "m3"});
    svc::TakeAuditCalls();
    world.TakeTrace();
  }
  std::string MediumFile(const char* medium, const std::string& relative) {
    return TestWorld::ReadHost(world.Dir() + "/" + medium + "/" + relative);
  }
  std::string Piece(const char* medium) {
    return MediumFile(medium, std::string(kSerialDir) + "svp_conf.tgz");
  }
  // The config4 beside the medium's piece, which is also the medium's own,
  // of this SVP's serial number.
  Config4Record Volume(const char* medium) {
    const std::string beside = MediumFile(medium, std::string(kSerialDir) + "config4");
    EXPECT_EQ(MediumFile(medium, "PLAXON/CONFIG/config4"), beside) << medium;
    Config4Record r = RecordOf(beside);
    EXPECT_EQ(static_cast<DWORD>(r.serialNumber), 412345u) << medium;
    return r;
  }
  // The archive of the given size in \PLAXON\TMP\, described as the flow does.
  std::string PutArchive(std::size_t size) {
    std::string bytes = Incompressible(size, static_cast<unsigned>(size));
    world.WriteHostFile('C', "PLAXON/TMP/svp_conf.tgz", bytes);
    CopyBounded(info.path, sizeof info.path, "C:\\PLAXON\\TMP\\svp_conf.tgz");
    return bytes;
  }
  // A prepared target on drive A: (as PrepareBackupMedia leaves it).
  void PrepareFloppy(DWORD freeBytes) {
    std::memset(&target, 0, sizeof target);
    CopyBounded(target.drivePath, sizeof target.drivePath, "A:\\");
    CopyBounded(target.archivePath, sizeof target.archivePath,
                "A:\\PLAXON\\CONFIG\\412345\\svp_conf.tgz");
    DWORD error = 0;
    ASSERT_EQ(CreateMediaConfigDirs("A:\\", &error), 1);
    target.isFloppy = 1;
    target.freeBytes = freeBytes;
  }

  TestWorld world;
  ArchiveFileInfo info{};
  BackupTarget target{};
  WORD word = 0;
};

// The capacity rules at 1,400,000 bytes: what is asked and what is written.
// A backup spans at most 254 media: an archive of exactly 254 pieces is cut
// (here its first piece cannot be written), one of 255 is refused uncut.
TEST_F(BackupMediaTest, CapacityRulesOfAFloppy) {
  struct Case {
    std::size_t size;
    DWORD freeBytes;
    int splitAnswer;  // answer to 4034 (the 0x4106 question); 0: not asked
    int result;
    WORD word;
    std::vector<int> messages;
    BYTE floppy = 1;  // 0: a medium that takes the archive whole
  };
  const Case cases[] = {
      {1400000, 1457664, 0, 1, 0, {}},
      {5000, 5064, 0, 1, 0, {}, 0},  // the archive and its two config4 records, exactly
      {5000, 5063, 0, 0, 0x4107, {4035}, 0},
      {1400001, 1457664, plat::IDNO, 0, 0x4000, {4034}},  // refusing to split is a cancel
      {1400000, 1399999, 0, 0, 0x4107, {4035}},
      {1400000, 1400000, 0, 0, 0x4107, {4035}},  // no room for its config4 records
      {1400000, 1400064, 0, 1, 0, {}},
      {2000000, 1399999, 0, 0, 0x4107, {4035}},  // too little room: no question at all
      {254 * 1400000, 1457664, plat::IDYES, 0, 0x2000, {4034, 3333}},
      {255 * 1400000, 1457664, plat::IDYES, 0, 0x4107, {4034, 4035}},
  };
  world.Faults().AddRule({plat::FaultOp::Open, "svp_conf.0", ERROR_ACCESS_DENIED, 0, -1});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::filesystem::remove_all(world.Dir() + "/m1/PLAXON");
    PutArchive(c.size > 2000000 ? 1 : c.size);
    std::filesystem::resize_file(world.HostOf('C', "PLAXON/TMP/svp_conf.tgz"), c.size);
    PrepareFloppy(c.freeBytes);
    target.isFloppy = c.floppy;
    ScriptedOperator op;
    for (int id : c.messages)
      op.ExpectMessage(id, static_cast<WORD>(id == 4034 ? c.splitAnswer : plat::IDOK));
    word = 0;
    EXPECT_EQ(WriteBackupVolumes(0, &info, &target, &word), c.result);
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(MessageIds(op), c.messages);
    EXPECT_EQ(Piece("m1").size(), c.result ? c.size : 0u);
    if (c.result) {
      Config4Record r = Volume("m1");
      EXPECT_EQ(r.volumeCount, 1);
      EXPECT_EQ(r.volumeNumber, 0);
      EXPECT_EQ(static_cast<WORD>(r.Config4TypeWord), kSvpType);
    }
  }
  world.Faults().ClearRules();
}

// 2,800,001 bytes: three volumes 0, 1, 2 of one backup, one per medium, the
// floppy just written put back for the next volume (`again`) refused with
// the number of the disk wanted, whatever the answer to the overwrite
// question would have been, and asked for again, its volume kept;
// 2,800,000 bytes, an exact multiple of the piece, two volumes.
struct Split {
  std::size_t size;
  bool again;
};
void PrintTo(const Split& c, std::ostream* out) { *out << c.size << (c.again ? " again" : ""); }
class SplitTest : public BackupMediaTest, public ::testing::WithParamInterface<Split> {};

TEST_P(SplitTest, ArchiveGoesOntoOneMediumPerPiece) {
  const Split c = GetParam();
  const int volumes = c.size > 2800000 ? 3 : 2;
  const char* media[] = {"m1", "m2", "m3"};
  const std::string archive = PutArchive(c.size);
  PrepareFloppy(1457664);
  fixtures::MediaOperator op;
  op.ExpectMessage(4034, plat::IDYES);
  if (c.again) {
    op.names = {"m1", "m2", "m3"};
    op.ExpectMessage(4036, plat::IDOK).ExpectMessage(3835, plat::IDOK);
  }
  for (int n = 1; n < volumes; ++n) op.ExpectMessage(4036, plat::IDOK);
  ASSERT_EQ(WriteBackupVolumes(0, &info, &target, &word), 1) << op.Account();
  if (c.again) {
    EXPECT_EQ(op.Seen().at(2).insert, 2u);
  }
  std::string joined;
  Config4Record first{};
  for (int n = 0; n < volumes; ++n) {
    SCOPED_TRACE(media[n]);
    const std::string piece = Piece(media[n]);
    EXPECT_EQ(piece.size(), n < 2 ? 1400000u : 1u);
    joined += piece;
    Config4Record r = Volume(media[n]);
    EXPECT_EQ(r.volumeCount, volumes);
    EXPECT_EQ(r.volumeNumber, n);
    if (n == 0) first = r;
    EXPECT_EQ(static_cast<DWORD>(r.archiveTimeHigh), static_cast<DWORD>(first.archiveTimeHigh));
    EXPECT_EQ(static_cast<DWORD>(r.archiveTimeLow), static_cast<DWORD>(first.archiveTimeLow));
  }
  EXPECT_NE(static_cast<DWORD>(first.archiveTimeLow) | static_cast<DWORD>(first.archiveTimeHigh),
            0u);
  EXPECT_TRUE(joined == archive);
  if (volumes == 2) {
    EXPECT_EQ(Piece("m3"), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Volumes, SplitTest,
                         ::testing::Values(Split{2800000, false}, Split{2800001, true}));

// Two split backups within one second (the archive's time held still): the
// second writes over the first's media and takes the first's second volume,
// which it did not write, as its own second medium.
TEST_F(BackupMediaTest, TwoBackupsInOneSecondBothSucceed) {
  class StillClock : public plat::ForwardingPlatform {
   public:
    using ForwardingPlatform::ForwardingPlatform;
    HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override {
      HANDLE h = ForwardingPlatform::FindFirstFile(pattern, data);
      if (h) data->ftLastWriteTime = plat::FileTimeOfUnixSeconds(1700000000);
      return h;
    }
  };
  auto previous = plat::Install(std::make_shared<StillClock>(plat::InstalledShared()));
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    const std::string archive = PutArchive(2000000 + static_cast<std::size_t>(run));
    world.MutableWorld().drive('A').Insert(0);
    PrepareFloppy(1457664);
    ScriptedOperator op;
    op.ExpectMessage(4034, plat::IDYES).ExpectMessage(4036, plat::IDOK);
    if (run == 1) op.ExpectMessage(3351, plat::IDYES);  // m2 holds the first backup's volume
    word = 0;
    EXPECT_EQ(WriteBackupVolumes(0, &info, &target, &word), 1) << op.Account();
    EXPECT_TRUE(Piece("m1") + Piece("m2") == archive);
  }
  plat::Install(previous);
}

// What the preparation makes of the medium in drive E:.
TEST_F(BackupMediaTest, PreparationTakesBlankAndBackupMediaOnly) {
  struct Case {
    const char* name;
    std::string config4;  // empty: a blank medium
    bool oldArchive;
    bool protectedMedium;
    int result;
    WORD word;
    std::vector<int> messages;
    const char* line;
  };
  const Case cases[] = {
      {"blank", "", false, false, 1, 0, {}, nullptr},
      {"backup medium", Config4(kSvpType, 1, 0), false, false, 1, 0, {}, nullptr},
      {"untyped", Config4(0xFFFF, 1, 0), false, false, 0, 0x4000, {3677}, "Not Config FD"},
      {"flat", Config4(kSvpType, 0xFF, 0), false, false, 0, 0x4000, {3677}, "Not Config FD"},
      {"old archive kept", Config4(kSvpType, 1, 0), true, false, 0, 0x4000, {3351}, "Selected NO"},
      {"write protected", "", false, true, 0, 0x4000, {3193}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(world.DriveDir('E'));
    std::filesystem::create_directories(world.DriveDir('E'));
    if (!c.config4.empty()) world.WriteHostFile('E', "PLAXON/CONFIG/config4", c.config4);
    if (c.oldArchive) world.WriteHostFile('E', std::string(kSerialDir) + "svp_conf.tgz", "old");
    world.MutableWorld().drive('E').writeProtected = c.protectedMedium;
    ScriptedOperator op;
    op.ExpectDialog(106).SelectText(1007, "E").Click(1);
    for (int id : c.messages)
      op.ExpectMessage(id, id == 3351 ? plat::IDNO : id == 3193 ? plat::IDRETRY : plat::IDOK);
    if (c.result == 0 && !c.oldArchive) op.ExpectDialog(106).Click(2);
    std::memset(&target, 0, sizeof target);
    word = 0;
    EXPECT_EQ(PrepareBackupMedia(0, &target, 0, &word), c.result);
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(MessageIds(op), c.messages);
    auto trace = world.TakeTrace();
    if (c.line) {
      EXPECT_TRUE(TestWorld::Contains(trace, c.line));
    }
    if (c.result == 1) {
      EXPECT_STREQ(target.archivePath, "E:\\PLAXON\\CONFIG\\412345\\svp_conf.tgz");
      EXPECT_TRUE(world.HostExists('E', kSerialDir));
      EXPECT_FALSE(world.HostExists('E', "xonf"));
    }
  }
  world.MutableWorld().drive('E').writeProtected = false;
}

// A floppy whose free space, counting the old archive that will be
// replaced, is 1,399,999 bytes takes no archive: 0x4107 before any question.
// The same bytes in temporaries a killed backup left beside the backup's
// files are room: they go before the medium is measured. The audit record:
// operation 10 with the version of config.inf after a success, "----" after
// a failure; none after a cancel.
TEST_F(BackupMediaTest, WhatTakesTheRoomOfAFloppyAndTheAuditRecord) {
  struct Case {
    const char* name;
    std::vector<std::string> fill;  // files of the medium sharing the fill
    int result;
    std::vector<int> messages;
  };
  const std::string serial = kSerialDir;
  const Case cases[] = {
      {"another file", {"other.dat"}, 0, {3351, 4035}},
      {"left temporaries",
       {serial + "svp_conf.tgz.~tv0000ABCD", serial + "config4.~tv00000001",
        "PLAXON/CONFIG/config4.~tv00000002"},
       1,
       {3351, 4034, 4036, 3188}},
  };
  world.WriteHostFile('C', "PLAXON/CONFIG/big.dat", Incompressible(2000000, 7));
  const std::size_t oldArchive = 100000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(world.Dir() + "/m1/PLAXON");
    std::filesystem::remove_all(world.Dir() + "/m1/other.dat");
    world.MutableWorld().drive('A').Insert(0);
    const auto put = [&](const std::string& relative, std::size_t size, char byte) {
      const std::filesystem::path host = world.Dir() + "/m1/" + relative;
      std::filesystem::create_directories(host.parent_path());
      std::ofstream(host, std::ios::binary) << std::string(size, byte);
    };
    put(serial + "svp_conf.tgz", oldArchive, 'o');
    const std::size_t fill = kFloppy - 1399999;
    for (std::size_t i = 0; i < c.fill.size(); ++i)
      put(c.fill[i], fill / c.fill.size() + (i == 0 ? fill % c.fill.size() : 0), 'x');
    ScriptedOperator op;
    op.ExpectDialog(106).SelectText(1007, "A").Click(1);
    op.ExpectMessage(3351, plat::IDYES);
    if (c.result) {
      op.ExpectMessage(4034, plat::IDYES)
          .ExpectMessage(4036, plat::IDOK)
          .ExpectMessage(3188, plat::IDOK);
    } else {
      op.ExpectMessage(4035, plat::IDOK);
    }
    word = 0;
    EXPECT_EQ(Talver_BackupConfigToMedia(0, &word), c.result) << op.Account();
    EXPECT_EQ(MessageIds(op), c.messages);
    if (!c.result) {
      EXPECT_EQ(word, 0x4107);
      EXPECT_EQ(MediumFile("m1", serial + "svp_conf.tgz").size(), oldArchive);
    }
    for (const auto& e : std::filesystem::recursive_directory_iterator(world.Dir() + "/m1"))
      EXPECT_EQ(e.path().string().find(".~tv"), std::string::npos) << e.path();
  }
  ScriptedOperator op;
  op.ExpectDialog(106).Click(2);
  EXPECT_EQ(Talver_BackupConfigToMedia(0, &word), 0);
  EXPECT_EQ(word, 0x4000);
  auto records = fixtures::AuditRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].operation, "Backup Config");
  EXPECT_EQ(records[0].outcome, "Error");
  EXPECT_EQ(records[0].detail, "Ver.=----");
  EXPECT_EQ(records[1].outcome, "Normal end");
  EXPECT_EQ(records[1].detail, "Ver.=01-02-03/60");
}

}  // namespace
