#include "harness.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "ui_driver.h"

namespace quenrid::test {
namespace {

constexpr DWORD kPollMs = 20;

std::runtime_error LastError(const std::string &what) {
  return std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

bool RemoveTreeOnce(const std::string &path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    const std::string name = found.cFileName, child = path + "\\" + name;
    if (name == "." || name == "..") continue;
    SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
    (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? (void)RemoveTreeOnce(child)
                                                        : (void)DeleteFileA(child.c_str());
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryA(path.c_str()) ||
         GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::string HostPathToWindows(const std::string &unixPath) {
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string StubPath() { return HostPathToWindows(QUENRID_STUB_PATH); }
std::string TestProgram(const std::string &file) {
  return HostPathToWindows(QUENRID_TEST_PROGRAMS "/" + file);
}

std::vector<std::string> InspectedStubPaths() {
  std::vector<std::string> paths{StubPath()};
#ifdef QUENRID_SHIPPED_STUB_PATH
  paths.push_back(HostPathToWindows(QUENRID_SHIPPED_STUB_PATH));
#endif
  return paths;
}

std::string ReadBinaryFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBinaryFile(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

// A process that has just ended may still hold its image for a moment.
bool RemoveTree(const std::string &path) {
  for (int attempt = 0; attempt < 50; ++attempt, Sleep(kPollMs)) {
    if (RemoveTreeOnce(path)) return true;
  }
  return false;
}

std::vector<std::string> CreateFolders(const std::string &path) {
  std::vector<std::string> made;
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    if (CreateDirectoryA(path.substr(0, at).c_str(), nullptr)) {
      made.insert(made.begin(), path.substr(0, at));
    }
  }
  return made;
}

bool SamePath(const std::string &a, const std::string &b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// Unique within the run; one left behind is named in the failure it causes.
TestFolder::TestFolder() {
  static int serial = 0;
  path_ =
      "C:\\quenrid-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
  RemoveTree(path_);
  if (!CreateDirectoryA(path_.c_str(), nullptr)) throw LastError("cannot create " + path_);
}

TestFolder::~TestFolder() {
  if (!RemoveTree(path_)) ADD_FAILURE() << "test folder " << path_ << " could not be removed";
}

// Read from a pipe while the tool runs, and only until it has ended: wine
// hands the tool's standard handles on to the desktop that its start may
// start, which keeps them, and with them the pipe's writing end, open.
std::string RunQuenrid(const std::string &arguments, DWORD *exitCode) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE reading, writing;
  if (!CreatePipe(&reading, &writing, &inherit, 0)) throw LastError("cannot make a pipe");
  SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = writing;
  std::string line = "\"" + HostPathToWindows(QUENRID_TOOL_PATH) + "\" " + arguments;
  PROCESS_INFORMATION info{};
  const bool started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &info);
  CloseHandle(writing);
  if (!started) {
    CloseHandle(reading);
    throw LastError("cannot start " + line);
  }
  std::string text;
  bool ended = false;
  for (const DWORD start = GetTickCount(); GetTickCount() - start < kExitTimeoutMs;) {
    ended = ended || WaitForSingleObject(info.hProcess, 10) == WAIT_OBJECT_0;
    DWORD waiting = 0, got = 0;
    char buffer[4096];
    if (PeekNamedPipe(reading, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0 &&
        ReadFile(reading, buffer, sizeof buffer, &got, nullptr)) {
      text.append(buffer, got);
    } else if (ended) {
      break;  // all it wrote has been read
    }
  }
  if (!ended) TerminateProcess(info.hProcess, 1);
  if (exitCode) GetExitCodeProcess(info.hProcess, exitCode);
  CloseHandle(reading);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  if (!ended) throw std::runtime_error("still running after the time-out: " + line);
  return text;
}

// A window station of its own with one desktop; not the interactive one, so
// nobody sees it. Made once and kept for the test program's life.
static const char *HiddenDesktop() {
  static bool made = false;
  if (!made) {
    HWINSTA own = GetProcessWindowStation();
    HWINSTA hidden = CreateWindowStationA("QuenridHidden", 0, WINSTA_ALL_ACCESS, nullptr);
    if (!hidden || !SetProcessWindowStation(hidden))
      throw LastError("cannot make a window station");
    HDESK desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    if (!desktop) throw LastError("cannot make a desktop in the window station");
    made = true;
  }
  return "QuenridHidden\\Default";
}

Process::Process(const std::string &exePath, const std::string &arguments,
                 const std::string &directory, bool hidden) {
  std::string commandLine = "\"" + exePath + "\"" + (arguments.empty() ? "" : " " + arguments);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string desktop = hidden ? HiddenDesktop() : "";
  if (hidden) startup.lpDesktop = &desktop[0];
  if (!CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &info_)) {
    throw LastError("cannot start " + commandLine);
  }
}

Process::~Process() {
  if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, kExitTimeoutMs);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

::testing::AssertionResult Process::ExitsWith(DWORD expected, bool silently) {
  bool sawWindow = false;
  for (const DWORD start = GetTickCount();;) {
    sawWindow = sawWindow || (silently && ui::HasVisibleWindow(id()));
    if (WaitForSingleObject(info_.hProcess, kPollMs) != WAIT_TIMEOUT) break;
    if (GetTickCount() - start > kExitTimeoutMs) {
      return ::testing::AssertionFailure() << "still running after the time-out";
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  if (code != expected) {
    return ::testing::AssertionFailure()
           << "exit code " << static_cast<int>(code) << " (0x" << std::hex << code
           << "), expected " << std::dec << static_cast<int>(expected);
  }
  if (sawWindow) return ::testing::AssertionFailure() << "showed a window before it ended";
  return ::testing::AssertionSuccess();
}

}  // namespace quenrid::test
