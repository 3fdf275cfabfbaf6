// The questions each command may ask: the message boxes with more than one
// button and the dialogs that wait for the operator, read off the flows each
// command runs (flows/, media/, backupfile/, validate/), with the option that
// answers each. One table, for the help of each command, for `svpconf
// questions` and for the check of --answer; tests/questions.sh runs every
// command unanswered and fails on a question missing here.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Json.h"
#include "Tool.h"

namespace {

// The questions themselves, once each.
const ToolQuestion kMedia{false,           106, "Select Media", "the drive of the medium", "",
                          "--drive LETTER"};
const ToolQuestion kBackupList{
    false, 112, "Backup Config List", "a backup of the medium", "", "--backup SERIAL"};
const ToolQuestion kKeyCode{
    false, 113, "Configuration Key Code", "the key code of the controller type", "", "--key CODE"};
const ToolQuestion kSetupSource{false,
                                114,
                                "Select Setup Config",
                                "set up from the CD-R or from a backup medium",
                                "cdr|backup",
                                "--setup-source cdr|backup"};
const ToolQuestion kBackupFile{
    false, 115, "Select Configuration Backup File", "the backup file (.gpfm)", "", "--file PATH"};
const ToolQuestion kConfirm{
    false, 117,        "Confirm Configuration Information", "confirm the configuration information",
    "yes", "--confirm"};
const ToolQuestion kWriteProtected{
    true, 3193, "", "the medium is write-protected", "retry|cancel", "--answer 3193=retry|cancel"};
const ToolQuestion kOverwrite{
    true, 3351, "", "overwrite the backup on the medium", "yes|no", "--answer 3351=yes|no"};
const ToolQuestion kNextVolume{true,        3836,
                               "",          "insert the next volume (--media: which)",
                               "ok|cancel", "--answer 3836=ok|cancel"};
const ToolQuestion kSplit{
    true, 4034, "", "split the archive over several disks", "yes|no", "--answer 4034=yes|no"};
const ToolQuestion kNextMedium{true,        4036,
                               "",          "insert the next backup medium (--media: which)",
                               "ok|cancel", "--answer 4036=ok|cancel"};
const ToolQuestion kKeyCodeValid{true,        4053,
                                 "",          "use the configuration of the key code",
                                 "ok|cancel", "--answer 4053=ok|cancel"};

struct CommandQuestions {
  const char* command;
  std::vector<ToolQuestion> questions;
  const char* example;
};

// By command, in the order a run meets them.
const std::vector<CommandQuestions>& Table() {
  static const std::vector<CommandQuestions> table = {
      {"backups",
       {kMedia, kBackupList, kNextVolume},
       "svpconf backups --verify --drive A --answer 3836=ok"},
      {"backup-media",
       {kMedia, kWriteProtected, kOverwrite, kSplit, kNextMedium},
       "svpconf backup-media --drive E --answer 3351=yes --answer 4034=yes --answer 4036=ok"},
      {"install-model",
       {kMedia, kBackupList, kKeyCode, kKeyCodeValid, kNextVolume},
       "svpconf install-model --selector 7 --mode 0 --drive D --key XBKZNRTQ --answer 4053=ok"},
      {"setup",
       {kSetupSource, kKeyCode, kKeyCodeValid, kMedia, kBackupList, kNextVolume},
       "svpconf setup --setup-source backup --drive A 'A:\\' 'T:\\SVP\\'"},
      {"restore-media",
       {kMedia, kBackupList, kNextVolume},
       "svpconf restore-media --drive E --backup 412345 --answer 3836=ok"},
      {"restore-gpfm", {kBackupFile, kConfirm}, "svpconf restore-gpfm --confirm 'E:\\backup.gpfm'"},
      {"select-media",
       {kMedia, kBackupList, kNextVolume},
       "svpconf select-media --request-kind 5 --drive E --backup 412345"},
      {"try-dialogs", {kConfirm}, "svpconf try-dialogs --confirm"},
  };
  return table;
}

const CommandQuestions* Find(const std::string& command) {
  for (const auto& c : Table())
    if (command == c.command) return &c;
  return nullptr;
}

std::string Subject(const ToolQuestion& q) {
  return (q.message ? "message " : "dialog ") + std::to_string(q.id);
}

// The text and spaces up to width (a longer text stays whole).
std::string Padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string Described(const ToolQuestion& q) {
  return q.caption[0] ? std::string("\"") + q.caption + "\": " + q.what : std::string(q.what);
}

void PrintTable(const std::string& command) {
  const CommandQuestions* c = Find(command);
  if (!c) {
    std::printf("%s asks no question\n", command.c_str());
    return;
  }
  std::printf("%-13s %-34s %s\n", "QUESTION", "ANSWERED BY", "WHAT IT ASKS");
  for (const auto& q : c->questions)
    std::printf("%-13s %-34s %s\n", Subject(q).c_str(), q.option, Described(q).c_str());
  std::printf("example: %s\n", c->example);
}

// With --json the table goes into the run's one document.
void PrintJson(const std::string& command) {
  JsonDoc questions = JsonDoc::array();
  const CommandQuestions* c = Find(command);
  if (c)
    for (const auto& q : c->questions)
      questions.push_back({{"kind", q.message ? "message" : "dialog"},
                           {"id", q.id},
                           {"caption", q.caption},
                           {"asks", q.what},
                           {"choices", q.choices},
                           {"option", q.option}});
  JsonOut()["of_command"] = command;
  JsonOut()["questions"] = questions;
  if (c) JsonOut()["example"] = c->example;
}

void RegisterQuestionsCommand(CLI::App& app, ToolContext& ctx) {
  static std::string command;
  static bool json = false;
  auto* questions = app.add_subcommand(
      "questions", "List the questions a command may ask and the option that answers each");
  questions->add_option("COMMAND", command, "the command")->required();
  questions->add_flag("--json", json, "one JSON document on stdout");
  questions->callback([&app, &ctx] {
    if (!IsCommand(app, command) || command == "questions") {
      std::fprintf(stderr, "svpconf: unknown command '%s'\n", command.c_str());
      ctx.exitCode = kExitUsage;
      return;
    }
    json || ctx.json ? PrintJson(command) : PrintTable(command);
  });
}

}  // namespace

const std::vector<ToolQuestion>& QuestionsOf(const std::string& command) {
  static const std::vector<ToolQuestion> none;
  const CommandQuestions* c = Find(command);
  return c ? c->questions : none;
}

const ToolQuestion* AskedMessage(int id) {
  for (const auto& c : Table())
    for (const auto& q : c.questions)
      if (q.message && q.id == id) return &q;
  return nullptr;
}

std::string AskedMessageIds() {
  std::vector<int> ids;
  for (const auto& c : Table())
    for (const auto& q : c.questions)
      if (q.message && std::find(ids.begin(), ids.end(), q.id) == ids.end()) ids.push_back(q.id);
  std::sort(ids.begin(), ids.end());
  std::string list;
  for (int id : ids) list += (list.empty() ? "" : ", ") + std::to_string(id);
  return list;
}

std::string QuestionsHelp(const std::string& command) {
  const CommandQuestions* c = Find(command);
  if (!c) return {};
  std::string text = "Questions (without a terminal, each must be answered by its option):\n";
  for (const auto& q : c->questions) {
    text += "  " + Padded(Subject(q), 12) + " " + Padded(q.option, 30) + " " + Described(q) + "\n";
  }
  return text + "Example:\n  " + c->example + "\n";
}

SVPCONF_COMMAND(RegisterQuestionsCommand);
