#include "self_delete.h"

#include <windows.h>
#include <string.h>

#include "../data/process.h"
#include "../data/state.h"
#include "../paths/backslash.h"
#include "../removal/machine.h"
#include "../ui/ui.h"
#include "resolve.h"

enum : uint32_t {
  DIRECTORY_BUFFER_SIZE = 520,
  WIDE_PATH_SIZE = 1024,       // the executable's path as the system stores it
  BATCH_NAME_LIMIT = 999,      // names 1 to 998
  BATCH_NAME_SIZE = 16,        // "delme998.bat" and its terminator, with room
  // The template's own text and four paths, each in quotes with every
  // character a doubled "%" at worst.
  BATCH_TEXT_SIZE = 64 + 4 * (2 * PATH_BUFFER_SIZE + 2),
};

// The system folder (NT) or the Windows folder, which holds nothing of ours,
// becomes current for the interpreter to inherit.
static void EnterSystemFolder() {
  char directory[DIRECTORY_BUFFER_SIZE];
  UINT length = IsNtPlatform ? GetSystemDirectoryA(directory, DIRECTORY_BUFFER_SIZE)
                             : GetWindowsDirectoryA(directory, DIRECTORY_BUFFER_SIZE);
  if (length == 0 || length >= DIRECTORY_BUFFER_SIZE) return;
  StripTrailingBackslash(directory);
  MachineEnterFolder(directory);
}

static bool StartHidden(char *line) {
  HANDLE started = MachineStartProcess(line, FALSE, 0, SW_HIDE, nullptr);
  if (!started) return false;
  CloseHandle(started);
  return true;
}

// --- cmd.exe: a loop on its command line, the paths in its environment

// Sixty tries a second apart (ping waits a second between its two echoes);
// each first removes the folder, which goes once the executable has gone and
// nothing else is left. Every command stands alone inside the one block, so
// that the loop means the same however an interpreter binds "&" to "if". The
// executable's name is never handed to "del" when it has become a folder:
// "del" would empty it, or wait for an answer nobody can give. Delayed
// expansion reads each path after the line has been parsed, so that no
// character of a path is taken as an operator.
static const char kDeletionLoop[] =
    "for /L %i in (1,1,60) do (rmdir \"!QUENRID_FOLDER!\" 2>nul & "
    "if not exist \"!QUENRID_EXE!\\*\" if exist \"!QUENRID_EXE!\" del \"!QUENRID_EXE!\" & "
    "if exist \"!QUENRID_EXE!\" \"!QUENRID_PING!\" -n 2 127.0.0.1 >nul)";

typedef BOOL(WINAPI *SetVariableW)(LPCWSTR, LPCWSTR);

// The executable's path and folder as the system stores them, in UTF-16: the
// ANSI forms may hold a best-fit character that names another file.
static bool PassOwnPaths() {
  SetVariableW setVariable =
      reinterpret_cast<SetVariableW>(SystemFunction("kernel32.dll", "SetEnvironmentVariableW"));
  WCHAR path[WIDE_PATH_SIZE];
  if (!setVariable) return false;
  const DWORD length = MachineOwnPath(path, WIDE_PATH_SIZE);
  if (length == 0 || length >= WIDE_PATH_SIZE || !setVariable(L"QUENRID_EXE", path)) return false;
  DWORD cut = length;
  while (cut > 0 && path[cut - 1] != L'\\') --cut;
  if (cut == 0) return false;
  // A drive's root keeps its backslash: "C:" alone is that drive's current folder.
  path[cut > 3 ? cut - 1 : cut] = L'\0';
  return setVariable(L"QUENRID_FOLDER", path) != FALSE;
}

static bool StartDeletionLoop(const char *interpreter) {
  char ping[PATH_BUFFER_SIZE];
  if (!PassOwnPaths() || !FileInFolder(ping, GetSystemDirectoryA, "ping.exe") ||
      !SetEnvironmentVariableA("QUENRID_PING", ping)) {
    return false;
  }
  // /D: no AutoRun command of the registry first; /Q: no echo; /V:ON:
  // delayed expansion, whatever the registry's default; /S: only the outer
  // quotes go.
  char line[DIRECTORY_BUFFER_SIZE];
  line[0] = '\0';
  return AppendTexts(line, DIRECTORY_BUFFER_SIZE, "\"", interpreter, "\" /D /Q /V:ON /S /C \"",
                     kDeletionLoop, "\"", nullptr) &&
         StartHidden(line);
}

// --- command.com: a batch in the temporary folder

// delme<n>.bat in the temporary folder; false when it does not fit.
static bool BatchName(char *path, uint32_t n) {
  DWORD length = GetTempPathA(PATH_BUFFER_SIZE, path);
  if (length == 0 || length >= PATH_BUFFER_SIZE) return false;
  if (!AppendBackslash(path, PATH_BUFFER_SIZE)) return false;
  char name[BATCH_NAME_SIZE];
  wsprintfA(name, "delme%u.bat", n);
  return AppendText(path, PATH_BUFFER_SIZE, name);
}

