// svpconf trace: prints the world's trace file; the trace lines of the
// current call, and what they say about a failure.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "Json.h"
#include "Tool.h"
#include "host/talver_host.h"

namespace {

void KeepLine(const char* text, void* lines) {
  static_cast<std::vector<std::string>*>(lines)->push_back(text);
}

// A failure line of the call: a text beginning "ERR", or an error code.
bool IsFailureLine(const TraceRecord& r) { return r.isCode || r.text.rfind("ERR", 0) == 0; }

std::string Describe(const TraceRecord& r) {
  char code[32];
  std::snprintf(code, sizeof code, "ErrCode=0x%lX", r.code);
  return r.source + "(" + std::to_string(r.line) + ") " + (r.isCode ? code : r.text);
}

// "2026/12/08 03:55:00.123 [4711] " opens a record of the trace file.
bool IsRecordStart(const std::string& line) {
  return line.size() > 26 && line[4] == '/' && line[7] == '/' && line[10] == ' ' &&
         line[13] == ':' && line[19] == '.' && line[23] == ' ' && line[24] == '[';
}

// The records of the trace file's lines: time, thread and the line as the
// system wrote it, parsed where it has the system's form.
JsonDoc TraceFileJson(const std::vector<std::string>& lines, std::size_t from) {
  std::vector<std::string> texts;
  JsonDoc records = JsonDoc::array();
  for (std::size_t i = from; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    std::size_t close = IsRecordStart(line) ? line.find("] ", 24) : std::string::npos;
    if (close == std::string::npos) {
      if (texts.empty())
        texts.push_back(line);  // a record cut by --tail or by hand
      else
        texts.back() += "\n" + line;
      continue;
    }
    records.push_back({{"time", line.substr(0, 23)}, {"thread", line.substr(25, close - 25)}});
    texts.push_back(line.substr(close + 2));
  }
  // A text before the first stamp has no record of its own.
  const std::size_t skipped = texts.size() - records.size();
  JsonDoc parsed = TraceJson(std::vector<std::string>(texts.begin() + skipped, texts.end()));
  for (std::size_t i = 0; i < records.size(); ++i) records[i].update(parsed[i]);
  return records;
}

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
    JsonOut()["file"] = path;
    if (!in) {
      std::printf("(no trace lines yet: %s)\n", path);
      JsonOut()["records"] = JsonDoc::array();
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
        if (lines[i].size() > 4 && lines[i][4] == '/' &&
            ++records == static_cast<std::size_t>(tail)) {
          from = i;
          break;
        }
      }
    }
    for (std::size_t i = from; i < lines.size(); ++i) std::printf("%s\n", lines[i].c_str());
    if (ctx.json) JsonOut()["records"] = TraceFileJson(lines, from);
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterTraceCommand);

const std::vector<std::string>& CallTrace() {
  static std::vector<std::string> lines;
  TalverHost_TakeTrace(KeepLine, &lines);
  return lines;
}

bool ParseTraceLine(const std::string& line, TraceRecord* record) {
  if (line.rfind("File=", 0) != 0) return false;
  std::size_t open = line.find('(');
  std::size_t close = open == std::string::npos ? open : line.find(')', open);
  if (close == std::string::npos) return false;
  TraceRecord r;
  r.source = line.substr(5, open - 5);
  if (r.source.rfind(".\\", 0) == 0) r.source.erase(0, 2);
  r.line = std::atoi(line.c_str() + open + 1);
  std::string rest = line.substr(close + 1);
  static const std::string kCode = " ErrCode=0x";
  if (rest.rfind(kCode, 0) == 0) {
    r.isCode = true;
    r.code = std::strtoul(rest.c_str() + kCode.size(), nullptr, 16);
  } else if (!rest.empty() && rest[0] == '\n') {
    r.text = rest.substr(1);
  } else {
    return false;
  }
  *record = r;
  return true;
}

void ExplainFailure() {
  std::vector<std::pair<std::string, int>> seen;  // in the order first written
  for (const std::string& line : CallTrace()) {
    TraceRecord r;
    if (!ParseTraceLine(line, &r) || !IsFailureLine(r)) continue;
    std::string text = Describe(r);
    auto it =
        std::find_if(seen.begin(), seen.end(), [&](const auto& s) { return s.first == text; });
    if (it == seen.end())
      seen.emplace_back(text, 1);
    else
      ++it->second;
  }
  if (seen.empty()) {
    std::fprintf(stderr, "svpconf: the call failed; 'svpconf trace' shows its trace lines\n");
    return;
  }
  std::fprintf(stderr, "svpconf: the call failed; its trace says:\n");
  for (const auto& [text, times] : seen) {
    if (times > 1)
      std::fprintf(stderr, "  %s (%d times)\n", text.c_str(), times);
    else
      std::fprintf(stderr, "  %s\n", text.c_str());
  }
}
