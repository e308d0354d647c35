#include "self_delete.h"

#include <windows.h>
#include <string.h>

#include "../data/process.h"
#include "../data/state.h"
#include "../paths/backslash.h"
#include "../ui/ui.h"
#include "resolve.h"

enum : uint32_t {
  DIRECTORY_BUFFER_SIZE = 520,
  BATCH_NAME_LIMIT = 999,      // names 1 to 998
  FORMATTED_NAME_SIZE = 1025,  // the most wsprintfA writes
  // The template's own text and four paths, each in quotes with every
  // character a doubled "%" at worst.
  BATCH_TEXT_SIZE = 64 + 4 * (2 * PATH_BUFFER_SIZE + 2),
};

// `pattern` numbered `n` in the temporary folder; false when it does not fit.
static bool BatchName(char *path, const char *pattern, uint32_t n) {
  DWORD length = GetTempPathA(PATH_BUFFER_SIZE, path);
  if (length == 0 || length >= PATH_BUFFER_SIZE) return false;
  if (!AppendBackslash(path, PATH_BUFFER_SIZE)) return false;
  char name[FORMATTED_NAME_SIZE];
  wsprintfA(name, pattern, n);
  return AppendText(path, PATH_BUFFER_SIZE, name);
}

FileHandle CreateSelfDeleteBatch(char *path, const char *pattern) {
  for (uint32_t n = 1; n < BATCH_NAME_LIMIT; ++n) {
    if (!BatchName(path, pattern, n)) continue;
    FileHandle taken = OpenExistingFile(path, OPEN_READ);
    if (taken != InvalidFileHandle()) {
      CloseFile(taken);
      continue;
    }
    FileHandle created = CreateOutputFile(path);
    if (created != InvalidFileHandle()) return created;
  }
  return InvalidFileHandle();
}

// The batch inherits this current directory, which holds nothing of ours.
static void EnterSystemFolder() {
  char directory[DIRECTORY_BUFFER_SIZE];
  UINT length = IsNtPlatform ? GetSystemDirectoryA(directory, DIRECTORY_BUFFER_SIZE)
                             : GetWindowsDirectoryA(directory, DIRECTORY_BUFFER_SIZE);
  if (length == 0 || length >= DIRECTORY_BUFFER_SIZE) return;
  StripTrailingBackslash(directory);
  SetCurrentDirectoryA(directory);
}

// A batch reads its lines in the OEM code page; a character without an OEM
// form becomes "?", a wildcard that "del" would match against other files.
static bool ConvertsWhole(const char *oemPath) { return !strpbrk(oemPath, "?*"); }

// `path` as the batch names it: every "%" doubled, since a batch reads "%" as
// the start of a variable, and in quotes, so that neither a blank nor "&" can
// split it. command.com is given a path without a blank as it always was.
static bool AppendBatchPath(char *text, const char *path, bool isCmd) {
  const bool quote = isCmd || strchr(path, ' ');
  if (quote && !AppendText(text, BATCH_TEXT_SIZE, "\"")) return false;
  for (const char *c = path; *c; ++c) {
    const char piece[3] = {*c, *c == '%' ? '%' : '\0', '\0'};
    if (!AppendText(text, BATCH_TEXT_SIZE, piece)) return false;
  }
  return !quote || AppendText(text, BATCH_TEXT_SIZE, "\"");
}

// Deletes the executable until it can be deleted, which is once this process
// has exited, then its folder when empty, then itself.
static bool BuildBatchText(char *text, const char *exe, const char *folder, const char *batch,
                           bool isCmd) {
  text[0] = '\0';
  return AppendText(text, BATCH_TEXT_SIZE, "@echo off\r\n:Repeat\r\ndel ") &&
         AppendBatchPath(text, exe, isCmd) && AppendText(text, BATCH_TEXT_SIZE, "\r\nif exist ") &&
         AppendBatchPath(text, exe, isCmd) &&
         AppendText(text, BATCH_TEXT_SIZE, " goto Repeat\r\nrmdir ") &&
         AppendBatchPath(text, folder, isCmd) && AppendText(text, BATCH_TEXT_SIZE, "\r\ndel ") &&
         AppendBatchPath(text, batch, isCmd) && AppendText(text, BATCH_TEXT_SIZE, "\r\n");
}

