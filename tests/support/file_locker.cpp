// `file_locker PATH EVENT [read]` holds PATH open for reading without sharing
// (or, with "read", sharing it only with readers) from the moment it signals
// EVENT-held until EVENT-release (at most a minute). Exit codes: 0 released,
// 2 PATH could not be opened, 3 no events, 4 never released.
#include <windows.h>

#include <string>

int main(int argc, char **argv) {
  if (argc != 3 && argc != 4) return 100;
  const std::string event = argv[2];
  HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, (event + "-held").c_str());
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (event + "-release").c_str());
  if (!held || !release) return 3;
  const DWORD share = argc == 4 && std::string(argv[3]) == "read" ? FILE_SHARE_READ : 0;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  SetEvent(held);
  const bool released = WaitForSingleObject(release, 60000) == WAIT_OBJECT_0;
  CloseHandle(file);
  return released ? 0 : 4;
}
