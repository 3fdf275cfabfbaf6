// The audit record of a finished operation: what reaches the audit-log
// library, in which order, and what lands in the world's audit file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backupfile/AuditRecord.h"
#include "support/TestWorld.h"
#include "svpsvc/AuditLog.h"

namespace {

const std::vector<std::string> kFullOrder = {"open",  "start", "detail", "value",
                                             "write", "end",   "close"};

class AuditRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { svc::TakeAuditCalls(); }
  std::vector<svc::AuditEntry> Records() {
    std::vector<svc::AuditEntry> entries;
    svc::ReadAuditFile(svc::AuditFilePath(), &entries);
    return entries;
  }
  TestWorld world;
};

// The calls each record makes, and the records that land in the file: a
// cancel (whatever the result) reaches only open and close, an operation
// without a text starts a record but writes none.
TEST_F(AuditRecordTest, EachRecordNamesTheOperationOutcomeAndVersions) {
  const std::vector<std::string> kCancelled = {"open", "close"},
                                 kNoText = {"open", "start", "close"};
  struct Case {
    int operation;
    const char *newVersion, *oldVersion;
    int result;
    WORD word;
    const char *operationText, *outcome, *detail;  // null: no record
    const std::vector<std::string>& calls = kFullOrder;
  };
  const Case cases[] = {
      {10, "01-02-03/60", "00-00-00/00", 1, 0, "Backup Config", "Normal end", "Ver.=01-02-03/60"},
      // A success is a normal end whatever the result word.
      {10, "01-02-03/60", "----", 1, 0x4000, "Backup Config", "Normal end", "Ver.=01-02-03/60"},
      {14, "----", "----", 0, 0x4000, nullptr, nullptr, nullptr, kCancelled},
      {10, "----", "----", 2, 0x4000, nullptr, nullptr, nullptr, kCancelled},
      {99, "01-02-03/60", "----", 1, 0, nullptr, nullptr, nullptr, kNoText},
      // A restore logs only the new version.
      {14, "----", "01-02-03/60", 0, 0x2000, "NEW Installation", "Error", "{New Ver.}={----}"},
      {14, "01-02-03/61", "01-02-03/60", 1, 0, "NEW Installation", "Normal end",
       "{New Ver.}={01-02-03/61}"},
      // Other operations log both.
      {5, "01-02-03/61", "01-02-03/60", 0, 0x4004, "Restore Configuration", "Error",
       "{New Ver.,Old Ver.}={01-02-03/61,01-02-03/60}"},
  };
  std::vector<const Case*> recorded;
  for (const Case& c : cases) {
    WriteAuditRecord(c.operation, c.newVersion, c.oldVersion, c.result, c.word);
    EXPECT_EQ(svc::TakeAuditCalls(), c.calls) << c.operation << " " << c.word;
    if (c.detail) recorded.push_back(&c);
  }
  auto records = Records();
  ASSERT_EQ(records.size(), recorded.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(records[i].number, i + 1);  // the value of the log, per record
    EXPECT_EQ(records[i].operation, recorded[i]->operationText);
    EXPECT_EQ(records[i].outcome, recorded[i]->outcome);
    EXPECT_EQ(records[i].detail, recorded[i]->detail);
  }
}

TEST_F(AuditRecordTest, RecordFieldsAsLaidOut) {
  WriteAuditRecord(4, "01-02-03/60", "----", 0, 0x2000);
  auto bytes = svc::LastAuditRecord();
  ASSERT_EQ(bytes.size(), 796u);
  AuditRecord r;
  std::memcpy(&r, bytes.data(), sizeof r);
  EXPECT_EQ(r.categoryAddress,
            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(AuditCategoryText)));
  EXPECT_STREQ(AuditCategoryText, "<DKCMaintenance>");
  EXPECT_EQ(r.kind, 2);
  // "Create Configuration Backup" is cut to 21 characters and a terminator.
  EXPECT_EQ(std::string(r.operationName), "Create Configuration ");
  EXPECT_STREQ(r.outcomeName, "Error");
  EXPECT_EQ(r.logValue, 1u);
  for (std::size_t i : {4u, 10u, 34u, 300u, 595u, 618u, 624u, 795u}) EXPECT_EQ(bytes[i], 0) << i;
}

TEST(AuditLogLine, TabSeparatedFieldsParse) {
  svc::AuditEntry e;
  ASSERT_TRUE(svc::ParseAuditLine("3\t2026/12/06 08:00:00\tBackup Config\tError\tVer.=----", &e));
  EXPECT_EQ(e.number, 3u);
  EXPECT_EQ(e.outcome, "Error");
  EXPECT_FALSE(svc::ParseAuditLine("garbage", &e));
  EXPECT_FALSE(svc::ParseAuditLine("x\ta\tb\tc\td", &e));
}

}  // namespace
