#include "files.h"

#include <windows.h>
#include <errno.h>
#include <string.h>

#include "../data/file_io.h"
#include "../data/memory.h"
#include "../data/messages.h"
#include "../data/state.h"
#include "../paths/backslash.h"
#include "../paths/protected_folders.h"
#include "../resources/resource.h"
#include "../ui/ui.h"
#include "fonts.h"
#include "machine.h"
#include "rules.h"

bool IsFileInUse(const char *path) {
  DWORD attributes = MachineAttributes(path);
  if (!CountsAsReadOnly(path, attributes)) {
    return attributes != INVALID_FILE_ATTRIBUTES && !MachineOpensForWriting(path);
  }
  ClearReadOnly(path);
  if (CountsAsReadOnly(path, MachineAttributes(path))) return true;
  const bool inUse = !MachineOpensForWriting(path);
  SetReadOnly(path);
  return inUse;
}

bool AnyFileInUse() {
  for (uint32_t i = 0; i < FileListCount; ++i) {
    const FileEntry *entry = FileList[i];
    if (entry->fileName[0] == '\0' || !(entry->flags & FILE_FLAG_CHECK_IN_USE)) continue;
    if (ComposeFilePath(entry) && IsFileInUse(WorkPath)) return true;
  }
  return false;
}

static void ChangeReadOnly(const char *path, bool readOnly) {
  DWORD attributes = MachineAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (readOnly) {
    attributes |= FILE_ATTRIBUTE_READONLY;
  } else {
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  }
  MachineSetAttributes(path, attributes);
}

void ClearReadOnly(const char *path) { ChangeReadOnly(path, false); }
void SetReadOnly(const char *path) { ChangeReadOnly(path, true); }

// Answer to the read-only question that holds for every later read-only file.
enum ReadOnlyAnswerState { READ_ONLY_NO_TO_ALL = 0, READ_ONLY_YES_TO_ALL = 1, READ_ONLY_ASK = -1 };
static int ReadOnlyAnswer = READ_ONLY_ASK;

static const char SharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

enum : uint32_t { SHARED_FILE_STYLE = MB_YESNO | MB_ICONQUESTION };

// Takes one reference off the file's count. A file that others still use
// stays; the count is written back unless a file in use would drop to zero.
static bool DecrementSharedCount(HKEY key, const char *path, bool removable) {
  DWORD type = 0;
  DWORD count = 0;
  DWORD size = sizeof count;
  if (MachineQueryValue(key, path, &type, reinterpret_cast<BYTE *>(&count), &size) !=
      ERROR_SUCCESS) {
    return removable;
  }
  uint32_t lowered = count;
  const bool write = LowerSharedCount(&lowered, !removable);
  count = lowered;
  if (count != 0) removable = false;
  if (write) MachineSetValue(key, path, type, reinterpret_cast<const BYTE *>(&count), size);
  return removable;
}

// Message 10; an empty message, or no memory for it, asks nothing. Unasked
// (NoQuestions), the answer is No: the file stays.
static bool ConfirmSharedRemoval(const char *path) {
  char *text = nullptr;
  if (!AllocZeroed(MESSAGE_BUFFER_SIZE, &text)) return true;
  FormatMessageArg(text, MSG_SHARED_FILE, path);
  bool removable =
      text[0] == '\0' || (!NoQuestions && MachineAsk(text, SHARED_FILE_STYLE, path) == IDYES);
  FreeAndClear(&text);
  return removable;
}

// A shared file goes only when its count has run out and the user agrees;
// no count at all counts as run out.
static bool ReleaseSharedCount(const char *path, bool removable) {
  HKEY key = nullptr;
  if (MachineOpenKey(HKEY_LOCAL_MACHINE, SharedDllsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    key = nullptr;
  }
  if (key) removable = DecrementSharedCount(key, path, removable);
  if (removable) removable = ConfirmSharedRemoval(path);
  if (key) {
    if (removable) MachineDeleteValue(key, path);
    MachineCloseKey(key);
  }
  return removable;
}

// 0 when deleted, else the deletion's errno.
static int DeleteWritable(const char *path) {
  ClearReadOnly(path);
  return MachineDeleteFile(path);
}

// Message 9 with the file's name: IDYES, IDC_YES_TO_ALL, IDNO, IDC_NO_TO_ALL
// or IDCANCEL. A product that leaves message 9 empty has chosen not to be
// asked, and unasked (NoQuestions) every file is taken as answered "yes to
// all"; without memory for the text, the file stays.
static int AskReadOnly(const char *path) {
  char *question = nullptr;
  if (!AllocZeroed(MESSAGE_BUFFER_SIZE, &question)) return IDNO;
  FormatMessageArg(question, MSG_READ_ONLY_FILE, path);
  int answer = question[0] && !NoQuestions ? MachineAsk(question, 0, path) : IDC_YES_TO_ALL;
  FreeAndClear(&question);
  return answer;
}

// After a failed deletion: a read-only file is deleted once made writable,
// if the entry is a font or COM server, or the user says so.
static void RemoveReadOnlyFile(const FileEntry *entry, const char *path, int error) {
  while (error == EACCES && CountsAsReadOnly(path, MachineAttributes(path))) {
    if ((entry->flags & (FILE_FLAG_FONT | FILE_FLAG_COM_SERVER)) ||
        ReadOnlyAnswer == READ_ONLY_YES_TO_ALL) {
      DeleteWritable(path);
      return;
    }
    if (ReadOnlyAnswer == READ_ONLY_NO_TO_ALL) return;
    int answer = AskReadOnly(path);
    if (answer == IDC_YES_TO_ALL) ReadOnlyAnswer = READ_ONLY_YES_TO_ALL;
    if (answer == IDC_NO_TO_ALL) ReadOnlyAnswer = READ_ONLY_NO_TO_ALL;
    if (answer == IDC_YES_TO_ALL) {
      DeleteWritable(path);
      return;
    }
    // Yes asks again while the file cannot be deleted; anything else leaves it.
    if (answer != IDYES) return;
    error = DeleteWritable(path);
  }
}

static void RemoveFileEntry(const FileEntry *entry) {
  if (!ComposeFilePath(entry)) return;  // too long for WorkPath: skipped whole
  if (entry->fileName[0] == '\0') {
    char folder[PATH_BUFFER_SIZE];
    if (CheckFolder(WorkPath, folder) == FOLDER_MAY_GO) MachineRemoveFolder(folder);
    return;
  }
  bool removable = !IsFileInUse(WorkPath);
  if (entry->flags & FILE_FLAG_SHARED_DLL) removable = ReleaseSharedCount(WorkPath, removable);
  if (!removable) return;
  if (entry->flags & FILE_FLAG_FONT) RemoveFont(WorkPath);
  if (entry->flags & FILE_FLAG_COM_SERVER) MachineUnregisterServer(WorkPath);
  const int error = MachineDeleteFile(WorkPath);
  if (error != 0) RemoveReadOnlyFile(entry, WorkPath, error);
}

// From the last entry to the first, so files go before the folders listed
// ahead of them. Each file's first progress unit is spent here.
void RemoveFiles() {
  for (uint32_t i = FileListCount, done = 0; i-- > 0; ++done) {
    RemoveFileEntry(FileList[i]);
    ReportProgress(done);
  }
}
