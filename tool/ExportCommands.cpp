// Subcommands that call one export each.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Json.h"
#include "Tool.h"
#include "exports/Exports.h"
#include "host/talver_host.h"

namespace {

// dsvCnf_ConfigUpdateTo2ndSVP returns nothing; its trace tells the outcome.
// It writes the error code of each failed attempt and, after the sixth, the
// count of attempts (6) as its last code: then the update did not happen,
// and the word is that of the last attempt.
int UpdateOutcome(std::uint16_t* word) {
  constexpr unsigned long kAttempts = 6;
  std::vector<unsigned long> codes;
  for (const std::string& line : CallTrace()) {
    TraceRecord r;
    if (ParseTraceLine(line, &r) && r.isCode && r.source == "Talver.cpp") codes.push_back(r.code);
  }
  if (codes.size() <= kAttempts || codes.back() != kAttempts) return 1;
  *word = static_cast<std::uint16_t>(codes[codes.size() - 2]);
  return 0;
}

// --dry-run of the commands that write the configuration: the call runs on
// the trial platform and its changes are listed instead of made.
bool gDryRun = false;

void AddDryRun(CLI::App* command) {
  command->add_flag("--dry-run", gDryRun,
                    "Run every check and dialog, write nothing, and list what the run would "
                    "add, replace, keep and delete");
}

bool LoadWorldFor(ToolContext& ctx) {
  if (!LoadWorld(ctx)) return false;
  if (!gDryRun) return true;
  char error[512] = {};
  if (TalverHost_SetDryRun(1, error, sizeof error)) return true;
  std::fprintf(stderr, "svpconf: --dry-run: %s\n", error);
  ctx.exitCode = 1;
  return false;
}

void PrintChange(const char*, const char*, const char*, std::uint64_t, const char* line,
                 void* changes) {
  std::printf("%s\n", line);
  static_cast<JsonDoc*>(changes)->push_back(line);
}

void ListDryRun() {
  if (!gDryRun) return;
  JsonDoc changes = JsonDoc::array();
  const int count = TalverHost_DryRunChanges(PrintChange, &changes);
  std::printf("dry run: %d change%s listed, nothing written\n", count, count == 1 ? "" : "s");
  JsonOut()["dry_run"] = changes;
  TalverHost_SetDryRun(0, nullptr, 0);
}

// What a failed unpack lacked, in words: its trace says "ERR
// INVALID_HANDLE_VALUE" for a missing archive and a missing folder alike.
// Each is looked at as the system's own calls see it.
void SayWhatUnpackLacked(const std::string& archive, const std::string& dir) {
  if (TalverHost_PathKind(archive.c_str()) == 0)
    std::fprintf(stderr, "svpconf: %s: no such archive\n", archive.c_str());
  static const char* const kFolderLacks[] = {"no such folder; make it first",
                                             "a file, not a folder", nullptr,
                                             "a link, which nothing is written through"};
  if (const char* lack = kFolderLacks[TalverHost_PathKind(dir.c_str()) & 3])
    std::fprintf(stderr, "svpconf: %s: %s\n", dir.c_str(), lack);
}

// The backup just made, by the system's own scan of the backup folder.
void ReportBackupMade() {
  char folder[1024] = {}, host[4096] = {};
  if (!TalverHost_NewestBackup(folder, sizeof folder)) return;
  std::string archive = std::string(folder) + "\\svp_conf.tgz";
  std::printf("backup=%s\n", archive.c_str());
  JsonDoc backup = {{"folder", folder}, {"archive", archive}};
  if (TalverHost_ResolvePath(archive.c_str(), host, sizeof host)) {
    std::printf("backup_host=%s\n", host);
    backup["archive_host"] = host;
  }
  JsonOut()["backup"] = backup;
}

void RegisterExportCommands(CLI::App& app, ToolContext& ctx) {
  app.add_subcommand("rancher", "Show the library's information message")->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    ReportExport(ctx, dsvp_TalverRancher(0), 0);
  });
  app.add_subcommand("compressed", "Run dsvp_TalverIsCompressed (writes its trace lines)")
      ->callback([&ctx] {
        if (!LoadWorld(ctx)) return;
        ReportExport(ctx, dsvp_TalverIsCompressed(), 0);
      });

  static std::string archive, dir;
  auto* unpack = app.add_subcommand("unpack", "Unpack an archive into a directory");
  unpack->add_option("ARCHIVE", archive, "svp_conf.tgz to unpack")->required();
  unpack->add_option("DIR", dir, "target directory (ends in a backslash)")->required();
  AddDryRun(unpack);
  unpack->callback([&ctx] {
    if (!LoadWorldFor(ctx)) return;
    const int result = dsvp_TalverIsUncompressed(0, archive.c_str(), dir.c_str());
    ReportExportFromTrace(ctx, result);
    if (result == 0) SayWhatUnpackLacked(archive, dir);
    ListDryRun();
  });

  static DWORD hddMode = 0;
  auto* hdd = app.add_subcommand("hdd-backup", "Make a timestamped backup on the SVP's disk");
  hdd->add_option("--mode", hddMode, "0 silent, 1 wait window, 2 archiver dialog");
  hdd->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    WORD word = 0;
    int result = dsvCnf_ConfigIsHddBackup(0, hddMode, &word);
    ReportExport(ctx, result, word);
    if (result == 1) ReportBackupMade();
  });

  auto* update =
      app.add_subcommand("update-2nd", "Unpack the DIFF archive over the second SVP's tree");
  AddDryRun(update);
  update->callback([&ctx] {
    if (!LoadWorldFor(ctx)) return;
    dsvCnf_ConfigUpdateTo2ndSVP();
    std::uint16_t word = 0;
    int result = UpdateOutcome(&word);
    ReportExport(ctx, result, word);
    ListDryRun();
  });

  static std::string checkArchive;
  static DWORD checks = 0x1F;
  auto* check = app.add_subcommand("check", "Check that an archive belongs to this controller");
  check->add_option("ARCHIVE", checkArchive, "svp_conf.tgz to check")->required();
  check->add_option("--checks", checks, "mask of the checks to run");
  check->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    WORD word = 0;
    int result = dsvCnf_CheckConfigFile(checkArchive.c_str(), checks, &word);
    ReportExport(ctx, result, word);
  });

  app.add_subcommand("config-type", "Print the SVP's configuration type")->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    char text[8] = {};
    WORD word = 0;
    int result = dsvCnf_GetStrConfigType(text, &word);
    if (result == 1) {
      std::printf("type=%s\n", text);
      JsonOut()["type"] = text;
    }
    ReportExport(ctx, result, word);
  });

  app.add_subcommand("backup-media", "Back the configuration up to media")->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    ReportExportFromTrace(ctx, dsvp_TalverBackup(0));
  });

  static DWORD selector = 0;
  static WORD installMode = 0;
  auto* install = app.add_subcommand("install-model", "Install the configuration by model");
  install->add_option("--selector", selector, "model selector")->required();
  // The other modes of the export back the configuration up to media: that
  // is backup-media's work, not an installation.
  install
      ->add_option("--mode", installMode, "0: select with request kind 8, 2: with request kind 9")
      ->required()
      ->check([](const std::string& v) {
        return v == "0" || v == "2" ? std::string()
                                    : "the modes that install are 0 and 2, not '" + v +
                                          "'; a backup to media is 'svpconf backup-media'";
      });
  AddDryRun(install);
  install->callback([&ctx] {
    if (!LoadWorldFor(ctx)) return;
    ReportExportFromTrace(ctx, dsvCnf_OffSvpAllConf(0, installMode, selector));
    ListDryRun();
  });

  static std::string source, target;
  auto* setup = app.add_subcommand("setup", "Set up the configuration in an SVP tree");
  setup->add_option("SOURCE", source, "source root (ends in a backslash)")->required();
  setup->add_option("TARGET", target, "target tree directory (ends in a backslash)")->required();
  AddDryRun(setup);
  setup->callback([&ctx] {
    if (!LoadWorldFor(ctx)) return;
    ReportExportFromTrace(ctx, dsvCnf_SetupConfigInSVP(0, source.c_str(), target.c_str()));
    ListDryRun();
  });

  auto* restoreMedia = app.add_subcommand("restore-media", "Restore the configuration from media");
  AddDryRun(restoreMedia);
  restoreMedia->callback([&ctx] {
    if (!LoadWorldFor(ctx)) return;
    WORD kind = 0, word = 0;
    int result = dsvCnf_RestoreConf(0, &kind, &word);
    std::printf("kind=0x%04X\n", kind);
    JsonOut()["kind"] = WordText(kind);
    ReportExport(ctx, result, word);
    ListDryRun();
  });

  static std::string gpfmFile;
  auto* restoreGpfm =
      app.add_subcommand("restore-gpfm", "Restore the configuration from a .gpfm backup file");
  restoreGpfm->add_option("FILE", gpfmFile,
                          "the backup file (the answer to the file dialog; else --file or the "
                          "terminal); the confirmation: --confirm or the terminal");
  AddDryRun(restoreGpfm);
  restoreGpfm->callback([&ctx] {
    if (!gpfmFile.empty()) ctx.dialogs.file = gpfmFile;
    if (!LoadWorldFor(ctx)) return;
    WORD word = 0;
    int result = dsvCnf_RestoreConf2(0, &word);
    char tables[1024] = {}, host[4096] = {}, newVersion[32] = {}, oldVersion[32] = {};
    if (result == 1 &&
        TalverHost_RestoredTables(tables, sizeof tables, newVersion, sizeof newVersion, oldVersion,
                                  sizeof oldVersion)) {
      std::printf("tables=%s\n", tables);
      JsonDoc& doc = JsonOut();
      doc["tables"] = tables;
      if (TalverHost_ResolvePath(tables, host, sizeof host)) {
        std::printf("tables_host=%s\n", host);
        doc["tables_host"] = host;
      }
      std::printf("new_version=%s\nold_version=%s\n", newVersion, oldVersion);
      doc["new_version"] = newVersion;
      doc["old_version"] = oldVersion;
    }
    ReportExport(ctx, result, word);
    ListDryRun();
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterExportCommands);
