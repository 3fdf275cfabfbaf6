// Every export's flow under injected faults: after a clean run, the k-th
// file operation fails (a write also as a short write) or the power is cut
// there. Each run must end within its bound with no handle open, in one of
// the flow's own failures (word, trace lines, message), with every file
// outside the work folders holding its old bytes or a clean run's, no
// temporary left, and what the flow reports made reading back whole. CI
// samples about 20 operations per flow, every rare kind and 6 power cuts
// plus one after each rename; TALVER_FAULT_SWEEP=full runs every k,
// TALVER_FAULT_SAMPLE=N about N spread evenly (where each run is slow, under
// Wine), TALVER_FAULT_ONLY=k that k alone with its trace echoed.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "archive/CnfBakup.h"
#include "common/Format.h"
#include "exports/Exports.h"
#include "media/CnfSelPcDlg.h"
#include "media/CnfSetupDlg.h"
#include "media/MediaSelection.h"
#include "platform/Temporary.h"
#include "platform/winemu/Operator.h"
#include "support/FlowFixtures.h"
#include "support/GpfmTestFile.h"
#include "support/IdentityFiles.h"
#include "support/TestWorld.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfImpKey.h"

namespace fs = std::filesystem;

namespace {

using fixtures::Incompressible;
using fixtures::TgzBytes;
using Snapshot = std::map<std::string, std::string>;
using Prepare = std::function<void(TestWorld&)>;

constexpr char kKeyCode[] = "XBKZNRTQ";
constexpr std::size_t kPiece = 1400000;
// Denied, write protected, not ready, sharing violation, disk full.
constexpr DWORD kCodes[] = {5, 19, 21, 32, 112};

std::optional<std::string> Find(const Snapshot& s, const std::string& path) {
  auto it = s.find(path);
  return it == s.end() ? std::nullopt : std::optional<std::string>(it->second);
}

// The world's files by folded relative path, the stand-ins' logs left out.
Snapshot TakeSnapshot(const TestWorld& w) {
  Snapshot files;
  for (auto& [path, bytes] : TestWorld::Snapshot(w.Dir()))
    if (bytes != "/" && path != "trace.log" && path != "audit.log")
      files[fixtures::Folded(path)] = bytes;
  return files;
}

// The entries of a gzip tar archive read to its end; nullopt when it is not whole.
std::optional<Snapshot> ReadArchive(const std::string& bytes) {
  archive* a = archive_read_new();
  archive_read_support_filter_gzip(a);
  archive_read_support_format_tar(a);
  Snapshot entries;
  int rc = archive_read_open_memory(a, bytes.data(), bytes.size());
  for (archive_entry* e;
       rc == ARCHIVE_OK && (rc = archive_read_next_header(a, &e)) == ARCHIVE_OK;) {
    std::string& data = entries[archive_entry_pathname(e)];
    char buffer[65536];
    la_ssize_t n;
    while ((n = archive_read_data(a, buffer, sizeof buffer)) > 0)
      data.append(buffer, std::size_t(n));
    if (n < 0) rc = ARCHIVE_FATAL;
  }
  archive_read_free(a);
  return rc == ARCHIVE_EOF ? std::optional<Snapshot>(entries) : std::nullopt;
}

// An operator who follows a recipe: a dialog's actions, then OK; a message box
// the recipe's answer, else OK, else its last button. Endless asking is cancelled.
using Act = std::function<void(plat::DialogActions&)>;
struct Recipe {
  std::map<int, Act> dialogs;
  std::map<int, WORD> answers;
};

Act PickDrive(const char* letter) {
  return [letter](plat::DialogActions& a) { a.SelectText(kIdDriveList, letter); };
}
Act ClickOn(int id) {
  return [id](plat::DialogActions& a) { a.Click(id); };
}
const Act kTypeKeyCode = [](plat::DialogActions& a) { a.Type(kIdKeyCodeEdit, kKeyCode); };

class FlowOperator : public plat::Operator {
 public:
  explicit FlowOperator(Recipe recipe)
      : recipe_(std::move(recipe)),
        previous_(
            plat::SetOperator(std::shared_ptr<plat::Operator>(this, [](plat::Operator*) {}))) {}
  ~FlowOperator() override { plat::SetOperator(previous_); }

  WORD AnswerMessageBox(const plat::MessageBoxView& box) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    messages_.push_back(box.messageId);
    auto buttons = plat::ButtonsOf(box.style);
    auto it = recipe_.answers.find(box.messageId);
    const bool ok = std::find(buttons.begin(), buttons.end(), plat::IDOK) != buttons.end();
    WORD answer = it != recipe_.answers.end() ? it->second : ok ? WORD(plat::IDOK) : buttons.back();
    if (messages_.size() > kPatience) answer = buttons.back();
    if (answer == plat::IDCANCEL || answer == plat::IDNO) cancelled_ = true;
    return answer;
  }
  void OnDialog(const plat::DialogView& view, plat::DialogActions& act) override {
    if (!view.WaitsForOperator()) return;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    int& turn = turns_[view.window];
    ++dialogTurns_;
    auto it = recipe_.dialogs.find(view.templateId);
    const bool acts = it != recipe_.dialogs.end();
    if (turn == 0 && acts) {
      it->second(act);
    } else if (turn == (acts ? 1 : 0) && dialogTurns_ < 4 * kPatience) {
      act.Click(plat::IDOK);
    } else {
      cancelled_ = true;
      act.Close();
    }
    ++turn;
  }

