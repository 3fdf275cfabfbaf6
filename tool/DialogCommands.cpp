// svpconf try-dialogs: shows a progress dialog and a confirmation dialog, so
// that the operator of this terminal (or of the options) can be tried.
#include "Tool.h"
#include "host/talver_host.h"

namespace {

void RegisterDialogCommands(CLI::App& app, ToolContext& ctx) {
  static int steps = 20;
  static unsigned pauseMs = 50;
  static int messageId = 4701;
  auto* sample = app.add_subcommand(
      "try-dialogs", "Show a sample progress dialog and a confirmation dialog (tick and OK)");
  sample->add_option("--steps", steps, "steps of the progress dialog");
  sample->add_option("--pause", pauseMs, "milliseconds between two steps");
  sample->add_option("--message", messageId, "catalogue message of the confirmation");
  sample->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    ReportExport(ctx, TalverHost_ShowSampleDialogs(steps, pauseMs, messageId), 0);
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterDialogCommands);
