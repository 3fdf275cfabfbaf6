// svpconf: the command-line maintenance tool. Each subcommand lives in a
// file of its own and registers itself with SVPCONF_COMMAND.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct ToolContext {
  std::string envPath;     // --env
  bool traceEcho = false;  // --trace
  bool json = false;       // --json: one JSON document on stdout (tool/Json.h)
  bool progress = false;   // --progress: plain progress lines without a terminal
  int exitCode = 0;
  // The controlling terminal, where questions and progress go (null: none,
  // in CI, or with TALVER_NO_TERMINAL set); interactive when there is one.
  std::FILE* terminal = nullptr;
  bool interactive = false;
  // Answers given on the command line for the options operator.
  std::vector<std::string> answers;
  // Answers to the system's dialogs (options operator).
  struct DialogAnswers {
    std::string file;         // --file: the backup file of dialog 115
    std::string drive;        // --drive: the drive letter of dialog 106
    std::string key;          // --key: the key code of dialog 113
    std::string setupSource;  // --setup-source cdr|backup: dialog 114
    std::string backup;       // --backup: the serial number row of dialog 112
    bool confirm = false;     // --confirm: tick "Confirmed" in dialog 117
    std::string media;        // --media: the media to insert when asked, in order
  } dialogs;
};

using CommandRegistrar = void (*)(CLI::App& app, ToolContext& context);

struct CommandRegistration {
  explicit CommandRegistration(CommandRegistrar registrar);
};
std::vector<CommandRegistrar>& CommandRegistrars();

#define SVPCONF_COMMAND(fn) static CommandRegistration fn##_registration(fn)

// Whether svpconf has a command of this name.
bool IsCommand(CLI::App& app, const std::string& name);

// The world file: --env, then $TALVER_WORLD, then the default world folder
// (both as the host API finds them, for any program).
std::string DefaultWorldFolder();
std::string ResolveWorldFile(const ToolContext& context);
// Loads the world and installs the operator; false after a clear message.
bool LoadWorld(ToolContext& context);

// Prints "result=N word=0xHHHH" and sets the exit code: 0 for 1, 2 for a
// cancel (2), 1 otherwise. After a failure (0) it says why on stderr, from
// the call's own trace lines.
void ReportExport(ToolContext& context, int result, std::uint16_t word);
// The same for an export without a result word of its own: the word is the
// one of the error-code line its frame wrote (else, after a failure, of the
// last result word the call traced, else 0x2000), 0x4000 for a cancel (2),
// 0 for a success.
void ReportExportFromTrace(ToolContext& context, int result);
// That word.
std::uint16_t WordOfCall(int result);
// What a failure's word told, where the call was, and what to do; the
// sentence svpconf writes after a failure. False when the word has no text.
struct FailureText {
  std::string what, todo, place, sentence;
};
bool DescribeFailure(std::uint16_t word, FailureText* failure);
// True once Ctrl-C or a kill asked the running call to stop.
bool StopSignalled();

// The trace lines written since the world was loaded, oldest first
// (tool/TraceCommand.cpp).
const std::vector<std::string>& CallTrace();
// A trace line of the system's two forms: "File=SOURCE(LINE)\nTEXT", or the
// error-code line "File=SOURCE(LINE) ErrCode=0xCODE". Source without ".\".
struct TraceRecord {
  std::string source;
  int line = 0;
  bool isCode = false;
  unsigned long code = 0;  // error-code lines
  std::string text;        // text lines
};
bool ParseTraceLine(const std::string& line, TraceRecord* record);
// Writes to stderr the call's failure lines: its "ERR ..." and error-code
// lines, each once with the number of times it was written.
void ExplainFailure();

// The exit codes: 0 done, 1 failed, 2 cancelled, 64 a bad command line
// (before anything ran), 130 interrupted by a signal.
constexpr int kExitFailed = 1, kExitCancelled = 2, kExitUsage = 64, kExitInterrupted = 130;

// A question a command may ask (tool/Questions.cpp): a message box with more
// than one button, or a dialog that waits for the operator.
struct ToolQuestion {
  bool message;         // else a dialog
  int id;               // message id or dialog template
  const char* caption;  // a dialog's caption
  const char* what;     // what it asks
  const char* choices;  // "yes|no"; empty when the world decides (drives, backups)
  const char* option;   // the option that answers it
};
// The questions of a command (none for most), in the order a run meets them.
const std::vector<ToolQuestion>& QuestionsOf(const std::string& command);
// The question of a message id, whichever command asks it (null: none asks it).
const ToolQuestion* AskedMessage(int id);
// "3193, 3351, ...": the message ids that --answer takes.
std::string AskedMessageIds();
// The help text of a command's questions with an example (empty: none).
std::string QuestionsHelp(const std::string& command);

// Operators of the tool (tool/Operators.cpp); false (exit code 1) after a
// clear message when an answer option cannot be taken.
bool InstallToolOperator(ToolContext& context);
// The checks of the answer options before anything runs: "" when the value
// can be taken, else why not, naming the valid values (CLI11 validators).
std::string CheckAnswerValue(const std::string& name, const std::string& value);
// --answer MSGID=BUTTON: a message some command asks, and one of its buttons.
std::string CheckMessageAnswer(const std::string& value);
// True when the options operator met a question that no option answered.
bool UnansweredQuestion();
