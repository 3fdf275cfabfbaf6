#include <unistd.h>

#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "Json.h"
#include "Progress.h"
#include "Tool.h"
#include "common/ResultWords.h"
#include "host/talver_host.h"

std::vector<CommandRegistrar>& CommandRegistrars() {
  static std::vector<CommandRegistrar> registrars;
  return registrars;
}

CommandRegistration::CommandRegistration(CommandRegistrar registrar) {
  CommandRegistrars().push_back(registrar);
}

std::string DefaultWorldFolder() {
  char folder[4096] = {};
  return TalverHost_DefaultWorldFolder(folder, sizeof folder) ? folder : "";
}

std::string ResolveWorldFile(const ToolContext& context) {
  if (!context.envPath.empty()) return context.envPath;
  char file[4096] = {};
  return TalverHost_DefaultWorldFile(file, sizeof file) ? file : "";
}

bool LoadWorld(ToolContext& context) {
  std::string file = ResolveWorldFile(context);
  // Room for the problems of a whole file, one a line.
  static char error[16384];
  error[0] = '\0';
  if (!TalverHost_LoadWorld(file.c_str(), error, sizeof error)) {
    // One problem a line, each with the file and line it is on.
    JsonOut()["error"] = error;
    for (char* line = std::strtok(error, "\n"); line; line = std::strtok(nullptr, "\n"))
      std::fprintf(stderr, "svpconf: %s\n", line);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
      std::fprintf(stderr,
                   "svpconf: make a world with 'svpconf init [DIR]' and name it with --env "
                   "DIR/svp.ini or TALVER_WORLD\n");
    context.exitCode = 1;
    return false;
  }
  TalverHost_SetTraceEcho(context.traceEcho ? 1 : 0);
  TalverHost_StartTraceCapture();
  return InstallToolOperator(context);
}

