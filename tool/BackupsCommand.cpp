// svpconf backups: the HDD backups of the world, newest first, with the
// validity the retention counts by (a folder holding a non-empty
// svp_conf.tgz).
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Tool.h"
#include "host/talver_host.h"

namespace fs = std::filesystem;

namespace {

struct Backup {
  std::string name;
  std::uintmax_t size = 0;
  bool valid = false;
};

void RegisterBackupsCommand(CLI::App& app, ToolContext& ctx) {
  app.add_subcommand("backups", "List the HDD backups, newest first")->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    char root[64], host[4096];
    std::string dir;
    if (TalverHost_Root(root, sizeof root)) dir = std::string(root) + "\\PLAXON\\OTHERS\\BACKUP";
    if (dir.empty() || !TalverHost_ResolvePath(dir.c_str(), host, sizeof host) ||
        !fs::is_directory(host)) {
      std::fprintf(stderr, "svpconf: there is no backup folder %s\n", dir.c_str());
      ctx.exitCode = 1;
      return;
    }
    std::vector<Backup> backups;
    for (const auto& entry : fs::directory_iterator(host)) {
      if (!entry.is_directory()) continue;
      Backup b;
      b.name = entry.path().filename().string();
      for (const auto& f : fs::directory_iterator(entry.path())) {
        if (f.is_regular_file() && strcasecmp(f.path().filename().c_str(), "svp_conf.tgz") == 0) {
          b.size = f.file_size();
          b.valid = b.size > 0;
        }
      }
      backups.push_back(b);
    }
    // The retention orders names as text, ignoring case.
    std::sort(backups.begin(), backups.end(), [](const Backup& a, const Backup& b) {
      return strcasecmp(a.name.c_str(), b.name.c_str()) > 0;
    });
    int valid = 0;
    std::printf("%-16s %12s  %s\n", "STAMP", "SIZE", "STATE");
    for (const auto& b : backups) {
      valid += b.valid ? 1 : 0;
      std::printf("%-16s %12ju  %s\n", b.name.c_str(), b.size, b.valid ? "valid" : "invalid");
    }
    std::printf("%d valid of %zu (at most 100 valid are kept)\n", valid, backups.size());
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterBackupsCommand);