// Converts InstallFolder and WorkPath in place, and the batch's own path into
// a copy, and writes the text. False when a path has no OEM form or the text
// was not written whole: a batch cut short could name another file.
static bool WriteBatch(FileHandle batch, const char *batchPath, bool isCmd) {
  char oemBatchPath[PATH_BUFFER_SIZE];
  CharToOemA(InstallFolder, InstallFolder);
  CharToOemA(WorkPath, WorkPath);
  CharToOemA(batchPath, oemBatchPath);
  if (!ConvertsWhole(InstallFolder) || !ConvertsWhole(WorkPath) || !ConvertsWhole(oemBatchPath)) {
    return false;
  }
  char text[BATCH_TEXT_SIZE];
  if (!BuildBatchText(text, WorkPath, InstallFolder, oemBatchPath, isCmd)) return false;
  const DWORD length = static_cast<DWORD>(strlen(text));
  DWORD written = 0;
  return WriteFile(static_cast<HANDLE>(batch), text, length, &written, nullptr) &&
         written == length;
}

// cmd.exe keeps the inner pair of quotes of /C ""path"" whatever the path
// holds; a single pair would be stripped from a path with "(" or "&". /D
// keeps it from running the AutoRun commands of the registry first.
static bool BuildBatchCommandLine(char *line, const char *interpreter, bool isCmd,
                                  const char *batchPath) {
  const char *quote = isCmd ? "\"\"" : strchr(batchPath, ' ') ? "\"" : "";
  line[0] = '\0';
  return AppendText(line, DIRECTORY_BUFFER_SIZE, "\"") &&
         AppendText(line, DIRECTORY_BUFFER_SIZE, interpreter) &&
         AppendText(line, DIRECTORY_BUFFER_SIZE, isCmd ? "\" /D /C " : "\" /C ") &&
         AppendText(line, DIRECTORY_BUFFER_SIZE, quote) &&
         AppendText(line, DIRECTORY_BUFFER_SIZE, batchPath) &&
         AppendText(line, DIRECTORY_BUFFER_SIZE, quote);
}

static bool StartHidden(char *line) {
  HANDLE started = StartProcess(line, FALSE, 0, SW_HIDE);
  if (!started) return false;
  CloseHandle(started);
  return true;
}

// The short forms keep the batch's lines short and blank-free where the file
// system has them. A module path cut to fit would name another file.
static bool ShortenPaths() {
  GetShortPathNameA(InstallFolder, InstallFolder, PATH_BUFFER_SIZE);
  StripTrailingBackslash(InstallFolder);
  DWORD length = GetModuleFileNameA(AppInstance, WorkPath, PATH_BUFFER_SIZE);
  if (length == 0 || length >= PATH_BUFFER_SIZE) return false;
  GetShortPathNameA(WorkPath, WorkPath, PATH_BUFFER_SIZE);
  return true;
}

void ScheduleSelfDeletion() {
  if (!InstallFolder || !WorkPath || !ShortenPaths()) return;
  EnterSystemFolder();
  char interpreter[PATH_BUFFER_SIZE];
  bool isCmd;
  if (!FindBatchInterpreter(interpreter, &isCmd)) return;
  char batchPath[PATH_BUFFER_SIZE];
  FileHandle batch = CreateSelfDeleteBatch(batchPath, "delme%d.bat");
  if (batch == InvalidFileHandle()) return;
  const bool written = WriteBatch(batch, batchPath, isCmd);
  CloseFile(batch);
  char line[DIRECTORY_BUFFER_SIZE];
  if (!written || !BuildBatchCommandLine(line, interpreter, isCmd, batchPath) ||
      !StartHidden(line)) {
    DeleteFileA(batchPath);
  }
}
