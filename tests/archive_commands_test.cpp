// Archive commands: the create and extract command lines, the backup list,
// the extract list with its line count, the check files and the archive job.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/CnfCmpThd.h"
#include "archive/CompressRequest.h"
#include "common/Globals.h"
#include "support/TestWorld.h"
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

bool Has(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

// An archive with exactly these entries, written on the host.
void WriteArchive(const std::string& hostPath, const std::vector<std::string>& names) {
  archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  archive_write_add_filter_gzip(a);
  archive_write_open_filename(a, hostPath.c_str());
  for (const std::string& name : names) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.c_str());
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    std::string data = "data of " + name;
    archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
    archive_write_header(a, e);
    archive_write_data(a, data.data(), data.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
}

const char kArchive[] = "C:\\PLAXON\\TMP\\svp_conf.tgz";
const char kPlaxon[] = "C:\\PLAXON\\";

class ArchiveCommands : public ::testing::Test {
 protected:
  TestWorld world_;
};

}  // namespace

TEST_F(ArchiveCommands, CreateListsTheTreeWithCrLfAndLeavesOutInternalFilesAtAnyDepth) {
  world_.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "c");
  world_.WriteHostFile('C', "PLAXON/CONFIG/MIN500C.DAT", "listed: other case");
  world_.WriteHostFile('C', "PLAXON/CONFIG/min500d.dat", "left out");
  world_.WriteHostFile('C', "PLAXON/CONFIG/CNFDATA/min500c.dat", "left out");
  world_.WriteHostFile('C', "PLAXON/CONFIG/CNFDATA/deep/svphdev0.dat", "left out");
  world_.WriteHostFile('C', "PLAXON/CONFIG/CNFDATA/deep/t.dat", "t");
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 1);
  std::string list = world_.ReadHostFile('C', "PLAXON/TMP/cnfbaklist");
  EXPECT_NE(list.find("CONFIG/CNFDATA/deep/t.dat\r\n"), std::string::npos);
  auto names = Entries(kArchive);
  EXPECT_EQ(names.size(), 3u);
  EXPECT_TRUE(Has(names, "CONFIG/config.inf"));
  EXPECT_TRUE(Has(names, "CONFIG/MIN500C.DAT"));
  EXPECT_TRUE(Has(names, "CONFIG/CNFDATA/deep/t.dat"));
}

TEST_F(ArchiveCommands, EmptyConfigurationStillRunsTheArchiver) {
  world_.WriteHostFile('C', "PLAXON/TMP/svp_conf.tgz", "an old archive");
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/cnfbaklist"), "");
  EXPECT_EQ(TarGetFileCount(kArchive), 0);
}

TEST_F(ArchiveCommands, CreateDeletesTheStaleInnerArchiveFirst) {
  world_.WriteHostFile('C', "PLAXON/CONFIG/svp_conf.tgz", "stale");
  world_.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "c");
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 1);
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/CONFIG/svp_conf.tgz"));
  EXPECT_EQ(Entries(kArchive), std::vector<std::string>{"CONFIG/config.inf"});
}

TEST_F(ArchiveCommands, ModesOtherThanCreateAndExtractAreRejected) {
  world_.TakeTrace();
  EXPECT_EQ(CompressCommand(kArchiveTableConversion, 0, kArchive, kPlaxon), 0);
  auto trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "CnfCmpThd.cpp"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0xA"));
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/cnfbaklist"));
}

TEST_F(ArchiveCommands, AFailingArchiverIsTracedWithItsCode) {
  world_.TakeTrace();
  EXPECT_EQ(CompressCommand(kArchiveExtractAll, 0, "C:\\PLAXON\\TMP\\missing.tgz", "C:\\OUT\\"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ErrCode=0x800A"));
  world_.MakeHostDir('C', "OUT");
  EXPECT_EQ(CompressCommand(kArchiveExtractAll, 0, "C:\\PLAXON\\TMP\\missing.tgz", "C:\\OUT\\"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ErrCode=0x8002"));
}

TEST_F(ArchiveCommands, BackupListNotWrittenStopsBeforeTheArchiver) {
  world_.Faults().AddRule({plat::FaultOp::Open, "cnfbaklist", ERROR_ACCESS_DENIED, 0, -1});
  world_.TakeTrace();
  EXPECT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 0);
  auto trace = world_.TakeTrace();
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
  const char archive[] = "C:\\My Files\\svp_conf.tgz";
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, archive, kPlaxon), 1);
  EXPECT_EQ(Entries(archive), std::vector<std::string>{"CONFIG/config.inf"});
  ASSERT_EQ(CompressCommand(kArchiveExtractAll, 0, archive, "C:\\My Out\\"), 1);
  // The check files of an archive whose path holds a blank.
  for (const char* name : {"DKCPRP.DAT", "LMCPT.DAT", "SVP_MAIN.INI"})
    world_.WriteHostFile('C', std::string("PLAXON/CONFIG/") + name, name);
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, archive, kPlaxon), 1);
  EXPECT_EQ(Talver_ExtractCheckFiles(archive), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/LMCPT.DAT"), "LMCPT.DAT");
}

