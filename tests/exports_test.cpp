// The export frames and the shared-memory exports.
#include "exports/Exports.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>

#include "support/HostFiles.h"
#endif

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "exports/Operations.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "svpsvc/AuditLog.h"

namespace {

#if defined(_WIN32)
int ProcessId() { return static_cast<int>(::GetCurrentProcessId()); }
#else
int ProcessId() { return static_cast<int>(::getpid()); }
#endif

TEST(ExportFrames, SimpleExportsWriteExactlyTheirLines) {
  TestWorld w;
  EXPECT_EQ(dsvCnf_ConfigIsUpdate(), 1);
  EXPECT_TRUE(w.TakeTrace().empty());
  EXPECT_EQ(dsvp_TalverIsCompressed(), 1);
  auto lines = w.TakeTrace();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("File=.\\Talver.cpp("), std::string::npos);
  EXPECT_NE(lines[0].find(")\nCompressed Start"), std::string::npos);
  EXPECT_NE(lines[1].find(")\nCompressed END"), std::string::npos);
  EXPECT_EQ(WEP(5), 5);
  EXPECT_EQ(_WEP_4(0), 1);
  // The rancher returns 1 whatever the answer.
  ScriptedOperator op;
  op.ExpectMessage(4701, plat::IDOK).ExpectMessage(4701, plat::IDCANCEL);
  EXPECT_EQ(dsvp_TalverRancher(0), 1);
  EXPECT_EQ(dsvp_TalverRancher(0), 1);
  lines = w.TakeTrace();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "### [MSG] ID=4701,OK button was selected.");
  EXPECT_EQ(lines[4], "### [MSG] ID=4701,Cancel button was selected.");
  EXPECT_NE(lines[5].find("Rancher Close"), std::string::npos);
  EXPECT_EQ(op.Seen()[0].style, 0x40u);
}

TEST(ExportFrames, HddBackupFrameDeletesTheMarkerAndClosesOnlyItsWaitWindow) {
  TestWorld w;
  ScriptedOperator op;
  w.WriteHostFile('C', "PLAXON/OTHERS/BACKUP/cnfbkdir.tmp", "20240131235959");
  ASSERT_TRUE(
      plat::SetFileAttributes("C:\\PLAXON\\OTHERS\\BACKUP\\cnfbkdir.tmp", FILE_ATTRIBUTE_READONLY));
  // Make the backup fail at once: its folder cannot be made.
  w.Faults().AddRule({plat::FaultOp::CreateDir, "BACKUP", ERROR_ACCESS_DENIED});
  WORD word = 0;
  dsvCnf_ConfigIsHddBackup(0, 1, &word);
  EXPECT_FALSE(w.HostExists('C', "PLAXON/OTHERS/BACKUP/cnfbkdir.tmp"));
  EXPECT_EQ(op.WaitWindowsOpened(), 1);
  EXPECT_EQ(op.WaitWindowsClosed(), 1);
  dsvCnf_ConfigIsHddBackup(0, 2, &word);
  dsvCnf_ConfigIsHddBackup(0, 3, &word);
  EXPECT_EQ(op.WaitWindowsOpened(), 1);
  EXPECT_EQ(op.WaitWindowsClosed(), 1);
}

// The two backup exports turn a cancelled operation into 2 and still write
// the error-code line of the cancel before their end line; any other
// failure is 0 with the line of its word. Modes 0 and 2 install by model: a
// selector without a row fails before any dialog or service call; the row of
// one that has a row (a 16-bit selector) and the request kind of the mode
// reach the media dialog, whose drive choice the operator cancels. Mode 0
// offers install drives (C: among them), mode 2 backup drives; the other
// modes, and the backup export (mode -1), back up to media.
TEST(ExportFrames, BackupExportsReturnTwoForACancel) {
  struct Case {
    int mode;
    DWORD selector;
    const char* info;  // the model's row; nullptr: no row; "": not by model
  };
  const Case cases[] = {{-1, 0, ""},          {1, 7, ""},           {3, 7, ""},
                        {0, 0, nullptr},      {0, 3, nullptr},      {0, 5, nullptr},
                        {0, 8, nullptr},      {0, 0xFFFF, nullptr}, {0, 2, "6470(R_D)"},
                        {2, 7, "6470(R_C2)"}, {2, 1, "6410(P_F0)"}, {0, 0x10006, "6430(Q_B1)"}};
  TestWorld w;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + "/" + std::to_string(c.selector));
    svc::TakeAuditCalls();
    ScriptedOperator op;  // strict: without a row no dialog, no message
    if (c.info) op.ExpectDialog(106).Click(2);
    EXPECT_EQ(c.mode < 0 ? dsvp_TalverBackup(0) : dsvCnf_OffSvpAllConf(0, WORD(c.mode), c.selector),
              c.info ? 2 : 0);
    auto lines = w.TakeTrace();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines.front().find(")\nConfig Backup Start"), std::string::npos);
    const std::string& code = lines[lines.size() - 2];
    EXPECT_NE(code.find("Talver.cpp("), std::string::npos);
    EXPECT_NE(code.find(std::string(") ErrCode=0x") + (c.info ? "4000" : "2000")),
              std::string::npos)
        << code;
    EXPECT_NE(lines.back().find(")\nConfig Backup END"), std::string::npos);
    EXPECT_EQ(TestWorld::Contains(lines, "Model Info"), c.info && *c.info);
    if (!c.info) {
      EXPECT_TRUE(svc::TakeAuditCalls().empty());
      continue;
    }
    if (!*c.info) continue;
    EXPECT_TRUE(TestWorld::Contains(lines, std::string("Model Info ") + c.info));
    const std::vector<std::string> drives = op.SeenDialogs().at(0).Find(1007)->items;
    EXPECT_EQ(std::find(drives.begin(), drives.end(), "C") != drives.end(), c.mode == 0);
  }
}

