// Trace forms, operator messages and the file utilities.
#include <gtest/gtest.h>

#include <string>

#include "common/CnfFunc.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE("CnfFunc")

namespace {

TEST(TraceForms, CodesAreUpperHexAnswersNamedAndLinesBounded) {
  TestWorld w;
  TRACE_WORD(0x8001);  // a result word is sign-extended
  TraceCode(".\\CnfFunc.cpp", 12, 0x4000);
  TraceCode(".\\CnfCmpThd.cpp", 7, static_cast<std::uint32_t>(-1));
  TraceText(".\\Talver.cpp", 3, "Compressed Start");
  LogMessageAnswer(469, 1);
  LogMessageAnswer(469, 0);
  LogMessageAnswer(4701, 7);
  LogSelection(1, 9, 0);
  auto lines = w.TakeTrace();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines[0].find("ErrCode=0xFFFF8001"), std::string::npos);
  EXPECT_EQ(
      std::vector<std::string>(lines.begin() + 1, lines.end()),
      (std::vector<std::string>{
          "File=.\\CnfFunc.cpp(12) ErrCode=0x4000", "File=.\\CnfCmpThd.cpp(7) ErrCode=0xFFFFFFFF",
          "File=.\\Talver.cpp(3)\nCompressed Start", "### [MSG] ID=0469,OK button was selected.",
          "### [MSG] ID=0469,", "### [MSG] ID=4701,No button was selected.",
          "### [SEL_MEDIA] OK button was selected.<<--->>"}));
  // A line is bound to 255 characters; a new call counts its lines anew.
  RefreshRootPath();
  TraceText(".\\Talver.cpp", 1, std::string(400, 'x').c_str());
  lines = w.TakeTrace();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 255u);
  // A call that loops writes its cap, one notice, then nothing until the next call.
  for (unsigned i = 0; i < kTraceLinesPerCall + 50; ++i) TraceLine("again");
  lines = w.TakeTrace();
  ASSERT_EQ(lines.size(), kTraceLinesPerCall);  // the line above counted too
  EXPECT_EQ(lines.back(), "trace truncated");
  RefreshRootPath();
  TraceLine("next call");
  EXPECT_EQ(w.TakeTrace(), std::vector<std::string>{"next call"});
}

TEST(ResultMessages, EachWordShowsItsMessage) {
  TestWorld w;
  ScriptedOperator op;
  op.ExpectMessage(3333, plat::IDOK)
      .ExpectMessage(3836, plat::IDCANCEL)
      .ExpectMessage(3480, plat::IDNO)
      .ExpectMessage(3333, plat::IDOK)
      .ExpectMessage(3677, plat::IDOK);
  EXPECT_EQ(ShowResultMessage(0, 0x4000, 0), 0);  // a cancel shows nothing
  EXPECT_EQ(ShowResultMessage(0, 0x2000, 0), 1);
  EXPECT_EQ(ShowResultMessage(0, 0x4104, 2), 2);
  EXPECT_EQ(ShowResultMessage(0, 0x4009, 0), 7);
  EXPECT_EQ(ShowResultMessage(0, 0x1234, 0), 1);  // unknown words take 3333
  EXPECT_EQ(ShowResultMessage(0, 0x2012, 0), 1);
  auto seen = op.Seen();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_TRUE(seen[1].hasInsert);
  EXPECT_EQ(seen[1].insert, 2u);
  EXPECT_EQ(seen[1].style, 0x31u);
  EXPECT_EQ(seen[2].style, 0x124u);
  EXPECT_EQ(seen[2].kind, 2);
  EXPECT_EQ(seen[4].style, 0x30u);
  // 0x4104 writes no answer line; the others do.
  auto lines = w.TakeTrace();
  EXPECT_FALSE(TestWorld::Contains(lines, "### [MSG] ID=3836,*"));
  EXPECT_TRUE(TestWorld::Contains(lines, "### [MSG] ID=3480,No button was selected."));
}

