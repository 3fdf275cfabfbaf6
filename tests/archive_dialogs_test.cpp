// Progress dialogs: the archive job under the dialog, the caller's wait, the
// copy dialog and the unpack export.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/CnfCmpDlg.h"
#include "archive/CnfCmpThd.h"
#include "archive/CpyFile.h"
#include "common/CompressRequest.h"
#include "exports/Exports.h"
#include "platform/Win.h"
#include "support/FlowFixtures.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "tar32/Tar32.h"

using namespace plat;

namespace {

const char kArchive[] = "C:\\PLAXON\\TMP\\svp_conf.tgz";

class ProgressDialogs : public ::testing::Test {
 protected:
  // A configuration tree of n files in two folders, packed silently.
  void PackTree(int n) {
    for (int i = 0; i < n; ++i)
      world_.WriteHostFile('C',
                           "PLAXON/CONFIG/" + std::string(i % 2 ? "CNFDATA/" : "") + "f" +
                               std::to_string(i) + ".dat",
                           std::string(100 + i, 'a'));
    ASSERT_EQ(CompressCommand(kArchiveCreate, 0, kArchive, "C:\\PLAXON\\"), 1);
    world_.MakeHostDir('C', "OUT");
    world_.TakeTrace();
  }
  std::string Caption() { return "TALVER Wait..." + fixtures::CaptionSuffix(); }
  TestWorld world_;
};

}  // namespace

// A create counts every file, even one the list leaves out (the bar ends
// short of it); an extraction steps once per entry and closes on the end code.
TEST_F(ProgressDialogs, ExtractionStepsTheBarOncePerEntryAndClosesOnTheEndCode) {
  PackTree(6);
  world_.WriteHostFile('C', "PLAXON/CONFIG/CNFDATA/min500c.dat", "left out of the list");
  const struct {
    std::int16_t mode;
    const char* target;
    int range;
    const char* clip;
  } runs[] = {{kArchiveCreate, "C:\\PLAXON\\", 7, "cnfpak.avi"},
              {kArchiveExtractAll, "C:\\OUT\\", 6, "cnfunpak.avi"}};
  for (const auto& run : runs) {
    ScriptedOperator op;
    ASSERT_EQ(CompressDialog(0, run.mode, 1, kArchive, run.target), 1) << run.clip;
    EXPECT_EQ(CompressThreadState.load(), 1);
    auto closed = op.ClosedDialogs();
    ASSERT_EQ(closed.size(), 1u);
    const DialogView& view = closed[0].first;
    EXPECT_EQ(closed[0].second, 1);
    EXPECT_EQ(view.templateId, 101);
    EXPECT_EQ(view.caption, Caption());
    const ControlView* bar = view.ProgressBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->rangeLow, 0);
    EXPECT_EQ(bar->rangeHigh, run.range);
    EXPECT_EQ(bar->step, 1);
    EXPECT_EQ(bar->position, 6);
    const ControlView* text = view.Find(1003);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text.rfind("CONFIG/", 0), 0u);
    const ControlView* animation = view.Find(1001);
    ASSERT_NE(animation, nullptr);
    EXPECT_NE((animation->clip + animation->missingClip).find(run.clip), std::string::npos);
  }
  EXPECT_EQ(TarGetFileCount(kArchive), 6);
  EXPECT_EQ(world_.ReadHostFile('C', "OUT/config/f0.dat"), std::string(100, 'a'));

  auto trace = world_.TakeTrace();
  for (const char* line :
       {"Start CompressDialog", "mode=1, disp=1, path=C:\\PLAXON\\TMP\\svp_conf.tgz",
        "Start DialogBoxParam", "End DialogBoxParam", "Start Talver_CompressThread",
        "End Talver_CompressThread", "End CompressDialog"})
    EXPECT_TRUE(TestWorld::Contains(trace, line)) << line;
  EXPECT_TRUE(TestWorld::Contains(trace, Caption()));
  EXPECT_FALSE(TestWorld::Contains(trace, "ERR *"));
}

