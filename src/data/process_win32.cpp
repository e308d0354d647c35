#include <string.h>

#include "process.h"
#include "state.h"

HANDLE StartProcess(char *line, BOOL inherit, DWORD flags, WORD show, const char *application) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (show != SHOW_DEFAULT_WINDOW) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
  }
  PROCESS_INFORMATION started;
  memset(&started, 0, sizeof started);
  if (!CreateProcessA(application, line, nullptr, nullptr, inherit, flags, nullptr, nullptr, &startup,
                      &started)) {
    return nullptr;
  }
  if (started.hThread) CloseHandle(started.hThread);
  return started.hProcess;
}

void *SystemFunction(const char *module, const char *name) {
  HMODULE loaded = GetModuleHandleA(module);
  return loaded ? reinterpret_cast<void *>(GetProcAddress(loaded, name)) : nullptr;
}

bool FileInFolder(char *path, UINT(WINAPI *getFolder)(LPSTR, UINT), const char *name) {
  size_t length = getFolder(path, PATH_BUFFER_SIZE);
  const size_t size = strlen(name);
  if (length == 0 || length + 1 + size >= PATH_BUFFER_SIZE) return false;
  if (path[length - 1] != '\\') path[length++] = '\\';
  memcpy(path + length, name, size + 1);
  return true;
}

// LoadLibraryExA without flags is LoadLibraryA, which the stub then need not
// import as well.
HMODULE LoadSystemLibrary(const char *name) {
  char path[PATH_BUFFER_SIZE];
  return FileInFolder(path, GetSystemDirectoryA, name) ? LoadLibraryExA(path, nullptr, 0) : nullptr;
}
