#include "folder_identity.h"

#include <string.h>

#include "../data/process.h"
#include "ascii_case.h"
#include "backslash.h"

typedef DWORD(WINAPI *FinalPathFunction)(HANDLE file, LPSTR path, DWORD size, DWORD flags);

// GetFinalPathNameByHandleA exists from NT 6 on.
static FinalPathFunction FinalPathName() {
  return reinterpret_cast<FinalPathFunction>(
      SystemFunction("kernel32.dll", "GetFinalPathNameByHandleA"));
}

// A stream (a colon past the drive's), a wildcard or another character that
// no folder name holds: the text names something other than a folder.
static bool HasForeignCharacter(const char *path) {
  for (const char *c = path; *c; ++c) {
    if (static_cast<unsigned char>(*c) < 32 || strchr("*?\"<>|", *c)) return true;
    if (*c == ':' && c != path + 1) return true;
  }
  return false;
}

// The length of the root of a full path: "X:\" or "\\server\share\" (or the
// share without its backslash at the end); 0 when it has neither.
static size_t RootLength(const char *full) {
  if (full[0] != '\0' && full[1] == ':' && full[2] == '\\') return 3;
  if (full[0] != '\\' || full[1] != '\\') return 0;
  const char *server = strchr(full + 2, '\\');
  if (!server || server == full + 2 || server[1] == '\0' || server[1] == '\\') return 0;
  const char *share = strchr(server + 1, '\\');
  return share ? static_cast<size_t>(share - full + 1) : strlen(full);
}

// The path made full by the system, or false when it is no folder path.
static bool FullPath(const char *path, char *full) {
  if (HasNamespacePrefix(path) || HasForeignCharacter(path)) return false;
  // A device name ("C:\x\CON") comes back as a device path.
  DWORD length = GetFullPathNameA(path, PATH_BUFFER_SIZE, full, nullptr);
  return length > 0 && length < PATH_BUFFER_SIZE && !HasNamespacePrefix(full) &&
         RootLength(full) > 0;
}

// Replaces each component after the root by the name the machine lists for
// it, which is its long name whatever form the text used.
static ResolveResult WalkComponents(const char *full, ResolvedFolder *folder) {
  size_t length = RootLength(full);
  memcpy(folder->path, full, length);
  folder->path[length] = '\0';
  if (folder->path[1] == ':' && folder->path[0] >= 'a' && folder->path[0] <= 'z') {
    folder->path[0] = static_cast<char>(folder->path[0] - ('a' - 'A'));
  }
  for (const char *component = full + length; *component;) {
    const char *end = strchr(component, '\\');
    const size_t size = end ? static_cast<size_t>(end - component) : strlen(component);
    if (size > 0) {
      if (!AppendBackslash(folder->path, PATH_BUFFER_SIZE)) return RESOLVE_FAILED;
      const size_t at = strlen(folder->path);
      if (at + size >= PATH_BUFFER_SIZE) return RESOLVE_FAILED;
      memcpy(folder->path + at, component, size);
      folder->path[at + size] = '\0';
      WIN32_FIND_DATAA found;
      HANDLE search = FindFirstFileA(folder->path, &found);
      if (search == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RESOLVE_MISSING
                                                                              : RESOLVE_FAILED;
      }
      FindClose(search);
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return RESOLVE_FAILED;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) folder->throughLink = true;
      folder->path[at] = '\0';
      if (!AppendText(folder->path, PATH_BUFFER_SIZE, found.cFileName)) return RESOLVE_FAILED;
    }
    component += size;
    if (*component == '\\') ++component;
  }
  return RESOLVED;
}

// "\\?\C:\x" as "C:\x", "\\?\UNC\server\share" as "\\server\share"; false for
// a final path in any other form, which is then not used.
static bool PlainFinalPath(const char *final, char *path) {
  const char *rest = AfterPrefixIgnoringAsciiCase(final, "\\\\?\\UNC\\");
  char plain[PATH_BUFFER_SIZE] = "";
  if (rest) {
    strcpy(plain, "\\\\");
  } else {
    rest = AfterPrefixIgnoringAsciiCase(final, "\\\\?\\");
    if (!rest) return false;
  }
  if (!AppendText(plain, PATH_BUFFER_SIZE, rest) || RootLength(plain) == 0) return false;
  StripTrailingBackslash(plain);
  strcpy(path, plain);
  return true;
}

