// The verbs of the quenrid command. Each adds its subcommand to the
// application; the subcommand's callback does the work and throws ToolError
// on failure, which main reports as one line.
#pragma once

#include <stdexcept>
#include <string>

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
// Creates or replaces the file with `bytes`.
void WriteWholeFile(const std::string &path, const std::string &bytes);
// Overwrites bytes of an existing file at `offset`, leaving the rest.
void PatchFile(const std::string &path, size_t offset, const std::string &bytes);

// Returns a --code-page value unchanged; ToolError for one that cannot be used.
unsigned CheckedCodePage(unsigned codePage);

void AddPackCommand(CLI::App &app);
void AddDumpCommand(CLI::App &app);
void AddStampCommand(CLI::App &app);

}  // namespace quenrid
