// The verbs of the quenrid command. Each adds its subcommand to the
// application; the subcommand's callback does the work and throws ToolError
// on failure, which main reports as one line.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "writer/uninstall_writer.h"

namespace CLI {
class App;
}

namespace quenrid {

enum ExitCode {
  EXIT_OK = 0,
  EXIT_BAD_INPUT = 1,  // a file or manifest that cannot be used
  EXIT_USAGE = 2,      // a command line that cannot be parsed
};

// One line naming the file and the place: "m.json: files[2].fileName: ...".
struct ToolError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A command line that cannot be used as given: exit code EXIT_USAGE.
struct UsageError : ToolError {
  using ToolError::ToolError;
};

// Runs `work`, turning any error it throws into a ToolError that names `file`.
template <class Work> auto Within(const std::string &file, Work work) -> decltype(work()) {
  try {
    return work();
  } catch (const ToolError &) {
    throw;
  } catch (const std::runtime_error &error) {
    throw ToolError(file + ": " + error.what());
  }
}

// Reads the whole file; ToolError when it cannot.
std::string ReadWholeFile(const std::string &path);
// Creates or replaces the file with `bytes`, atomically: they go to a new file
// beside it, which `check` (when given) may inspect by its path and which then
// replaces the target. On any failure the target is as it was and the new
// file is gone.
void WriteWholeFile(const std::string &path, const std::string &bytes,
                    const std::function<void(const std::string &)> &check = {});
// Overwrites bytes of an existing file at `offset`, leaving the rest.
void PatchFile(const std::string &path, size_t offset, const std::string &bytes);

// UsageError when `output` names the same file as `input` (the stub, the manifest).
void RefuseSameFile(const std::string &output, const std::string &input, const char *role);
// ToolError for a pipe or device, which the reader could not open a second time.
void RequireRegularFile(const std::string &path);
// Writes `text` to stdout; ToolError when it cannot be written in full.
void WriteStdout(const std::string &text);

// Returns a --code-page value unchanged; UsageError for one that cannot be used.
unsigned CheckedCodePage(unsigned codePage);

// `text` with its letters A to Z made lower-case, as the system compares
// names in any case.
std::string LowerAscii(std::string text);

// One line on stderr, "prefix: text", with line breaks, control characters
// and bytes that are not UTF-8 escaped, so that no input reaches the terminal raw.
void ReportLine(const std::string &prefix, const std::string &text);

// The block at `offset` of the file at `path`, read with the uninstaller's own
// reader; ToolError naming the reader's code when it cannot be read.
Manifest ReadBlock(const std::string &path, uint32_t offset);
// The offset the reader is to start at; ToolError for a field it would read
// nothing useful behind (0, beyond the file, inside the image, no block).
uint32_t BlockOffset(const std::string &path);
// The same block left in the reader's process-wide lists, for the caller to
// release with ReleaseUninstallData; ToolError when it cannot be read.
void LoadBlock(const std::string &path, uint32_t offset);

struct ManifestDocument;
// What pack and lint warn about: CheckUsable's warnings, then the lint's.
std::vector<std::string> ManifestFindings(const ManifestDocument &document);
// Each finding as a warning line of `verb` about `file`; with `strict`, then
// a ToolError that counts them.
void ReportFindings(const std::string &verb, const std::string &file,
                    const std::vector<std::string> &findings, bool strict);

void AddPackCommand(CLI::App &app);
void AddDumpCommand(CLI::App &app);
void AddLintCommand(CLI::App &app);
void AddStampCommand(CLI::App &app);
void AddPlanCommand(CLI::App &app);
void AddCaptureCommand(CLI::App &app);

}  // namespace quenrid