TEST(FileUtilities, ForcedDeleteAndCopyGoThroughReadOnlyFiles) {
  TestWorld w;
  w.WriteHostFile('C', "ro.dat", "old");
  ASSERT_TRUE(plat::SetFileAttributes("C:\\ro.dat", FILE_ATTRIBUTE_READONLY));
  w.WriteHostFile('C', "src.dat", "new contents");
  EXPECT_EQ(CopyFileForced("C:\\src.dat", "C:\\ro.dat", 0), 1);
  EXPECT_EQ(w.ReadHostFile('C', "ro.dat"), "new contents");
  ASSERT_TRUE(plat::SetFileAttributes("C:\\ro.dat", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(DeleteFileForced("C:\\ro.dat"), 1);
  EXPECT_FALSE(w.HostExists('C', "ro.dat"));
  w.TakeTrace();
  EXPECT_EQ(DeleteFileForced("C:\\ro.dat"), 1);  // missing: success, nothing written
  EXPECT_EQ(DeleteFileForced("C:\\PLAXON"), 1);  // a directory is not a file
  auto lines = w.TakeTrace();
  EXPECT_FALSE(TestWorld::Contains(lines, "ErrCode=*"));
  // A copy that fails reports it and leaves no partial file.
  w.Faults().AddRule({plat::FaultOp::Write, "dest.dat", ERROR_DISK_FULL});
  EXPECT_EQ(CopyFileForced("C:\\src.dat", "C:\\dest.dat", 0), 0);
  EXPECT_FALSE(w.HostExists('C', "dest.dat"));
  EXPECT_TRUE(TestWorld::Contains(w.TakeTrace(), "ErrCode=0x600"));
  // A failed delete is reported.
  w.Faults().AddRule({plat::FaultOp::Delete, "src.dat", ERROR_ACCESS_DENIED});
  EXPECT_EQ(DeleteFileForced("C:\\src.dat"), 0);
  EXPECT_TRUE(TestWorld::Contains(w.TakeTrace(), "ErrCode=0x5"));
}

// A copy that cannot take place (no source, or the source is the destination
// under another spelling) leaves the destination as it was.
TEST(FileUtilities, ForcedCopyKeepsTheDestinationWhenItCannotCopy) {
  TestWorld w;
  w.WriteHostFile('C', "PLAXON/CONFIG/min500c.dat", "kept");
  const char kDestination[] = "C:\\PLAXON\\CONFIG\\min500c.dat";
  struct Case {
    std::string source;
    const char* trace;  // the copy's own failure, traced as before
  };
  const Case cases[] = {
      {"C:\\PLAXON\\OTHERS\\INTDATA\\min500c.dat", "ErrCode=0x500"},
      {"C:\\PLAXON\\CONFIG", "ErrCode=0x500"},
      {kDestination, "ErrCode=0x600"},
      {"c:\\plaxon\\config\\MIN500C.DAT", "ErrCode=0x600"},
      {w.HostOf('C', "PLAXON/CONFIG/min500c.dat"), "ErrCode=0x600"},
  };
  w.TakeTrace();
  for (const Case& c : cases) {
    EXPECT_EQ(CopyFileForced(c.source.c_str(), kDestination, 0), 0) << c.source;
    EXPECT_EQ(w.ReadHostFile('C', "PLAXON/CONFIG/min500c.dat"), "kept") << c.source;
    EXPECT_TRUE(TestWorld::Contains(w.TakeTrace(), c.trace)) << c.source;
  }
}

// The refusals and their traces (what is found, the flows find).
TEST(FileUtilities, FindFileTestsFilesAndSizes) {
  TestWorld w;
  w.WriteHostFile('C', "empty.tgz", "");
  w.TakeTrace();
  EXPECT_EQ(TalVer_FindFile("C:\\empty.tgz", 1), 0);
  EXPECT_TRUE(TestWorld::Contains(w.TakeTrace(), "Size=0"));
  EXPECT_EQ(TalVer_FindFile("C:\\PLAXON", 0), 0);
  auto lines = w.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(lines, "TalVer_FindFile(directory)"));
  EXPECT_TRUE(TestWorld::TracedAt(lines, "CnfChkMedia.cpp"));
  EXPECT_EQ(TalVer_FindFile("C:\\none", 1), 0);
  EXPECT_TRUE(w.TakeTrace().empty());
}

// Internal files stay out at any depth; links in the configuration are not
// followed: neither a linked folder nor a linked file reaches the list, and
// each is traced.
TEST(FileUtilities, BackupListSkipsInternalFilesAndLinksAndEndsLinesWithCrLf) {
  TestWorld w;
  w.WriteHostFile('C', "PLAXON/CONFIG/A", "1");
#if !defined(_WIN32)  // one file on a disk that ignores case; links made on the host
  w.WriteHostFile('C', "PLAXON/CONFIG/min500c.dat", "1");
  std::string outside = w.MakeOutsideDir("outside");
  w.MakeHostLink('C', "PLAXON/CONFIG/linked", outside);
  w.MakeHostLink('C', "PLAXON/CONFIG/S/kept.dat", outside + "/kept");
#endif
  w.WriteHostFile('C', "PLAXON/CONFIG/MIN500C.DAT", "1");
  w.WriteHostFile('C', "PLAXON/CONFIG/S/B", "1");
  w.WriteHostFile('C', "PLAXON/CONFIG/S/svphdev0.dat", "1");
  w.WriteHostFile('C', "PLAXON/CONFIG/S/T/min500d.dat", "1");
  EXPECT_EQ(IsListedFile("min500c.dat"), 0);
  EXPECT_EQ(IsListedFile("MIN500C.DAT"), 1);
  w.TakeTrace();
  ASSERT_EQ(WriteBackupListFile(), 1);
  EXPECT_EQ(w.ReadHostFile('C', "PLAXON/TMP/cnfbaklist"),
            "CONFIG/A\r\nCONFIG/MIN500C.DAT\r\nCONFIG/S/B\r\n");
  auto counts = svc::GetExclusiveCounts();
  EXPECT_EQ(counts.begun, 1);
  EXPECT_EQ(counts.ended, 1);
#if !defined(_WIN32)
  auto lines = w.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(lines, "WARNING LINK C:\\PLAXON\\CONFIG\\linked"));
  EXPECT_TRUE(TestWorld::Contains(lines, "WARNING LINK C:\\PLAXON\\CONFIG\\\\S\\kept.dat"));
#endif
  // A list that cannot be opened is reported (one cut by a write fault: the
  // fault loop's HddBackup); the refused open has nothing to end.
  w.Faults().AddRule({plat::FaultOp::Open, "cnfbaklist", ERROR_ACCESS_DENIED});
  svc::ResetExclusiveCounts();
  EXPECT_EQ(WriteBackupListFile(), 0);
  EXPECT_TRUE(TestWorld::Contains(w.TakeTrace(), "ERR fopen"));
  counts = svc::GetExclusiveCounts();
  EXPECT_EQ(counts.begun, 1);
  EXPECT_EQ(counts.ended, 0);
}

