// Archive commands: the create and extract command lines, the extract list
// with its line count, the check files and the archive job.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "archive/CnfBakup.h"
#include "archive/CnfCmpThd.h"
#include "common/CompressRequest.h"
#include "support/TestWorld.h"
#include "support/TgzWriter.h"
#include "tar32/Tar32.h"

namespace {

std::vector<std::string> Entries(const char* path) {
  std::vector<std::string> names;
  HARC h = TarOpenArchive(0, path, 0x200);
  if (!h) return names;
  TarEntryRecord record{};
  for (int rc = TarFindFirst(h, "*.*", &record); rc == 0; rc = TarFindNext(h, &record))
    names.push_back(record.fileName);
  TarCloseArchive(h);
  return names;
}

const char kArchive[] = "C:\\PLAXON\\TMP\\svp_conf.tgz";
const char kPlaxon[] = "C:\\PLAXON\\";

class ArchiveCommands : public ::testing::Test {
 protected:
  // kArchive with exactly these entries, each holding "data of " and its name.
  void WriteArchive(const std::vector<std::string>& names) {
    std::map<std::string, std::string> entries;
    for (const std::string& name : names) entries[name] = "data of " + name;
    ASSERT_TRUE(WriteTgz(world_.HostOf('C', "PLAXON/TMP/svp_conf.tgz"), entries));
  }
  // Runs the archive job on this thread; the state word it left.
  int RunJob(std::int16_t mode, const char* archive, const char* directory, DWORD display = 0,
             HWND window = 0) {
    CompressRequest request{};
    request.dialogWindow = window;
    request.mode = mode;
    request.displayFlag = display;
    std::snprintf(request.archivePath, MAX_PATH, "%s", archive);
    std::snprintf(request.directory, MAX_PATH, "%s", directory);
    CompressThreadState = 7;
    Talver_CompressThread(&request);
    return CompressThreadState.load();
  }
  TestWorld world_;
};

}  // namespace

TEST_F(ArchiveCommands, CreatePacksTheListedTreeAndDropsTheStaleInnerArchive) {
  world_.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "c");
  world_.WriteHostFile('C', "PLAXON/CONFIG/MIN500C.DAT", "listed: other case");
  world_.WriteHostFile('C', "PLAXON/CONFIG/CNFDATA/min500c.dat", "left out");
  world_.WriteHostFile('C', "PLAXON/CONFIG/CNFDATA/deep/t.dat", "t");
  world_.WriteHostFile('C', "PLAXON/CONFIG/svp_conf.tgz", "stale");
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 1);
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/CONFIG/svp_conf.tgz"));
  auto names = Entries(kArchive);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"CONFIG/CNFDATA/deep/t.dat", "CONFIG/MIN500C.DAT",
                                             "CONFIG/config.inf"}));
}

TEST_F(ArchiveCommands, FailuresAreTracedWithTheirCodes) {
  world_.TakeTrace();
  // A mode other than create and extract.
  EXPECT_EQ(CompressCommand(kArchiveTableConversion, 0, kArchive, kPlaxon), 0);
  auto trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::TracedAt(trace, "CnfCmpThd.cpp"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0xA"));
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/cnfbaklist"));
  // The archiver's own codes: no target, then no archive.
  EXPECT_EQ(CompressCommand(kArchiveExtractAll, 0, "C:\\PLAXON\\TMP\\missing.tgz", "C:\\OUT\\"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ErrCode=0x800A"));
  world_.MakeHostDir('C', "OUT");
  EXPECT_EQ(CompressCommand(kArchiveExtractAll, 0, "C:\\PLAXON\\TMP\\missing.tgz", "C:\\OUT\\"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ErrCode=0x8002"));
  // A backup list that cannot be written stops before the archiver.
  world_.Faults().AddRule({plat::FaultOp::Open, "cnfbaklist", ERROR_ACCESS_DENIED, 0, -1});
  EXPECT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 0);
  trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR fopen"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0x1"));
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/svp_conf.tgz"));
}

TEST_F(ArchiveCommands, PathsWithBlanksNameExactlyTheirFiles) {
  world_.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "c");
  world_.MakeHostDir('C', "My Files");
  world_.MakeHostDir('C', "My");  // what the first word alone would name
  world_.MakeHostDir('C', "My Out");
  // A target with a blank: nothing lands in the folder of its first word.
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 1);
  EXPECT_EQ(CompressCommand(kArchiveExtractAll, 0, kArchive, "C:\\My Out\\"), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "My Out/CONFIG/config.inf"), "c");
  EXPECT_FALSE(world_.HostExists('C', "My/CONFIG"));
  // The check files of an archive whose path holds a blank, and only they.
  const char archive[] = "C:\\My Files\\svp_conf.tgz";
  for (const char* name : {"DKCPRP.DAT", "LMCPT.DAT", "SVP_MAIN.INI", "X.DAT"})
    world_.WriteHostFile('C', std::string("PLAXON/CONFIG/") + name, name);
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, archive, kPlaxon), 1);
  EXPECT_EQ(Talver_ExtractCheckFiles(archive), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/LMCPT.DAT"), "LMCPT.DAT");
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/X.DAT"));
}

