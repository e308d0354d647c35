#include <windows.h>

#include "messages.h"
#include "process.h"
#include "state.h"

typedef HWINSTA(WINAPI *ProcessStationFn)();
typedef BOOL(WINAPI *ObjectInformationFn)(HANDLE, int, PVOID, DWORD, LPDWORD);

bool WindowStationVisible() {
  static int known = -1;
  if (known >= 0) return known != 0;
  ProcessStationFn station =
      reinterpret_cast<ProcessStationFn>(SystemFunction("user32.dll", "GetProcessWindowStation"));
  ObjectInformationFn information = reinterpret_cast<ObjectInformationFn>(
      SystemFunction("user32.dll", "GetUserObjectInformationA"));
  USEROBJECTFLAGS flags;
  DWORD needed = 0;
  HWINSTA current = station ? station() : nullptr;
  known = !current || !information ||
          !information(current, UOI_FLAGS, &flags, sizeof flags, &needed) ||
          (flags.dwFlags & WSF_VISIBLE);
  return known != 0;
}

int ShowMessage(const char *text, uint32_t style) {
  if (!WindowStationVisible()) return 0;
  return MessageBoxA(MainWindow, text, LookupMessage(0, MSG_CAPTION), style);
}
