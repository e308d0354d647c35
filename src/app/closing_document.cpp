#include "closing_document.h"

#include <stdint.h>
#include <string.h>

#include "../data/process.h"
#include "../data/state.h"
#include "../data/working_buffer.h"
#include "../paths/ascii_case.h"
#include "../paths/backslash.h"
#include "../removal/machine.h"
#include "resolve.h"

// --- The class's open command

// Drops the placeholder and everything after it; a quoted placeholder goes
// with its opening quote.
static void CutAtPlaceholder(char *command) {
  char *placeholder = strstr(command, "\"%1\"");
  if (!placeholder) placeholder = strstr(command, "%1");
  if (placeholder) *placeholder = '\0';
}

// Where the program of an unquoted command ends: after the first ".exe" that
// ends a word, since the blanks of "C:\Program Files\..." are part of its
// name; otherwise at the end of a command that has no blank before its
// trailing ones. Null when neither
// holds: a blank there could end the program's name or belong to it, and
// trying each would start "C:\Program.exe".
static const char *UnquotedProgramEnd(const char *command) {
  for (const char *at = command; (at = strchr(at, '.')) != nullptr; ++at) {
    const char *after = AfterPrefixIgnoringAsciiCase(at, ".exe");
    if (after && (*after == ' ' || *after == '\0')) return after;
  }
  const char *end = command + strlen(command);
  while (end > command && end[-1] == ' ') --end;
  for (const char *at = command; at < end; ++at) {
    if (*at == ' ') return nullptr;
  }
  return end;
}

// The program of the registered command into `program` (PATH_BUFFER_SIZE
// bytes), as a full path to a file: in quotes or as above, a bare name from
// the system or Windows folder. Returns what follows the program, or null
// when the command names no program that way.
static const char *CommandProgram(const char *command, char *program) {
  while (*command == ' ') ++command;
  const bool quoted = *command == '"';
  if (quoted) ++command;
  const char *end = quoted ? strchr(command, '"') : UnquotedProgramEnd(command);
  if (!end || end == command || static_cast<uint32_t>(end - command) >= PATH_BUFFER_SIZE) {
    return nullptr;
  }
  char name[PATH_BUFFER_SIZE];
  memcpy(name, command, end - command);
  name[end - command] = '\0';
  if (IsFullPath(name)) {
    memcpy(program, name, end - command + 1);
  } else if (strpbrk(name, "\\/:") ||
             ((!FileInFolder(program, GetSystemDirectoryA, name) ||
               MachineAttributes(program) == INVALID_FILE_ATTRIBUTES) &&
              !FileInFolder(program, GetWindowsDirectoryA, name))) {
    return nullptr;
  }
  const DWORD attributes = MachineAttributes(program);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return nullptr;
  }
  return quoted ? end + 1 : end;
}

// Runs the open command of the extension's class with the document, in
// quotes, at its end. `command` (DOCUMENT_BUFFER_SIZE bytes) holds the
// registry's values and then the line. A class or command that is missing or
// empty, a program that cannot be named for certain, or a line that would not
// fit, runs nothing.
static void OpenWithClassCommand(char *command, const char *document, const char *extension) {
  if (QueryClassesRootDefault(HKEY_CLASSES_ROOT, extension, command) != ERROR_SUCCESS ||
      command[0] == '\0' || !AppendText(command, DOCUMENT_BUFFER_SIZE, "\\shell\\open\\command") ||
      QueryClassesRootDefault(HKEY_CLASSES_ROOT, command, command) != ERROR_SUCCESS ||
      command[0] == '\0') {
    return;
  }
  CutAtPlaceholder(command);
  char program[PATH_BUFFER_SIZE];
  const char *rest = CommandProgram(command, program);
  if (!rest) return;
  while (*rest == ' ') ++rest;
  // "program" arguments "document", the arguments kept apart for the shell.
  char line[DOCUMENT_BUFFER_SIZE];
  line[0] = '\0';
  if (!AppendTexts(line, DOCUMENT_BUFFER_SIZE, "\"", program, "\" ", rest, rest[0] ? " \"" : "\"",
                   document, "\"", nullptr)) {
    return;
  }
  if (MachineShellOpen(program, line + strlen(program) + 3, nullptr)) return;
  HANDLE started = MachineStartProcess(line, FALSE, 0, SW_SHOW, program);
  if (started) CloseHandle(started);
}

void OpenClosingDocument(const char *document, const char *extension) {
  char *command = AllocWorkingBuffer(DOCUMENT_BUFFER_SIZE);
  char *folder = AllocWorkingBuffer(DOCUMENT_BUFFER_SIZE);
  if (command && folder && IsOpenableDocument(document)) {
    const char *from = DocumentFolder(folder, document);
    if (!MachineShellOpen(document, nullptr, from)) {
      OpenWithClassCommand(command, document, extension);
    }
  }
  FreeWorkingBuffer(folder);
  FreeWorkingBuffer(command);
}

LONG QueryClassesRootDefault(HKEY root, const char *subKey, char *output) {
  HKEY key;
  LONG opened = MachineOpenKey(root, subKey, 0, KEY_QUERY_VALUE, &key);
  if (opened != ERROR_SUCCESS) return opened;
  // Read aside first: a failed read must not leave the sub key's own name in
  // an output that doubles as the sub key, to be run as a command.
  char value[CLASS_VALUE_SIZE + 1];
  memset(value, 0, sizeof value);
  DWORD size = CLASS_VALUE_SIZE;
  DWORD type = REG_NONE;
  if (MachineQueryValue(key, nullptr, &type, reinterpret_cast<BYTE *>(value), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ || strlen(value) >= CLASS_VALUE_SIZE) {
    value[0] = '\0';
  }
  MachineCloseKey(key);
  memcpy(output, value, strlen(value) + 1);
  return ERROR_SUCCESS;
}
