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

TEST_F(AuditRecordTest, SuccessOfTheBackupWritesNormalEndAndTheVersion) {
  WriteAuditRecord(10, "01-02-03/60", "00-00-00/00", 1, 0);
  EXPECT_EQ(svc::TakeAuditCalls(), kFullOrder);
  auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].operation, "Backup Config");
  EXPECT_EQ(records[0].outcome, "Normal end");
  EXPECT_EQ(records[0].detail, "Ver.=01-02-03/60");
}

TEST_F(AuditRecordTest, SuccessWithAnyResultWordIsNormalEnd) {
  WriteAuditRecord(10, "01-02-03/60", "----", 1, 0x4000);
  auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].outcome, "Normal end");
}

TEST_F(AuditRecordTest, FailedRestoreLogsOnlyTheNewVersion) {
  WriteAuditRecord(14, "----", "01-02-03/60", 0, 0x2000);
  EXPECT_EQ(svc::TakeAuditCalls(), kFullOrder);
  auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].operation, "NEW Installation");
  EXPECT_EQ(records[0].outcome, "Error");
  EXPECT_EQ(records[0].detail, "{New Ver.}={----}");
}

TEST_F(AuditRecordTest, OtherOperationsLogBothVersions) {
  WriteAuditRecord(5, "01-02-03/61", "01-02-03/60", 0, 0x4004);
  auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].operation, "Restore Configuration");
  EXPECT_EQ(records[0].detail, "{New Ver.,Old Ver.}={01-02-03/61,01-02-03/60}");
}

TEST_F(AuditRecordTest, CancelReachesOnlyOpenAndClose) {
  WriteAuditRecord(14, "----", "----", 0, 0x4000);
  EXPECT_EQ(svc::TakeAuditCalls(), (std::vector<std::string>{"open", "close"}));
  EXPECT_TRUE(Records().empty());
  // A cancel reported with another failing result is a cancel too.
  WriteAuditRecord(10, "----", "----", 2, 0x4000);
  EXPECT_EQ(svc::TakeAuditCalls(), (std::vector<std::string>{"open", "close"}));
}

TEST_F(AuditRecordTest, OperationWithoutTextWritesNoRecord) {
  WriteAuditRecord(99, "01-02-03/60", "----", 1, 0);
  EXPECT_EQ(svc::TakeAuditCalls(), (std::vector<std::string>{"open", "start", "close"}));
  EXPECT_TRUE(Records().empty());
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

TEST_F(AuditRecordTest, ValueOfTheLogIsStoredPerRecord) {
  WriteAuditRecord(10, "01-02-03/60", "----", 1, 0);
  WriteAuditRecord(14, "01-02-03/61", "01-02-03/60", 1, 0);
  auto records = Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].number, 1u);
  EXPECT_EQ(records[1].number, 2u);
  EXPECT_EQ(records[1].detail, "{New Ver.}={01-02-03/61}");
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