// Every name a pattern matches counts, in any case: CONFIG.INF and its .old
// twice, so that an archive without LMCPT.DAT still has the four expected.
TEST_F(ArchiveCommands, ExtractListCountsEveryMatchingPattern) {
  WriteArchive({"CONFIG/CONFIG.INF", "CONFIG/CONFIG.INF.old", "CONFIG/DKCPRP.DAT",
                "CONFIG/svp_main.ini", "CONFIG/other.dat"});
  const char* const patterns[] = {"CONFIG/DKCPRP.DAT", "CONFIG/CONFIG.INF", "CONFIG/LMCPT.DAT",
                                  "CONFIG/SVP_MAIN.INI"};
  EXPECT_EQ(Talver_MakeExtractList(kArchive, patterns, 4), 4);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/cnflist"),
            "CONFIG/CONFIG.INF\r\nCONFIG/CONFIG.INF.old\r\nCONFIG/DKCPRP.DAT\r\n"
            "CONFIG/svp_main.ini\r\n");
  // Two patterns in one name: written and counted twice.
  const char* const twice[] = {"CONFIG/", "CONFIG.INF"};
  EXPECT_EQ(Talver_MakeExtractList(kArchive, twice, 2), 7);

  ASSERT_EQ(Talver_ExtractCheckFiles(kArchive), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/CONFIG.INF"), "data of CONFIG/CONFIG.INF");
  EXPECT_TRUE(world_.HostExists('C', "PLAXON/TMP/DKCPRP.DAT"));
  EXPECT_TRUE(world_.HostExists('C', "PLAXON/TMP/svp_main.ini"));
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/LMCPT.DAT"));
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/CONFIG"));
  Talver_DeleteCheckFiles();
  for (const char* name : {"CONFIG.INF", "DKCPRP.DAT", "svp_main.ini"})
    EXPECT_FALSE(world_.HostExists('C', std::string("PLAXON/TMP/") + name)) << name;
  Talver_DeleteCheckFiles();  // missing files are no error
}

