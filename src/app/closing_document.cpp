#include "closing_document.h"

#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <stdint.h>
#include <string.h>

#include "../data/process.h"
#include "../data/state.h"
#include "../data/working_buffer.h"
#include "../paths/ascii_case.h"
#include "../paths/backslash.h"
#include "resolve.h"

// --- The desktop's shell

typedef BSTR(WINAPI *AllocStringFn)(const OLECHAR *);
typedef void(WINAPI *FreeStringFn)(BSTR);

// The strings of one call, as the automation library allocates them.
struct ShellStrings {
  AllocStringFn alloc;
  FreeStringFn free;
  BSTR text[4];  // file, arguments, folder, verb
};

static bool SetString(ShellStrings *strings, int index, const char *text, VARIANT *variant) {
  if (!text) return true;
  WCHAR wide[DOCUMENT_BUFFER_SIZE];
  if (!MultiByteToWideChar(CP_ACP, 0, text, -1, wide, DOCUMENT_BUFFER_SIZE)) return false;
  strings->text[index] = strings->alloc(wide);
  if (!strings->text[index]) return false;
  if (variant) {
    variant->vt = VT_BSTR;
    variant->bstrVal = strings->text[index];
  }
  return true;
}

// The shell's automation object of the desktop's folder view, which lives in
// the desktop's own process; null when there is none (no shell running, or
// one that offers no such object).
static IShellDispatch2 *DesktopShell() {
  IShellWindows *windows = nullptr;
  IDispatch *desktop = nullptr, *background = nullptr, *application = nullptr;
  IServiceProvider *services = nullptr;
  IShellBrowser *browser = nullptr;
  IShellView *view = nullptr;
  IShellFolderViewDual *folderView = nullptr;
  IShellDispatch2 *shell = nullptr;
  VARIANT location, root;
  memset(&location, 0, sizeof location);
  memset(&root, 0, sizeof root);
  location.vt = VT_I4;
  location.lVal = CSIDL_DESKTOP;
  long window = 0;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                 IID_IShellWindows, reinterpret_cast<void **>(&windows))) &&
      windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                            &desktop) == S_OK &&
      desktop &&
      SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider,
                                        reinterpret_cast<void **>(&services))) &&
      SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                       reinterpret_cast<void **>(&browser))) &&
      SUCCEEDED(browser->QueryActiveShellView(&view)) &&
      SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                    reinterpret_cast<void **>(&background))) &&
      SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual,
                                           reinterpret_cast<void **>(&folderView))) &&
      SUCCEEDED(folderView->get_Application(&application)) && application) {
    application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void **>(&shell));
  }
  IUnknown *used[] = {application, folderView, background, view, browser, services, desktop,
                      windows};
  for (IUnknown *object : used) {
    if (object) object->Release();
  }
  return shell;
}

// On NT 6 and later the uninstaller runs elevated, and what it starts would
// run as administrator: the desktop's shell, which runs with the signed-in
// user's own rights, is asked to open `file` (a document, or a program with
// its `arguments`) instead. False when there is no such shell or it could
// not open the file; the caller then opens it as before.
static bool OpenOnDesktop(const char *file, const char *arguments, const char *folder) {
  if (!IsNtVersion6) return false;
  char path[PATH_BUFFER_SIZE];
  HMODULE automation =
      FileInFolder(path, GetSystemDirectoryA, "oleaut32.dll") ? LoadLibraryA(path) : nullptr;
  if (!automation) return false;
  ShellStrings strings;
  memset(&strings, 0, sizeof strings);
  strings.alloc = reinterpret_cast<AllocStringFn>(
      reinterpret_cast<void *>(GetProcAddress(automation, "SysAllocString")));
  strings.free = reinterpret_cast<FreeStringFn>(
      reinterpret_cast<void *>(GetProcAddress(automation, "SysFreeString")));
  VARIANT parameters, directory, verb, show;
  memset(&parameters, 0, sizeof parameters);
  memset(&directory, 0, sizeof directory);
  memset(&verb, 0, sizeof verb);
  memset(&show, 0, sizeof show);
  show.vt = VT_I4;
  show.lVal = SW_SHOW;
  bool opened = false;
  if (strings.alloc && strings.free && SetString(&strings, 0, file, nullptr) &&
      SetString(&strings, 1, arguments, &parameters) &&
      SetString(&strings, 2, folder, &directory) && SetString(&strings, 3, "open", &verb)) {
    IShellDispatch2 *shell = DesktopShell();
    if (shell) {
      opened = shell->ShellExecute(strings.text[0], parameters, directory, verb, show) == S_OK;
      shell->Release();
    }
  }
  for (BSTR text : strings.text) {
    if (text) strings.free(text);
  }
  FreeLibrary(automation);
  return opened;
}

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
               GetFileAttributesA(program) == INVALID_FILE_ATTRIBUTES) &&
              !FileInFolder(program, GetWindowsDirectoryA, name))) {
    return nullptr;
  }
  const DWORD attributes = GetFileAttributesA(program);
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
  if (!AppendText(line, DOCUMENT_BUFFER_SIZE, "\"") ||
      !AppendText(line, DOCUMENT_BUFFER_SIZE, program) ||
      !AppendText(line, DOCUMENT_BUFFER_SIZE, "\" ") ||
      !AppendText(line, DOCUMENT_BUFFER_SIZE, rest) ||
      !AppendText(line, DOCUMENT_BUFFER_SIZE, rest[0] ? " \"" : "\"") ||
      !AppendText(line, DOCUMENT_BUFFER_SIZE, document) ||
      !AppendText(line, DOCUMENT_BUFFER_SIZE, "\"")) {
    return;
  }
  if (OpenOnDesktop(program, line + strlen(program) + 3, nullptr)) return;
  HANDLE started = StartProcess(line, FALSE, 0, SW_SHOW, program);
  if (started) CloseHandle(started);
}

void OpenClosingDocument(const char *document, const char *extension) {
  char *command = AllocWorkingBuffer(DOCUMENT_BUFFER_SIZE);
  char *folder = AllocWorkingBuffer(DOCUMENT_BUFFER_SIZE);
  if (command && folder && IsOpenableDocument(document)) {
    const char *from = DocumentFolder(folder, document);
    if (!OpenOnDesktop(document, nullptr, from)) {
      HINSTANCE opened = ShellExecuteA(nullptr, "open", document, nullptr, from, SW_SHOW);
      // Results of 32 and below are the shell's error codes.
      if (reinterpret_cast<uintptr_t>(opened) <= 32) {
        OpenWithClassCommand(command, document, extension);
      }
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
