// svpconf backups: the HDD backups of the world, newest first, by the scan
// the retention counts with (TalverHost_Backups): valid (what the retention
// counts), invalid, or interrupted (what the next backup removes). With --verify, each
// backup's archive (and the DIFF copy) read whole: sound or damaged, and why.
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
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
  bool json = false;
  std::vector<std::string> names;
};

// One line per backup; the exit code 1 when any is not sound.
void VerifyBackups(ToolContext& ctx, const VerifyOptions& options,
                   const std::vector<std::string>& names) {
  nlohmann::json results = nlohmann::json::array();
  for (const std::string& name : names) {
    char why[512] = "";
    const int result = TalverHost_Verify(name.c_str(), why, sizeof why);
    const char* state = result == 1 ? "sound" : result == 0 ? "damaged" : "unchecked";
    if (result != 1) ctx.exitCode = 1;
    if (options.json) {
      results.push_back({{"backup", name}, {"state", state}, {"why", why}});
      continue;
    }
    if (result == 1)
      std::printf("%-16s sound\n", name.c_str());
    else
      std::printf("%-16s %s: %s\n", name.c_str(), state, why);
  }
  if (options.json) std::printf("%s\n", results.dump(2).c_str());
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
  cmd->add_flag("--verify", options.verify,
                "Read each backup's archive whole (and the DIFF copy): sound or damaged");
  cmd->add_flag("--json", options.json, "Print JSON (with --verify)");
  cmd->add_option("BACKUP", options.names, "stamps of the backups to verify (default: all)");
  cmd->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    if (!options.verify && !options.names.empty()) {
      std::fprintf(stderr, "svpconf: backups: names are taken with --verify only\n");
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
      VerifyBackups(ctx, options, VerifyNames(options, backups));
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
