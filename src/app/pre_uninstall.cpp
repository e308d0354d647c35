#include "pre_uninstall.h"

#include <string.h>

#include "../data/process.h"
#include "../data/state.h"
#include "../data/working_buffer.h"
#include "../paths/backslash.h"
#include "../removal/machine.h"
#include "../ui/ui.h"
#include "resolve.h"

bool StartPreUninstallProgram(const char *command, uint32_t wait) {
  char *expansion;
  char *program;
  char *arguments;
  bool started = false;
  if (ResolveProgramLine(command, &expansion, &program, &arguments)) {
    started = RunPreUninstallProgram(program, arguments, wait);
  }
  FreeWorkingBuffer(expansion);
  return started;
}

bool RunPreUninstallProgram(const char *program, const char *arguments, uint32_t wait) {
  HANDLE process;
  if (!LaunchProgram(program, arguments, &process)) return false;
  // The windows stay responsive while nothing is removed.
  while (wait && IsProcessRunning(process)) {
    PumpMessages();
    Sleep(PROGRAM_POLL_MS);
  }
  CloseHandle(process);
  return true;
}

// Saves the current directory in `saved` and makes the program's folder
// current, using `folder` (both PATH_BUFFER_SIZE bytes). False when nothing
// was changed.
static bool EnterProgramFolder(char *saved, char *folder, const char *program) {
  DWORD length = MachineCurrentFolder(saved);
  if (length == 0 || length >= PATH_BUFFER_SIZE) return false;
  if (!ProgramFolder(folder, program)) return false;
  MachineEnterFolder(folder);
  return true;
}

bool LaunchProgram(const char *program, const char *arguments, HANDLE *process) {
  *process = nullptr;
  char *line = AllocWorkingBuffer(PROGRAM_LINE_SIZE);
  if (!line) return false;
  if (!BuildProgramLine(line, program, arguments ? arguments : "")) {
    FreeWorkingBuffer(line);
    return false;
  }
  char *directories = AllocWorkingBuffer(2 * PATH_BUFFER_SIZE);
  if (!directories) {
    FreeWorkingBuffer(line);
    return false;
  }
  char *saved = directories;
  char *folder = directories + PATH_BUFFER_SIZE;
  const bool moved = EnterProgramFolder(saved, folder, program);
  // The program gets the system's default window placement and show state.
  *process = MachineStartProcess(line, TRUE, NORMAL_PRIORITY_CLASS, SHOW_DEFAULT_WINDOW, nullptr);
  if (moved) MachineEnterFolder(saved);
  FreeWorkingBuffer(directories);
  FreeWorkingBuffer(line);
  return *process != nullptr;
}

bool IsProcessRunning(HANDLE process) {
  DWORD exitCode;
  if (!GetExitCodeProcess(process, &exitCode) || exitCode != STILL_ACTIVE) return false;
  return WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}
