
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "Tool.h"
#include "host/talver_host.h"

std::vector<CommandRegistrar>& CommandRegistrars() {
  static std::vector<CommandRegistrar> registrars;
  return registrars;
}

CommandRegistration::CommandRegistration(CommandRegistrar registrar) {
  CommandRegistrars().push_back(registrar);
}

std::string DefaultWorldFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  std::filesystem::path base = data && *data   ? std::filesystem::path(data)
                               : home && *home ? std::filesystem::path(home) / ".local/share"
                                               : std::filesystem::path(".");
  return (base / "talver" / "world").string();
}

std::string ResolveWorldFile(const ToolContext& context) {
  if (!context.envPath.empty()) return context.envPath;
  if (const char* env = std::getenv("TALVER_WORLD"); env && *env) return env;
  return (std::filesystem::path(DefaultWorldFolder()) / "svp.ini").string();
}

bool LoadWorld(ToolContext& context) {
  std::string file = ResolveWorldFile(context);
  char error[512] = {};
  if (!TalverHost_LoadWorld(file.c_str(), error, sizeof error)) {
    std::fprintf(stderr, "svpconf: %s\n", error);
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

void ReportExport(ToolContext& context, int result, std::uint16_t word) {
  std::printf("result=%d word=0x%04X\n", result, word);
  std::fflush(stdout);
  if (result == 0) ExplainFailure();
  context.exitCode = result == 1 ? 0 : result == 2 ? 2 : 1;
  // A question that no option answered fails the call, whatever it returned.
  if (UnansweredQuestion()) context.exitCode = 1;
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

int main(int argc, char** argv) {
  ToolContext context;
  context.terminal = OpenTerminal();
  context.interactive = context.terminal != nullptr;
  CLI::App app{"svpconf: configuration backup, restore and setup of the SVP"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string(TalverHost_Version()),
                       "Print the version of the library and exit");
  app.fallthrough();  // the global options may also follow the subcommand
  app.option_defaults()->always_capture_default();
  app.add_option(
      "--env", context.envPath,
      "World file (svp.ini); else $TALVER_WORLD, else " + DefaultWorldFolder() + "/svp.ini");
  app.add_flag("--trace", context.traceEcho, "Echo trace lines to stderr");
  app.add_option("--answer", context.answers,
                 "Answer message MSGID beforehand: MSGID=ok|cancel|yes|no|retry|abort|ignore "
                 "(repeatable; also at a terminal, which is then not asked)");
  auto& d = context.dialogs;
  app.add_option("--file", d.file, "Backup file (.gpfm) for the file dialog");
  app.add_option("--drive", d.drive, "Drive letter for the media dialog");
  app.add_option("--key", d.key, "Key code for the key-code dialog");
  app.add_option("--setup-source", d.setupSource, "cdr|backup: the setup-source dialog's choice");
  app.add_option("--media", d.media,
                 "Media to insert when another is asked for, in order (1;3;2); "
                 "else the drive's list in turn");
  app.add_option("--backup", d.backup, "Serial number of the backup to take from a backup list");
  app.add_flag("--confirm", d.confirm, "Confirm the configuration information (dialog 117)");
  for (auto registrar : CommandRegistrars()) registrar(app, context);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return context.exitCode;
}