TEST_F(ArchiveCommands, ExtractListCountsEveryMatchingPattern) {
  WriteArchive(world_.HostOf('C', "PLAXON/TMP/svp_conf.tgz"),
               {"CONFIG/config.inf", "CONFIG/CONFIG.INF.old", "CONFIG/DKCPRP.DAT",
                "CONFIG/svp_main.ini", "CONFIG/other.dat"});
  const char* const patterns[] = {"CONFIG/DKCPRP.DAT", "CONFIG/CONFIG.INF", "CONFIG/LMCPT.DAT",
                                  "CONFIG/SVP_MAIN.INI"};
  EXPECT_EQ(Talver_MakeExtractList(kArchive, patterns, 4), 4);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/cnflist"),
            "CONFIG/config.inf\r\nCONFIG/CONFIG.INF.old\r\nCONFIG/DKCPRP.DAT\r\n"
            "CONFIG/svp_main.ini\r\n");
  // Two patterns in one name: written and counted twice.
  const char* const twice[] = {"CONFIG/", "CONFIG.INF"};
  EXPECT_EQ(Talver_MakeExtractList(kArchive, twice, 2), 7);
}

TEST_F(ArchiveCommands, TheDoubleCountLetsAnArchiveWithoutLmcptPass) {
  WriteArchive(
      world_.HostOf('C', "PLAXON/TMP/svp_conf.tgz"),
      {"CONFIG/CONFIG.INF", "CONFIG/CONFIG.INF.old", "CONFIG/DKCPRP.DAT", "CONFIG/SVP_MAIN.INI"});
  ASSERT_EQ(Talver_ExtractCheckFiles(kArchive), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/CONFIG.INF"), "data of CONFIG/CONFIG.INF");
  EXPECT_TRUE(world_.HostExists('C', "PLAXON/TMP/DKCPRP.DAT"));
  EXPECT_TRUE(world_.HostExists('C', "PLAXON/TMP/SVP_MAIN.INI"));
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/LMCPT.DAT"));
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/CONFIG"));
  Talver_DeleteCheckFiles();
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/CONFIG.INF"));
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/DKCPRP.DAT"));
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/SVP_MAIN.INI"));
  Talver_DeleteCheckFiles();  // missing files are no error
}

TEST_F(ArchiveCommands, CheckFilesOfARealCreate) {
  for (const char* name : {"DKCPRP.DAT", "CONFIG.INF", "LMCPT.DAT", "SVP_MAIN.INI", "X.DAT"})
    world_.WriteHostFile('C', std::string("PLAXON/CONFIG/") + name, name);
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 1);
  ASSERT_EQ(Talver_ExtractCheckFiles(kArchive), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/LMCPT.DAT"), "LMCPT.DAT");
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/X.DAT"));
}

TEST_F(ArchiveCommands, CheckFileExtractionFailures) {
  world_.TakeTrace();
  EXPECT_EQ(Talver_ExtractCheckFiles("C:\\PLAXON\\TMP\\none.tgz"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR File"));
  world_.WriteHostFile('C', "PLAXON/TMP/zero.tgz", "");
  EXPECT_EQ(Talver_ExtractCheckFiles("C:\\PLAXON\\TMP\\zero.tgz"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR File"));
  // An archive without entries: empty list, count 0.
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 1);
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
  CompressRequest create{};
  create.mode = kArchiveCreate;
  std::snprintf(create.archivePath, MAX_PATH, "%s", kArchive);
  std::snprintf(create.directory, MAX_PATH, "%s", kPlaxon);
  CompressThreadState = 7;
  Talver_CompressThread(&create);
  ASSERT_EQ(CompressThreadState.load(), 1);

  world_.MakeHostDir('C', "NEW/OTHERS/INTDATA");
  world_.WriteHostFile('C', "NEW/OTHERS/INTDATA/min500c.dat", "int c");
  world_.WriteHostFile('C', "NEW/OTHERS/INTDATA/min500d.dat", "int d");
  CompressRequest extract{};
  extract.mode = kArchiveExtractAll;
  std::snprintf(extract.archivePath, MAX_PATH, "%s", kArchive);
  std::snprintf(extract.directory, MAX_PATH, "C:\\NEW\\");
  Talver_CompressThread(&extract);
  ASSERT_EQ(CompressThreadState.load(), 1);
  // The folders made beforehand are found case-insensitively.
  EXPECT_EQ(world_.ReadHostFile('C', "NEW/config/CNFDATA/t.dat"), "t");
  EXPECT_EQ(world_.ReadHostFile('C', "NEW/config/min500c.dat"), "int c");
}

TEST_F(ArchiveCommands, JobFailuresSetMinusOne) {
  CompressRequest request{};
  request.mode = kArchiveExtractAll;
  std::snprintf(request.archivePath, MAX_PATH, "C:\\PLAXON\\TMP\\missing.tgz");
  std::snprintf(request.directory, MAX_PATH, "C:\\PLAXON\\TMP\\");
  world_.TakeTrace();
  Talver_CompressThread(&request);
  EXPECT_EQ(CompressThreadState.load(), -1);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR CompressCommand"));

  // Display flag 1 without a dialog window: the owner window cannot be set.
  request.displayFlag = 1;
  Talver_CompressThread(&request);
  EXPECT_EQ(CompressThreadState.load(), -1);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR TarSetOwnerWindow"));

  // The directory operation on the unpacked tree fails.
  world_.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "c");
  ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, kPlaxon), 1);
  world_.MutableWorld().settings["services.dir_operation_fails"] = "1";
  request.displayFlag = 0;
  std::snprintf(request.archivePath, MAX_PATH, "%s", kArchive);
  std::snprintf(request.directory, MAX_PATH, "C:\\PLAXON\\TMP\\");
  world_.TakeTrace();
  Talver_CompressThread(&request);
  EXPECT_EQ(CompressThreadState.load(), -1);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ErrCode=0x700"));
}
