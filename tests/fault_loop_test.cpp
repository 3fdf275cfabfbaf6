// Every export's flow under injected faults. Each flow runs once cleanly
// over the counting platform; then for k = 1..N the k-th file operation of
// that run fails (a write both as a failure and as a short write), with the
// system error codes an SVP gives in turn, and each outcome is checked:
//   - the run ends within its bound (a watchdog aborts a hang) and leaves no
//     handle open;
//   - a failure returns a failure word of the flow, writes a failure trace
//     line and, in the flows that tell the operator, shows the message of
//     its word; a cancel only when the operator cancelled;
//   - every file outside the work folders holds its old bytes or the bytes
//     of a clean run: \PLAXON\CONFIG\ is never half-written and nothing the
//     flow does not touch is gone;
//   - no temporary file is left behind (unless the fault was its removal);
//   - what the flow reports made (an HDD backup, the media volumes and
//     their config4) reads back whole; a backup that counts is never partial.
// CI fails about 20 operations per flow spread over its run, every one of
// the kinds a flow makes at most 4 times, and cuts power at 6 points and
// after each rename; TALVER_FAULT_SWEEP=full runs every k of every flow.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
#include "support/TgzWriter.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfImpKey.h"

namespace fs = std::filesystem;

namespace {

using Snapshot = std::map<std::string, std::string>;

constexpr char kKeyCode[] = "XBKZNRTQ";
constexpr std::size_t kPiece = 1400000;
// The system error codes of an SVP's disks and media: access denied, write
// protected, not ready, sharing violation, disk full.
constexpr DWORD kCodes[] = {5, 19, 21, 32, 112};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string ReadHost(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Every file of the world (drives and media), by its lower-case path relative
// to the world folder; the trace and audit files of the stand-ins left out.
Snapshot TakeSnapshot(const TestWorld& w) {
  Snapshot files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(w.Dir(), ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    std::string rel = Lower(fs::relative(it->path(), w.Dir()).string());
    if (rel == "trace.log" || rel == "audit.log") continue;
    files[rel] = ReadHost(it->path());
  }
  return files;
}

// The entries of a gzip tar archive read to its end; nullopt when it is not
// whole (truncated, damaged, not an archive).
std::optional<std::map<std::string, std::string>> ReadArchive(const std::string& bytes) {
  archive* a = archive_read_new();
  archive_read_support_filter_gzip(a);
  archive_read_support_format_tar(a);
  std::map<std::string, std::string> entries;
  bool whole = archive_read_open_memory(a, bytes.data(), bytes.size()) == ARCHIVE_OK;
  archive_entry* e = nullptr;
  while (whole) {
    int rc = archive_read_next_header(a, &e);
    if (rc == ARCHIVE_EOF) break;
    if (rc != ARCHIVE_OK) {
      whole = false;
      break;
    }
    std::string data;
    char buffer[65536];
    la_ssize_t n;
    while ((n = archive_read_data(a, buffer, sizeof buffer)) > 0)
      data.append(buffer, static_cast<std::size_t>(n));
    if (n < 0) whole = false;
    entries[archive_entry_pathname(e)] = data;
  }
  archive_read_free(a);
  if (!whole) return std::nullopt;
  return entries;
}

std::string Incompressible(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string TgzBytes(TestWorld& w, const std::map<std::string, std::string>& entries) {
  std::string path = w.Dir() + "/made.tgz";
  EXPECT_TRUE(WriteTgz(path, entries));
  std::string bytes = ReadHost(path);
  fs::remove(path);
  return bytes;
}

// ---- the operator --------------------------------------------------------

// A patient operator who follows a recipe whatever the flow shows: the
// first turn of a dialog does the dialog's actions and the next clicks OK;
// a message box gets the recipe's answer, else OK where there is one, else
// its last button (No or Cancel). A flow that keeps asking is cancelled.
struct Recipe {
  std::map<int, std::function<void(plat::DialogActions&)>> dialogs;
  std::map<int, WORD> answers;
};

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
    WORD answer = buttons.back();
    auto it = recipe_.answers.find(box.messageId);
    if (it != recipe_.answers.end())
      answer = it->second;
    else if (std::find(buttons.begin(), buttons.end(), plat::IDOK) != buttons.end())
      answer = plat::IDOK;
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

// ---- the flows -----------------------------------------------------------

struct Outcome {
  int result = 0;  // 1 success
  WORD word = 0;
  std::vector<std::string> trace;  // lines the run took from the capture itself
};

// The outcome of an export that keeps its result word: the frame traces the
// word on the line before its end line.
Outcome FrameOutcome(TestWorld& w, int result, const char* endLine) {
  Outcome o{result, 0, w.TakeTrace()};
  for (std::size_t i = o.trace.size(); i-- > 1;) {
    if (o.trace[i].find(endLine) == std::string::npos) continue;
    const std::size_t at = o.trace[i - 1].find("ErrCode=0x");
    if (at != std::string::npos)
      o.word = static_cast<WORD>(std::stoul(o.trace[i - 1].substr(at + 10), nullptr, 16));
    break;
  }
  return o;
}

// What a run left, for a flow's own checks.
struct RunView {
  TestWorld& world;
  const Outcome& outcome;
  const Snapshot& before;
  const Snapshot& after;
  const Snapshot& clean;  // after the clean run
  bool powerCut;
};

struct Flow {
  const char* name;
  std::function<void(TestWorld&)> prepare;
  std::function<Recipe()> recipe;
  std::function<Outcome(TestWorld&)> run;
  std::vector<WORD> failureWords;
  bool tellsOperator;
  // Lower-case path prefixes (relative to the world folder) whose files the
  // flow may leave as it likes (work folders), and those its own check reads.
  std::vector<std::string> work;
  std::vector<std::string> own;
  std::function<void(const RunView&, int* checks)> verify;
  bool cleanSucceeds = true;
  // Failure words whose step shows no message, and messages that stand for
  // the word's own in this flow.
  std::vector<WORD> silent = {};
  std::vector<int> alsoTold = {};
  // About how many operations CI fails, spread over the whole run.
  int ciRuns = 20;
};

bool Under(const std::string& path, const std::vector<std::string>& prefixes) {
  for (const auto& p : prefixes)
    if (path.rfind(p, 0) == 0) return true;
  return false;
}

bool IsTemporary(const std::string& path) {
  return path.find(".~tv") != std::string::npos || path.find(".cp~") != std::string::npos;
}

#define CHECK_THAT(cond, what) \
  do {                         \
    ++*checks;                 \
    EXPECT_TRUE(cond) << what; \
  } while (0)

// The SVP's configuration: identity files, config4 and a table.
void PutConfig(TestWorld& w) {
  IdentityFiles{}.WriteTo(w, "CONFIG");
  w.WriteHostFile('C', "PLAXON/CONFIG/config4", fixtures::Config4(0x8360, 1, 0));
  w.WriteHostFile('C', "PLAXON/CONFIG/CNFDATA/TBL000.DAT", std::string(5000, 'a'));
}

// An archive of a changed configuration, as another SVP would have packed it.
std::map<std::string, std::string> NewConfigEntries() {
  return {{"CONFIG/CNFDATA/TBL000.DAT", std::string(6000, 'n')},
          {"CONFIG/CNFDATA/TBL001.DAT", "new table"},
          {"CONFIG/LMCPT.DAT", "PCMTYPE=3\r\n"}};
}

// The archive behind a new backup folder whole, with the configuration in it.
void CheckHddBackups(const RunView& v, int* checks) {
  int whole = 0, made = 0;
  for (const auto& [path, bytes] : v.after) {
    if (path.rfind("drives/c/plaxon/others/backup/", 0) != 0) continue;
    if (path.size() < 13 || path.compare(path.size() - 13, 13, "/svp_conf.tgz") != 0) continue;
    if (bytes.empty()) continue;  // an empty archive is no backup to the scan
    auto entries = ReadArchive(bytes);
    CHECK_THAT(entries.has_value(), "a backup that counts is not whole: " << path);
    if (entries) ++whole;
    if (!v.before.count(path)) {
      ++made;
      if (entries) {
        CHECK_THAT((*entries)["CONFIG/CNFDATA/TBL000.DAT"] == std::string(5000, 'a'),
                   "the backup holds the configuration: " << path);
      }
    }
  }
  // The scan counts exactly the whole backups.
  char path[MAX_PATH];
  WORD count = 0;
  Talver_FindBackupDirectory(path, &count, 1);
  CHECK_THAT(count == whole, "backups counted " << count << ", whole " << whole);
  if (v.outcome.result == 1) CHECK_THAT(made == 1, "a reported backup is there");
  auto diff = v.after.find("drives/c/plaxon/diff/svp_conf.tgz");
  if (diff != v.after.end() && v.before.at("drives/c/plaxon/diff/svp_conf.tgz") != diff->second)
    CHECK_THAT(ReadArchive(diff->second).has_value(), "the DIFF copy is whole");
}

// The volumes on the media: each medium the selection takes (by its own
// config4) has the same config4 beside a piece of the right size; after a success the pieces in
// volume order make the archive in \PLAXON\TMP\, which reads whole.
void CheckMediaVolumes(const RunView& v, int* checks) {
  std::map<int, std::string> pieces;
  int count = 0;
  for (const char* medium : {"m1", "m2", "m3"}) {
    const std::string dir = std::string(medium) + "/plaxon/config/";
    auto own = v.after.find(dir + "config4");
    // A record that is not whole is no volume to any reader.
    if (own == v.after.end() || own->second.size() != sizeof(Config4Record)) continue;
    auto beside = v.after.find(dir + "412345/config4");
    CHECK_THAT(beside != v.after.end() && own->second == beside->second,
               "both config4 of " << medium << " agree");
    Config4Record r = fixtures::RecordOf(own->second);
    auto piece = v.after.find(dir + "412345/svp_conf.tgz");
    CHECK_THAT(piece != v.after.end(), "a config4 without its piece on " << medium);
    if (piece == v.after.end()) continue;
    const std::size_t size = piece->second.size();
    if (r.volumeNumber + 1 < r.volumeCount) {
      CHECK_THAT(size == kPiece, "piece " << int(r.volumeNumber) << " of " << size << " bytes");
    } else {
      CHECK_THAT(size > 0 && size <= kPiece, "last piece of " << size << " bytes");
    }
    CHECK_THAT(!pieces.count(r.volumeNumber), "volume " << int(r.volumeNumber) << " twice");
    pieces[r.volumeNumber] = piece->second;
    count = r.volumeCount;
  }
  if (v.outcome.result != 1) return;
  std::string joined;
  for (int n = 0; n < count; ++n) joined += pieces[n];
  CHECK_THAT(static_cast<int>(pieces.size()) == count && count == 2, "two volumes written");
  auto entries = ReadArchive(joined);
  CHECK_THAT(entries.has_value(), "the volumes join into a whole archive");
  if (entries) {
    CHECK_THAT((*entries)["CONFIG/big.dat"] == v.before.at("drives/c/plaxon/config/big.dat"),
               "the archive holds the configuration");
  }
}

// A backup to a medium that held an older one: at every point the medium
// holds the old backup whole or the new one whole, and the selection of a
// setup (request kind 5) takes exactly that one.
void CheckMediumReplaced(const RunView& v, int* checks) {
  const std::string dir = "drives/e/plaxon/config/";
  auto at = [&](const Snapshot& s, const std::string& p) {
    auto it = s.find(dir + p);
    return it == s.end() ? std::string() : it->second;
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
  // A cut between the removal of the old records and the last new one
  // leaves a medium that no selection takes; any other end keeps one whole.
  CHECK_THAT(old || fresh || (v.powerCut && at(v.after, "config4").empty()),
             "the medium holds neither backup whole");
  if (v.outcome.result == 1) CHECK_THAT(fresh, "a reported backup is on the medium");
  // The selection takes the medium by its own config4 and the archive in
  // the backup's folder, and reads the record beside it where there is one.
  MediaSelection selection{};
  selection.requestKind = kRequestSetup;
  CopyBounded(selection.drivePath, sizeof selection.drivePath, "E:\\");
  WORD word = 0;
  const bool taken = ClassifyMediaByConfig4(&selection, &word) == 1 && !archive.empty();
  CHECK_THAT(taken == (old || fresh),
             "the selection takes " << (taken ? "a broken" : "no") << " backup");
}

std::vector<Flow> Flows() {
  std::vector<Flow> flows;
  const std::vector<std::string> kTmp = {"drives/c/plaxon/tmp/"};

  flows.push_back({"HddBackup",
                   [](TestWorld& w) {
                     PutConfig(w);
                     const std::string old = TgzBytes(w, {{"CONFIG/old.dat", "old"}});
                     for (const char* stamp : {"19990101000000", "19990101000001"})
                       w.WriteHostFile(
                           'C', std::string("PLAXON/OTHERS/BACKUP/") + stamp + "/svp_conf.tgz",
                           old);
                     w.WriteHostFile('C', "PLAXON/DIFF/svp_conf.tgz", old);
                   },
                   [] { return Recipe{}; },
                   [](TestWorld&) {
                     Outcome o;
                     o.result = dsvCnf_ConfigIsHddBackup(0, 0, &o.word);
                     return o;
                   },
                   {0, 0x4004},
                   false,
                   kTmp,
                   {"drives/c/plaxon/others/backup/2", "drives/c/plaxon/diff/svp_conf.tgz"},
                   CheckHddBackups});

  // A hundred backups already: the retention deletes the oldest, and only it.
  flows.push_back({"HddBackupWithRetention",
                   [](TestWorld& w) {
                     PutConfig(w);
                     const std::string old = TgzBytes(w, {{"CONFIG/old.dat", "old"}});
                     for (int i = 0; i < 100; ++i) {
                       char stamp[32];
                       std::snprintf(stamp, sizeof stamp, "199901010%05d", i);
                       w.WriteHostFile(
                           'C', std::string("PLAXON/OTHERS/BACKUP/") + stamp + "/svp_conf.tgz",
                           old);
                     }
                     w.WriteHostFile('C', "PLAXON/DIFF/svp_conf.tgz", old);
                   },
                   [] { return Recipe{}; },
                   [](TestWorld&) {
                     Outcome o;
                     o.result = dsvCnf_ConfigIsHddBackup(0, 0, &o.word);
                     return o;
                   },
                   {0, 0x4004},
                   false,
                   kTmp,
                   {"drives/c/plaxon/others/backup/2", "drives/c/plaxon/diff/svp_conf.tgz"},
                   CheckHddBackups,
                   true,
                   {},
                   {},
                   24});  // each run scans a hundred backups

  flows.push_back(
      {"UpdateSecondSvp",
       [](TestWorld& w) {
         PutConfig(w);
         w.WriteHostFile('C', "PLAXON/HOME/DIFF/svp_conf.tgz", TgzBytes(w, NewConfigEntries()));
       },
       [] { return Recipe{}; },
       [](TestWorld& w) {
         dsvCnf_ConfigUpdateTo2ndSVP();
         int failed = 0;
         auto trace = w.TakeTrace();
         for (const auto& l : trace)
           if (l.find("\nERR CompressDialog") != std::string::npos) ++failed;
         // Six failed attempts are the export's failure.
         Outcome o{failed >= 6 ? 0 : 1, static_cast<WORD>(failed >= 6 ? 0x4004 : 0), trace};
         return o;
       },
       {0x4004},
       false,
       kTmp,
       {},
       nullptr});

  flows.push_back({"Unpack",
                   [](TestWorld& w) {
                     PutConfig(w);
                     w.WriteHostFile('C', "OUT/in.tgz", TgzBytes(w, NewConfigEntries()));
                   },
                   [] { return Recipe{}; },
                   [](TestWorld&) {
                     Outcome o;
                     o.result = dsvp_TalverIsUncompressed(0, "C:\\OUT\\in.tgz", "C:\\PLAXON\\");
                     return o;
                   },
                   {0},
                   false,
                   kTmp,
                   {},
                   nullptr});

  auto checkFlow = [&](const char* name, const char* serial, bool matches) {
    flows.push_back(
        {name,
         [serial](TestWorld& w) {
           PutConfig(w);
           IdentityFiles other;
           other.serial = serial;
           other.WriteTo(w, "TMP");
           std::map<std::string, std::string> entries;
           for (const char* f : {"CONFIG.INF", "SVP_MAIN.INI", "DKCPRP.DAT", "LMCPT.DAT"})
             entries[std::string("CONFIG/") + f] =
                 w.ReadHostFile('C', std::string("PLAXON/TMP/") + f);
           std::filesystem::remove_all(w.HostOf('C', "PLAXON/TMP"));
           w.MakeHostDir('C', "PLAXON/TMP");
           w.WriteHostFile('C', "OUT/check.tgz", TgzBytes(w, entries));
         },
         [] { return Recipe{}; },
         [](TestWorld&) {
           Outcome o;
           o.result = dsvCnf_CheckConfigFile("C:\\OUT\\check.tgz", 0x1F, &o.word);
           return o;
         },
         {0x2000, 0x400B, 0x4002, 0x4009, 0x400A, 0x4010, 0x4011},
         false,
         kTmp,
         {},
         nullptr,
         matches});
  };
  checkFlow("Check", "412345", true);
  // A check that fails cleanly never passes because a step of it failed.
  checkFlow("CheckOfAnotherSvp", "412399", false);

  flows.push_back({"RestoreFromBackupFile",
                   [](TestWorld& w) {
                     PutConfig(w);
                     GpfmTestFile f;
                     f.AddTable(1, 5, {Lz4Block(std::string(3000, 't'))});
                     f.AddTable(1, 63, {fixtures::Table63(13120)});
                     w.WriteHostFile('C', "OUT/b.gpfm", f.Bytes());
                   },
                   [] {
                     Recipe r;
                     r.dialogs[115] = [](plat::DialogActions& a) {
                       a.Type(1029, "C:\\OUT\\b.gpfm");
                     };
                     return r;
                   },
                   [](TestWorld&) {
                     Outcome o;
                     o.result = dsvCnf_RestoreConf2(0, &o.word);
                     return o;
                   },
                   {0x2000, 0x4004, 0x400A, 0x400B, 0x4009, 0x4011},
                   true,
                   kTmp,
                   {},
                   // A table file is whole or absent, never short under its name.
                   [](const RunView& v, int* checks) {
                     for (const auto& [p, bytes] : v.after) {
                       if (!Under(p, {"drives/c/plaxon/tmp/tables/"}) || IsTemporary(p)) continue;
                       auto whole = v.clean.find(p);
                       CHECK_THAT(whole != v.clean.end() && whole->second == bytes,
                                  "table file not whole: " << p);
                     }
                   },
                   true,
                   {},
                   // A DKCF that cannot be checked is reported as the failed restore.
                   {3695}});

  auto setupWorld = [](TestWorld& w) {
    PutConfig(w);
    w.MutableWorld().drive('A').present = false;
    w.MakeHostDir('C', "TARGET/TMP");
    w.MakeHostDir('C', "TARGET/CONFIG");
    w.WriteHostFile('C', "TARGET/CONFIG/kept.dat", "kept");
  };
  auto runSetup = [](TestWorld& w) {
    return FrameOutcome(w, dsvCnf_SetupConfigInSVP(0, "E:\\", "C:\\TARGET\\"),
                        "SetupConfigInSVP END");
  };
  const std::vector<std::string> kSetupWork = {"drives/c/plaxon/tmp/", "drives/c/target/tmp/"};
  const std::vector<WORD> kSetupWords = {0x2000, 0x4004, 0x400B, 0x4103, 0x4105, 0x2001, 0x2012};
  flows.push_back(
      {"SetupFromCdr",
       [setupWorld](TestWorld& w) {
         setupWorld(w);
         w.WriteHostFile('E', "PLAXON/CONFIG/8360/svp_conf.tgz", TgzBytes(w, NewConfigEntries()));
       },
       [] {
         Recipe r;
         r.dialogs[kSetupTemplate] = [](plat::DialogActions& a) { a.Click(kIdCdrChoice); };
         r.dialogs[kKeyCodeTemplate] = [](plat::DialogActions& a) {
           a.Type(kIdKeyCodeEdit, kKeyCode);
         };
         return r;
       },
       runSetup,
       kSetupWords,
       false,
       kSetupWork,
       {},
       nullptr});

  flows.push_back(
      {"SetupFromSplitMedia",
       [setupWorld](TestWorld& w) {
         setupWorld(w);
         const std::string archive = TgzBytes(w, {{"CONFIG/big.dat", Incompressible(9000, 3)}});
         fixtures::PutMedia(w, 'E', {"vol1", "vol2"});
         const std::string pieces[] = {archive.substr(0, archive.size() / 2),
                                       archive.substr(archive.size() / 2)};
         for (int n = 0; n < 2; ++n) {
           const std::string dir = w.Dir() + "/vol" + std::to_string(n + 1) + "/PLAXON/CONFIG/";
           fs::create_directories(dir + "412345");
           const std::string c4 = fixtures::Config4(0x8360, 2, static_cast<BYTE>(n));
           std::ofstream(dir + "config4", std::ios::binary) << c4;
           std::ofstream(dir + "412345/config4", std::ios::binary) << c4;
           std::ofstream(dir + "412345/svp_conf.tgz", std::ios::binary) << pieces[n];
         }
       },
       [] {
         Recipe r;
         r.dialogs[kSetupTemplate] = [](plat::DialogActions& a) { a.Click(kIdBackupMediumChoice); };
         r.dialogs[kMediaTemplate] = [](plat::DialogActions& a) {
           a.SelectText(kIdDriveList, "E");
         };
         return r;
       },
       runSetup,
       kSetupWords,
       false,
       kSetupWork,
       {},
       nullptr});

  flows.push_back(
      {"RestoreFromMedia",
       [](TestWorld& w) {
         PutConfig(w);
         w.MutableWorld().drive('A').present = false;
         fixtures::AddCdromDrive(w);
         auto& s = w.MutableWorld().settings;
         s["send.result"] = "0";
         s["send.status"] = "0";
         s["send.model_index"] = "2";
         w.WriteHostFile('D', "software/R_C2/647060/config4", fixtures::Config4(0xFFFF, 1, 0));
         w.WriteHostFile('D', "software/R_C2/647060/svp_conf.tgz", TgzBytes(w, NewConfigEntries()));
       },
       [] {
         Recipe r;
         r.dialogs[kMediaTemplate] = [](plat::DialogActions& a) {
           a.SelectText(kIdDriveList, "D");
         };
         return r;
       },
       [](TestWorld&) {
         Outcome o;
         WORD kind = 0;
         o.result = dsvCnf_RestoreConf(0, &kind, &o.word);
         return o;
       },
       {0x2000, 0x4004, 0x400B, 0x2001, 0x2012, 0x4105},
       true,
       kTmp,
       {},
       nullptr});

  flows.push_back(
      {"BackupToMediaInVolumes",
       [](TestWorld& w) {
         PutConfig(w);
         w.WriteHostFile('C', "PLAXON/CONFIG/big.dat", Incompressible(1500000, 11));
         w.MutableWorld().drive('A').driveTotalBytes = 1457664;
         fixtures::PutMedia(w, 'A', {"m1", "m2", "m3"});
       },
       [] {
         Recipe r;
         r.dialogs[kMediaTemplate] = [](plat::DialogActions& a) {
           a.SelectText(kIdDriveList, "A");
         };
         r.answers = {{4034, plat::IDYES}, {3351, plat::IDYES}};
         return r;
       },
       [](TestWorld& w) { return FrameOutcome(w, dsvp_TalverBackup(0), "Config Backup END"); },
       {0x0500, 0x0700, 0x2000, 0x4004, 0x4107, 0x2001, 0x2005, 0x2007, 0x2012, 0x4001},
       true,
       kTmp,
       {"m1/", "m2/", "m3/"},
       CheckMediaVolumes});

  flows.push_back(
      {"BackupOverAnOlderBackup",
       [](TestWorld& w) {
         PutConfig(w);
         const std::string old = TgzBytes(w, {{"CONFIG/old.dat", "old"}});
         const std::string c4 = fixtures::Config4(0x8360, 1, 0);
         w.WriteHostFile('E', "PLAXON/CONFIG/config4", c4);
         w.WriteHostFile('E', "PLAXON/CONFIG/412345/config4", c4);
         w.WriteHostFile('E', "PLAXON/CONFIG/412345/svp_conf.tgz", old);
       },
       [] {
         Recipe r;
         r.dialogs[kMediaTemplate] = [](plat::DialogActions& a) {
           a.SelectText(kIdDriveList, "E");
         };
         r.answers = {{3351, plat::IDYES}};
         return r;
       },
       [](TestWorld& w) { return FrameOutcome(w, dsvp_TalverBackup(0), "Config Backup END"); },
       {0x0500, 0x0700, 0x2000, 0x4004, 0x4107, 0x2001, 0x2005, 0x2007, 0x2012, 0x4001},
       true,
       kTmp,
       {"drives/e/"},
       CheckMediumReplaced});

  flows.push_back({"InstallByModel",
                   [](TestWorld& w) {
                     PutConfig(w);
                     fixtures::AddCdromDrive(w);
                     w.WriteHostFile('D', "software/R_D/647060/svp_conf.tgz",
                                     TgzBytes(w, NewConfigEntries()));
                   },
                   [] {
                     Recipe r;
                     r.dialogs[kMediaTemplate] = [](plat::DialogActions& a) {
                       a.SelectText(kIdDriveList, "D");
                     };
                     r.dialogs[kKeyCodeTemplate] = [](plat::DialogActions& a) {
                       a.Type(kIdKeyCodeEdit, kKeyCode);
                     };
                     return r;
                   },
                   [](TestWorld& w) {
                     return FrameOutcome(w, dsvCnf_OffSvpAllConf(0, 0, 2), "Config Backup END");
                   },
                   {0x2000, 0x4004, 0x400B, 0x2001, 0x2012},
                   true,
                   kTmp,
                   {},
                   nullptr,
                   true,
                   {0x4004}});  // the unpacking's failure shows no message
  return flows;
}

// The message each failure word shows.
int MessageOf(WORD word) {
  static const std::map<WORD, int> messages = {
      {0x0500, 3304}, {0x0700, 3304}, {0x2000, 3333}, {0x2001, 3677}, {0x2005, 3193},
      {0x2007, 3677}, {0x2012, 3677}, {0x4001, 3333}, {0x4002, 3332}, {0x4004, 3681},
      {0x4009, 3480}, {0x400A, 3459}, {0x400B, 3676}, {0x4010, 3332}, {0x4011, 3333},
      {0x4103, 3835}, {0x4105, 4033}, {0x4107, 4035}};
  auto it = messages.find(word);
  return it == messages.end() ? 0 : it->second;
}

bool IsFailureMessage(int id) {
  for (WORD w : {0x0500, 0x2000, 0x2001, 0x2005, 0x2007, 0x4002, 0x4004, 0x4009, 0x400A, 0x400B,
                 0x4103, 0x4105, 0x4107})
    if (MessageOf(w) == id) return true;
  return id == 3695;
}

// Aborts the process when a run does not end within its bound: a hang is
// a failure as much as a crash, and must not wait for ctest's timeout.
class Watchdog {
 public:
  Watchdog(std::string what, int seconds)
      : what_(std::move(what)), thread_([this, seconds] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
            std::fprintf(stderr, "fault loop: %s did not end within %d s\n", what_.c_str(),
                         seconds);
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    thread_.join();
  }

 private:
  std::string what_;
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
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

// One run of a flow, with the k-th operation failed (k = 0: none) and the
// world changed by `tweak` after its preparation, and the checks of every run.
RunResult RunFlow(const Flow& flow, const Fault& fault, const Snapshot* clean, int* checks,
                  const std::function<void(TestWorld&)>& tweak = nullptr) {
  RunResult out;
  TestWorld w;
  w.MutableWorld().settings["services.wait_ms"] = "1";
  flow.prepare(w);
  if (tweak) tweak(w);
  const Snapshot before = TakeSnapshot(w);
  w.TakeTrace();
  FlowOperator op(flow.recipe());
  const long handles = plat::LiveHandles();
  w.Faults().ResetCount(fault.k == 0);
  if (fault.powerCut)
    w.Faults().CutPowerAt(fault.k);
  else
    w.Faults().FailNth(fault.k, fault.error, fault.shortWrite);
  Outcome outcome;
  {
    std::string what = std::string(flow.name) + " k=" + std::to_string(fault.k);
    Watchdog watchdog(what, 60);
    outcome = flow.run(w);
  }
  if (!clean) clean = &out.after;
  out.counted = w.Faults().Counted();
  out.log = w.Faults().Log();
  out.faulted = w.Faults().NthFailed(&out.op);
  w.Faults().FailNth(0, 0);
  // After a power cut nobody heard what the run returned; the checks look at
  // what the disk kept.
  if (fault.powerCut) {
    w.Faults().Restart();
    outcome = Outcome{};
  }
  auto trace = w.TakeTrace();
  trace.insert(trace.end(), outcome.trace.begin(), outcome.trace.end());
  out.after = TakeSnapshot(w);

  std::string where =
      std::string(flow.name) + " k=" + std::to_string(fault.k) +
      (out.faulted ? std::string(" (") + plat::FaultOpName(out.op.op) + " " + out.op.path +
                         (fault.powerCut ? std::string(", power cut")
                                         : ", code " + std::to_string(fault.error)) +
                         (fault.shortWrite ? ", short" : "") + ")"
                   : std::string());
  SCOPED_TRACE(where);
  CHECK_THAT(plat::LiveHandles() == handles,
             "handles left open: " << plat::LiveHandles() - handles);
  if (fault.k == 0 && !tweak)
    CHECK_THAT((outcome.result == 1) == flow.cleanSucceeds,
               "clean run result " << outcome.result << " word 0x" << std::hex << outcome.word);
  const bool cancelled = op.Cancelled();
  if (!flow.cleanSucceeds) CHECK_THAT(outcome.result != 1, "a failing check passed");
  if (outcome.result != 1 && !fault.powerCut) {
    const auto& words = flow.failureWords;
    // A cancel only when the operator cancelled, or answered a failure's
    // message (some steps end as cancelled unless the operator retries).
    bool toldBefore = false;
    for (int id : op.Messages()) toldBefore |= IsFailureMessage(id);
    bool known = std::find(words.begin(), words.end(), outcome.word) != words.end() ||
                 (outcome.word == 0x4000 && (cancelled || toldBefore));
    CHECK_THAT(known, "result " << outcome.result << " with word 0x" << std::hex << outcome.word);
    bool traced = false;
    for (const auto& l : trace)
      traced |= l.find("ERR") != std::string::npos || l.find("ErrCode=") != std::string::npos ||
                l.find("(Failure)") != std::string::npos ||
                l.find("(Timeout)") != std::string::npos;
    CHECK_THAT(traced, "a failure without a failure trace line");
    const auto& silent = flow.silent;
    if (flow.tellsOperator && outcome.word != 0x4000 && MessageOf(outcome.word) != 0 &&
        std::find(silent.begin(), silent.end(), outcome.word) == silent.end()) {
      auto seen = op.Messages();
      bool told = std::find(seen.begin(), seen.end(), MessageOf(outcome.word)) != seen.end();
      for (int id : flow.alsoTold) told |= std::find(seen.begin(), seen.end(), id) != seen.end();
      CHECK_THAT(told, "message " << MessageOf(outcome.word) << " of word 0x" << std::hex
                                  << outcome.word << " not shown");
    }
  }
  // Files outside the work folders: their old bytes or a clean run's.
  std::set<std::string> paths;
  for (const Snapshot* s : {&before, clean, static_cast<const Snapshot*>(&out.after)})
    for (const auto& [p, b] : *s) paths.insert(p);
  // A file whose removal (its search, attributes, delete or rename) was made
  // to fail may stay.
  std::string faultedPath = Lower(out.op.path);
  std::replace(faultedPath.begin(), faultedPath.end(), '\\', '/');
  auto itsRemoval = [&](const std::string& p) {
    using plat::FaultOp;
    const FaultOp o = out.op.op;
    if (!out.faulted || (o != FaultOp::Delete && o != FaultOp::Rename && o != FaultOp::Find &&
                         o != FaultOp::Attributes))
      return false;
    const std::string name = p.substr(p.rfind('/') + 1);
    return faultedPath.find(name) != std::string::npos;
  };
  for (const std::string& p : paths) {
    auto get = [&p](const Snapshot& s) -> std::optional<std::string> {
      auto it = s.find(p);
      if (it == s.end()) return std::nullopt;
      return it->second;
    };
    auto now = get(out.after);
    if (IsTemporary(p) && now) {
      // A power cut leaves temporaries, in the form that every reader passes over.
      if (fault.powerCut)
        CHECK_THAT(plat::IsTemporaryName(p), "a temporary a reader would take: " << p);
      else
        CHECK_THAT(itsRemoval(p), "temporary left: " << p);
      continue;
    }
    if (Under(p, flow.work) || Under(p, flow.own)) continue;
    ++*checks;
    auto old = get(before), fresh = get(*clean);
    if (now == old || now == fresh) continue;
    CHECK_THAT(now && !old && !fresh && itsRemoval(p),
               (now ? (old || fresh ? "changed: " : "left: ") : "gone: ")
                   << p << (now ? " (" + std::to_string(now->size()) + " bytes)" : ""));
  }
  if (flow.verify)
    flow.verify(RunView{w, outcome, before, out.after, *clean, fault.powerCut}, checks);
  out.outcome = outcome;
  out.messages = op.Messages();
  return out;
}

// Kinds of operation a flow makes at most this often are all faulted in CI.
constexpr int kRareKind = 4;
// Power cuts CI makes per flow, spread over its run.
constexpr int kCiCuts = 6;

bool FullSweep() {
  const char* sweep = std::getenv("TALVER_FAULT_SWEEP");
  return sweep && std::string(sweep) == "full";
}

class FaultLoop : public ::testing::TestWithParam<std::size_t> {};

TEST_P(FaultLoop, EveryOperationOfTheFlowFailsInTurn) {
  const Flow flow = Flows().at(GetParam());
  int checks = 0;
  RunResult clean = RunFlow(flow, {}, nullptr, &checks);
  ASSERT_FALSE(HasFailure()) << "the clean run";
  const int n = clean.counted;
  // CI: about flow.ciRuns faulted operations, spread over the whole run.
  const int stride = FullSweep() ? 1 : std::max(1, n / flow.ciRuns);
  int runs = 0, shortWrites = 0;
  // TALVER_FAULT_ONLY=k runs that k alone, its trace echoed.
  const char* only = std::getenv("TALVER_FAULT_ONLY");
  if (only) svc::SetTraceEcho(true);
  std::map<std::string, int> kinds;
  for (const auto& op : clean.log) ++kinds[plat::FaultOpName(op.op)];
  std::set<std::string> seen;
  for (int k = only ? std::atoi(only) : 1; k <= n; k += only ? n : 1) {
    const plat::CountedOp& op = clean.log[static_cast<std::size_t>(k - 1)];
    // A stride over the frequent kinds of operation; every one of the rare
    // and the first of each kind.
    const char* kind = plat::FaultOpName(op.op);
    const bool first = seen.insert(kind).second;
    if (!only && !first && (k - 1) % stride != 0 && kinds[kind] > kRareKind) continue;
    for (bool shortWrite : {false, true}) {
      if (shortWrite && op.op != plat::FaultOp::Write) continue;
      Fault fault{k, kCodes[static_cast<std::size_t>(k) % std::size(kCodes)], shortWrite};
      RunFlow(flow, fault, &clean.after, &checks);
      ++runs;
      shortWrites += shortWrite;
      if (HasFailure() && !FullSweep()) break;
    }
    if (HasFailure() && !FullSweep()) break;
  }
  std::ostringstream ops;
  for (const auto& [kind, count] : kinds) ops << " " << kind << "=" << count;
  std::printf(
      "[fault loop] %s: %d operations (%s ), %d faulted runs (%d short writes), %d checks\n",
      flow.name, n, ops.str().c_str(), runs, shortWrites, checks);
}

INSTANTIATE_TEST_SUITE_P(Flows, FaultLoop, ::testing::Range<std::size_t>(0, 13),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return std::string(Flows().at(info.param).name);
                         });

// A power cut at operation k of the clean run, then the checks on what the
// disk kept. CI cuts at kCiCuts points per flow, spread over the run.
class FaultLoopPowerCut : public ::testing::TestWithParam<std::size_t> {};

TEST_P(FaultLoopPowerCut, EveryOperationIsTheLast) {
  const Flow flow = Flows().at(GetParam());
  int checks = 0;
  RunResult clean = RunFlow(flow, {}, nullptr, &checks);
  ASSERT_FALSE(HasFailure()) << "the clean run";
  const int n = clean.counted;
  const int stride = FullSweep() ? 1 : std::max(1, n / kCiCuts);
  const char* only = std::getenv("TALVER_FAULT_ONLY");
  if (only) svc::SetTraceEcho(true);
  int runs = 0;
  for (int k = only ? std::atoi(only) : 1; k <= n; k += only ? n : 1) {
    // A stride, and the operation after each rename: there a cut finds the
    // new name not yet made durable.
    const bool afterRename =
        k > 1 && clean.log[static_cast<std::size_t>(k - 2)].op == plat::FaultOp::Rename;
    if (!only && (k - 1) % stride != 0 && !afterRename) continue;
    Fault cut{k, 0, false, true};
    RunFlow(flow, cut, &clean.after, &checks);
    ++runs;
  }
  std::printf("[power cut] %s: %d operations, %d power cuts, %d checks\n", flow.name, n, runs,
              checks);
}

INSTANTIATE_TEST_SUITE_P(Flows, FaultLoopPowerCut, ::testing::Range<std::size_t>(0, 13),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return std::string(Flows().at(info.param).name);
                         });

// ---- a disk that fills up, a medium pulled out ------------------------------

// The bytes of the files below a host folder.
std::uint64_t BytesUnder(const std::string& dir) {
  std::uint64_t total = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) total += e.file_size();
  return total;
}

// The SVP's disk holds `room` bytes more than it holds now.
std::function<void(TestWorld&)> DiskWithRoom(std::uint64_t room) {
  return [room](TestWorld& w) {
    w.MutableWorld().drive('C').totalBytes = BytesUnder(w.DriveDir('C')) + room;
  };
}

// Media of the list pulled out (never ready), or given a size of their own.
std::function<void(TestWorld&)> Media(char drive, std::map<std::string, bool> notReady,
                                      std::map<std::string, std::uint64_t> size = {}) {
  return [=](TestWorld& w) {
    plat::Drive& d = w.MutableWorld().drive(drive);
    for (plat::Medium& m : d.media) {
      if (notReady.count(m.name)) m.notReady = notReady.at(m.name);
      if (size.count(m.name)) m.totalBytes = size.at(m.name);
    }
    d.Insert(0);
  };
}

struct Limit {
  const char* name;
  const char* flow;
  std::function<void(TestWorld&)> tweak;
  int result;
  WORD word;
  std::vector<int> messages;  // shown, in this order among the others
};

void PrintTo(const Limit& limit, std::ostream* out) { *out << limit.name; }

class Limits : public ::testing::TestWithParam<Limit> {};

TEST_P(Limits, FailWithTheirWordAndLoseNothing) {
  const Limit& c = GetParam();
  std::vector<Flow> flows = Flows();
  auto flow = std::find_if(flows.begin(), flows.end(),
                           [&](const Flow& f) { return std::string(f.name) == c.flow; });
  ASSERT_NE(flow, flows.end());
  int checks = 0;
  RunResult clean = RunFlow(*flow, {}, nullptr, &checks);
  RunResult run = RunFlow(*flow, {}, &clean.after, &checks, c.tweak);
  const std::string seen = ::testing::PrintToString(run.messages);
  EXPECT_EQ(run.outcome.result, c.result) << seen;
  EXPECT_EQ(run.outcome.word, c.word) << std::hex << run.outcome.word << " " << seen;
  std::size_t at = 0;
  for (int id : c.messages) {
    while (at < run.messages.size() && run.messages[at] != id) ++at;
    EXPECT_LT(at, run.messages.size()) << "message " << id << " not shown in order";
  }
}

INSTANTIATE_TEST_SUITE_P(
    DiskAndMedia, Limits,
    ::testing::Values(
        // The unpacking of a restore fills the SVP's disk.
        Limit{"UnpackFillsTheDisk", "RestoreFromMedia", DiskWithRoom(2000), 0, 0x4004, {3681}},
        // The second floppy fills up in the middle of its piece.
        Limit{"VolumeFillsTheMedium",
              "BackupToMediaInVolumes",
              Media('A', {}, {{"m2", 50000}}),
              0,
              0x2000,
              {4034, 4036, 3333}},
        // The join of the second volume fills the disk of the target.
        Limit{"JoinFillsTheDisk", "SetupFromSplitMedia", DiskWithRoom(7000), 0, 0x2000, {3333}},
        // The next floppy is not ready: the operator is told and asked again.
        Limit{"MediumPulledBetweenVolumes",
              "BackupToMediaInVolumes",
              Media('A', {{"m2", true}}),
              1,
              0,
              {4034, 4036, 3677, 4036, 3188}},
        // No medium ever comes: the operator gives up.
        Limit{"EveryNextMediumPulled",
              "BackupToMediaInVolumes",
              Media('A', {{"m2", true}, {"m3", true}}),
              2,
              0x4000,
              {4034, 4036, 3677, 4036}},
        // The medium of the second volume of a setup is pulled out: the
        // operator is told each time and asked again, until giving up.
        Limit{"SetupMediumPulled",
              "SetupFromSplitMedia",
              Media('E', {{"vol2", true}}),
              2,
              0x4000,
              {3836, 3677, 3836, 3677}}),
    [](const ::testing::TestParamInfo<Limit>& info) { return std::string(info.param.name); });

}  // namespace
