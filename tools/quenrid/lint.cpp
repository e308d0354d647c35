// quenrid lint: what a manifest or a packed uninstaller holds that the
// uninstaller would act on, but that is dangerous or not what was meant.
#include <memory>

#include <CLI/CLI.hpp>

#include "manifest/code_page.h"
#include "manifest/lint.h"
#include "manifest/manifest.h"
#include "quenrid/commands.h"

namespace quenrid {

namespace {

struct LintOptions {
  std::string file;
  unsigned codePage = kDefaultCodePage;
  const CLI::Option *codePageOption = nullptr;
  bool strict = false;
};

void Lint(const LintOptions &options) {
  const bool codePageGiven = options.codePageOption->count() > 0;
  if (codePageGiven) CheckedCodePage(options.codePage);
  const std::string bytes = ReadWholeFile(options.file);
  std::vector<std::string> findings;
  if (bytes.compare(0, 2, "MZ") == 0) {
    // A packed uninstaller: the model its own reader builds, as dump prints it.
    const ManifestDocument document{options.codePage,
                                    ReadBlock(options.file, BlockOffset(options.file))};
    findings = Within(options.file, [&] { return ManifestFindings(document); });
  } else {
    findings = Within(options.file, [&] {
      const std::optional<unsigned> codePage =
          codePageGiven ? std::optional<unsigned>(options.codePage) : std::nullopt;
      const ManifestDocument document = ParseManifest(bytes, codePage);
      std::vector<std::string> found = ManifestFindings(document);
      EncodeBlock(document.manifest);
      return found;
    });
  }
  ReportFindings("quenrid lint", options.file, findings, options.strict);
}

}  // namespace

std::vector<std::string> ManifestFindings(const ManifestDocument &document) {
  std::vector<std::string> findings = CheckUsable(document);
  for (std::string &finding : LintManifest(document.manifest))
    findings.push_back(std::move(finding));
  return findings;
}

void ReportFindings(const std::string &verb, const std::string &file,
                    const std::vector<std::string> &findings, bool strict) {
  for (const std::string &finding : findings) ReportLine(verb, file + ": warning: " + finding);
  if (strict && !findings.empty()) {
    throw ToolError(file + ": " + std::to_string(findings.size()) +
                    (findings.size() == 1 ? " warning" : " warnings") +
                    ", which --strict makes errors");
  }
}

void AddLintCommand(CLI::App &app) {
  auto options = std::make_shared<LintOptions>();
  CLI::App *command = app.add_subcommand(
      "lint", "Warn about dangerous or suspicious data in a manifest or a packed uninstaller");
  command->add_option("file", options->file, "Manifest JSON or packed uninstaller")->required();
  command->add_flag("--strict", options->strict, "Fail when there is any warning");
  options->codePageOption =
      command->add_option("--code-page", options->codePage, "ANSI code page of the strings");
  command->callback([options] { Lint(*options); });
}

}  // namespace quenrid