namespace {

// Ctrl-C or a kill asks the running call to stop, as the operator's Cancel
// does; a second one ends svpconf at once.
std::atomic<int> gSignals{0};

void OnStopSignal(int) {
  if (gSignals.fetch_add(1) > 0) {
    EmitInterruptedJson();
    _exit(130);
  }
  TalverHost_RequestStop();
  static const char kNote[] =
      "\nsvpconf: stopping at the next safe point (again to quit at once)\n";
  [[maybe_unused]] ssize_t n = write(STDERR_FILENO, kNote, sizeof kNote - 1);
}

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // a read of the terminal returns, so the question is refused
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

bool StopSignalled() { return gSignals.load() > 0; }

// The path the call's trace names last (a drive path such as
// "D:\PLAXON\CONFIG\8360\svp_conf.tgz"): where the failing step was.
std::string FailedPlace() {
  std::string place;
  for (const std::string& line : CallTrace()) {
    for (std::size_t i = 0; i + 2 < line.size(); ++i) {
      if (!std::isalpha(static_cast<unsigned char>(line[i])) || line[i + 1] != ':' ||
          line[i + 2] != '\\' || (i > 0 && std::isalnum(static_cast<unsigned char>(line[i - 1]))))
        continue;
      std::size_t end = line.find_first_of(" \t\n\"", i);
      place = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
      break;
    }
  }
  return place;
}

// One sentence a person understands: what failed, where, and what to do.
bool DescribeFailure(std::uint16_t word, FailureText* failure) {
  char what[512] = {}, todo[512] = {};
  if (!TalverHost_ExplainWord(word, what, sizeof what, todo, sizeof todo)) return false;
  // "message 3676: The medium ..." reads as the message's own text here.
  std::string said = what;
  if (said.rfind("message ", 0) == 0 && said.find(": ") != std::string::npos)
    said = said.substr(said.find(": ") + 2);
  failure->what = said;
  failure->todo = todo;
  failure->place = FailedPlace();
  char head[32];
  std::snprintf(head, sizeof head, "failed (0x%04X)", word);
  failure->sentence = head + (failure->place.empty() ? "" : " at " + failure->place) + ": " + said +
                      " To do: " + todo;
  return true;
}

void SayWhatFailed(std::uint16_t word) {
  FailureText failure;
  if (DescribeFailure(word, &failure))
    std::fprintf(stderr, "svpconf: %s\n", failure.sentence.c_str());
}

void ReportExport(ToolContext& context, int result, std::uint16_t word) {
  std::printf("result=%d word=0x%04X\n", result, word);
  std::fflush(stdout);
  if (word == kWordCancelled && result != 1)
    std::fprintf(stderr, "svpconf: the call was cancelled (0x4000)\n");
  else if (result == 0) {
    SayWhatFailed(word);
    ExplainFailure();
  }
  // A cancel (the operator's, or a stop by a signal) exits 2.
  context.exitCode = result == 1 ? 0 : result == 2 || word == kWordCancelled ? 2 : 1;
  // A question that no option answered fails the call, whatever it returned.
  if (UnansweredQuestion()) context.exitCode = 1;
  JsonExportReport(context, result, word);
}

// The controlling terminal, whatever stdin and stdout are, unless CI or
// TALVER_NO_TERMINAL says that nobody sits there.
std::FILE* OpenTerminal() {
  const char* off = std::getenv("TALVER_NO_TERMINAL");
  if (std::getenv("CI") || (off && *off && std::strcmp(off, "0") != 0)) return nullptr;
  std::FILE* tty = std::fopen("/dev/tty", "r+");
  if (tty) std::setvbuf(tty, nullptr, _IONBF, 0);
  return tty;
}

std::uint16_t WordOfCall(int result) {
  if (result == 1) return 0;
  constexpr unsigned long kFirstResultWord = kWordFailure, kLastResultWord = 0xFFFF;
  bool frameWord = false;
  std::uint16_t word = 0;
  for (const std::string& line : CallTrace()) {
    TraceRecord r;
    if (!ParseTraceLine(line, &r) || !r.isCode) continue;
    // Words are traced sign-extended to 32 bits.
    const unsigned long code = r.code & 0xFFFF;
    if ((r.code >> 16) != 0 && (r.code >> 16) != 0xFFFF) continue;
    if (code < kFirstResultWord || code > kLastResultWord) continue;
    if (r.source == "Talver.cpp") {
      frameWord = true;
      word = static_cast<std::uint16_t>(code);
    } else if (!frameWord) {
      word = static_cast<std::uint16_t>(code);
    }
  }
  if (result == 2 && word == 0) return kWordCancelled;
  return word ? word : kWordFailure;
}

void ReportExportFromTrace(ToolContext& context, int result) {
  ReportExport(context, result, WordOfCall(result));
}

// The command run, as typed: "gpfm inspect".
std::string CommandOf(const CLI::App& app) {
  std::string command;
  for (const CLI::App* at = &app;;) {
    const auto chosen = at->get_subcommands();
    if (chosen.empty()) return command;
    at = chosen.front();
    command += (command.empty() ? "" : " ") + at->get_name();
  }
}

// Each command, once the parser reaches it, readies the document of a run
// ended at once by a second signal.
void ArmOnParse(CLI::App& app, const std::string& prefix) {
  for (CLI::App* sub : app.get_subcommands({})) {
    const std::string command = prefix + sub->get_name();
    sub->preparse_callback([command](std::size_t) { ArmInterruptedJson(command); });
    ArmOnParse(*sub, command + " ");
  }
}

// A parse that ends the run (help, version, a refused option), with --json:
// the parser's text goes to stderr and into the document.
int ExitWithJson(CLI::App& app, const CLI::ParseError& e, ToolContext& context) {
  std::ostringstream out, err;
  context.exitCode = app.exit(e, out, err);
  std::fputs(out.str().c_str(), stderr);
  std::fputs(err.str().c_str(), stderr);
  if (dynamic_cast<const CLI::CallForVersion*>(&e))
    JsonOut()["version"] = TalverHost_Version();
  else if (context.exitCode == 0)
    JsonOut()["help"] = out.str();
  else
    JsonOut()["error"] = e.what();
  EmitJson(context, CommandOf(app), JsonOut());
  return context.exitCode;
}

bool IsCommand(CLI::App& app, const std::string& name) {
  return !app.get_subcommands([&name](CLI::App* sub) { return sub->check_name(name); }).empty();
}

namespace {

// Option texts a person reads: the kind of value, "(required)" and the
// default in the description, never CLI11's "UINT=0 REQUIRED".
class ToolFormatter : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* opt) const override {
    if (!opt->get_option_text().empty()) return " " + opt->get_option_text();
    if (opt->get_type_size() == 0) return {};
    std::string type = opt->get_type_name();
    type = type.substr(0, type.find(':'));  // without the checks' own texts
    if (type == "UINT" || type == "INT") type = "N";
    return type.empty() ? std::string() : " " + type;
  }
  std::string make_option_desc(const CLI::Option* opt) const override {
    std::string desc = opt->get_description();
    const std::string def = opt->get_default_str();
    if (opt->get_required())
      desc += " (required)";
    else if (opt->get_type_size() != 0 && !def.empty() && def != "[]")
      desc += " (default " + def + ")";
    return desc;
  }
};

// A check of an option's value by the answer it gives (host::SetAnswer).
CLI::Validator AnswerCheck(const char* name) {
  return CLI::Validator([name](std::string& value) { return CheckAnswerValue(name, value); }, "",
                        name);
}

// The command a command line names ("" when it names one svpconf has, or
// none): the first word that is neither an option nor an option's value.
std::string UnknownCommand(CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") return {};
    if (arg.size() > 1 && arg[0] == '-') {
      if (arg.find('=') != std::string::npos) continue;
      const CLI::Option* opt = app.get_option_no_throw(arg);
      if (opt && opt->get_expected_min() > 0) ++i;  // its value
      continue;
    }
    return IsCommand(app, arg) ? std::string() : arg;
  }
  return {};
}

