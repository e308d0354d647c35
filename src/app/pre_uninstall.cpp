#include "pre_uninstall.h"

#include <string.h>

#include "../paths/backslash.h"
#include "../paths/path_macros.h"
#include "state.h"
#include "ui.h"
#include "working_buffer.h"

enum : uint32_t {
  // What ExpandPathMacros can build at most; capping the measured length
  // there keeps length + 1 from wrapping. A line that long is never started.
  EXPANSION_LIMIT = 65500,
};

static size_t CountBlanks(const char *text) {
  size_t count = 0;
  while (text[count] == ' ') ++count;
  return count;
}

static void CutTrailingBlanks(char *text) {
  size_t length = strlen(text);
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
}

// The whole line with its macros resolved, in a block of its own; null when
// it holds no macro after all (a known macro left as it stood) or when the
// block cannot be had, so that the line is taken relative to the install
// folder instead.
static char *ExpandCommand(const char *command, size_t startAt) {
  uint32_t length = ExpandPathMacros(nullptr, command, EXPANSION_LIMIT);
  if (length > EXPANSION_LIMIT - 1) length = EXPANSION_LIMIT - 1;
  char *expansion = AllocWorkingBuffer(length + 1);
  if (!expansion) return nullptr;
  ExpandPathMacros(expansion, command, length + 1);
  if (strlen(expansion) == strlen(command) && expansion[startAt] == '#') {
    FreeWorkingBuffer(expansion);
    return nullptr;
  }
  return expansion;
}

// WorkPath = the line's opening quote if any, InstallFolder with its
// backslash, then the line from `startAt`. False when that does not fit.
static bool JoinInstallFolder(const char *command, size_t startAt) {
  if (!WorkPath || !InstallFolder) return false;
  WorkPath[0] = '\0';
  return AppendText(WorkPath, PATH_BUFFER_SIZE, command[0] == '"' ? "\"" : "") &&
         AppendText(WorkPath, PATH_BUFFER_SIZE, InstallFolder) &&
         AppendBackslash(WorkPath, PATH_BUFFER_SIZE) &&
         AppendText(WorkPath, PATH_BUFFER_SIZE, command + startAt);
}

// Splits `text` in place. A program in quotes loses them and its outer
// blanks; what follows the closing quote, blanks skipped, are the arguments.
// LaunchProgram quotes the program itself, so a quoted program without
// arguments or without a closing quote is unquoted too rather than being
// passed on in two pairs of quotes.
static void SplitCommand(char *text, char **program, char **arguments) {
  *arguments = text + strlen(text);
  if (text[0] != '"') {
    *program = text;
    return;
  }
  char *closing = strchr(text + 1, '"');
  if (closing) {
    *closing = '\0';
    *arguments = closing + 1 + CountBlanks(closing + 1);
  }
  *program = text + 1 + CountBlanks(text + 1);
  CutTrailingBlanks(*program);
}

int StartPreUninstallProgram(const char *command, uint32_t wait) {
  const size_t quoted = command[0] == '"' ? 1 : 0;
  const size_t startAt = quoted + CountBlanks(command + quoted);
  char *expansion = command[startAt] == '#' ? ExpandCommand(command, startAt) : nullptr;
  char *text = expansion;
  if (!text && JoinInstallFolder(command, startAt)) text = WorkPath;
  int started = 0;
  if (text) {
    char *program;
    char *arguments;
    SplitCommand(text, &program, &arguments);
    started = RunPreUninstallProgram(program, arguments, wait);
  }
  FreeWorkingBuffer(expansion);
  return started;
}

int RunPreUninstallProgram(const char *program, const char *arguments, uint32_t wait) {
  HANDLE process;
  if (!LaunchProgram(program, arguments, &process)) return 0;
  // The windows stay responsive while nothing is removed.
  while (wait && IsProcessRunning(process)) {
    PumpMessages();
    Sleep(PROGRAM_POLL_MS);
  }
  CloseHandle(process);
  return 1;
}

// "program" or "program" arguments; false when it would not fit.
static bool BuildProgramLine(char *line, const char *program, const char *arguments) {
  const size_t programLength = strlen(program);
  const size_t argumentsLength = strlen(arguments);
  if (programLength >= PATH_BUFFER_SIZE) return false;
  if (programLength + 2 + (argumentsLength ? 1 + argumentsLength : 0) >= PROGRAM_LINE_SIZE) {
    return false;
  }
  wsprintfA(line, "\"%s\"", program);
  return argumentsLength == 0 ||
         (AppendText(line, PROGRAM_LINE_SIZE, " ") &&
          AppendText(line, PROGRAM_LINE_SIZE, arguments));
}

// Saves the current directory in `saved` and makes the program's folder
// current, using `folder` (both PATH_BUFFER_SIZE bytes). False when nothing
// was changed. The backslash is cut after, not at, so that a program in the
// root C:\ makes C:\ current and not the drive's remembered folder "C:".
static bool EnterProgramFolder(char *saved, char *folder, const char *program) {
  DWORD length = GetCurrentDirectoryA(PATH_BUFFER_SIZE, saved);
  if (length == 0 || length >= PATH_BUFFER_SIZE) return false;
  folder[0] = '\0';
  if (!AppendText(folder, PATH_BUFFER_SIZE, program)) return false;
  char *lastBackslash = strrchr(folder, '\\');
  if (!lastBackslash) return false;
  lastBackslash[1] = '\0';
  StripTrailingBackslash(folder);
  SetCurrentDirectoryA(folder);
  return true;
}

// The program gets the system's default window placement and show state.
static HANDLE CreateProgramProcess(char *line) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created;
  memset(&created, 0, sizeof created);
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                      nullptr, &startup, &created)) {
    return nullptr;
  }
  CloseHandle(created.hThread);
  return created.hProcess;
}

int LaunchProgram(const char *program, const char *arguments, HANDLE *process) {
  *process = nullptr;
  char *line = AllocWorkingBuffer(PROGRAM_LINE_SIZE);
  if (!line) return 0;
  if (!BuildProgramLine(line, program, arguments ? arguments : "")) {
    FreeWorkingBuffer(line);
    return 0;
  }
  char *directories = AllocWorkingBuffer(2 * PATH_BUFFER_SIZE);
  if (!directories) {
    FreeWorkingBuffer(line);
    return 0;
  }
  char *saved = directories;
  char *folder = directories + PATH_BUFFER_SIZE;
  const bool moved = EnterProgramFolder(saved, folder, program);
  *process = CreateProgramProcess(line);
  if (moved) SetCurrentDirectoryA(saved);
  FreeWorkingBuffer(directories);
  FreeWorkingBuffer(line);
  return *process != nullptr;
}

int IsProcessRunning(HANDLE process) {
  DWORD exitCode;
  if (!GetExitCodeProcess(process, &exitCode) || exitCode != STILL_ACTIVE) return 0;
  return WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}