  std::vector<int> Messages() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return messages_;
  }
  bool Cancelled() const { return cancelled_; }

 private:
  static constexpr std::size_t kPatience = 24;
  // Acting on a dialog may show a message box inside the action.
  mutable std::recursive_mutex mutex_;
  Recipe recipe_;
  std::map<HWND, int> turns_;
  std::vector<int> messages_;
  std::size_t dialogTurns_ = 0;
  std::atomic<bool> cancelled_{false};
  std::shared_ptr<plat::Operator> previous_;
};

struct Outcome {
  int result = 0;  // 1 success
  WORD word = 0;
  std::vector<std::string> trace;  // lines the run took from the capture itself
};
using Run = std::function<Outcome(TestWorld&)>;

// An export that gives its word through its last argument.
Run Direct(std::function<int(WORD*)> call) {
  return [call](TestWorld&) {
    Outcome o;
    o.result = call(&o.word);
    return o;
  };
}

// An export that keeps its word: traced on the line before its end line.
Run Framed(std::function<int()> call, const char* endLine) {
  return [call, endLine](TestWorld& w) {
    Outcome o{call(), 0, w.TakeTrace()};
    for (std::size_t i = o.trace.size(); i-- > 1;) {
      if (o.trace[i].find(endLine) == std::string::npos) continue;
      const std::size_t at = o.trace[i - 1].find("ErrCode=0x");
      if (at != std::string::npos)
        o.word = static_cast<WORD>(std::stoul(o.trace[i - 1].substr(at + 10), nullptr, 16));
      break;
    }
    return o;
  };
}

// What a run left, for a flow's own checks.
struct RunView {
  const Outcome& outcome;
  const Snapshot& before;
  const Snapshot& after;
  const Snapshot& clean;  // after the clean run
  bool powerCut;
};

// A way a flow may fail: its word, message (0: none) and failed step's trace lines.
struct Failure {
  WORD word;
  int message;
  std::vector<std::string> lines;
};
using Failures = std::vector<Failure>;

struct Flow {
  const char* name;
  Prepare prepare;
  Recipe recipe = {};
  Run run;
  Failures failures;
  // Path prefixes the flow may leave as it likes (work), and those `verify` reads.
  std::vector<std::string> work = {"drives/c/plaxon/tmp/"};
  std::vector<std::string> own = {};
  std::function<void(const RunView&)> verify = nullptr;
  bool cleanSucceeds = true;
  // About how many operations CI fails, spread over the whole run.
  int ciRuns = 20;
};

bool Under(const std::string& path, const std::vector<std::string>& prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](const std::string& p) { return path.starts_with(p); });
}

bool IsTemporary(const std::string& path) {
  return path.find(".~tv") != std::string::npos || path.find(".cp~") != std::string::npos;
}

// Readers skip a temporary and all a folder under a temporary's name holds.
bool SkippedByReaders(const std::string& path) {
  for (std::size_t from = 0; from <= path.size();) {
    const std::size_t to = std::min(path.find('/', from), path.size());
    if (plat::IsTemporaryName(path.substr(from, to - from))) return true;
    from = to + 1;
  }
  return false;
}

// The archive behind a new backup folder whole, with the configuration in it.
void CheckHddBackups(const RunView& v) {
  int whole = 0, made = 0;
  for (const auto& [path, bytes] : v.after) {
    if (!path.starts_with("drives/c/plaxon/others/backup/") || !path.ends_with("/svp_conf.tgz"))
      continue;
    if (bytes.empty()) continue;  // an empty archive is no backup to the scan
    auto entries = ReadArchive(bytes);
    EXPECT_TRUE(entries.has_value()) << "a backup that counts is not whole: " << path;
    whole += entries.has_value();
    if (v.before.count(path)) continue;
    ++made;
    EXPECT_TRUE(!entries || (*entries)["CONFIG/CNFDATA/TBL000.DAT"] == std::string(5000, 'a'))
        << "the backup holds the configuration: " << path;
  }
  // The scan counts exactly the whole backups.
  char path[MAX_PATH];
  WORD count = 0;
  Talver_FindBackupDirectory(path, &count, 1);
  EXPECT_TRUE(count == whole) << "backups counted " << count << ", whole " << whole;
  EXPECT_TRUE(v.outcome.result != 1 || made == 1) << "a reported backup is there";
  auto diff = Find(v.after, "drives/c/plaxon/diff/svp_conf.tgz");
  EXPECT_TRUE(!diff || v.before.at("drives/c/plaxon/diff/svp_conf.tgz") == *diff ||
              ReadArchive(*diff).has_value())
      << "the DIFF copy is whole";
}

// Each medium the selection takes has the same config4 beside a piece of the right
// size; after a success the pieces in volume order make a whole archive.
void CheckMediaVolumes(const RunView& v) {
  std::map<int, std::string> pieces;
  int count = 0;
  for (const std::string medium : {"m1", "m2", "m3"}) {
    const std::string dir = medium + "/plaxon/config/";
    auto own = Find(v.after, dir + "config4");
    // A record that is not whole is no volume to any reader.
    if (!own || own->size() != sizeof(Config4Record)) continue;
    EXPECT_TRUE(own == Find(v.after, dir + "412345/config4"))
        << "both config4 of " << medium << " agree";
    Config4Record r = fixtures::RecordOf(*own);
    auto piece = Find(v.after, dir + "412345/svp_conf.tgz");
    EXPECT_TRUE(piece.has_value()) << "a config4 without its piece on " << medium;
    if (!piece) continue;
    const bool last = r.volumeNumber + 1 >= r.volumeCount;
    EXPECT_TRUE(last ? !piece->empty() && piece->size() <= kPiece : piece->size() == kPiece)
        << "piece " << int(r.volumeNumber) << " of " << piece->size() << " bytes";
    EXPECT_TRUE(!pieces.count(r.volumeNumber)) << "volume " << int(r.volumeNumber) << " twice";
    pieces[r.volumeNumber] = *piece;
    count = r.volumeCount;
  }
  if (v.outcome.result != 1) return;
  std::string joined;
  for (int n = 0; n < count; ++n) joined += pieces[n];
  EXPECT_TRUE(static_cast<int>(pieces.size()) == count && count == 2) << "two volumes written";
  auto entries = ReadArchive(joined);
  EXPECT_TRUE(entries &&
              (*entries)["CONFIG/big.dat"] == v.before.at("drives/c/plaxon/config/big.dat"))
      << "the volumes join into a whole archive of the configuration";
}

