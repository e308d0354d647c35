#include "resolve.h"

#include <string.h>

#include "../data/process.h"
#include "../data/state.h"
#include "../data/working_buffer.h"
#include "../paths/ascii_case.h"
#include "../paths/backslash.h"
#include "../paths/path_macros.h"

// --- The pre-uninstall program

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
  // Capping the measured length at what the expansion can build keeps
  // length + 1 from wrapping; a line that long is never started.
  uint32_t length = ExpandPathMacros(nullptr, command, EXPANSION_BUFFER_SIZE);
  if (length > EXPANSION_BUFFER_SIZE - 1) length = EXPANSION_BUFFER_SIZE - 1;
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
  return AppendTexts(WorkPath, PATH_BUFFER_SIZE, command[0] == '"' ? "\"" : "", InstallFolder,
                     nullptr) &&
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

bool ResolveProgramLine(const char *command, char **expansion, char **program, char **arguments) {
  const size_t startAt = ProgramLineStart(command);
  *expansion = command[startAt] == '#' ? ExpandCommand(command, startAt) : nullptr;
  char *text = *expansion;
  if (!text && JoinInstallFolder(command, startAt)) text = WorkPath;
  if (!text) return false;
  SplitCommand(text, program, arguments);
  return true;
}

bool BuildProgramLine(char *line, const char *program, const char *arguments) {
  const size_t programLength = strlen(program);
  const size_t argumentsLength = strlen(arguments);
  if (programLength >= PATH_BUFFER_SIZE) return false;
  if (programLength + 2 + (argumentsLength ? 1 + argumentsLength : 0) >= PROGRAM_LINE_SIZE) {
    return false;
  }
  wsprintfA(line, "\"%s\"", program);
  return argumentsLength == 0 || AppendTexts(line, PROGRAM_LINE_SIZE, " ", arguments, nullptr);
}

// The folder of `path` into `folder` (`size` bytes); false when it does not
// fit or names none. The backslash is cut after, not at: a file in the root
// C:\ gets the root, not the drive's remembered folder "C:".
static bool FolderOf(char *folder, uint32_t size, const char *path) {
  folder[0] = '\0';
  if (!AppendText(folder, size, path)) return false;
  char *lastBackslash = strrchr(folder, '\\');
  if (!lastBackslash) return false;
  lastBackslash[1] = '\0';
  StripTrailingBackslash(folder);
  return true;
}

bool ProgramFolder(char *folder, const char *program) {
  return FolderOf(folder, PATH_BUFFER_SIZE, program);
}

// --- The closing document

bool IsOpenableDocument(const char *document) {
  return document[0] != '\0' && strlen(document) < DOCUMENT_BUFFER_SIZE &&
         IsOpenablePlace(document);
}

const char *DocumentFolder(char *folder, const char *document) {
  if (IsWebAddress(document)) return nullptr;
  return FolderOf(folder, DOCUMENT_BUFFER_SIZE, document) ? folder : nullptr;
}

// --- The self-deletion batch

static bool IsFile(const char *path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// NT's command.com, where there is one at all, knows neither quotes nor long
// names. Full paths, so that a file of that name beside the uninstaller is
// never the one started.
bool FindBatchInterpreter(char *path, bool *isCmd) {
  *isCmd = false;
  if (!IsNtPlatform && FileInFolder(path, GetWindowsDirectoryA, "command.com") && IsFile(path)) {
    return true;
  }
  *isCmd = true;
  return FileInFolder(path, GetSystemDirectoryA, "cmd.exe");
}
