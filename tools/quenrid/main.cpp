// quenrid: packs, inspects and stamps uninstallers. One verb per file; this
// file only dispatches and turns every failure into one line on stderr.
#include <iostream>

#include <CLI/CLI.hpp>

#include "quenrid/commands.h"

namespace {

// "quenrid pack" once a verb is known, so the line says which one failed.
std::string Prefix(const CLI::App &app) {
  const auto verbs = app.get_subcommands();
  return verbs.empty() ? "quenrid" : "quenrid " + verbs.front()->get_name();
}

void ReportLine(const std::string &prefix, std::string text) {
  for (char &c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::cerr << prefix << ": " << text << std::endl;
}

}  // namespace

int main(int argc, char **argv) {
  using namespace quenrid;
  CLI::App app{"quenrid: pack, dump and stamp Quenrid uninstallers", "quenrid"};
  app.require_subcommand(1);
  AddPackCommand(app);
  AddDumpCommand(app);
  AddStampCommand(app);
  try {
    app.parse(argc, argv);
    return EXIT_OK;
  } catch (const CLI::ParseError &error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help
    ReportLine(Prefix(app), error.what());
    return EXIT_USAGE;
  } catch (const std::exception &error) {  // ToolError, or no memory
    ReportLine(Prefix(app), error.what());
  }
  return EXIT_BAD_INPUT;
}
