// Shared ground for the tests that run under wine: a private folder per test,
// files in and out, packed uninstallers, and child processes that can never
// outlive or hang a test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

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

// A folder of its own directly under C:\, named after the running test, that
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
  // The exit code, or none when the process still ran after `timeoutMs`; it
  // is then terminated. `sawWindow`, when given, is set when any visible
  // window of the process appeared while waiting.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs, bool *sawWindow = nullptr);

 private:
  PROCESS_INFORMATION info_{};
};

// Asserts that the process ends with `expected` within the time-out, and
// `silently`, showing no visible window meanwhile.
::testing::AssertionResult ExitsWith(Process &process, DWORD expected, bool silently = false);

}  // namespace quenrid::test
