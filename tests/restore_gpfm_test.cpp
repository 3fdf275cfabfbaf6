// The restore from a .gpfm backup file, end to end through its export: the
// file dialog, the split of table 63, the conversion, the check of the new
// DKCF with its confirmation, the version texts and the audit record.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "exports/Exports.h"
#include "platform/Win.h"
#include "support/FlowFixtures.h"
#include "support/GpfmTestFile.h"
#include "support/IdentityFiles.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "svpsvc/AuditLog.h"
#include "validate/CnfConfirmSerialNoDlg.h"

namespace {

constexpr std::size_t kDkcf = fixtures::kDkcfSize;
constexpr std::size_t kCfrev = fixtures::kCfrevSize;
constexpr char kBackupFile[] = "C:\\OUT\\b.gpfm";
using fixtures::AuditRecords;
using fixtures::Cfrev;
using fixtures::Dkcf;
using fixtures::Table;
using fixtures::Table63;

class RestoreGpfm : public ::testing::Test {
 protected:
  void SetUp() override {
    svp_.WriteTo(world_, "CONFIG");
    world_.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "SVPCONF 01020360\r\nLINE2\r\n");
    configBefore_ = TestWorld::Snapshot(world_.HostOf('C', "PLAXON/CONFIG"));
  }

  void WriteBackup(const std::vector<std::pair<int, std::string>>& tables, bool badSum = false) {
    GpfmTestFile f;
    for (const auto& [t, bytes] : tables) f.AddTable(1, t, {t == 63 ? bytes : Lz4Block(bytes)});
    if (badSum) f.SetSum(1, tables.front().first, 0, 1);
    world_.WriteHostFile('C', "OUT/b.gpfm", f.Bytes());
    world_.TakeTrace();
  }

  // Runs the export with the operator's script already in place.
  int Restore() {
    word_ = 0;
    int result = dsvCnf_RestoreConf2(0, &word_);
    trace_ = world_.TakeTrace();
    return result;
  }

  bool Traced(const std::string& text) const { return TestWorld::Contains(trace_, text); }

  void ExpectConfigUntouched() {
    EXPECT_EQ(TestWorld::Snapshot(world_.HostOf('C', "PLAXON/CONFIG")), configBefore_)
        << "the restore writes nothing into \\PLAXON\\CONFIG\\";
  }

  TestWorld world_;
  IdentityFiles svp_;
  std::map<std::string, std::string> configBefore_;
  std::vector<std::string> trace_;
  WORD word_ = 0;
};

ScriptedOperator& ChooseBackup(ScriptedOperator& op) {
  return op.ExpectDialog(115).Type(1029, kBackupFile).Click(plat::IDOK);
}

}  // namespace

TEST_F(RestoreGpfm, SplitsTable63ConvertsTheRestAndRecordsTheNewVersion) {
  const std::string t5 = Table(40000, 5), t700 = Table(9001, 7);
  // Bytes after the CFREV are dropped.
  WriteBackup({{5, t5}, {63, Table63(kDkcf + kCfrev + 300)}, {700, t700}});
  // Leftovers of an earlier run are cleared, not converted.
  world_.WriteHostFile('C', "PLAXON/TMP/LZ4/9.lz4", "stale");
  world_.WriteHostFile('C', "PLAXON/TMP/TABLES/9", "stale");
  ScriptedOperator op;
  ChooseBackup(op).ExpectMessage(3188, plat::IDOK);
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(word_, 0);
  EXPECT_EQ(op.Seen().at(0).style, 0x40u);
  EXPECT_EQ(op.Seen().at(0).kind, 1);

  const std::map<std::string, std::string> tables = {{"5", t5},
                                                     {"700", t700},
                                                     {"CFREV.TIF", Cfrev()},
                                                     {"DKCF.TIF", Dkcf(412345, "60", "02030460")}};
  EXPECT_EQ(TestWorld::Snapshot(world_.HostOf('C', "PLAXON/TMP/TABLES")), tables);
  const auto lz4 = TestWorld::Snapshot(world_.HostOf('C', "PLAXON/TMP/LZ4"));
  EXPECT_TRUE(lz4.size() == 2 && lz4.count("5.lz4") && lz4.count("700.lz4"));
  EXPECT_TRUE(world_.HostExists('C', "PLAXON/TMP/bkcnf.gpfm"));

  // Step lines in order, the untagged ones exactly.
  std::vector<std::string> wanted = {
      "\nGet Config Data", "\nStart Compress",
      "RootPath=C:\\PLAXON\\TMP\\TABLES\\, FilePath=C:\\PLAXON\\TMP\\LZ4\\",
      "Media Remove (RootPath=C:\\PLAXON\\TMP\\TABLES\\DKCF.TIF)",
      "### [MSG] ID=3188,OK button was selected."};
  std::size_t at = 0;
  for (const std::string& w : wanted) {
    while (at < trace_.size() && trace_[at].find(w) == std::string::npos) ++at;
    EXPECT_LT(at, trace_.size()) << "missing or out of order: " << w;
  }
  EXPECT_TRUE(std::find(trace_.begin(), trace_.end(),
                        "Media Remove (RootPath=C:\\PLAXON\\TMP\\TABLES\\DKCF.TIF)") !=
              trace_.end());
  EXPECT_TRUE(TestWorld::TracedAt(trace_, "Talver.cpp"));
  EXPECT_FALSE(Traced("ERR"));

  auto records = AuditRecords();
  ASSERT_EQ(records.size(), 1u) << "one record: the export's";
  EXPECT_EQ(records[0].operation, "NEW Installation");
  EXPECT_EQ(records[0].outcome, "Normal end");
  EXPECT_EQ(records[0].detail, "{New Ver.}={02-03-04/60}");
  ExpectConfigUntouched();
}

