#include "com_server.h"

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "../data/process.h"
#include "../data/state.h"
#include "../data/working_buffer.h"
#include "../paths/backslash.h"
#include "guarded_call.h"

enum : uint32_t {
  COMMAND_LINE_SIZE = 520,
  // No critical-error or missing-file boxes while a server is loaded.
  QUIET_ERROR_MODE = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX,
  TOOL_POLL_MS = 250,
};

// No time limit: the tool runs silently and ends on its own.
static void WaitForTool(HANDLE process) {
  DWORD exitCode;
  while (GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE) Sleep(TOOL_POLL_MS);
}

// True when the tool started; it has ended when this returns.
static bool RunTool(char *commandLine) {
  HANDLE tool = StartProcess(commandLine, TRUE, NORMAL_PRIORITY_CLASS, SHOW_DEFAULT_WINDOW);
  if (!tool) return false;
  WaitForTool(tool);
  CloseHandle(tool);
  return true;
}

// "<system folder>\regsvr32.exe" /u /s "<path>": the system's own tool by its
// full path, never one that the search for a bare name would find first in
// the uninstaller's folder or the current one. The quotes keep paths with
// blanks one argument.
static bool BuildToolLine(char *commandLine, const char *path) {
  char tool[PATH_BUFFER_SIZE];
  return FileInFolder(tool, GetSystemDirectoryA, "regsvr32.exe") &&
         AppendTexts(commandLine, COMMAND_LINE_SIZE, "\"", tool, "\" /u /s \"", path, "\"", nullptr);
}

// True when regsvr32 ran, whatever it made of the file.
static bool UnregisterWithTool(const char *path) {
  char *commandLine = AllocWorkingBuffer(COMMAND_LINE_SIZE);
  if (!commandLine) return false;
  bool ran = BuildToolLine(commandLine, path) && RunTool(commandLine);
  FreeWorkingBuffer(commandLine);
  return ran;
}

// The current directory without a trailing backslash (a root keeps its own),
// or empty when it cannot be read into the buffer.
static void SaveCurrentDirectory(char *saved) {
  DWORD length = GetCurrentDirectoryA(PATH_BUFFER_SIZE, saved);
  if (length == 0 || length >= PATH_BUFFER_SIZE) saved[0] = '\0';
  StripTrailingBackslash(saved);
}

// Makes the server's folder current, so that libraries beside it are found
// when it loads. The backslash is cut after, not at, so that a server in
// C:\ makes C:\ current and not the drive's remembered folder "C:".
static void EnterServerFolder(const char *path) {
  char folder[PATH_BUFFER_SIZE] = "";
  if (!AppendText(folder, sizeof folder, path)) return;
  char *lastBackslash = strrchr(folder, '\\');
  if (!lastBackslash) return;
  lastBackslash[1] = '\0';
  StripTrailingBackslash(folder);
  SetCurrentDirectoryA(folder);
}

// The server by its full path, the libraries it needs from its own folder
// and then the system's, never from the current directory's search: with the
// search flags of newer systems, else with the altered search order that
// every system has.
static HMODULE LoadServer(const char *path) {
  HMODULE server = LoadLibraryExA(
      path, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (reinterpret_cast<uintptr_t>(server) < 32) {
    server = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  return server;
}

// A handle below 32 is the old way of reporting a failed load.
static void CallUnregisterExport(const char *path) {
  HMODULE server = LoadServer(path);
  if (reinterpret_cast<uintptr_t>(server) < 32) return;
  FARPROC unregister = GetProcAddress(server, "DllUnregisterServer");
  if (unregister) CallGuarded(unregister);
  FreeLibrary(server);
}

// Without a buffer to remember the current directory in, the server is
// called from where we are rather than leaving us in its folder.
static void UnregisterInProcess(const char *path) {
  UINT previousMode = SetErrorMode(QUIET_ERROR_MODE);
  char *savedDirectory = AllocWorkingBuffer(PATH_BUFFER_SIZE);
  if (savedDirectory) {
    SaveCurrentDirectory(savedDirectory);
    EnterServerFolder(path);
  }
  CallUnregisterExport(path);
  if (savedDirectory) {
    if (savedDirectory[0] != '\0') SetCurrentDirectoryA(savedDirectory);
    FreeWorkingBuffer(savedDirectory);
  }
  SetErrorMode(previousMode);
}

void UnregisterComServer(const char *path) {
  UINT previousMode = SetErrorMode(QUIET_ERROR_MODE);
  if (!IsNtVersion6 || !UnregisterWithTool(path)) UnregisterInProcess(path);
  SetErrorMode(previousMode);
}
