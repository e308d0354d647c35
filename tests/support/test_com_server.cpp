// A COM server that registers nothing and records what is done to it, built
// three ways (tests/support/CMakeLists.txt):
//   recording_com_server.dll   DllUnregisterServer records and returns S_OK
//   crashing_com_server.dll    records, then writes through a null pointer
//   exportless_com_server.dll  has no DllUnregisterServer at all
//
// Use from a test: set QUENRID_COM_RECORD to the path of a record file before
// the code under test runs (child processes, uninst.exe and the regsvr32 it
// starts included, inherit it), copy the DLL where the product's FileEntry
// says, run, then read the file. Without the variable nothing is recorded.
// Each event appends one line of tab-separated fields:
//   EVENT  DLL-PATH  PROCESS-PATH  CURRENT-DIRECTORY  ERROR-MODE
// EVENT is "attach" (loaded into a process), "unregister" (the export was
// entered) or "detach" (freed, or the process ended); DLL-PATH is the loaded
// copy's own path, PROCESS-PATH the executable of the process it is in (so
// "regsvr32.exe" or the uninstaller), ERROR-MODE the process's error mode in
// hexadecimal. The line is written before a crash, so "unregister" from the
// crashing server means its export was reached.
#include <windows.h>

#include <stdio.h>

namespace {

HMODULE Self;

UINT CurrentErrorMode() {
  UINT mode = SetErrorMode(0);
  SetErrorMode(mode);
  return mode;
}

void Record(const char *event) {
  char recordPath[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("QUENRID_COM_RECORD", recordPath, sizeof recordPath);
  if (length == 0 || length >= sizeof recordPath) return;
  char dll[MAX_PATH] = "", process[MAX_PATH] = "", directory[MAX_PATH] = "";
  GetModuleFileNameA(Self, dll, sizeof dll);
  GetModuleFileNameA(nullptr, process, sizeof process);
  GetCurrentDirectoryA(sizeof directory, directory);
  char line[4 * MAX_PATH + 64];
  int size = snprintf(line, sizeof line, "%s\t%s\t%s\t%s\t%x\n", event, dll, process, directory,
                      CurrentErrorMode());
  if (size < 0 || size >= static_cast<int>(sizeof line)) return;
  // Appends whole lines, also when regsvr32 and the test write in turn.
  HANDLE file = CreateFileA(recordPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *) {
  if (reason == DLL_PROCESS_ATTACH) {
    Self = instance;
    Record("attach");
  } else if (reason == DLL_PROCESS_DETACH) {
    Record("detach");
  }
  return TRUE;
}

#ifndef COM_SERVER_WITHOUT_EXPORT
extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  Record("unregister");
#ifdef COM_SERVER_CRASHES
  // Through a volatile pointer, so the compiler emits the store itself.
  static int *volatile nowhere = nullptr;
  *nowhere = 1;
#endif
  return S_OK;
}
#endif
