#include "closing_document.h"

#include <shellapi.h>
#include <stdint.h>
#include <string.h>

#include "../data/working_buffer.h"
#include "../paths/backslash.h"
#include "resolve.h"

// Drops the placeholder and everything after it; a quoted placeholder goes
// with its opening quote.
static void CutAtPlaceholder(char *command) {
  char *placeholder = strstr(command, "\"%1\"");
  if (!placeholder) placeholder = strstr(command, "%1");
  if (placeholder) *placeholder = '\0';
}

// Runs the open command of the extension's class with the document at its
// end, in `command` (DOCUMENT_BUFFER_SIZE bytes). A class or command that is
// missing or empty, or a line that would not fit, runs nothing.
static void OpenWithClassCommand(char *command, const char *document, const char *extension) {
  if (QueryClassesRootDefault(HKEY_CLASSES_ROOT, extension, command) != ERROR_SUCCESS ||
      command[0] == '\0' || !AppendText(command, DOCUMENT_BUFFER_SIZE, "\\shell\\open\\command") ||
      QueryClassesRootDefault(HKEY_CLASSES_ROOT, command, command) != ERROR_SUCCESS ||
      command[0] == '\0') {
    return;
  }
  CutAtPlaceholder(command);
  if (AppendText(command, DOCUMENT_BUFFER_SIZE, " ") &&
      AppendText(command, DOCUMENT_BUFFER_SIZE, document)) {
    WinExec(command, SW_SHOW);
  }
}

void OpenClosingDocument(const char *document, const char *extension) {
  char *command = AllocWorkingBuffer(DOCUMENT_BUFFER_SIZE);
  char *folder = AllocWorkingBuffer(DOCUMENT_BUFFER_SIZE);
  // A document cut to fit would be another document: it is not opened.
  if (command && folder && document[0] != '\0' && strlen(document) < DOCUMENT_BUFFER_SIZE) {
    HINSTANCE opened = ShellExecuteA(nullptr, "open", document, nullptr,
                                     DocumentFolder(folder, document), SW_SHOW);
    // Results of 32 and below are the shell's error codes.
    if (reinterpret_cast<uintptr_t>(opened) <= 32) {
      OpenWithClassCommand(command, document, extension);
    }
  }
  FreeWorkingBuffer(folder);
  FreeWorkingBuffer(command);
}

LONG QueryClassesRootDefault(HKEY root, const char *subKey, char *output) {
  HKEY key;
  LONG opened = RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &key);
  if (opened != ERROR_SUCCESS) return opened;
  // Read aside first: a failed read must not leave the sub key's own name in
  // an output that doubles as the sub key, to be run as a command.
  char value[CLASS_VALUE_SIZE + 1];
  memset(value, 0, sizeof value);
  LONG size = CLASS_VALUE_SIZE;
  if (RegQueryValueA(key, nullptr, value, &size) != ERROR_SUCCESS ||
      strlen(value) >= CLASS_VALUE_SIZE) {
    value[0] = '\0';
  }
  RegCloseKey(key);
  memcpy(output, value, strlen(value) + 1);
  return ERROR_SUCCESS;
}
