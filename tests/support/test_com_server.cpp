// A COM server that registers nothing: recording_com_server; crashing_com_server,
// whose export writes through null (raises, while QUENRID_COM_RAISE is set);
// exportless_com_server; dependent_com_server, which imports qrdep.dll, a
// recording server with one more export. Each event appends a line to the file that
// QUENRID_COM_RECORD names (children inherit it), before anything can crash:
//   attach|unregister|detach  DLL-PATH  PROCESS-PATH  CURRENT-DIRECTORY  ERROR-MODE(hex)
#include <windows.h>
#include <stdio.h>

namespace {
HMODULE Self;

void Record(const char *event) {
  char record[MAX_PATH], dll[MAX_PATH] = "", process[MAX_PATH] = "", folder[MAX_PATH] = "";
  const DWORD length = GetEnvironmentVariableA("QUENRID_COM_RECORD", record, sizeof record);
  if (length == 0 || length >= sizeof record) return;
  GetModuleFileNameA(Self, dll, sizeof dll);
  GetModuleFileNameA(nullptr, process, sizeof process);
  GetCurrentDirectoryA(sizeof folder, folder);
  char line[4 * MAX_PATH + 64];
  const int size = snprintf(line, sizeof line, "%s\t%s\t%s\t%s\t%x\n", event, dll, process, folder,
                            GetErrorMode());
  if (size < 0 || size >= static_cast<int>(sizeof line)) return;
  // Whole lines appended, also when regsvr32 and the test write in turn.
  HANDLE file = CreateFileA(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *) {
  Self = instance;
  if (reason == DLL_PROCESS_ATTACH || reason == DLL_PROCESS_DETACH) {
    Record(reason == DLL_PROCESS_ATTACH ? "attach" : "detach");
  }
  return TRUE;
}

#ifdef COM_SERVER_IS_DEPENDENCY
extern "C" __declspec(dllexport) int QuenridDependency() { return 1; }
#endif
#ifdef COM_SERVER_DEPENDS
extern "C" __declspec(dllimport) int QuenridDependency();
#endif

#ifndef COM_SERVER_WITHOUT_EXPORT
extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  Record("unregister");
#ifdef COM_SERVER_DEPENDS
  if (!QuenridDependency()) return E_FAIL;
#endif
#ifdef COM_SERVER_CRASHES
  if (GetEnvironmentVariableA("QUENRID_COM_RAISE", nullptr, 0)) {
    RaiseException(0xE0C0FFEE, 0, 0, nullptr);
  }
  static int *volatile nowhere = nullptr;  // volatile: the store is emitted
  *nowhere = 1;
#endif
  return S_OK;
}
#endif
