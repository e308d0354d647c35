#include "state.h"

#include <string.h>

bool IsNtPlatform;
bool IsNtVersion6;
bool QuietMode;
bool SwitchS;
bool SwitchX;
bool NoQuestions;
char *InstallFolder;
char *WorkPath;
char *ModulePath;
uint32_t ProgressTotal;
HWND MainWindow;

void DetectOperatingSystem() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  IsNtPlatform = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  IsNtVersion6 = IsNtPlatform && version.dwMajorVersion > 5;
}
