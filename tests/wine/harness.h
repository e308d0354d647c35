// Shared ground for the tests that run under wine: a private folder per test,
// files in and out, packed uninstallers, and child processes that can never
// outlive or hang a test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/state.h"
#include "ui/ui.h"

namespace quenrid::test {

// Generous bounds: the first start of a program in a fresh wine session is
// slow, and on a loaded two-core machine a message box has been seen to take
// more than ten seconds; a passing test never waits this long.
constexpr DWORD kExitTimeoutMs = 60000;
constexpr DWORD kDialogTimeoutMs = 30000;

// The Windows path of a file of the build tree (wine maps / to Z:\).
std::string HostPathToWindows(const std::string &unixPath);
// The freshly built stub, as the build left it.
std::string StubPath();
// A test program of tests/support: "recorder.exe", "crashing_com_server.dll"...
std::string TestProgram(const std::string &file);
// The stub files that the checks which do not run them read: this build's
// stub and, in an x86-64 tree, the shipped i686 one as well.
std::vector<std::string> InspectedStubPaths();

// Whole-file reads and writes; both throw std::runtime_error on failure.
std::string ReadBinaryFile(const std::string &path);
void WriteBinaryFile(const std::string &path, const std::string &bytes);
// Deletes a folder and everything below it, read-only files included.
bool RemoveTree(const std::string &path);
// Creates the folders on the way to `path` that are not there, and `path`
// itself when it ends in a backslash; returns those it made, deepest first.
std::vector<std::string> CreateFolders(const std::string &path);
// Paths compared as Windows compares them, letters in any case.
bool SamePath(const std::string &a, const std::string &b);

// A folder of its own directly under C:\, named by process and number, that
// goes away with the object. A folder that cannot be removed fails the test.
class TestFolder {
 public:
  TestFolder();
  ~TestFolder();
  TestFolder(const TestFolder &) = delete;
  TestFolder &operator=(const TestFolder &) = delete;
  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// What the tool of this build prints (stdout and stderr) when run as a child
// process with `arguments`, and its exit code into `exitCode` when given;
// throws std::runtime_error when it cannot be started or does not end.
std::string RunQuenrid(const std::string &arguments, DWORD *exitCode = nullptr);

// A started program, terminated if still running when the object goes.
class Process {
 public:
  // Starts `exePath` with `arguments`, in `directory` when one is given, else
  // in the current directory, and on a desktop of a window station nobody
  // sees when `hidden`; throws std::runtime_error when it cannot.
  Process(const std::string &exePath, const std::string &arguments,
          const std::string &directory = "", bool hidden = false);
  ~Process();
  Process(const Process &) = delete;
  Process &operator=(const Process &) = delete;

  DWORD id() const { return info_.dwProcessId; }
  // Whether the process ends with `expected` within the time-out and, when
  // `silently`, without showing a visible window meanwhile.
  ::testing::AssertionResult ExitsWith(DWORD expected, bool silently = false);

 private:
  PROCESS_INFORMATION info_{};
};

// The uninstaller's process-wide variables, saved when a test fixture starts
// and put back when it ends, whatever the test did or however it failed, so
// that no case sees a WorkPath that points into a finished case's stack.
struct ProcessState {
  const bool nt = IsNtPlatform, nt6 = IsNtVersion6, quiet = QuietMode, s = SwitchS, x = SwitchX;
  char *const install = InstallFolder, *const work = WorkPath, *const module = ModulePath;
  const uint32_t total = ProgressTotal, position = ProgressPosition;
  ProcessState() = default;
  ProcessState(const ProcessState &) = delete;
  ~ProcessState() {
    IsNtPlatform = nt, IsNtVersion6 = nt6, QuietMode = quiet, SwitchS = s, SwitchX = x;
    InstallFolder = install, WorkPath = work, ModulePath = module;
    ProgressTotal = total, ProgressPosition = position;
  }
};

// The message table the tests pack: every number distinct and recognisable,
// "%s" where the uninstaller fills in a path.
inline std::vector<std::string> TestMessages() {
  return {
      "Quenrid Test Uninstall",                // 0: caption
      "Remove %s and all of its components?",  // 1: confirmation, reader code 1
      "Quenrid Test was removed.",             // 2: closing message
      "&Yes",
      "Yes to &all",
      "&No",
      "No to a&ll",                                     // 3-6: the read-only question's buttons
      "Not enough memory to read %s.",                  // 7
      "The uninstall data in %s is damaged.",           // 8
      "%s is read-only. Remove it anyway?",             // 9
      "No other program uses %s any more. Remove it?",  // 10
      "Removing files...",
      "Removing shortcuts...",  // 11-12
      "Removing folders...",
      "Removing registry entries...",                     // 13-14
      "Some files are still in use. Close the program.",  // 15
  };
}

// `text` with its "%s" replaced by `argument`, as the uninstaller formats it.
inline std::string WithArgument(std::string text, const std::string &argument) {
  std::string::size_type at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

}  // namespace quenrid::test