// Converts `path` into `oem`; false when the OEM form does not give the same
// path back, as when a character without an OEM form became "?" (a wildcard
// to "del") or a best-fit character (another file, or a quote that would end
// the name early).
static bool ToOem(const char *path, char *oem) {
  char back[PATH_BUFFER_SIZE];
  CharToOemA(path, oem);
  OemToCharA(oem, back);
  return strcmp(back, path) == 0 && !strpbrk(oem, "?*\"");
}

// `path` as the batch names it: every "%" doubled, since a batch reads "%" as
// the start of a variable, and in quotes when it holds a blank (the short
// paths command.com is given have none).
static bool AppendBatchPath(char *text, const char *path) {
  const bool quote = strchr(path, ' ') != nullptr;
  if (quote && !AppendText(text, BATCH_TEXT_SIZE, "\"")) return false;
  for (const char *c = path; *c; ++c) {
    const char piece[3] = {*c, *c == '%' ? '%' : '\0', '\0'};
    if (!AppendText(text, BATCH_TEXT_SIZE, piece)) return false;
  }
  return !quote || AppendText(text, BATCH_TEXT_SIZE, "\"");
}

// Deletes the executable until it can be deleted, which is once this process
// has exited, then its folder when empty, then itself.
static bool BuildBatchText(char *text, const char *exe, const char *folder, const char *batch) {
  text[0] = '\0';
  return AppendText(text, BATCH_TEXT_SIZE, "@echo off\r\n:Repeat\r\ndel ") &&
         AppendBatchPath(text, exe) && AppendText(text, BATCH_TEXT_SIZE, "\r\nif exist ") &&
         AppendBatchPath(text, exe) && AppendText(text, BATCH_TEXT_SIZE, " goto Repeat\r\nrmdir ") &&
         AppendBatchPath(text, folder) && AppendText(text, BATCH_TEXT_SIZE, "\r\ndel ") &&
         AppendBatchPath(text, batch) && AppendText(text, BATCH_TEXT_SIZE, "\r\n");
}

// Converts InstallFolder and WorkPath in place and writes the batch under the
// first free name of delme<n>.bat (1 to 998) in the temporary folder, new,
// never over a name that exists in any form, a link included; its path in
// `batchPath`. False when a path has no exact OEM form or no batch was
// written whole: a batch cut short could name another file.
static bool WriteBatch(char *batchPath) {
  char oemBatchPath[PATH_BUFFER_SIZE];
  char oem[PATH_BUFFER_SIZE];
  // CharToOemA never lengthens a string (it may convert one in place), so
  // the OEM form fits where the path was.
  if (!ToOem(InstallFolder, oem)) return false;
  strcpy(InstallFolder, oem);
  if (!ToOem(WorkPath, oem)) return false;
  strcpy(WorkPath, oem);
  char text[BATCH_TEXT_SIZE];
  for (uint32_t n = 1; n < BATCH_NAME_LIMIT; ++n) {
    if (!BatchName(batchPath, n)) continue;
    if (!ToOem(batchPath, oemBatchPath) ||
        !BuildBatchText(text, WorkPath, InstallFolder, oemBatchPath)) {
      return false;
    }
    if (MachineWriteNewFile(batchPath, text, static_cast<DWORD>(strlen(text)))) return true;
  }
  return false;
}

// The short forms keep the batch's lines short and blank-free where the file
// system has them. A module path cut to fit would name another file.
static bool ShortenPaths() {
  GetShortPathNameA(InstallFolder, InstallFolder, PATH_BUFFER_SIZE);
  StripTrailingBackslash(InstallFolder);
  if (!ModulePath || strlen(ModulePath) >= PATH_BUFFER_SIZE) return false;
  strcpy(WorkPath, ModulePath);
  GetShortPathNameA(WorkPath, WorkPath, PATH_BUFFER_SIZE);
  return true;
}

static void StartDeletionBatch(const char *interpreter) {
  char batchPath[PATH_BUFFER_SIZE];
  if (!ShortenPaths() || !WriteBatch(batchPath)) return;
  char line[DIRECTORY_BUFFER_SIZE];
  const char *quote = strchr(batchPath, ' ') ? "\"" : "";
  line[0] = '\0';
  if (!AppendTexts(line, DIRECTORY_BUFFER_SIZE, "\"", interpreter, "\" /C ", quote, batchPath, quote,
                   nullptr) ||
      !StartHidden(line)) {
    MachineDeleteFile(batchPath);
  }
}

void ScheduleSelfDeletion() {
  if (!InstallFolder || !WorkPath) return;
  EnterSystemFolder();
  char interpreter[PATH_BUFFER_SIZE];
  bool isCmd;
  if (!FindBatchInterpreter(interpreter, &isCmd)) return;
  if (isCmd) {
    StartDeletionLoop(interpreter);
  } else {
    StartDeletionBatch(interpreter);
  }
}
