// svpconf backups: the HDD backups of the world, newest first, by the scan
// the retention counts with (TalverHost_Backups): valid (what the retention
// counts), invalid, or interrupted (what the next backup removes). With
// --verify, each backup's archive (and the DIFF copy) read whole, or with
// --drive the backup on that medium, every volume in turn: sound or damaged,
// and why.
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Json.h"
#include "Tool.h"
#include "host/talver_host.h"

namespace {

struct Backup {
  std::string name;
  std::uint64_t size = 0;
  bool valid = false;
  bool interrupted = false;
};

void Collect(const char* name, std::uint64_t size, int valid, int interrupted, void* context) {
  static_cast<std::vector<Backup>*>(context)->push_back({name, size, valid != 0, interrupted != 0});
}

const char* StateOf(const Backup& b) {
  if (b.valid) return "valid";
  return b.interrupted ? "interrupted" : "invalid";
}

struct VerifyOptions {
  bool verify = false;
  std::vector<std::string> names;
};

const char* StateOfVerify(int result) {
  return result == 1 ? "sound" : result == 0 ? "damaged" : "unchecked";
}

// One line for what was verified; the exit code 1 when it is not sound.
JsonDoc VerifiedLine(ToolContext& ctx, const std::string& name, int result, const char* why) {
  if (result != 1) ctx.exitCode = 1;
  if (result == 1)
    std::printf("%-16s sound\n", name.c_str());
  else
    std::printf("%-16s %s: %s\n", name.c_str(), StateOfVerify(result), why);
  return {{"backup", name}, {"state", StateOfVerify(result)}, {"why", why}};
}

void VerifyBackups(ToolContext& ctx, const std::vector<std::string>& names) {
  JsonDoc results = JsonDoc::array();
  for (const std::string& name : names) {
    char why[512] = "";
    const int result = TalverHost_Verify(name.c_str(), why, sizeof why);
    results.push_back(VerifiedLine(ctx, name, result, why));
  }
  JsonOut()["verified"] = results;
}

void PrintVolume(const talver_volume* v, void* context) {
  std::printf("volume %d of %d  %s  %llu bytes\n", v->number, v->count, v->archive,
              static_cast<unsigned long long>(v->size));
  static_cast<JsonDoc*>(context)->push_back(
      {{"number", v->number}, {"count", v->count}, {"archive", v->archive}, {"size", v->size}});
}

// The backup of this SVP on the medium of the drive dialog's answer.
void VerifyMedia(ToolContext& ctx) {
  JsonDoc volumes = JsonDoc::array();
  char why[512] = "";
  const int result = TalverHost_VerifyMedia(PrintVolume, &volumes, why, sizeof why);
  JsonDoc line = VerifiedLine(ctx, "drive " + ctx.dialogs.drive, result, why);
  line["volumes"] = volumes;
  JsonOut()["verified"] = JsonDoc::array({line});
}

// The backups to verify: those named, else every folder and the DIFF copy.
std::vector<std::string> VerifyNames(const VerifyOptions& options,
                                     const std::vector<Backup>& backups) {
  if (!options.names.empty()) return options.names;
  std::vector<std::string> names;
  for (const auto& b : backups) names.push_back(b.name);
  names.push_back("DIFF");
  return names;
}

void RegisterBackupsCommand(CLI::App& app, ToolContext& ctx) {
  static VerifyOptions options;
  auto* cmd = app.add_subcommand("backups", "List the HDD backups, newest first");
  cmd->add_flag(
      "--verify", options.verify,
      "Read each backup's archive whole (and the DIFF copy), or with --drive the backup on "
      "that medium, every volume: sound or damaged");
  cmd->add_option("BACKUP", options.names, "stamps of the backups to verify (default: all)");
  cmd->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    if (options.verify && !ctx.dialogs.drive.empty()) {
      if (options.names.empty()) return VerifyMedia(ctx);
      std::fprintf(stderr, "svpconf: backups --verify: stamps or --drive, not both\n");
      JsonOut()["error"] = "stamps or --drive, not both";
      ctx.exitCode = 1;
      return;
    }
    if (!options.verify && !options.names.empty()) {
      std::fprintf(stderr, "svpconf: backups: names are taken with --verify only\n");
      JsonOut()["error"] = "names are taken with --verify only";
      ctx.exitCode = 1;
      return;
    }

    std::vector<Backup> backups;
    const int scan = TalverHost_Backups(Collect, &backups);
    if (scan != 1) {
      const char* why = scan == 0 ? "there is no backup folder \\PLAXON\\OTHERS\\BACKUP"
                                  : "the backup folder \\PLAXON\\OTHERS\\BACKUP could not be "
                                    "read to its end";
      std::fprintf(stderr, "svpconf: %s\n", why);
      JsonOut()["error"] = why;
      ctx.exitCode = 1;
      return;
    }
    if (options.verify) {
      std::sort(backups.begin(), backups.end(), [](const Backup& a, const Backup& b) {
        return strcasecmp(a.name.c_str(), b.name.c_str()) > 0;
      });
      VerifyBackups(ctx, VerifyNames(options, backups));
      return;
    }
    // The retention orders names as text, ignoring case.
    std::sort(backups.begin(), backups.end(), [](const Backup& a, const Backup& b) {
      return strcasecmp(a.name.c_str(), b.name.c_str()) > 0;
    });
    int valid = 0;
    JsonDoc list = JsonDoc::array();
    std::printf("%-16s %12s  %s\n", "STAMP", "SIZE", "STATE");
    for (const auto& b : backups) {
      valid += b.valid ? 1 : 0;
      std::printf("%-16s %12llu  %s\n", b.name.c_str(), static_cast<unsigned long long>(b.size),
                  StateOf(b));
      list.push_back({{"stamp", b.name}, {"size", b.size}, {"state", StateOf(b)}});
    }
    std::printf("%d valid of %zu (at most 100 valid are kept)\n", valid, backups.size());
    JsonDoc& doc = JsonOut();
    doc["backups"] = list;
    doc["valid"] = valid;
    doc["kept_at_most"] = 100;
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterBackupsCommand);