std::string CommandList(CLI::App& app) {
  std::string list;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    list += (list.empty() ? "" : ", ") + sub->get_name();
  return list;
}

// Each command's help ends with the questions it may ask.
void AddQuestionsToHelp(CLI::App& app) {
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    const std::string help = QuestionsHelp(sub->get_name());
    sub->footer(help.empty() ? "Questions: none (this command asks nothing)\n" : help);
  }
}

}  // namespace

// A command line that cannot run (nothing ran): exit 64, and with --json
// its document.
int UsageFailed(ToolContext& context, const std::string& why, const std::string& command = "") {
  context.exitCode = kExitUsage;
  if (context.json) {
    JsonOut()["error"] = why;
    EmitJson(context, command, JsonOut());
  }
  return kExitUsage;
}

int main(int argc, char** argv) {
  ToolContext context;
  context.json = JsonAsked(argc, argv) && StartJsonOutput();
  CatchStopSignals();
  context.terminal = OpenTerminal();
  context.interactive = context.terminal != nullptr;
  if (context.terminal) WatchTerminalWidth();
  CLI::App app{"svpconf: configuration backup, restore and setup of the SVP", "svpconf"};
  app.formatter(std::make_shared<ToolFormatter>());
  app.require_subcommand(1);
  app.set_version_flag("--version", "svpconf (talver) " + std::string(TalverHost_Version()),
                       "Print the version of the library and exit");
  app.fallthrough();  // the global options may also follow the subcommand
  app.option_defaults()->always_capture_default();
  app.footer(
      "Exit codes: 0 done, 1 failed, 2 cancelled, 64 bad command line (nothing ran), "
      "130 interrupted.\n'svpconf questions COMMAND' lists what COMMAND may ask and the option "
      "that answers it.\n");
  app.add_option(
         "--env", context.envPath,
         "World file (svp.ini); else $TALVER_WORLD, else " + DefaultWorldFolder() + "/svp.ini")
      ->option_text("FILE");
  app.add_flag("--trace", context.traceEcho, "Echo trace lines to stderr");
  bool json = false;  // taken before the parse (JsonAsked)
  app.add_flag("--json", json,
               "Print one JSON document on stdout (docs/json.md); other text goes to stderr");
  app.add_flag("--progress", context.progress,
               "Without a terminal, print a plain progress line to stderr each second");
  app.add_option("--answer", context.answers,
                 "Answer message MSGID beforehand with one of its buttons (ok, cancel, yes, no, "
                 "retry; any case); repeatable; also at a terminal, which is then not asked")
      ->option_text("MSGID=BUTTON ...")
      ->check(CLI::Validator([](std::string& v) { return CheckMessageAnswer(v); }, "", "answer"));
  auto& d = context.dialogs;
  app.add_option("--file", d.file, "Backup file (.gpfm) for the file dialog (115)")
      ->option_text("PATH")
      ->check(AnswerCheck("file"));
  app.add_option("--drive", d.drive, "Drive for the media dialog (106): E, e, E: or E:\\")
      ->option_text("LETTER")
      ->check(AnswerCheck("drive"));
  app.add_option("--key", d.key, "Key code for the key-code dialog (113)")
      ->option_text("CODE")
      ->check(AnswerCheck("key"));
  app.add_option("--setup-source", d.setupSource, "The setup-source dialog's choice (114)")
      ->option_text("cdr|backup")
      ->check(AnswerCheck("setup-source"));
  app.add_option("--media", d.media,
                 "Media to insert when another is asked for, in order (1;3;2); "
                 "else the drive's list in turn")
      ->option_text("LIST")
      ->check(AnswerCheck("media"));
  app.add_option("--backup", d.backup,
                 "Serial number of the backup to take from a backup list (112)")
      ->option_text("SERIAL")
      ->check(AnswerCheck("backup"));
  app.add_flag("--confirm", d.confirm, "Confirm the configuration information (dialog 117)");
  for (auto registrar : CommandRegistrars()) registrar(app, context);
  if (context.json) ArmOnParse(app, "");
  AddQuestionsToHelp(app);
  if (const std::string unknown = UnknownCommand(app, argc, argv); !unknown.empty()) {
    std::fprintf(stderr, "svpconf: unknown command '%s'\nsvpconf: the commands: %s\n",
                 unknown.c_str(), CommandList(app).c_str());
    return UsageFailed(context, "unknown command '" + unknown + "'");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return context.json ? ExitWithJson(app, e, context) : app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return context.json ? ExitWithJson(app, e, context) : app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return context.json ? ExitWithJson(app, e, context) : app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "svpconf: %s\nsvpconf: see 'svpconf --help' or 'svpconf COMMAND --help'\n",
                 e.what());
    return UsageFailed(context, e.what(), CommandOf(app));
  }
  // A call stopped by Ctrl-C or a kill ends as interrupted, however it ended.
  if (gSignals.load() > 0 && context.exitCode != 0) context.exitCode = kExitInterrupted;
  if (context.json) EmitJson(context, CommandOf(app), JsonOut());
  return context.exitCode;
}
