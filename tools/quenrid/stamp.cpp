// quenrid stamp: the build step that writes a stub's own length into its
// data offset field, so a block appended at its end is found unchanged.
#include <memory>

#include <CLI/CLI.hpp>

#include "quenrid/commands.h"
#include "writer/uninstall_writer.h"

namespace quenrid {

namespace {

void Stamp(const std::string &path) {
  const std::string stub = ReadWholeFile(path);
  const size_t field = Within(path, [&] { return FindDataOffsetField(stub); });
  const std::string stamped = Within(path, [&] { return StampStub(stub); });
  PatchFile(path, field, stamped.substr(field, 4));
}

}  // namespace

void AddStampCommand(CLI::App &app) {
  auto path = std::make_shared<std::string>();
  CLI::App *command =
      app.add_subcommand("stamp", "Write an uninstaller stub's length into its data offset field");
  command->add_option("stub", *path, "uninst.exe, changed in place")->required();
  command->callback([path] { Stamp(*path); });
}

}  // namespace quenrid
