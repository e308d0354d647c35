#include "../data/state.h"

#include <string.h>
#include <windows.h>

bool IsNtPlatform;
bool IsNtVersion6;
char *InstallFolder;
char *WorkPath;
char *ModulePath;

void DetectOperatingSystem() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  IsNtPlatform = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  IsNtVersion6 = IsNtPlatform && version.dwMajorVersion > 5;
}