TEST(SharedMemory, CreateOpenWriteReadAndClose) {
  TestWorld w;
  DWORD error = 99;
  // Sections are seen machine-wide: a name of this process's own keeps test
  // runs beside each other apart.
  const std::string unique = "talver-test-shm-" + std::to_string(ProcessId());
  const char* name = unique.c_str();
  EXPECT_EQ(Talver_OpenMemoryMapFile(name), 1);
  // The section name is a text line of its module.
  auto lines = w.TakeTrace();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("File=.\\CnfMap.cpp(", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(")\n" + unique + "--DKC-TEST"), std::string::npos) << lines[0];
  void* first = Talver_CreateMemoryMapFile(name, &error);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(Talver_CreateMemoryMapFile(name, &error), nullptr);
  EXPECT_EQ(error, 1u);
  EXPECT_EQ(Talver_OpenMemoryMapFile(name), 0);
  const char data[16] = "sixteen bytes..";
  EXPECT_EQ(Talver_WriteMemoryMapFile(name, data, 16, &error), 1);
  char back[32];
  std::memset(back, 'x', sizeof back);
  EXPECT_EQ(Talver_ReadMemoryMapFile(name, back, 32, &error), 1);
  EXPECT_EQ(std::memcmp(back, data, 16), 0);
  for (int i = 16; i < 32; ++i) EXPECT_EQ(back[i], 0);
  // The section has 1024 bytes: a larger count is refused, nothing is copied.
  static char big[2048];
  EXPECT_EQ(Talver_ReadMemoryMapFile(name, big, 1025, &error), 0);
  EXPECT_EQ(error, ERROR_INVALID_PARAMETER);

  // A name too long for the section's name, or for the POSIX host's (which
  // escapes each "/"), fails as a name too long.
  std::vector<std::string> tooLong = {std::string(118, 'n')};
#if !defined(_WIN32)
  tooLong.push_back(std::string(100, '/'));
#endif
  for (const std::string& n : tooLong) {
    EXPECT_EQ(Talver_CreateMemoryMapFile(n.c_str(), &error), nullptr);
    EXPECT_EQ(error, ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(Talver_OpenMemoryMapFile(n.c_str()), 1);
    EXPECT_EQ(Talver_WriteMemoryMapFile(n.c_str(), data, 16, &error), 0);
    EXPECT_EQ(error, ERROR_FILENAME_EXCED_RANGE);
  }

  // Another controller identity names another section.
  w.MutableWorld().identity = "DKC-OTHER";
  EXPECT_EQ(Talver_OpenMemoryMapFile(name), 1);
  w.MutableWorld().identity = "DKC-TEST";

#if !defined(_WIN32)
  // A second process sees the section and what was written into it.
  std::ofstream ini(w.Dir() + "/svp.ini");
  ini << "[world]\nroot = C:\nidentity = DKC-TEST\n[drive.C]\npath = drives/c\n"
      << "[services]\ntrace_file = trace2.log\n";
  ini.close();
  std::string base = std::string(TALVER_SVPCONF) + " --env " + w.Dir() + "/svp.ini shm ";
  int status = -1;
  std::string out = hostfiles::Run(base + "read " + name + " --count 16", &status);
  EXPECT_NE(out.find("text=sixteen bytes.."), std::string::npos) << out;
  out = hostfiles::Run(base + "write " + name + " other-process", &status);
  EXPECT_NE(out.find("result=1"), std::string::npos) << out;
  EXPECT_EQ(Talver_ReadMemoryMapFile(name, back, 13, &error), 1);
  EXPECT_EQ(std::string(back, 13), "other-process");
#endif

  EXPECT_NE(Talver_CloseMemoryMapFile(first), 0);
  EXPECT_EQ(Talver_OpenMemoryMapFile(name), 1);
  EXPECT_EQ(Talver_WriteMemoryMapFile(name, data, 16, &error), 0);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

TEST(SharedMemory, ASectionDiesWithACreatorThatEndedWithoutClosingIt) {
  SKIP_ON_WINDOWS("the creator is a child made by fork()");
#if !defined(_WIN32)
  TestWorld w;
  const std::string unique = "talver-test-orphan-" + std::to_string(::getpid());
  const char* name = unique.c_str();
  // A creator that ends without closing, as a killed program does.
  pid_t child = ::fork();
  if (child == 0) {
    DWORD error = 0;
    ::_exit(Talver_CreateMemoryMapFile(name, &error) != nullptr && error == 0 ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Talver_OpenMemoryMapFile(name), 1);  // not found: gone with its creator
  DWORD error = 99;
  void* section = Talver_CreateMemoryMapFile(name, &error);
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(error, 0u);
  Talver_CloseMemoryMapFile(section);
#endif
}

}  // namespace
