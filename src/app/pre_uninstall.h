// The product's own program, run before anything is removed.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "../data/state.h"  // PROGRAM_LINE_SIZE

enum : uint32_t {
  PROGRAM_POLL_MS = 200,  // how often messages are handled while waiting
};

// Resolves `command`, the settings' program line, and runs it. A line whose
// first character after an optional opening quote and blanks is "#" is
// expanded as a whole; any other line is taken relative to InstallFolder,
// also when it looks absolute. A program in quotes may carry arguments after
// its closing quote; an unquoted line is all program. The quotes of a program
// without arguments or without a closing quote are dropped. A line that does
// not fit its buffer is not started. Returns RunPreUninstallProgram's result.
bool StartPreUninstallProgram(const char *command, uint32_t wait);

// Starts `program` with `arguments` (may be empty) and, when `wait` is not 0,
// handles messages every PROGRAM_POLL_MS until it has ended, without a time
// limit. True when it was started.
bool RunPreUninstallProgram(const char *program, const char *arguments, uint32_t wait);

// Creates the process from the program's own folder, its path in quotes,
// and puts the current directory back. A program path of 260 characters or
// more, or a command line that does not fit PROGRAM_LINE_SIZE, is not
// started. True with the process handle in `process` (the caller closes it),
// else false with null there.
bool LaunchProgram(const char *program, const char *arguments, HANDLE *process);

// True while the process has not ended. The exit-code query alone cannot tell a
// program that ended with STILL_ACTIVE (259) from a running one, so the
// handle's signalled state decides that case: such a program counts as ended.
bool IsProcessRunning(HANDLE process);
