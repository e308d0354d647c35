// quenrid plan and capture off Windows: a plan is made of what the machine
// that runs the uninstaller holds, a capture of the machine an installation
// ran on, so this build refuses rather than guesses.
#include <CLI/CLI.hpp>

#include "quenrid/commands.h"

namespace quenrid {

void AddPlanCommand(CLI::App &app) {
  CLI::App *command = app.add_subcommand(
      "plan", "Show every step a packed uninstaller would take (quenrid.exe on Windows only)");
  command->add_option("file", "Packed uninstaller")->required();
  command->add_option("--switches", "The run's switches, as \"/S\" or \"/Q\"");
  command->add_flag("--json", "Print the plan as JSON");
  command->callback([] {
    throw UsageError(
        "plans only on Windows, where the uninstaller runs: use quenrid.exe on that machine");
  });
}

void AddCaptureCommand(CLI::App &app) {
  CLI::App *command = app.add_subcommand(
      "capture", "Record a clean machine, then write a manifest of what an installation added "
                 "(quenrid.exe on Windows only)");
  command->allow_extras();
  command->callback([] {
    throw UsageError(
        "captures only on Windows, on the machine the product is installed on: use quenrid.exe "
        "there");
  });
}

}  // namespace quenrid