TEST_F(ProgressDialogs, DisplayFlagZeroClosesAtOnceAndStillWaitsForTheJob) {
  PackTree(4);
  ScriptedOperator op;
  ASSERT_EQ(CompressDialog(0, kArchiveExtractAll, 0, kArchive, "C:\\OUT\\"), 1);
  // The job had ended when the call returned.
  EXPECT_EQ(CompressThreadState.load(), 1);
  EXPECT_TRUE(world_.HostExists('C', "OUT/config/CNFDATA/f3.dat"));
  // The dialog ended inside its opening message, before anyone saw it.
  EXPECT_TRUE(op.ClosedDialogs().empty());
  if (HasFailure()) return;  // a dialog left open was failed and closed already
  // So does the backup's, which writes no trace of its own: only the wait
  // window's caption, no dialog of the compress flow.
  world_.TakeTrace();
  EXPECT_EQ(Talver_BackupConfigDialog(0, kArchiveCreate, 0, kArchive, "C:\\PLAXON\\"), 1);
  auto trace = world_.TakeTrace();
  ASSERT_EQ(trace.size(), 1u) << ::testing::PrintToString(trace);
  EXPECT_TRUE(TestWorld::Contains(trace, "TALVER Wait... - SVP"));
  EXPECT_EQ(TarGetFileCount(kArchive), 4);
  EXPECT_TRUE(op.ClosedDialogs().empty());
}

TEST_F(ProgressDialogs, NoTotalOrAWrongModeEndsTheDialogWithoutAWorker) {
  world_.WriteHostFile('C', "PLAXON/TMP/empty.tgz", "");
  world_.MakeHostDir('C', "OUT");
  ScriptedOperator op;
  world_.TakeTrace();
  EXPECT_EQ(CompressDialog(0, kArchiveExtractAll, 1, "C:\\PLAXON\\TMP\\empty.tgz", "C:\\OUT\\"), 0);
  EXPECT_EQ(CompressThreadState.load(), 1);
  EXPECT_FALSE(world_.HostExists('C', "OUT/config"));  // the job never ran
  auto trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR CompressDialogProc"));
  EXPECT_FALSE(TestWorld::Contains(trace, "ERR Talver_CompressThread"));
  EXPECT_TRUE(op.ClosedDialogs().empty());
  world_.WriteHostFile('C', "PLAXON/TMP/junk.tgz", "not an archive");
  EXPECT_EQ(CompressDialog(0, kArchiveExtractAll, 1, "C:\\PLAXON\\TMP\\junk.tgz", "C:\\OUT\\"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR File Number"));
  EXPECT_EQ(CompressDialog(0, kArchiveTableConversion, 1, kArchive, "C:\\OUT\\"), 0);
  trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::TracedAt(trace, "CnfCmpDlg.cpp"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0xA"));
  EXPECT_EQ(CompressDialog2(0, kArchiveExtractAll, 1, "C:\\PLAXON\\TMP\\LZ4\\", "C:\\X\\"), 0);
  trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "Start CompressDialog2"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0x1"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR CompressDialogProc2"));
  EXPECT_EQ(CompressThreadState.load(), 1);
}

TEST_F(ProgressDialogs, AFailingWorkerClosesTheDialog) {
  PackTree(2);
  ScriptedOperator op;
  // A silent job (flag 2: no progress messages, no close at once) into a
  // target that does not exist: only the state word can close the dialog.
  EXPECT_EQ(CompressDialog(0, kArchiveExtractAll, 2, kArchive, "C:\\NOWHERE\\"), 0);
  EXPECT_EQ(CompressThreadState.load(), -1);
  auto trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR CompressCommand"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR Talver_CompressThread"));
  ASSERT_EQ(op.ClosedDialogs().size(), 1u);
}

// ---- the copy dialog ------------------------------------------------------------

