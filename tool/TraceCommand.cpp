// svpconf trace: prints the world's trace file.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "Tool.h"
#include "host/talver_host.h"

namespace {

void RegisterTraceCommand(CLI::App& app, ToolContext& ctx) {
  static int tail = 0;
  auto* trace = app.add_subcommand("trace", "Print the trace lines of the world");
  trace->add_option("--tail", tail, "only the last N records");
  trace->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    char path[4096];
    if (!TalverHost_TraceFile(path, sizeof path)) {
      ctx.exitCode = 1;
      return;
    }
    std::ifstream in(path);
    if (!in) {
      std::printf("(no trace lines yet: %s)\n", path);
      return;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::size_t from = 0;
    if (tail > 0 && lines.size() > static_cast<std::size_t>(tail) * 2) {
      // A record is one or two lines (TraceText puts its text on a line of
      // its own); count records by their time stamps.
      std::size_t records = 0;
      for (std::size_t i = lines.size(); i-- > 0;) {
        if (lines[i].size() > 4 && lines[i][4] == '/' && ++records == static_cast<std::size_t>(tail)) {
          from = i;
          break;
        }
      }
    }
    for (std::size_t i = from; i < lines.size(); ++i) std::printf("%s\n", lines[i].c_str());
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterTraceCommand);