static HANDLE OpenForQuery(const char *path) {
  return CreateFileA(path, FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

typedef LONG(WINAPI *QueryFileFunction)(HANDLE file, void *status, void *information, ULONG size,
                                        int informationClass);
enum { FILE_INTERNAL_INFORMATION = 6 };  // a file's index on its volume

// The 95/98/Me family has no NtQueryInformationFile.
static QueryFileFunction QueryInformationFile() {
  return reinterpret_cast<QueryFileFunction>(SystemFunction("ntdll.dll", "NtQueryInformationFile"));
}

// The folder's index on its volume, a cheap question (its volume costs a
// query of the volume, asked only when two indexes agree). Every NT has the
// call; the 95/98/Me family can open no folder to ask. False when it cannot
// be opened or asked.
static bool ReadIdentity(ResolvedFolder *folder) {
  QueryFileFunction query = QueryInformationFile();
  HANDLE handle = query ? OpenForQuery(folder->path) : INVALID_HANDLE_VALUE;
  if (handle == INVALID_HANDLE_VALUE) return false;
  ULONG_PTR status[2];
  ULARGE_INTEGER index;
  const bool read = query(handle, status, &index, sizeof index, FILE_INTERNAL_INFORMATION) == 0;
  CloseHandle(handle);
  if (!read) return false;
  folder->indexHigh = index.HighPart;
  folder->indexLow = index.LowPart;
  folder->hasIdentity = index.QuadPart != 0;
  return true;
}

// Two folders with one index are one only on one volume, which their volume
// serial numbers tell; their final paths would not, since a share of the
// machine's own drive has another. What cannot be told counts as the same.
static bool SameVolume(const ResolvedFolder *a, const ResolvedFolder *b) {
  DWORD volumes[2];
  const ResolvedFolder *folders[2] = {a, b};
  for (int i = 0; i < 2; ++i) {
    HANDLE handle = OpenForQuery(folders[i]->path);
    BY_HANDLE_FILE_INFORMATION information;
    bool read = handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &information);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (!read) return true;
    volumes[i] = information.dwVolumeSerialNumber;
  }
  return volumes[0] == volumes[1];
}

static void Clear(ResolvedFolder *folder) { memset(folder, 0, sizeof *folder); }

// The identity is read on either family where the platform can open a
// folder; on the NT family a folder that cannot be opened cannot be told.
ResolveResult ResolveFolder(const char *path, ResolvedFolder *folder) {
  Clear(folder);
  char full[PATH_BUFFER_SIZE];
  if (!FullPath(path, full)) return RESOLVE_FAILED;
  ResolveResult result = WalkComponents(full, folder);
  if (result != RESOLVED) return result;
  return ReadIdentity(folder) || !IsNtPlatform ? RESOLVED : RESOLVE_FAILED;
}

ResolveResult ResolveKnownFolder(const char *path, ResolvedFolder *folder) {
  Clear(folder);
  char full[PATH_BUFFER_SIZE];
  if (!FullPath(path, full)) return RESOLVE_FAILED;
  if (!IsNtPlatform) {
    ResolveResult result = WalkComponents(full, folder);
    if (result == RESOLVED) ReadIdentity(folder);
    return result;
  }
  strcpy(folder->path, full);
  StripTrailingBackslash(folder->path);
  return ReadIdentity(folder) ? RESOLVED : RESOLVE_MISSING;
}

bool SameFolder(const ResolvedFolder *a, const ResolvedFolder *b) {
  if (EqualIgnoringAsciiCase(a->path, b->path)) return true;
  if (!a->hasIdentity || !b->hasIdentity || a->indexHigh != b->indexHigh ||
      a->indexLow != b->indexLow) {
    return false;
  }
  return SameVolume(a, b);
}

bool IsRootPath(const char *path) {
  const size_t length = strlen(path);
  return length < 4 || RootLength(path) == length;
}

bool FullFormEquals(const ResolvedFolder *folder, const char *path) {
  char full[PATH_BUFFER_SIZE];
  if (!FullPath(path, full)) return false;
  StripTrailingBackslash(full);
  return EqualIgnoringAsciiCase(folder->path, full);
}

bool ReadFinalPath(const char *path, char *final) {
  FinalPathFunction finalPathName = FinalPathName();
  if (!finalPathName) return false;
  HANDLE handle = OpenForQuery(path);
  if (handle == INVALID_HANDLE_VALUE) return false;
  char raw[PATH_BUFFER_SIZE];
  DWORD length = finalPathName(handle, raw, PATH_BUFFER_SIZE, 0);
  CloseHandle(handle);
  return length > 0 && length < PATH_BUFFER_SIZE && PlainFinalPath(raw, final);
}

bool IsLinkEntry(const char *path, const char *name, DWORD attributes, const char *folderFinal) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  if (folderFinal[0] == '\0') return false;
  char expected[PATH_BUFFER_SIZE];
  char final[PATH_BUFFER_SIZE];
  strcpy(expected, folderFinal);
  return !AppendBackslash(expected, PATH_BUFFER_SIZE) ||
         !AppendText(expected, PATH_BUFFER_SIZE, name) || !ReadFinalPath(path, final) ||
         !EqualIgnoringAsciiCase(final, expected);
}