// A backup over an older one: the medium holds the old or the new backup whole (or
// neither where `noneAllowed`), and a setup's selection takes exactly the whole one.
void CheckMediumReplaced(const RunView& v, bool noneAllowed) {
  auto at = [](const Snapshot& s, const char* p) {
    return Find(s, std::string("drives/e/plaxon/config/") + p).value_or("");
  };
  const std::string archive = at(v.after, "412345/svp_conf.tgz");
  const std::string beside = at(v.after, "412345/config4");
  const bool old = archive == at(v.before, "412345/svp_conf.tgz") &&
                   beside == at(v.before, "412345/config4") &&
                   at(v.after, "config4") == at(v.before, "config4");
  auto entries = ReadArchive(archive);
  const bool fresh = !old && entries && beside.size() == sizeof(Config4Record) &&
                     at(v.after, "config4") == beside &&
                     (*entries)["CONFIG/CNFDATA/TBL000.DAT"] == std::string(5000, 'a');
  // The old backup gone first, or a cut between the old records' removal and the
  // last new one, may leave the medium without its own config4: no selection takes it.
  EXPECT_TRUE(old || fresh || (noneAllowed && at(v.after, "config4").empty()))
      << "the medium holds neither backup whole";
  EXPECT_TRUE(v.outcome.result != 1 || fresh) << "a reported backup is on the medium";
  // The selection reads the medium's own config4 and the record beside the archive.
  MediaSelection selection{};
  selection.requestKind = kRequestSetup;
  CopyBounded(selection.drivePath, sizeof selection.drivePath, "E:\\");
  WORD word = 0;
  const bool taken = ClassifyMediaByConfig4(&selection, &word) == 1 && !archive.empty();
  EXPECT_TRUE(taken == (old || fresh))
      << "the selection takes " << (taken ? "a broken" : "no") << " backup";
}

// A table file of a restore is whole or absent, never short under its name.
void CheckTables(const RunView& v) {
  for (const auto& [p, bytes] : v.after)
    EXPECT_TRUE(!Under(p, {"drives/c/plaxon/tmp/tables/"}) || IsTemporary(p) ||
                Find(v.clean, p) == bytes)
        << "table file not whole: " << p;
}

std::uint64_t UsedBytes(const std::string& hostDir) {
  std::uint64_t used = 0;
  for (const auto& e : fs::recursive_directory_iterator(hostDir))
    if (e.is_regular_file()) used += e.file_size();
  return used;
}

// The SVP's configuration every flow starts from: identity files, config4 and a table.
void PutConfig(TestWorld& w) {
  IdentityFiles{}.WriteTo(w, "CONFIG");
  w.WriteHostFile('C', "PLAXON/CONFIG/config4", fixtures::Config4(0x8360, 1, 0));
  w.WriteHostFile('C', "PLAXON/CONFIG/CNFDATA/TBL000.DAT", std::string(5000, 'a'));
}

// `put`, then an archive of a changed configuration, as another SVP would have packed it.
Prepare PutNewArchive(char drive, const char* path, Prepare put = nullptr) {
  return [=](TestWorld& w) {
    if (put) put(w);
    w.WriteHostFile(drive, path,
                    TgzBytes(w, {{"CONFIG/CNFDATA/TBL000.DAT", std::string(6000, 'n')},
                                 {"CONFIG/CNFDATA/TBL001.DAT", "new table"},
                                 {"CONFIG/LMCPT.DAT", "PCMTYPE=3\r\n"}}));
  };
}

// A setup's world: no floppy drive, a target tree with a file of its own.
void PutSetupTarget(TestWorld& w) { fixtures::PutSetupTarget(w, "TARGET", "kept"); }

// The second-SVP update keeps no word: six failed attempts are its failure.
Outcome UpdateSecondSvp(TestWorld& w) {
  dsvCnf_ConfigUpdateTo2ndSVP();
  Outcome o{1, 0, w.TakeTrace()};
  int failed = 0;
  for (const auto& l : o.trace) failed += l.find("\nERR CompressDialog") != std::string::npos;
  if (failed >= 6) o = Outcome{0, 0x4004, o.trace};
  return o;
}

