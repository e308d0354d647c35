#include <windows.h>

#include "../data/uninstall_data.h"
#include "startup.h"

// Exit code of a run whose data cannot be read.
enum { EXIT_UNREADABLE = -1 };

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  DetectOperatingSystem();
  StartUp(instance);
  if (!ReadUninstallData()) return EXIT_UNREADABLE;
  ReleaseUninstallData();
  ShutDown();
  return 0;
}
