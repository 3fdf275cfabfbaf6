// The backup file dialog (115) and the backup list dialog (112).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "backupfile/CnfBakCnfList.h"
#include "backupfile/CnfSelFileDlg.h"
#include "common/CnfFunc.h"
#include "platform/Win.h"
#include "support/FlowFixtures.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "svpsvc/SvpServices.h"

using namespace plat;

namespace {

class BackupFileDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    world_.WriteHostFile('C', "OUT/b.1.gpfm", "backup");
    world_.WriteHostFile('C', "OUT/a.GPFM", "backup");
    world_.WriteHostFile('C', "OUT/c.gpfm.txt", "text");
    world_.MakeHostDir('C', "OUT/d.gpfm");
    world_.TakeTrace();
  }
  TestWorld world_;
  char path_[MAX_PATH] = {};
  WORD word_ = 0;
};

}  // namespace

// What is no backup file is refused with its message and the dialog stays
// open, for another path (taken) or a cancel.
TEST_F(BackupFileDialog, RefusesWhatIsNoBackupFileAndStaysOpen) {
  struct Case {
    const char* typed;
    int message;
    const char* line;
    const char* then = "";  // typed next and taken; "": Cancel
  };
  const Case cases[] = {
      {"C:\\OUT\\none.gpfm", 4703, "ERR Invalid FilePath", "C:\\OUT\\b.1.gpfm"},
      {"C:\\OUT\\a.GPFM", 4702, "ERR Invalid FileExtension"},
      {"C:\\OUT\\c.gpfm.txt", 4702, "ERR Invalid FileExtension"},
      {"C:\\OUT\\d.gpfm", 4703, "ERR Invalid FilePath"},
      {"", 4703, "ERR Invalid FilePath"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    ScriptedOperator op;
    op.ExpectDialog(kSelectFileTemplate)
        .Check([](const DialogView& v) {
          EXPECT_EQ(v.MessageText(), CatalogueText(4700));
          EXPECT_TRUE(v.Find(IDOK)->focused);
        })
        .Type(kIdSelectFilePath, c.typed)
        .Click(IDOK)
        .ExpectMessage(c.message, IDOK);
    // The last row leaves by the close box.
    if (*c.then) {
      op.Type(kIdSelectFilePath, c.then).Click(IDOK);
    } else {
      &c == &cases[std::size(cases) - 1] ? op.Close() : op.Click(IDCANCEL);
    }
    word_ = 0;
    EXPECT_EQ(SelectBackupFile(0, 4700, path_, &word_), *c.then ? 1 : 2);
    EXPECT_EQ(word_, *c.then ? 0 : 0x4000);
    if (*c.then) {
      EXPECT_STREQ(path_, c.then);
    }
    const MessageBoxView box = op.Seen().at(0);
    EXPECT_EQ(box.identifier, 20214);
    EXPECT_EQ(box.kind, 2);
    EXPECT_EQ(box.style, 0u);
    auto trace = world_.TakeTrace();
    EXPECT_TRUE(TestWorld::Contains(trace, c.line));
    char answer[64];
    std::snprintf(answer, sizeof answer, "### [MSG] ID=%d,OK button was selected.", c.message);
    EXPECT_TRUE(TestWorld::Contains(trace, answer));
  }
}

namespace {

class BackupListDialog : public ::testing::Test {
 protected:
  void AddBackup(const std::string& name) {
    world_.WriteHostFile('E', "PLAXON/CONFIG/" + name + "/svp_conf.tgz", "archive");
  }
  int Select(BackupListMode mode) {
    std::snprintf(path_, sizeof path_, "E:\\");
    return SelectBackupConfig(0, mode, path_, &word_);
  }
  TestWorld world_;
  char path_[MAX_PATH] = {};
  WORD word_ = 0;
};

}  // namespace

TEST_F(BackupListDialog, OnlySixDigitNamesBeginningWith4AndHoldingAnArchiveAreBackups) {
  for (const char* name : {"512345", "41234", "41234a", "4123456"}) AddBackup(name);
  world_.MakeHostDir('E', "PLAXON/CONFIG/412346");  // no archive
  world_.WriteHostFile('E', "PLAXON/CONFIG/412347", "a file, not a directory");
  {
    ScriptedOperator op;  // a medium without backups is the wrong medium
    EXPECT_EQ(Select(0), 0);
    EXPECT_EQ(word_, 0x400B);
    EXPECT_STREQ(path_, "E:\\");
  }
  AddBackup("412345");
  fixtures::SetSerial(world_, "499999");
  // One backup: chosen without asking, whatever the serial number and mode.
  for (BackupListMode mode : {0, 1, 5, 9}) {
    SCOPED_TRACE(mode);
    ScriptedOperator op;
    word_ = 0;
    ASSERT_EQ(Select(mode), 1);
    EXPECT_STREQ(path_, "E:\\plaxon\\config\\412345\\");
    EXPECT_EQ(word_, 0);
    EXPECT_TRUE(op.SeenDialogs().empty());
  }
}

// Several backups: the one of this SVP's serial number is chosen without
// asking in some modes and states (one of no backup on the medium fails);
// in the others the operator chooses, or cancels by Cancel or the close box.
TEST_F(BackupListDialog, SeveralBackupsAreChosenBySerialNumberOrByTheOperator) {
  AddBackup("412345");
  AddBackup("400123");
  enum Choice { kChosen, kOperator, kCancel, kCloseBox };
  struct Case {
    const char* serial;
    BackupListMode mode;
    const char* svpState;
    Choice choice;
    const char* path = "E:\\plaxon\\config\\412345\\";
  };
  const Case cases[] = {
      {"400123", 0, "0", kChosen, "E:\\plaxon\\config\\400123\\"},
      {"412345", 7, "0", kChosen},
      {"400123", 1, "0", kChosen, "E:\\plaxon\\config\\400123\\"},
      {"400123", 1, "3", kChosen, "E:\\plaxon\\config\\400123\\"},
      {"400999", 0, "2", kChosen, "E:\\plaxon\\config\\400999\\"},  // none of it: 0x400B
      {"400123", 1, "2", kOperator},
      {"400123", 5, "0", kOperator},
      {"400123", 6, "0", kOperator},
      {"400123", 8, "0", kOperator},
      {"400123", 9, "0", kOperator},
      {"400123", 5, "0", kCancel, "E:\\"},
      {"400123", 5, "0", kCloseBox, "E:\\"},
      {"", 0, "0", kOperator},  // a serial number never set names no backup
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("mode ") + std::to_string(c.mode) + " serial " + c.serial +
                 " choice " + std::to_string(c.choice));
    fixtures::SetSerial(world_, c.serial);
    world_.MutableWorld().settings["services.svp_state"] = c.svpState;
    ScriptedOperator op;
    if (c.choice != kChosen) {
      op.ExpectDialog(112).Check([](const DialogView& v) {
        const ControlView* list = v.Find(1019);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->items, (std::vector<std::string>{"400123", "412345"}));
        EXPECT_EQ(list->columns, std::vector<std::string>{"Serial No"});
        EXPECT_FALSE(v.Find(IDOK)->enabled);
      });
    }
    if (c.choice == kCloseBox) op.Close();
    if (c.choice == kOperator || c.choice == kCancel) {
      op.SelectText(1019, "412345")
          .Check([](const DialogView& v) { EXPECT_TRUE(v.Find(IDOK)->enabled); })
          .Click(c.choice == kCancel ? IDCANCEL : IDOK);
    }
    const bool fails = c.choice >= kCancel || std::string(c.serial) == "400999";
    word_ = 0;
    EXPECT_EQ(Select(c.mode), fails ? 0 : 1);
    EXPECT_EQ(word_, !fails ? 0 : c.choice == kChosen ? 0x400B : 0x4000);
    EXPECT_STREQ(path_, c.path);
    EXPECT_EQ(op.SeenDialogs().empty(), c.choice == kChosen);
  }
}