// Every failure the flow detects: its trace text, result word, message and
// the audit record the export writes (new version still "----").
using Tables = std::vector<std::pair<int, std::string>>;
struct FailureCase {
  const char* name;
  Tables tables;
  const char* traced;
  WORD word;
  int message;
  plat::FaultRule fault = {plat::FaultOp::Open, "", 0};  // pathContains empty: none
  bool badSum = false;
};

class RestoreGpfmFailure : public RestoreGpfm, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RestoreGpfmFailure, FailsWithItsTextWordAndMessage) {
  const FailureCase& c = GetParam();
  WriteBackup(c.tables, c.badSum);
  if (!c.fault.pathContains.empty()) world_.Faults().AddRule(c.fault);
  ScriptedOperator op;
  ChooseBackup(op).ExpectMessage(c.message, plat::IDOK);
  EXPECT_EQ(Restore(), 0);
  EXPECT_EQ(word_, c.word);
  EXPECT_TRUE(Traced(c.traced)) << c.traced;
  EXPECT_FALSE(Traced("Media Remove"));
  // A conversion that fails half-way leaves no table, the DKCF and CFREV
  // included, and no temporary.
  if (c.fault.op == plat::FaultOp::Write) {
    EXPECT_TRUE(TestWorld::Snapshot(world_.HostOf('C', "PLAXON/TMP/TABLES")).empty());
  }
  // The export's frame opens and closes the call, and leaves its record.
  EXPECT_TRUE(TestWorld::Contains({trace_.front()}, "Start dsvCnf_RestoreConf2"));
  EXPECT_TRUE(TestWorld::Contains({trace_.back()}, "End dsvCnf_RestoreConf2"));
  auto records = AuditRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].operation, "NEW Installation");
  EXPECT_EQ(records[0].outcome, "Error");
  EXPECT_EQ(records[0].detail, "{New Ver.}={----}");
  ExpectConfigUntouched();
}

plat::FaultRule Fault(plat::FaultOp op, const char* path, DWORD error = ERROR_ACCESS_DENIED) {
  return {op, path, error};
}
// A backup of table 63 alone, or of table 5 (and 6) and table 63.
Tables Only63(std::string t63) { return {{63, std::move(t63)}}; }
Tables With5(std::string t63) { return {{5, Table(3000, 3)}, {63, std::move(t63)}}; }
Tables With5And6(std::string t63) {
  return {{5, Table(40000, 5)}, {6, Table(50000, 6)}, {63, std::move(t63)}};
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RestoreGpfmFailure,
    ::testing::Values(
        // The check keeps its own word and the operator sees 3695.
        FailureCase{"SerialMismatch", Only63(Table63(13120, 412399)), "ErrCode=0x2000", 0x2000,
                    3695},
        FailureCase{"TypeMismatch", Only63(Table63(13120, 412345, "61")), "ErrCode=0x400A", 0x400A,
                    3695},
        FailureCase{"CopyToWorkFile", Only63(Table63(13120)), "ERR Copy File", 0x4004, 3681,
                    Fault(plat::FaultOp::Open, "bkcnf.gpfm")},
        FailureCase{"BadSum", With5(Table63(13120)), "ERR ParseGpfmFile", 0x4004, 3681, {}, true},
        FailureCase{"NoTable63", Tables(1, {5, Table(3000, 3)}), "ERR MakeFile(DKCF)", 0x4004,
                    3681},
        FailureCase{"Table63ShorterThanDkcf", Only63(Table63(kDkcf - 1)), "ERR MakeFile(DKCF)",
                    0x4004, 3681},
        FailureCase{"Table63ShorterThanCfrev", Only63(Table63(kDkcf + kCfrev - 1)),
                    "ERR MakeFile(CFREV)", 0x4004, 3681},
        FailureCase{"ConversionHalfWay", With5And6(Table63(13120)), "ERR CompressDialog", 0x4004,
                    3681, Fault(plat::FaultOp::Write, "\\6.~tv", ERROR_DISK_FULL)},
        FailureCase{"Table63NotRemoved", Only63(Table63(13120)), "ERR DeleteFile(TblNo63)", 0x4004,
                    3681, Fault(plat::FaultOp::Delete, "63.lz4")}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

// A cancel, in the file dialog or in the confirmation, leaves no record.
TEST_F(RestoreGpfm, CancelsWriteNoAuditRecord) {
  WriteBackup({{63, Table63(13120, 400001)}});
  {
    ScriptedOperator op;
    op.ExpectDialog(115).Click(plat::IDCANCEL);
    EXPECT_EQ(Restore(), 0);
    EXPECT_EQ(word_, 0x4000);
    EXPECT_TRUE(Traced("Cancel"));
    EXPECT_FALSE(Traced("Get Config Data"));
  }
  {
    ScriptedOperator op;
    ChooseBackup(op).ExpectDialog(kConfirmTemplate).Click(plat::IDCANCEL);
    EXPECT_EQ(Restore(), 0);
    EXPECT_EQ(word_, 0x4000);
    EXPECT_TRUE(Traced("Cancel"));
    EXPECT_TRUE(Traced("ErrCode=0x4011")) << "the check's own line of 0x4011";
  }
  EXPECT_TRUE(AuditRecords().empty());
  ExpectConfigUntouched();
}
