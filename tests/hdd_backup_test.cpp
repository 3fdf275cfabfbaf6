// HDD backups: the stamp, the marker, the folder, the worker watch, the DIFF
// copy and the retention of 100 valid backups.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "archive/CnfBakup.h"
#include "common/Globals.h"
#include "exports/Exports.h"
#include "exports/Operations.h"
#include "host/talver_host.h"
#include "platform/Platform.h"
#include "support/FlowFixtures.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "svpsvc/SvpServices.h"

namespace {

void MakeConfig(TestWorld& w) {
  w.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "SVPCONF 01020360\r\n");
  w.WriteHostFile('C', "PLAXON/CONFIG/CNFDATA/TBL000.DAT", std::string(5000, 'a'));
}

// Lines that hold the text as whole words.
int CountMatches(const std::vector<std::string>& lines, const std::string& text) {
  int n = 0;
  for (const auto& l : lines) n += TestWorld::Contains({l}, text);
  return n;
}

// svpconf backups lists by the retention's own scan: for each shape of entry
// below the backup root, the list's valid folders are exactly those the
// retention counts, and its oldest and newest (compared without case).
struct ScanRow {
  const char* what;
  const char* name;   // the entry below the backup root
  const char* file;   // written inside it; "" the entry is that file, "->" a link
  const char* state;  // as svpconf backups shows it; "" not listed
};

class HddBackupScanTable : public ::testing::TestWithParam<ScanRow> {};