TEST_F(ProgressDialogs, CopyDialogStepsATenthAtATimeAndSmallFilesWhole) {
  world_.TakeTrace();
  // Source size and the steps the bar (range 0..11) has taken at the end.
  const std::pair<std::size_t, int> cases[] = {
      {1000, 10}, {1005, 11}, {5, 1} /* under ten bytes: whole */, {0, 0}};
  for (const auto& [size, steps] : cases) {
    const std::string data(size, 'q');
    world_.WriteHostFile('C', "PLAXON/TMP/svp_conf.tgz", data);
    ScriptedOperator op;
    ASSERT_EQ(Talver_CopyFileDialog(0, kArchive, "A:\\svp_conf.tgz"), 1) << size;
    EXPECT_EQ(world_.ReadHostFile('A', "svp_conf.tgz"), data);
    auto closed = op.ClosedDialogs();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].first.Find(1003)->text, "svp_conf.tgz");
    EXPECT_EQ(closed[0].first.ProgressBar()->rangeHigh, 11);
    EXPECT_EQ(closed[0].first.ProgressBar()->position, steps) << size;
  }
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), Caption()));
  // Any other message is left to the dialog's own handling.
  EXPECT_EQ(CopyFileDialogProc(0, WM_USER + 99, 0, 0), FALSE);
}

TEST_F(ProgressDialogs, CopyDialogReportsFailedAndShortCopies) {
  ScriptedOperator op;
  world_.TakeTrace();
  // No source.
  EXPECT_EQ(Talver_CopyFileDialog(0, "C:\\PLAXON\\TMP\\none", "A:\\svp_conf.tgz"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ERR Talver_CopyFileThread"));
  EXPECT_FALSE(world_.HostExists('A', "svp_conf.tgz"));
  // The medium fills up half way: no partial archive is left behind.
  world_.WriteHostFile('C', "PLAXON/TMP/svp_conf.tgz", std::string(100000, 'z'));
  world_.Faults().AddRule({FaultOp::Write, "A:\\", ERROR_DISK_FULL, 5, -1});
  EXPECT_EQ(Talver_CopyFileDialog(0, kArchive, "A:\\svp_conf.tgz"), 0);
  auto trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR Talver_CopyFileThread"));
  EXPECT_TRUE(TestWorld::Contains(trace, "ErrCode=0x70"));
  EXPECT_FALSE(world_.HostExists('A', "svp_conf.tgz"));
  // A copy onto its own source (spelled otherwise) fails and keeps the source.
  world_.Faults().ClearRules();
  world_.WriteHostFile('C', "PLAXON/TMP/svp_conf.tgz", std::string(4000, 'k'));
  EXPECT_EQ(Talver_CopyFileDialog(0, kArchive, "c:\\plaxon\\tmp\\SVP_CONF.TGZ"), 0);
  EXPECT_TRUE(TestWorld::Contains(world_.TakeTrace(), "ErrCode=0x20"));
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/svp_conf.tgz"), std::string(4000, 'k'));
}

// ---- the unpack export ------------------------------------------------------------

TEST_F(ProgressDialogs, UncompressedExportUnpacksUnderTheDialog) {
  PackTree(3);
  ScriptedOperator op;
  EXPECT_EQ(dsvp_TalverIsUncompressed(0, kArchive, "C:\\OUT\\"), 1);
  EXPECT_EQ(world_.ReadHostFile('C', "OUT/config/CNFDATA/f1.dat"), std::string(101, 'a'));
  auto trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "Uncompressed Start"));
  EXPECT_TRUE(TestWorld::Contains(trace, "Uncompressed END"));
  EXPECT_FALSE(TestWorld::Contains(trace, "ERR *"));
  // A missing archive fails before the target is looked at.
  EXPECT_EQ(dsvp_TalverIsUncompressed(0, "C:\\PLAXON\\TMP\\none.tgz", "C:\\nowhere\\"), 0);
  trace = world_.TakeTrace();
  ASSERT_EQ(trace.size(), 3u);
  EXPECT_NE(trace[1].find("ERR INVALID_HANDLE_VALUE"), std::string::npos);
  world_.WriteHostFile('C', "PLAXON/TMP/junk.tgz", "junk");
  EXPECT_EQ(dsvp_TalverIsUncompressed(0, "C:\\PLAXON\\TMP\\junk.tgz", "C:\\OUT\\"), 0);
  trace = world_.TakeTrace();
  // The unpack's own line (whole words: not the dialog's "ERR CompressDialogProc").
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR CompressDialog")) << ::testing::PrintToString(trace);
  EXPECT_TRUE(TestWorld::Contains(trace, "ERR Talver_ConfigIsUncompressed"));
}