// The failures of each flow, one row per failed step: its word, its message and
// its trace line (with `also`, a second line each row needs). A word no sampled
// fault reaches is traced as the word itself ("ErrCode=0x...").
Failures Each(WORD word, int message, std::vector<std::string> lines, const char* also = "") {
  Failures rows;
  for (const std::string& line : lines) {
    rows.push_back({word, message, {line}});
    if (*also) rows.back().lines.push_back(also);
  }
  return rows;
}
// Traced("WORD:MESSAGE ..."), each word in hex as traced.
Failures Traced(const char* words) {
  Failures rows;
  std::istringstream in(words);
  for (std::string word, message; std::getline(in >> std::ws, word, ':') && in >> message;)
    rows.push_back(
        {WORD(std::stoul(word, nullptr, 16)), std::stoi(message), {"ErrCode=0x" + word}});
  return rows;
}
Failures operator+(Failures a, const Failures& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// The packing, its listing of the configuration, the lock; the backup folder, the
// retention's scan and the DIFF copy.
const Failures kHddFailures =
    Each(0x4004, 0,
         {"Talver_HddBacukupConfig(Failure)", "ERR ListDirectoryFiles(search)", "ERR fopen",
          "ERR fwrite", "ERR FlowLock"}) +
    Each(0, 0, {"ERR Talver_CreateBackupDirectory"}) +
    Each(0, 0, {"ERR CompressDialog"}, "ERR Not DIR") +
    Each(0, 0, {"File=.\\CnfBakup.cpp(*"}, "ErrCode=*");
const Failures kUnpackFailures =
    Each(0, 0, {"ERR Talver_ConfigIsUncompressed", "ERR INVALID_HANDLE_VALUE"});
// The extraction and each step of the check.
const Failures kCheckFailures =
    Each(0x2000, 0,
         {"File=.\\CnfCmpThd.cpp(*", "ERR Talver_CheckDkcModel", "ERR Talver_CheckPcmType",
          "ERR Talver_CheckConfigInfType", "ERR Talver_CheckSerialNumber"},
         "ErrCode=0x2000") +
    Each(0x4009, 0, {"ERR Talver_CheckSerialNumber"}, "ErrCode=0x4009") +
    Each(0x400A, 0, {"ERR Talver_CheckConfigInfType"}, "ErrCode=0x400A") +
    Each(0x400B, 0, {"ERR Talver_CheckZeLT330Data"}, "ErrCode=0x400B") +
    Traced("4002:0 4010:0 4011:0");
// A restored DKCF that fails its check is shown as the failed restore.
const Failures kRestoreFileFailures =
    Each(0x4004, 3681,
         {"ERR ParseGpfmFile", "ERR MakeFile(DKCF)", "ERR MakeFile(CFREV)",
          "ERR DeleteFile(TblNo63)", "ERR Copy File", "ERR Talver_CompressThread",
          "ERR GetCNFINF OLD", "ERR GetDkcVerFromFxDkc NEW", "ERR FlowLock"}) +
    Each(0x4000, 4703, {"ERR Invalid FilePath"}) +
    Each(0x4009, 3480, {"ERR CnfConfirmSerialNoDialog*"}) +
    Each(0x4011, 3333, {"ERR CnfConfirmSerialNoDialog*"}) +
    Traced("2000:3695 4009:3695 400A:3695 400B:3695 4011:3695");
// The fetch of the archive (its copy fails with 0x500 or 0x600) and its unpacking.
const Failures kFetchAndUnpack =
    Each(0x2000, 3333, {"ErrCode=0x600", "ErrCode=0x500"}, "ErrCode=0x2000") +
    Each(0x4004, 0, {"ERR Talver_CompressThread", "ERR CompressDialogProc"}) +
    Each(0x4004, 3681, {"ERR FlowLock"});
// The join of the volumes and its writes; a medium of another model; none given.
const Failures kSetupFailures =
    kFetchAndUnpack +
    Each(0x2000, 3333, {"File=.\\FDCopy3.cpp(*", "ERR WriteFile*"}, "ErrCode=0x2000") +
    Each(0x400B, 3676, {"ErrCode=0x400B"}) +
    Each(0x4000, 3677, {"ERR The same failure again: cancelled"}) +
    Traced("4103:0 4105:0 2001:0 2012:0");
const Failures kRestoreMediaFailures =
    Each(0x2000, 3333, {"ErrCode=0x600", "ErrCode=0x500"}, "ErrCode=0x2000") +
    Each(0x4004, 3681, {"ERR Talver_CompressThread", "ERR CompressDialogProc", "ERR FlowLock"}) +
    Traced("400B:3676 2001:3677 2012:3677 4105:4033");
// The packing, the lock, a volume's copy, its record and any other step of the
// volumes' writer (its places start at 2000); the operator's Cancel on a failure
// of the medium, on no medium, on a write-protected one.
const Failures kBackupFailures =
    Each(0x4004, 3681, {"ERR Talver_BackupConfigDialog", "ERR FlowLock"}) +
    Each(0x2000, 3333,
         {"ERR Talver_CopyFileThread", "ERR WriteConfig4Beside", "File=.\\CnfProcess.cpp(2*"},
         "ErrCode=0x2000") +
    Each(0x4000, 3333, {"ErrCode=0x2000"}, "ErrCode=0x4000") +
    Each(0x4000, 3677, {"ERR The same failure again: cancelled"}) +
    Each(0x4000, 3193, {"ErrCode=0x2005"}, "ErrCode=0x4000") +
    Traced("500:3304 700:3304 2001:3677 2005:3193 2007:3677 2012:3677 4001:3333 4107:4035");
const Failures kInstallFailures = kFetchAndUnpack + Traced("400B:3676 2001:3677 2012:3677");

std::vector<Flow> Flows() {
  auto hddFlow = [](const char* name, int backups, int ciRuns) {
    return Flow{.name = name,
                // `backups` old HDD backups, the oldest first, one also as the DIFF copy.
                .prepare =
                    [backups](TestWorld& w) {
                      const std::string old = TgzBytes(w, {{"CONFIG/old.dat", "old"}});
                      fixtures::PutHddBackups(w, backups, 1999, old);
                      w.WriteHostFile('C', "PLAXON/DIFF/svp_conf.tgz", old);
                    },
                .run = Direct([](WORD* w) { return dsvCnf_ConfigIsHddBackup(0, 0, w); }),
                .failures = kHddFailures,
                .own = {"drives/c/plaxon/others/backup/2", "drives/c/plaxon/diff/svp_conf.tgz"},
                .verify = CheckHddBackups,
                .ciRuns = ciRuns};
  };
  auto checkFlow = [](const char* name, const char* serial, bool passes) {
    return Flow{
        .name = name,
        // An archive of the identity files of the SVP `serial`.
        .prepare =
            [serial](TestWorld& w) {
              IdentityFiles other;
              other.serial = serial;
              other.WriteTo(w, "TMP");
              Snapshot entries;
              for (const char* f : {"CONFIG.INF", "SVP_MAIN.INI", "DKCPRP.DAT", "LMCPT.DAT"})
                entries[std::string("CONFIG/") + f] =
                    w.ReadHostFile('C', std::string("PLAXON/TMP/") + f);
              fs::remove_all(w.HostOf('C', "PLAXON/TMP"));
              w.MakeHostDir('C', "PLAXON/TMP");
              w.WriteHostFile('C', "OUT/check.tgz", TgzBytes(w, entries));
            },
        .run =
            Direct([](WORD* w) { return dsvCnf_CheckConfigFile("C:\\OUT\\check.tgz", 0x1F, w); }),
        .failures = kCheckFailures,
        .cleanSucceeds = passes};
  };
  const Run setup = Framed([] { return dsvCnf_SetupConfigInSVP(0, "E:\\", "C:\\TARGET\\"); },
                           "SetupConfigInSVP END");
  auto setupFlow = [setup](const char* name, Prepare prepare, std::map<int, Act> dialogs) {
    return Flow{.name = name,
                .prepare = prepare,
                .recipe = {dialogs, {}},
                .run = setup,
                .failures = kSetupFailures,
                .work = {"drives/c/plaxon/tmp/", "drives/c/target/tmp/"}};
  };
  const Run backup = Framed([] { return dsvp_TalverBackup(0); }, "Config Backup END");
  // An older backup on E:; `full`: the new one has room only once the old one goes,
  // and the old backup may go before the new one is whole.
  auto overOld = [backup](const char* name, bool full) {
    return Flow{
        .name = name,
        .prepare =
            [full](TestWorld& w) {
              const std::string c4 = fixtures::Config4(0x8360, 1, 0);
              w.WriteHostFile('E', "PLAXON/CONFIG/config4", c4);
              w.WriteHostFile('E', "PLAXON/CONFIG/412345/config4", c4);
              w.WriteHostFile(
                  'E', "PLAXON/CONFIG/412345/svp_conf.tgz",
                  TgzBytes(w, {{"CONFIG/old.dat", full ? Incompressible(20000, 5) : "old"}}));
              if (full) w.MutableWorld().drive('E').totalBytes = UsedBytes(w.DriveDir('E'));
            },
        .recipe = {{{kMediaTemplate, PickDrive("E")}}, {{3351, plat::IDYES}}},
        .run = backup,
        .failures = kBackupFailures,
        .own = {"drives/e/"},
        .verify =
            [full](const RunView& v) {
              CheckMediumReplaced(v, full ? v.outcome.result != 1 : v.powerCut);
            }};
  };
  return {
      hddFlow("HddBackup", 2, 20),
      // A hundred backups: the retention deletes the oldest, and only it.
      hddFlow("HddBackupWithRetention", 100, 24),
      {.name = "UpdateSecondSvp",
       .prepare = PutNewArchive('C', "PLAXON/HOME/DIFF/svp_conf.tgz"),
       .run = UpdateSecondSvp,
       .failures = Each(0x4004, 0, {"ERR CompressDialog"})},
      {.name = "Unpack",
       .prepare = PutNewArchive('C', "OUT/in.tgz"),
       .run = Direct(
           [](WORD*) { return dsvp_TalverIsUncompressed(0, "C:\\OUT\\in.tgz", "C:\\PLAXON\\"); }),
       .failures = kUnpackFailures},
      checkFlow("Check", "412345", true),
      // A check that fails cleanly never passes because a step of it failed.
      checkFlow("CheckOfAnotherSvp", "412399", false),
      {.name = "RestoreFromBackupFile",
       .prepare =
           [](TestWorld& w) {
             GpfmTestFile f;
             f.AddTable(1, 5, {Lz4Block(std::string(3000, 't'))});
             f.AddTable(1, 63, {fixtures::Table63(13120)});
             w.WriteHostFile('C', "OUT/b.gpfm", f.Bytes());
           },
       .recipe = {{{115, [](plat::DialogActions& a) { a.Type(1029, "C:\\OUT\\b.gpfm"); }}}, {}},
       .run = Direct([](WORD* w) { return dsvCnf_RestoreConf2(0, w); }),
       .failures = kRestoreFileFailures,
       .verify = CheckTables},
      setupFlow("SetupFromCdr",
                PutNewArchive('E', "PLAXON/CONFIG/8360/svp_conf.tgz", PutSetupTarget),
                {{kSetupTemplate, ClickOn(kIdCdrChoice)}, {kKeyCodeTemplate, kTypeKeyCode}}),
      // A backup in two volumes on the media vol1 and vol2 of drive E.
      setupFlow(
          "SetupFromSplitMedia",
          [](TestWorld& w) {
            PutSetupTarget(w);
            const std::string archive = TgzBytes(w, {{"CONFIG/big.dat", Incompressible(9000, 3)}});
            fixtures::PutMedia(w, 'E', {"vol1", "vol2"});
            fixtures::PutVolume(w, "vol1", 2, 0, archive.substr(0, archive.size() / 2));
            fixtures::PutVolume(w, "vol2", 2, 1, archive.substr(archive.size() / 2));
          },
          {{kSetupTemplate, ClickOn(kIdBackupMediumChoice)}, {kMediaTemplate, PickDrive("E")}}),
      {.name = "RestoreFromMedia",
       .prepare = PutNewArchive('D', "software/R_C2/647060/svp_conf.tgz",
                                [](TestWorld& w) {
                                  w.MutableWorld().drive('A').present = false;
                                  fixtures::AddCdromDrive(w);
                                  auto& s = w.MutableWorld().settings;
                                  s["send.result"] = s["send.status"] = "0";
                                  s["send.model_index"] = "2";
                                  w.WriteHostFile('D', "software/R_C2/647060/config4",
                                                  fixtures::Config4(0xFFFF, 1, 0));
                                }),
       .recipe = {{{kMediaTemplate, PickDrive("D")}}, {}},
       .run = Direct([](WORD* w) {
         WORD kind = 0;
         return dsvCnf_RestoreConf(0, &kind, w);
       }),
       .failures = kRestoreMediaFailures},
      {.name = "BackupToMediaInVolumes",
       .prepare =
           [](TestWorld& w) {
             w.WriteHostFile('C', "PLAXON/CONFIG/big.dat", Incompressible(1500000, 11));
             w.MutableWorld().drive('A').driveTotalBytes = 1457664;
             fixtures::PutMedia(w, 'A', {"m1", "m2", "m3"});
           },
       .recipe = {{{kMediaTemplate, PickDrive("A")}}, {{4034, plat::IDYES}, {3351, plat::IDYES}}},
       .run = backup,
       .failures = kBackupFailures,
       .own = {"m1/", "m2/", "m3/"},
       .verify = CheckMediaVolumes},
      overOld("BackupOverAnOlderBackup", false),
      overOld("BackupWithoutRoomForTheOlderBackup", true),
      {.name = "InstallByModel",
       .prepare = PutNewArchive('D', "software/R_D/647060/svp_conf.tgz", fixtures::AddCdromDrive),
       .recipe = {{{kMediaTemplate, PickDrive("D")}, {kKeyCodeTemplate, kTypeKeyCode}}, {}},
       .run = Framed([] { return dsvCnf_OffSvpAllConf(0, 0, 2); }, "Config Backup END"),
       .failures = kInstallFailures},
  };
}

// Ends the process when a run does not end within its bound: a hang is a
// failure as much as a crash, and must not wait for ctest's timeout. The
// line goes out past stdio, whose lock a hung thread may hold, and the
// process ends without abort(), which under Wine may wait on a debugger.
struct Watchdog {
  Watchdog(const std::string& what, int seconds)
      : thread([what, seconds, done = ended.get_future()] {
          if (done.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready) return;
          const std::string line =
              "fault loop: " + what + " did not end within " + std::to_string(seconds) + " s\n";
#ifdef _WIN32
          (void)!_write(2, line.data(), unsigned(line.size()));
#else
          (void)!write(2, line.data(), line.size());
#endif
          std::_Exit(3);
        }) {
  }
  ~Watchdog() {
    ended.set_value();
    thread.join();
  }
  std::promise<void> ended;
  std::thread thread;
};

struct Fault {
  int k = 0;  // 0: none
  DWORD error = 0;
  bool shortWrite = false;
  bool powerCut = false;  // the machine stops at k and comes back
};

struct RunResult {
  Outcome outcome;
  std::vector<int> messages;
  int counted = 0;
  std::vector<plat::CountedOp> log;
  Snapshot after;
  bool faulted = false;
  plat::CountedOp op{plat::FaultOp::Open, {}};
};

// A failure is one of the flow's own: its word, its step's trace lines and message.
// A cancel only when the operator cancelled or answered a failure's message.
void CheckFailure(const Flow& flow, const Outcome& o, const std::vector<std::string>& trace,
                  const std::vector<int>& seen, bool cancelled) {
  auto shown = [&](int id) { return std::find(seen.begin(), seen.end(), id) != seen.end(); };
  bool told = false, own = false;
  for (const Failure& f : flow.failures) {
    told |= f.message != 0 && shown(f.message);
    bool all = f.word == o.word && (f.message == 0 || shown(f.message));
    for (const std::string& line : f.lines) all = all && TestWorld::Contains(trace, line);
    own |= all;
  }
  if (o.word == 0x4000) own = own && (cancelled || told);
  std::ostringstream account;
  for (const auto& l : trace)
    if (TestWorld::Contains({l}, "ERR*") || TestWorld::Contains({l}, "ErrCode=*"))
      account << "\n  " << l.substr(l.find('\n') + 1);
  EXPECT_TRUE(own) << "result " << o.result << " word 0x" << std::hex << o.word << std::dec
                   << " is no failure of the flow; messages " << ::testing::PrintToString(seen)
                   << ", trace:" << account.str();
}

// Files outside the work folders hold their old bytes or a clean run's; a temporary
// stays only as the faulted removal or, after a power cut, named for readers to skip.
void CheckFiles(const Flow& flow, const Fault& fault, const RunResult& out, const Snapshot& before,
                const Snapshot& clean) {
  std::set<std::string> paths;
  for (const Snapshot* s : {&before, &clean, &out.after})
    for (const auto& [p, b] : *s) paths.insert(p);
  // A file whose removal (search, attributes, delete, rename) failed may stay.
  const std::string faultedPath = fixtures::Folded(out.op.path);
  using plat::FaultOp;
  const FaultOp o = out.op.op;
  const bool removal = out.faulted && (o == FaultOp::Delete || o == FaultOp::Rename ||
                                       o == FaultOp::Find || o == FaultOp::Attributes);
  auto itsRemoval = [&](const std::string& p) {
    return removal && faultedPath.find(p.substr(p.rfind('/') + 1)) != std::string::npos;
  };
  for (const std::string& p : paths) {
    auto now = Find(out.after, p);
    if (IsTemporary(p) && now) {
      EXPECT_TRUE(fault.powerCut ? SkippedByReaders(p) : itsRemoval(p))
          << (fault.powerCut ? "a temporary a reader would take: " : "temporary left: ") << p;
      continue;
    }
    if (Under(p, flow.work) || Under(p, flow.own)) continue;
    auto old = Find(before, p), fresh = Find(clean, p);
    if (now == old || now == fresh) continue;
    EXPECT_TRUE(now && !old && !fresh && itsRemoval(p))
        << (now ? (old || fresh ? "changed: " : "left: ") : "gone: ") << p
        << (now ? " (" + std::to_string(now->size()) + " bytes)" : "");
  }
}

// One run of a flow, the k-th operation failed (0: none), the world `tweak`ed.
RunResult RunFlow(const Flow& flow, const Fault& fault, const Snapshot* clean,
                  const Prepare& tweak = nullptr) {
  RunResult out;
  // Making the world is inside the bound too: under Wine it mounts drives.
  Watchdog watchdog(std::string(flow.name) + " k=" + std::to_string(fault.k), 120);
  TestWorld w;
  // The HDD backup gives its archiver 60 waits: 1 ms ones timed out a clean
  // run on a loaded machine (0x4004).
  w.MutableWorld().settings["services.wait_ms"] = "5";
  PutConfig(w);
  if (flow.prepare) flow.prepare(w);
  if (tweak) tweak(w);
  const Snapshot before = TakeSnapshot(w);
  w.TakeTrace();
  FlowOperator op(flow.recipe);
  const long handles = plat::LiveHandles();
  w.Faults().ResetCount(fault.k == 0);
  if (fault.powerCut)
    w.Faults().CutPowerAt(fault.k);
  else
    w.Faults().FailNth(fault.k, fault.error, fault.shortWrite);
  out.outcome = flow.run(w);
  out.counted = w.Faults().Counted();
  out.log = w.Faults().Log();
  out.faulted = w.Faults().NthFailed(&out.op);
  out.messages = op.Messages();
  w.Faults().FailNth(0, 0);
  // Nobody heard what a run cut off returned: the checks look at what the disk kept.
  if (fault.powerCut) {
    w.Faults().Restart();
    out.outcome = Outcome{};
  }
  auto trace = w.TakeTrace();
  trace.insert(trace.end(), out.outcome.trace.begin(), out.outcome.trace.end());
  out.after = TakeSnapshot(w);
  if (!clean) clean = &out.after;

  std::ostringstream where;
  where << flow.name << " k=" << fault.k;
  if (out.faulted)
    where << " (" << plat::FaultOpName(out.op.op) << " " << out.op.path
          << (fault.powerCut ? ", power cut" : ", code " + std::to_string(fault.error))
          << (fault.shortWrite ? ", short" : "") << ")";
  SCOPED_TRACE(where.str());
  EXPECT_TRUE(plat::LiveHandles() == handles)
      << "handles left open: " << plat::LiveHandles() - handles;
  const Outcome& o = out.outcome;
  EXPECT_TRUE(fault.k != 0 || tweak || (o.result == 1) == flow.cleanSucceeds)
      << "clean run result " << o.result << " word 0x" << std::hex << o.word;
  EXPECT_TRUE(flow.cleanSucceeds || o.result != 1) << "a failing check passed";
  if (o.result != 1 && !fault.powerCut) CheckFailure(flow, o, trace, out.messages, op.Cancelled());
  CheckFiles(flow, fault, out, before, *clean);
  if (flow.verify) flow.verify(RunView{o, before, out.after, *clean, fault.powerCut});
  return out;
}

// The k a sweep of n operations runs: every k in a full sweep, k alone for
// TALVER_FAULT_ONLY=k (its trace echoed), about N evenly spread for
// TALVER_FAULT_SAMPLE=N, else those `pick` takes out of a stride of `every`.
bool FullSweep() {
  const char* sweep = std::getenv("TALVER_FAULT_SWEEP");
  return sweep && std::string(sweep) == "full";
}
std::vector<int> Sweep(int n, int every, const std::function<bool(int)>& pick) {
  const bool full = FullSweep();
  const char* sample = full ? nullptr : std::getenv("TALVER_FAULT_SAMPLE");
  if (sample) every = std::max(1, std::atoi(sample));
  const int stride = full ? 1 : std::max(1, n / every);
  if (const char* only = std::getenv("TALVER_FAULT_ONLY")) {
    svc::SetTraceEcho(true);
    return {std::atoi(only)};
  }
  std::vector<int> ks;
  for (int k = 1; k <= n; ++k)
    if ((k - 1) % stride == 0 || (!sample && pick(k))) ks.push_back(k);
  return ks;
}

// Kinds of operation a flow makes at most this often are all faulted in CI.
constexpr int kRareKind = 4;
// Power cuts CI makes per flow, spread over its run.
constexpr int kCiCuts = 6;

std::string FlowName(const ::testing::TestParamInfo<std::size_t>& info) {
  return Flows().at(info.param).name;
}

// The clean run, then a fault at each k of the sweep: a failure (a write also
// short) at a stride, every operation of a rare kind and the first of each; or a
// power cut at points spread over the run and after each rename, where a cut
// finds the new name not yet made durable.
void FaultEach(std::size_t index, bool powerCuts) {
  const Flow flow = Flows().at(index);
  int runs = 0, shortWrites = 0;
  RunResult clean = RunFlow(flow, {}, nullptr);
  ASSERT_FALSE(::testing::Test::HasFailure()) << "the clean run";
  std::map<std::string, int> kinds;
  for (const auto& op : clean.log) ++kinds[plat::FaultOpName(op.op)];
  std::set<std::string> seen;
  auto opOf = [&](int k) { return clean.log.at(std::size_t(k - 1)).op; };
  const auto ks = powerCuts
                      ? Sweep(clean.counted, kCiCuts,
                              [&](int k) { return k > 1 && opOf(k - 1) == plat::FaultOp::Rename; })
                      : Sweep(clean.counted, flow.ciRuns, [&](int k) {
                          const std::string kind = plat::FaultOpName(opOf(k));
                          return seen.insert(kind).second || kinds[kind] <= kRareKind;
                        });
  const bool full = FullSweep();  // every failure reported
  for (int k : ks) {
    for (bool shortWrite : {false, true}) {
      if (shortWrite && (powerCuts || opOf(k) != plat::FaultOp::Write)) continue;
      const DWORD code = powerCuts ? 0 : kCodes[std::size_t(k) % std::size(kCodes)];
      RunFlow(flow, {k, code, shortWrite, powerCuts}, &clean.after);
      ++runs;
      shortWrites += shortWrite;
      if (::testing::Test::HasFailure() && !full && !powerCuts) return;
    }
  }
  std::ostringstream ops;
  for (const auto& [kind, count] : kinds) ops << " " << kind << "=" << count;
  std::printf("[%s] %s: %d operations (%s ), %d runs (%d short writes)\n",
              powerCuts ? "power cut" : "fault loop", flow.name, clean.counted, ops.str().c_str(),
              runs, shortWrites);
}

class FaultLoop : public ::testing::TestWithParam<std::size_t> {};
TEST_P(FaultLoop, EveryOperationOfTheFlowFailsInTurn) { FaultEach(GetParam(), false); }
INSTANTIATE_TEST_SUITE_P(Flows, FaultLoop, ::testing::Range<std::size_t>(0, Flows().size()),
                         FlowName);

class FaultLoopPowerCut : public ::testing::TestWithParam<std::size_t> {};
TEST_P(FaultLoopPowerCut, EveryOperationIsTheLast) { FaultEach(GetParam(), true); }
INSTANTIATE_TEST_SUITE_P(Flows, FaultLoopPowerCut, ::testing::Range<std::size_t>(0, Flows().size()),
                         FlowName);

// The SVP's disk holds `room` bytes more than it holds now.
Prepare DiskWithRoom(std::uint64_t room) {
  return [room](TestWorld& w) {
    w.MutableWorld().drive('C').totalBytes = UsedBytes(w.DriveDir('C')) + room;
  };
}

// The media named in `pulled` never ready; a medium `small` holds only `size` bytes.
Prepare Media(char drive, std::string pulled, const char* small = "", std::uint64_t size = 0) {
  return [=](TestWorld& w) {
    plat::Drive& d = w.MutableWorld().drive(drive);
    for (plat::Medium& m : d.media) {
      if ((" " + pulled + " ").find(" " + m.name + " ") != std::string::npos) m.notReady = true;
      if (m.name == small) m.totalBytes = size;
    }
    d.Insert(0);
  };
}

struct Limit {
  const char* name;
  const char* flow;
  Prepare tweak;
  int result;
  WORD word;
  const char* messages;  // shown, in this order among the others
};

class Limits : public ::testing::TestWithParam<Limit> {};

TEST_P(Limits, FailWithTheirWordAndLoseNothing) {
  SKIP_ON_WINDOWS("a drive smaller than its host folder is the POSIX world's");
  const Limit& c = GetParam();
  std::vector<Flow> flows = Flows();
  const Flow& flow = *std::find_if(flows.begin(), flows.end(),
                                   [&](const Flow& f) { return std::string(f.name) == c.flow; });
  RunResult clean = RunFlow(flow, {}, nullptr);
  RunResult run = RunFlow(flow, {}, &clean.after, c.tweak);
  const std::string seen = ::testing::PrintToString(run.messages);
  EXPECT_EQ(run.outcome.result, c.result) << seen;
  EXPECT_EQ(run.outcome.word, c.word) << std::hex << run.outcome.word << " " << seen;
  std::istringstream wanted(c.messages);
  std::size_t at = 0;
  for (int id; wanted >> id;) {
    while (at < run.messages.size() && run.messages[at] != id) ++at;
    EXPECT_LT(at, run.messages.size()) << "message " << id << " not shown in order";
  }
}

// A restore's unpacking or a setup's join fills the disk; a backup's second floppy
// fills up; the next medium is not ready, is asked for again, or never comes.
INSTANTIATE_TEST_SUITE_P(
    DiskAndMedia, Limits,
    ::testing::Values(
        Limit{"UnpackFillsTheDisk", "RestoreFromMedia", DiskWithRoom(2000), 0, 0x4004, "3681"},
        Limit{"JoinFillsTheDisk", "SetupFromSplitMedia", DiskWithRoom(7000), 0, 0x2000, "3333"},
        Limit{"VolumeFillsTheMedium", "BackupToMediaInVolumes", Media('A', "", "m2", 50000), 0,
              0x2000, "4034 4036 3333"},
        Limit{"MediumPulledBetweenVolumes", "BackupToMediaInVolumes", Media('A', "m2"), 1, 0,
              "4034 4036 3677 4036 3188"},
        Limit{"EveryNextMediumPulled", "BackupToMediaInVolumes", Media('A', "m2 m3"), 2, 0x4000,
              "4034 4036 3677 4036"},
        Limit{"SetupMediumPulled", "SetupFromSplitMedia", Media('E', "vol2"), 2, 0x4000,
              "3836 3677 3836 3677"}),
    [](const ::testing::TestParamInfo<Limit>& info) { return std::string(info.param.name); });

}  // namespace
