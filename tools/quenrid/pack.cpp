// quenrid pack: a manifest onto a stamped stub.
#include <memory>

#include <CLI/CLI.hpp>

#include "manifest/manifest.h"
#include "quenrid/commands.h"
#include "quenrid/folder_macros.h"
#include "writer/uninstall_writer.h"

namespace quenrid {

namespace {

struct PackOptions {
  std::string stub;
  std::string manifest;
  std::string output;
  unsigned codePage = 0;
  const CLI::Option *codePageOption = nullptr;
  bool strict = false;
};

void Pack(const PackOptions &options) {
  std::optional<unsigned> codePage;
  if (options.codePageOption->count() > 0) codePage = CheckedCodePage(options.codePage);
  RefuseSameFile(options.output, options.stub, "stub");
  RefuseSameFile(options.output, options.manifest, "manifest");
  const std::string stub = ReadWholeFile(options.stub);
  const std::string json = ReadWholeFile(options.manifest);
  const std::string block = Within(options.manifest, [&] {
    ManifestDocument document = ParseManifest(json, codePage);
    ExpandFolderMacros(document, options.output);
    const std::vector<std::string> findings = ManifestFindings(document);
    std::string encoded = EncodeBlock(document.manifest);
    ReportFindings("quenrid pack", options.manifest, findings, options.strict);
    return encoded;
  });
  const std::string packed = Within(options.stub, [&] { return PackBlock(stub, block); });
  // What the uninstaller's own reader makes of the written file must be the
  // block as encoded, or the output is not replaced.
  WriteWholeFile(options.output, packed, [&](const std::string &written) {
    const uint32_t offset = ReadDataOffset(packed);
    if (EncodeBlock(ReadBlock(written, offset)) != block) {
      throw ToolError(options.output + ": the written file does not read back as packed");
    }
  });
}

}  // namespace

void AddPackCommand(CLI::App &app) {
  auto options = std::make_shared<PackOptions>();
  CLI::App *command =
      app.add_subcommand("pack", "Append the block of a manifest to a stamped uninstaller stub");
  command
      ->add_option("--stub", options->stub,
                   "Stamped uninst.exe; a block it already carries is replaced")
      ->required();
  command->add_option("--manifest", options->manifest, "Manifest JSON")->required();
  command->add_option("-o,--output", options->output, "Packed uninstaller to write")->required();
  options->codePageOption = command->add_option(
      "--code-page", options->codePage, "ANSI code page of the strings (overrides the manifest)");
  command->add_flag("--strict", options->strict, "Write nothing when the lint warns");
  command->callback([options] { Pack(*options); });
}

}  // namespace quenrid