TEST_F(ArchiveCommands, CheckFileExtractionFailures) {
  world_.TakeTrace();
  EXPECT_EQ(Talver_ExtractCheckFiles("C:\\PLAXON\\TMP\\none.tgz"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR File"));
  world_.WriteHostFile('C', "PLAXON/TMP/zero.tgz", "");
  EXPECT_EQ(Talver_ExtractCheckFiles("C:\\PLAXON\\TMP\\zero.tgz"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR File"));
  // An empty configuration still runs the archiver over an old archive; the
  // archive without entries gives an empty list, count 0.
  world_.WriteHostFile('C', "PLAXON/TMP/svp_conf.tgz", "an old archive");
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/cnfbaklist"), "");
  EXPECT_EQ(TarGetFileCount(kArchive), 0);
  world_.TakeTrace();
  EXPECT_EQ(Talver_ExtractCheckFiles(kArchive), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ErrCode=0x0"));
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/cnflist"), "");
  // Not an archive at all: the list cannot be made.
  world_.WriteHostFile('C', "PLAXON/TMP/junk.tgz", "not an archive at all");
  EXPECT_EQ(Talver_ExtractCheckFiles("C:\\PLAXON\\TMP\\junk.tgz"), 0);
  auto trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR TarOpenArchive"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0xFFFFFFFF"));
}

TEST_F(ArchiveCommands, TheJobCreatesAndExtractsWithIntDataFiles) {
  world_.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "c");
  world_.WriteHostFile('C', "PLAXON/CONFIG/CNFDATA/t.dat", "t");
  world_.WriteHostFile('C', "PLAXON/OTHERS/INTDATA/min500c.dat", "int c");
  world_.WriteHostFile('C', "PLAXON/OTHERS/INTDATA/min500d.dat", "int d");
  ASSERT_EQ(RunJob(kArchiveCreate, kArchive, kPlaxon), 1);
  world_.MakeHostDir('C', "NEW/OTHERS/INTDATA");
  world_.WriteHostFile('C', "NEW/OTHERS/INTDATA/min500c.dat", "int c");
  world_.WriteHostFile('C', "NEW/OTHERS/INTDATA/min500d.dat", "int d");
  ASSERT_EQ(RunJob(kArchiveExtractAll, kArchive, "C:\\NEW\\"), 1);
  // The folders made beforehand are found case-insensitively.
  EXPECT_EQ(world_.ReadHostFile('C', "NEW/config/CNFDATA/t.dat"), "t");
  EXPECT_EQ(world_.ReadHostFile('C', "NEW/config/min500c.dat"), "int c");
}

TEST_F(ArchiveCommands, JobFailuresSetMinusOne) {
  world_.TakeTrace();
  EXPECT_EQ(RunJob(kArchiveExtractAll, "C:\\PLAXON\\TMP\\missing.tgz", "C:\\PLAXON\\TMP\\"), -1);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR CompressCommand"));
  // Display flag 1 without a dialog window: the owner window cannot be set.
  EXPECT_EQ(RunJob(kArchiveExtractAll, "C:\\PLAXON\\TMP\\missing.tgz", "C:\\PLAXON\\TMP\\", 1), -1);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR TarSetOwnerWindow"));
  // The directory operation on the unpacked tree fails.
  world_.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "c");
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 1);
  world_.MutableWorld().settings["services.dir_operation_fails"] = "1";
  world_.TakeTrace();
  EXPECT_EQ(RunJob(kArchiveExtractAll, kArchive, "C:\\PLAXON\\TMP\\"), -1);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ErrCode=0x700"));
  // A job that reported to a dialog leaves the archiver without an owner
  // window on every way out, failed ones included.
  const HWND dialog = (HWND)0x1234;  // a handle on either half
  EXPECT_EQ(RunJob(kArchiveExtractAll, kArchive, "C:\\PLAXON\\TMP\\", 1, dialog), -1);
  EXPECT_EQ(TarOwnerWindow(), HWND{});
  EXPECT_EQ(
      RunJob(kArchiveExtractAll, "C:\\PLAXON\\TMP\\missing.tgz", "C:\\PLAXON\\TMP\\", 1, dialog),
      -1);
  EXPECT_EQ(TarOwnerWindow(), HWND{});
}

// The marker of an interrupted backup names its folder by a whole stamp of
// fourteen digits: a folder that no backup made is never taken for one.
TEST_F(ArchiveCommands, TheMarkerNamesAnInterruptedBackupOnlyByAWholeStamp) {
  const std::pair<const char*, bool> rows[] = {{"20230101000000", true}, {"2023010100000x", false}};
  for (const auto& [name, interrupted] : rows) {
    SCOPED_TRACE(name);
    world_.WriteHostFile('C', std::string("PLAXON/OTHERS/BACKUP/") + name + "/other", "x");
    world_.WriteHostFile('C', "PLAXON/OTHERS/BACKUP/cnfbkdir.tmp", name);
    std::map<std::string, bool> seen;
    auto note = [](const BackupFolder& folder, void* context) {
      (*static_cast<std::map<std::string, bool>*>(context))[folder.name] = folder.interrupted;
    };
    ASSERT_EQ(Talver_ListBackupDirectories(note, &seen), 1);
    ASSERT_EQ(seen.count(name), 1u);
    EXPECT_EQ(seen[name], interrupted);
  }
}
