// svpconf backups: the HDD backups of the world, newest first, as the
// system's own scan sees them: valid (what the retention counts), invalid,
// or interrupted (what the next backup removes).
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Json.h"
#include "Tool.h"
#include "host/talver_host.h"

namespace {

struct Backup {
  std::string name;
  unsigned long long size = 0;
  bool valid = false;
  bool interrupted = false;
};

void Collect(const char* name, unsigned long long size, int valid, int interrupted, void* context) {
  static_cast<std::vector<Backup>*>(context)->push_back({name, size, valid != 0, interrupted != 0});
}

const char* StateOf(const Backup& b) {
  if (b.valid) return "valid";
  return b.interrupted ? "interrupted" : "invalid";
}

void RegisterBackupsCommand(CLI::App& app, ToolContext& ctx) {
  app.add_subcommand("backups", "List the HDD backups, newest first")->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    std::vector<Backup> backups;
    if (!TalverHost_Backups(Collect, &backups)) {
      std::fprintf(stderr, "svpconf: there is no backup folder \\PLAXON\\OTHERS\\BACKUP\n");
      JsonOut()["error"] = "there is no backup folder \\PLAXON\\OTHERS\\BACKUP";
      ctx.exitCode = 1;
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
      std::printf("%-16s %12llu  %s\n", b.name.c_str(), b.size, StateOf(b));
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
