#include "Json.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Tool.h"
#include "common/ResultWords.h"

namespace {

int gDocumentFd = -1;  // stdout as it was given, for the document alone
std::atomic<bool> gEmitted{false};
char gInterrupted[1024];  // the document of an interrupted run, or ""

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

const char* OutcomeOfExit(int exitCode) {
  if (exitCode == 130) return "interrupted";
  if (exitCode == 0) return "done";
  if (exitCode == 2) return StopSignalled() ? "interrupted" : "cancelled";
  return "failed";
}

}  // namespace

bool JsonAsked(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    if (std::strcmp(argv[i], "--json") == 0) return true;
  }
  return false;
}

bool StartJsonOutput() {
  std::fflush(stdout);
  gDocumentFd = dup(STDOUT_FILENO);
  if (gDocumentFd < 0) return false;
  if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    close(gDocumentFd);
    gDocumentFd = -1;
    return false;
  }
  return true;
}

JsonDoc& JsonOut() {
  static JsonDoc doc = JsonDoc::object();
  return doc;
}

bool EmitJson(const ToolContext& context, const std::string& command, const JsonDoc& doc) {
  if (gDocumentFd < 0) return false;
  std::fflush(stdout);
  JsonDoc out = JsonDoc::object();
  out["command"] = command;
  for (const auto& [key, value] : doc.items())
    if (key != "command" && key != "exit_code") out[key] = value;
  // The exit code decides, also where a command's report came before it.
  out["outcome"] = OutcomeOfExit(context.exitCode);
  out["exit_code"] = context.exitCode;
  // Names and paths from outside may hold bytes that are not UTF-8: they are
  // replaced rather than failing the document.
  const std::string text = out.dump(2, ' ', false, JsonDoc::error_handler_t::replace) + "\n";
  return !gEmitted.exchange(true) && WriteAll(gDocumentFd, text);
}

void ArmInterruptedJson(const std::string& command) {
  const std::string doc =
      JsonDoc{{"command", command}, {"outcome", "interrupted"}, {"exit_code", 130}}.dump(
          -1, ' ', false, JsonDoc::error_handler_t::replace) +
      "\n";
  if (gDocumentFd < 0 || doc.size() >= sizeof gInterrupted) return;
  std::memcpy(gInterrupted, doc.c_str(), doc.size() + 1);
}

void EmitInterruptedJson() {
  if (gDocumentFd < 0 || !gInterrupted[0] || gEmitted.exchange(true)) return;
  [[maybe_unused]] ssize_t n = write(gDocumentFd, gInterrupted, std::strlen(gInterrupted));
}

std::string WordText(unsigned word) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", word & 0xFFFFu);
  return text;
}

JsonDoc TraceJson(const std::vector<std::string>& lines) {
  JsonDoc records = JsonDoc::array();
  for (const std::string& line : lines) {
    TraceRecord r;
    JsonDoc record = JsonDoc::object();
    if (!ParseTraceLine(line, &r)) {
      record["raw"] = line;
    } else {
      record["source"] = r.source;
      record["line"] = r.line;
      if (r.isCode) {
        char code[24];
        std::snprintf(code, sizeof code, "0x%lX", r.code);
        record["code"] = code;
        record["code_value"] = r.code;
      } else {
        record["text"] = r.text;
      }
    }
    records.push_back(std::move(record));
  }
  return records;
}

void JsonExportReport(const ToolContext& context, int result, std::uint16_t word) {
  JsonDoc& doc = JsonOut();
  doc["result"] = result;
  doc["word"] = WordText(word);
  doc["word_value"] = word;
  doc["outcome"] = "";  // set by EmitJson from the exit code
  if (UnansweredQuestion()) doc["unanswered"] = true;
  FailureText failure;
  if (result == 0 && word != kWordCancelled && DescribeFailure(word, &failure))
    doc["failure"] = {{"sentence", failure.sentence},
                      {"what", failure.what},
                      {"todo", failure.todo},
                      {"place", failure.place}};
  doc["trace"] = TraceJson(CallTrace());
}
