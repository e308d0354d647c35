#include <string.h>

#include "process.h"

HANDLE StartProcess(char *line, BOOL inherit, DWORD flags, WORD show) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (show != SHOW_DEFAULT_WINDOW) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
  }
  PROCESS_INFORMATION started;
  memset(&started, 0, sizeof started);
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, inherit, flags, nullptr, nullptr, &startup,
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
