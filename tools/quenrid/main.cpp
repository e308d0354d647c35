// quenrid: packs, inspects and stamps uninstallers. One verb per file; this
// file only dispatches and turns every failure into one line on stderr.
#include <cstring>
#include <iostream>

#include <CLI/CLI.hpp>

#include "quenrid/commands.h"

namespace {

const char *const kVerbs[] = {"pack", "dump", "lint", "stamp", "plan", "capture"};

// "quenrid pack" once a verb is known, so the line says which one failed.
std::string Prefix(const CLI::App &app) {
  const auto verbs = app.get_subcommands();
  return verbs.empty() ? "quenrid" : "quenrid " + verbs.front()->get_name();
}

// CLI11 says only that a subcommand is required when the first word is none.
void CheckVerb(int argc, char **argv) {
  if (argc < 2 || argv[1][0] == '-') return;
  for (const char *verb : kVerbs) {
    if (std::strcmp(argv[1], verb) == 0) return;
  }
  throw quenrid::UsageError(std::string("unknown command \"") + argv[1] +
                            "\" (known: pack, dump, lint, stamp, plan or capture; see --help)");
}

}  // namespace

int main(int argc, char **argv) {
  using namespace quenrid;
  CLI::App app{"quenrid: pack, dump, lint, stamp, plan and capture Quenrid uninstallers",
               "quenrid"};
  app.require_subcommand(1);
  AddPackCommand(app);
  AddDumpCommand(app);
  AddLintCommand(app);
  AddStampCommand(app);
  AddPlanCommand(app);
  AddCaptureCommand(app);
  try {
    CheckVerb(argc, argv);
    app.parse(argc, argv);
    return EXIT_OK;
  } catch (const CLI::ParseError &error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help
    ReportLine(Prefix(app), error.what());
    return EXIT_USAGE;
  } catch (const UsageError &error) {
    ReportLine(Prefix(app), error.what());
    return EXIT_USAGE;
  } catch (const std::exception &error) {  // ToolError, or no memory
    ReportLine(Prefix(app), error.what());
  }
  return EXIT_BAD_INPUT;
}