TEST(FileUtilities, DirectoriesOfMediaAndTheSerialCache) {
  TestWorld w;
  w.WriteHostFile('C', "PLAXON/CONFIG/DKCPRP.DAT", "SERIAL=1234\r\nMODEL=7\r\n");
  DWORD error = 0;
  EXPECT_EQ(CreateMediaConfigDirs("E:", &error), 1);
  EXPECT_TRUE(w.HostExists('E', "PLAXON/CONFIG/001234"));
  // The serial is read once for the module's life.
  w.WriteHostFile('C', "PLAXON/CONFIG/DKCPRP.DAT", "SERIAL=999999\r\n");
  EXPECT_EQ(GetSerialNumber(), 1234u);
  w.MutableWorld().drive('E').writeProtected = true;
  ASSERT_TRUE(plat::RemoveDirectory("E:\\PLAXON\\CONFIG\\001234") == FALSE);
  EXPECT_EQ(EnsureDirectory("E:\\NEWDIR", &error), 0);
  EXPECT_EQ(error, ERROR_WRITE_PROTECT);
  // A serial never set reads as the default; a file that cannot be read is
  // no serial number at all, never the default.
  ResetSerialNumberCache();
  w.WriteHostFile('C', "PLAXON/CONFIG/DKCPRP.DAT", "MODEL=7\r\n");
  EXPECT_EQ(GetSerialNumber(), 400001u);
  ResetSerialNumberCache();
  w.WriteHostFile('C', "PLAXON/CONFIG/DKCPRP.DAT", "MODEL=7\r\nSERIAL=412399\r\n");
  w.Faults().AddRule({plat::FaultOp::Read, "DKCPRP.DAT", ERROR_NOT_READY});
  EXPECT_EQ(GetSerialNumber(), 0u);
}

TEST(BoundedFormatting, TooLongFailsWithAnEmptyBuffer) {
  char small[8];
  EXPECT_TRUE(FORMAT_PATH(small, "%s", "1234567"));
  EXPECT_FALSE(FORMAT_PATH(small, "%s", "12345678"));
  EXPECT_STREQ(small, "");
}

}  // namespace