INSTANTIATE_TEST_SUITE_P(
    Shapes, HddBackupScanTable,
    ::testing::Values(ScanRow{"stamp", "20220101000000", "svp_conf.tgz", "valid"},
                      ScanRow{"not_a_stamp", "ZZ-MANUAL", "svp_conf.tgz", "valid"},
                      ScanRow{"backslashes", "x\\..\\20210101000000", "svp_conf.tgz", ""},
                      ScanRow{"linked_folder", "00000000000000", "->", "invalid"},
                      ScanRow{"file_for_a_folder", "20230101000000", "", ""},
                      ScanRow{"archive_a_folder", "20230101000000", "svp_conf.tgz/x", "invalid"},
                      ScanRow{"no_archive", "20230101000000", "other", "invalid"},
                      ScanRow{"temporary_left", "20230101000000", "svp_conf.tgz.~tv0000ABCD",
                              "interrupted"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_P(HddBackupScanTable, ListedAsTheRetentionCounts) {
  const ScanRow& row = GetParam();
  TestWorld w;
  fixtures::PutHddBackups(w, 2, 2021, "x");
  const std::string entry = std::string("PLAXON/OTHERS/BACKUP/") + row.name;
  if (std::string(row.file) == "->") {
    SKIP_ON_WINDOWS("host symbolic links are made on the host");
    const std::string outside = w.MakeOutsideDir("linked");
    std::ofstream(outside + "/svp_conf.tgz") << "x";
    w.MakeHostLink('C', entry, outside);
  } else if (*row.file) {
    w.MakeHostDir('C', entry);
    w.WriteHostFile('C', entry + "/" + row.file, row.name);
  } else {
    w.WriteHostFile('C', entry, "x");
  }
  std::map<std::string, std::string> listed;
  auto each = [](const BackupFolder& folder, void* context) {
    (*static_cast<std::map<std::string, std::string>*>(context))[folder.name] =
        folder.valid         ? "valid"
        : folder.interrupted ? "interrupted"
                             : "invalid";
  };
  ASSERT_EQ(Talver_ListBackupDirectories(each, &listed), 1);
  EXPECT_EQ(listed.count(row.name) ? listed[row.name] : "", row.state);
  std::vector<std::string> valid;
  for (const auto& [name, state] : listed)
    if (state == "valid") valid.push_back(name);
  std::sort(valid.begin(), valid.end(), [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  char oldest[MAX_PATH], newest[MAX_PATH];
  WORD count = 0;
  ASSERT_EQ(Talver_FindBackupDirectory(oldest, &count, 2), 1);
  ASSERT_EQ(Talver_FindBackupDirectory(newest, &count, 1), 1);
  EXPECT_EQ(count, valid.size());
  EXPECT_EQ(oldest, "C:\\plaxon\\others\\backup\\" + valid.front());
  EXPECT_EQ(newest, "C:\\plaxon\\others\\backup\\" + valid.back());
}

TEST(HddBackupScan, MissingRootOrNothingValid) {
  TestWorld w;
  char path[MAX_PATH] = "untouched";
  WORD count = 7;
  EXPECT_EQ(Talver_FindBackupDirectory(path, &count, 2), 0);
  EXPECT_EQ(count, 0);
  ASSERT_TRUE(plat::RemoveDirectory("C:\\PLAXON\\OTHERS\\BACKUP"));
  w.TakeTrace();
  std::snprintf(path, sizeof path, "untouched");
  count = 7;
  EXPECT_EQ(Talver_FindBackupDirectory(path, &count, 2), 0);
  EXPECT_EQ(count, 7);
  EXPECT_STREQ(path, "untouched");
  EXPECT_TRUE(TestWorld::Contains(w.TakeTrace(), "ERR Not DIR"));
}

// A link inside an old backup goes with it; what it points at stays.
TEST(HddBackupParts, DeletingABackupRemovesItsLinksOnly) {
  SKIP_ON_WINDOWS("host links are made on the host");
  TestWorld w;
  std::string outside = w.MakeOutsideDir("outside");
  w.WriteHostFile('C', "PLAXON/OTHERS/BACKUP/20200101000000/svp_conf.tgz", "x");
  w.MakeHostLink('C', "PLAXON/OTHERS/BACKUP/20200101000000/folder", outside);
  w.MakeHostLink('C', "PLAXON/OTHERS/BACKUP/20200101000000/sub/file", outside + "/kept");
  EXPECT_EQ(Talver_DeleteDirectory("C:\\PLAXON\\OTHERS\\BACKUP\\20200101000000"), 1);
  EXPECT_FALSE(w.HostLinkExists('C', "PLAXON/OTHERS/BACKUP/20200101000000/folder"));
  EXPECT_FALSE(w.HostExists('C', "PLAXON/OTHERS/BACKUP/20200101000000"));
  EXPECT_EQ(w.ReadHostFile('C', "../../outside/kept"), "outside");
}

// One step of the backup failing: the backup ends with its result, word
// and trace line (traced `times` times, `also` `alsoTimes` times), with no
// archive path handed back and no old backup deleted; `made`: the new backup
// counts though the step failed (a failed DIFF copy leaves it whole).
// `overrun`: a configuration too large to pack within 60 waits of no time.
struct StepFault {
  const char* name;
  plat::FaultRule rule;
  int result;
  WORD word;
  const char* line;
  int times;
  const char* also = "[Retry]*";
  int alsoTimes = 0;
  bool made = false;
  bool overrun = false;
};

plat::FaultRule Rule(plat::FaultOp op, const char* path, DWORD error, int times = -1) {
  return {op, path, error, 0, times};
}

void PrintTo(const StepFault& row, std::ostream* out) { *out << row.name; }

class HddBackupStepFault : public ::testing::TestWithParam<StepFault> {};

using plat::FaultOp;
INSTANTIATE_TEST_SUITE_P(
    Steps, HddBackupStepFault,
    ::testing::Values(
        // Two backups in one second meet at one folder, which is never reused.
        StepFault{"FolderTaken", Rule(FaultOp::CreateDir, "BACKUP", ERROR_ALREADY_EXISTS), 0, 0,
                  "ERR Talver_CreateBackupDirectory", 1},
        StepFault{"List", Rule(FaultOp::Open, "cnfbaklist", ERROR_ACCESS_DENIED), 0, 0x4004,
                  "ErrCode=0x1", 1},
        StepFault{"Archiver", Rule(FaultOp::Open, "svp_conf.tgz", ERROR_ACCESS_DENIED), 0, 0x4004,
                  "Talver_HddBacukupConfig(Failure)", 1},
        // The worker is not retried on a failure of its own, and counts as an
        // attempt when it cannot start.
        StepFault{"WorkerStart", Rule(FaultOp::Thread, "", ERROR_NOT_ENOUGH_MEMORY), 0, 0x4004,
                  "Talver_HddBacukupConfig(hThread==NULL)", 2, "Talver_HddBacukupConfig(Timeout)",
                  1},
        // The backup's own error-code line carries the system's last error.
        StepFault{"DiffCopy", Rule(FaultOp::Open, "\\DIFF", ERROR_ACCESS_DENIED), 0, 0,
                  "ErrCode=0x5", 1, "[Retry]*", 0, true},
        StepFault{"ConfigMissing", Rule(FaultOp::Find, "CONFIG\\*.*", ERROR_PATH_NOT_FOUND), 0,
                  0x4004, "ERR ListDirectoryFiles(search)", 1},
        StepFault{"ConfigFolderUnsearchable", Rule(FaultOp::Find, "CNFDATA\\*.*", ERROR_NOT_READY),
                  0, 0x4004, "ERR ListDirectoryFiles(search)", 1},
        // The retention stops at an oldest backup it cannot remove.
        StepFault{"Retention", Rule(FaultOp::Delete, "20200101000000", ERROR_ACCESS_DENIED), 1, 0,
                  "ERR Talver_DeleteDirectory(retention stopped)", 1},
        // A worker that overruns is stopped twice, then the backup times out.
        StepFault{"WorkerOverruns", Rule(FaultOp::Thread, "", 0, 0), 0, 0x4004,
                  "[Retry]Terminate(Talver_CnfBackupThread)==TRUE", 2,
                  "Talver_HddBacukupConfig(Timeout)", 1, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(HddBackupStepFault, EndsWithItsWordAndKeepsTheOldBackups) {
  const StepFault& row = GetParam();
  TestWorld w;
  MakeConfig(w);
  fixtures::PutHddBackups(w, 101, 2020, "x");
  const std::string blob = row.overrun ? fixtures::Incompressible(4 << 20, 7) : "";
  for (int i = 0; i < 6 && row.overrun; ++i)
    w.WriteHostFile('C', "PLAXON/CONFIG/BLOB" + std::to_string(i) + ".DAT", blob);
  if (row.overrun) w.MutableWorld().settings["services.wait_ms"] = "0";
  w.Faults().AddRule(row.rule);
  char path[MAX_PATH] = {};
  WORD word = 0x1234;
  EXPECT_EQ(Talver_HddBacukupConfig(0, path, 0, &word), row.result);
  EXPECT_EQ(word, row.word);
  EXPECT_TRUE(row.result != 0 || !*path) << path;
  EXPECT_TRUE(w.HostExists('C', "PLAXON/OTHERS/BACKUP/20200101000000"));
  auto lines = w.TakeTrace();
  EXPECT_EQ(CountMatches(lines, row.line), row.times) << row.line;
  EXPECT_EQ(CountMatches(lines, row.also), row.alsoTimes) << row.also;
  // Only a backup reported made counts.
  w.Faults().ClearRules();
  WORD count = 0;
  ASSERT_EQ(Talver_FindBackupDirectory(path, &count, 1), 1);
  EXPECT_EQ(count, 101 + (row.result || row.made));
}

// A root with a blank: the archiver gets each path whole.
TEST(HddBackup, ARootWithABlankIsQuotedOnTheCommandLine) {
  TestWorld w;
  for (const char* d :
       {"My Root/PLAXON/TMP", "My Root/PLAXON/OTHERS/BACKUP", "My Root/PLAXON/DIFF", "My"})
    w.MakeHostDir('C', d);
  w.WriteHostFile('C', "My Root/PLAXON/CONFIG/config.inf", "SVPCONF 01020360\r\n");
  std::snprintf(RootPath, MAX_PATH, "%s", "C:\\My Root");
  char path[MAX_PATH] = {};
  WORD word = 0;
  ASSERT_EQ(Talver_HddBacukupConfig(0, path, 0, &word), 1);
  std::string host;
  ASSERT_TRUE(plat::ResolveHostPath(path, &host));
  // A Windows path keeps the case it was given and may use either slash.
  using fixtures::Folded;
  EXPECT_EQ(Folded(host).rfind(Folded(w.HostOf('C', "My Root/PLAXON/OTHERS/BACKUP/")), 0), 0u)
      << host;
  EXPECT_GT(std::filesystem::file_size(host), 20u);
  // The marker names the new folder, without a line end.
  EXPECT_EQ(w.ReadHostFile('C', "My Root/PLAXON/OTHERS/BACKUP/cnfbkdir.tmp"),
            std::filesystem::path(host).parent_path().filename().string());
  EXPECT_TRUE(w.HostExists('C', "My Root/PLAXON/DIFF/svp_conf.tgz"));
  EXPECT_TRUE(std::filesystem::is_empty(w.HostOf('C', "My")));
}

// Display mode 2: the archiver shows its own dialog, naming the entries it
// packs (its bar is the archive dialogs' tests'); in the other modes none.
TEST(HddBackup, ArchiverShowsItsOwnProgressDialogOnlyInDisplayModeTwo) {
  TestWorld w;
  MakeConfig(w);
  ScriptedOperator op;
  WORD word = 0;
  ASSERT_EQ(dsvCnf_ConfigIsHddBackup(0, 2, &word), 1);
  EXPECT_TRUE(TestWorld::Contains(w.TakeTrace(), "Config HDD Backup END"));
  auto closed = op.ClosedDialogs();
  ASSERT_EQ(closed.size(), 1u) << op.Account();
  EXPECT_FALSE(closed[0].first.WaitsForOperator());
  bool namesAnEntry = false;
  for (const auto& c : closed[0].first.controls)
    namesAnEntry |= c.kind == plat::ControlKind::Static && c.text.rfind("CONFIG/", 0) == 0;
  EXPECT_TRUE(namesAnEntry) << closed[0].first.Describe();
  for (DWORD mode : {0u, 1u}) {
    w.MutableWorld().clockOffsetSeconds += 10;  // a folder of its own
    ASSERT_EQ(dsvCnf_ConfigIsHddBackup(0, mode, &word), 1);
  }
  EXPECT_EQ(op.ClosedDialogs().size(), 1u) << op.Account();
}

// The retention keeps a hundred valid backups by deleting the smallest
// stamps, never a folder without an archive, and with the clock set back
// never the backup just made.
TEST(HddBackup, RetentionKeepsAHundredDeletingTheSmallestStamps) {
  for (int year : {2020, 2090}) {
    TestWorld w;
    MakeConfig(w);
    const int gone = year == 2020 ? 51 : 1;
    fixtures::PutHddBackups(w, 99 + gone, year, "x");
    w.MakeHostDir('C', "PLAXON/OTHERS/BACKUP/00000000000000");
    w.MutableWorld().clockOffsetSeconds = 0;
    char path[MAX_PATH] = {};
    WORD word = 0, count = 0;
    ASSERT_EQ(Talver_HddBacukupConfig(0, path, 0, &word), 1);
    std::string host;
    ASSERT_TRUE(plat::ResolveHostPath(path, &host));
    EXPECT_TRUE(std::filesystem::exists(host)) << path;
    for (int i = 0; i <= gone; ++i) {
      char stamp[32];
      std::snprintf(stamp, sizeof stamp, "%04d0101%06d", year, i);
      EXPECT_EQ(w.HostExists('C', std::string("PLAXON/OTHERS/BACKUP/") + stamp), i == gone)
          << stamp;
    }
    EXPECT_TRUE(w.HostExists('C', "PLAXON/OTHERS/BACKUP/00000000000000"));
    Talver_FindBackupDirectory(path, &count, 2);
    EXPECT_EQ(count, 100);
  }
}

// What killed calls leave: temporaries in CONFIG (one of an excluded name,
// one a folder an extraction was building), in DIFF and in a backup folder,
// a marker naming a folder. The next backup packs none of them and counts
// only the whole backups; folders it did not make stay.
TEST(HddBackup, LeftoversOfKilledCallsAreNeitherPackedNorCounted) {
  TestWorld w;
  MakeConfig(w);
  const std::string b = "PLAXON/OTHERS/BACKUP/";
  for (const char* f : {"CNFDATA/TBL000.DAT.~tv0000ABCD", "min500c.dat.~tv0000ABCD", "min500c.dat",
                        "NEW.~tv0000ABCD/TBL000.DAT"})
    w.WriteHostFile('C', std::string("PLAXON/CONFIG/") + f, "leftover");
  w.WriteHostFile('C', b + "20200101000000/svp_conf.tgz.~tv12345678", std::string(4096, 'p'));
  w.MakeHostDir('C', b + "20200101000001");
  w.WriteHostFile('C', b + "cnfbkdir.tmp", "20200101000001");
  w.MakeHostDir('C', b + "manual");
  w.WriteHostFile('C', b + "20190101000000/svp_conf.tgz", "x");
  w.WriteHostFile('C', "PLAXON/DIFF/svp_conf.tgz.~tvDEADBEEF", "half a copy");
  WORD word = 0;
  ASSERT_EQ(dsvCnf_ConfigIsHddBackup(0, 0, &word), 1);
  const std::string list = w.ReadHostFile('C', "PLAXON/TMP/cnfbaklist");
  EXPECT_NE(list.find("CONFIG/CNFDATA/TBL000.DAT"), std::string::npos) << list;
  EXPECT_EQ(list.find(".~tv"), std::string::npos) << list;
  EXPECT_EQ(list.find("min500c"), std::string::npos) << list;
  EXPECT_FALSE(w.HostExists('C', b + "20200101000000"));
  EXPECT_FALSE(w.HostExists('C', b + "20200101000001"));
  EXPECT_TRUE(w.HostExists('C', b + "manual"));
  EXPECT_FALSE(w.HostExists('C', "PLAXON/DIFF/svp_conf.tgz.~tvDEADBEEF"));
  char path[MAX_PATH];
  WORD count = 0;
  ASSERT_EQ(Talver_FindBackupDirectory(path, &count, 1), 1);
  EXPECT_EQ(count, 2);
}

// Two backups at once, on two threads: each succeeds, or fails with its
// word (0: the folder of that second was taken) and a trace line; the
// backups that count are exactly those reported.
TEST(HddBackup, TwoAtOnceNeverGiveAFalseResult) {
  TestWorld w;
  MakeConfig(w);
  int results[2] = {};
  WORD words[2] = {};
  std::thread other([&] { results[1] = dsvCnf_ConfigIsHddBackup(0, 0, &words[1]); });
  results[0] = dsvCnf_ConfigIsHddBackup(0, 0, &words[0]);
  other.join();
  int made = 0;
  for (int i = 0; i < 2; ++i) {
    made += results[i];
    if (!results[i]) {
      EXPECT_TRUE(words[i] == 0 || words[i] == 0x4004) << words[i];
    }
  }
  EXPECT_GE(made, 1);
  char path[MAX_PATH];
  WORD count = 0;
  ASSERT_EQ(Talver_FindBackupDirectory(path, &count, 1), 1);
  EXPECT_EQ(count, made);
  EXPECT_FALSE(w.HostExists('C', "PLAXON/OTHERS/BACKUP/cnfbkdir.tmp"));
}

// The hold is the system's: a second caller is refused while it lasts, in
// this process or another, and a killed holder never keeps it.
TEST(FlowHold, RefusedWhileHeldAndFreedWithItsHolder) {
  TestWorld w;
  const char* lock = "C:\\PLAXON\\TMP\\cnflock";
  HANDLE first = exf_Hold(lock, 0);
  ASSERT_TRUE(first);
  EXPECT_FALSE(exf_Hold(lock, 0));
  EXPECT_EQ(plat::GetLastError(), ERROR_LOCK_VIOLATION);
  exf_Release(first);
  SKIP_ON_WINDOWS("the second holder is a child made by fork()");
#if !defined(_WIN32)
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  if (child == 0) {
    char ok = exf_Hold(lock, 0) ? 'y' : 'n';
    if (write(ready[1], &ok, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  EXPECT_EQ(ok, 'y');
  EXPECT_FALSE(exf_Hold(lock, 0));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  HANDLE after = exf_Hold(lock, 0);
  EXPECT_TRUE(after);
  exf_Release(after);
  close(ready[0]);
  close(ready[1]);
#endif
}

TEST(UpdateSecondSvp, SixAttemptsWithoutAnArchiveAndOneWhenItIsGood) {
  TestWorld w;
  dsvCnf_ConfigUpdateTo2ndSVP();
  auto lines = w.TakeTrace();
  EXPECT_EQ(CountMatches(lines, "ErrCode=0x4004"), 6);
  EXPECT_EQ(CountMatches(lines, "ErrCode=0x6"), 1);
  EXPECT_EQ(CountMatches(lines, "ERR CompressDialog"), 6);

  // A good archive in HOME\DIFF is unpacked over the tree once and stays.
  MakeConfig(w);
  WORD word = 0;
  ASSERT_EQ(dsvCnf_ConfigIsHddBackup(0, 0, &word), 1);
  w.WriteHostFile('C', "PLAXON/HOME/DIFF/svp_conf.tgz",
                  w.ReadHostFile('C', "PLAXON/DIFF/svp_conf.tgz"));
  w.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "changed on this SVP\r\n");
  w.WriteHostFile('C', "PLAXON/OTHERS/INTDATA/min500c.dat", "c");
  w.WriteHostFile('C', "PLAXON/OTHERS/INTDATA/min500d.dat", "d");
  w.TakeTrace();
  dsvCnf_ConfigUpdateTo2ndSVP();
  lines = w.TakeTrace();
  EXPECT_EQ(CountMatches(lines, "ErrCode=*"), 0);
  EXPECT_EQ(CountMatches(lines, "Start CompressDialog"), 1);
  EXPECT_EQ(w.ReadHostFile('C', "PLAXON/CONFIG/config.inf"), "SVPCONF 01020360\r\n");
  EXPECT_TRUE(w.HostExists('C', "PLAXON/HOME/DIFF/svp_conf.tgz"));
}

}  // namespace
