#include <windows.h>

#include "../data/uninstall_data.h"
#include "main_flow.h"
#include "startup.h"
#include "state.h"
#include "switches.h"
#include "ui.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  DetectOperatingSystem();
  StartUp(instance);
  ApplySwitches(ParseSwitches(commandLine));
  // The reader has shown whatever it shows; nothing is released on this path.
  if (!ReadUninstallData()) return EXIT_FAILED;
  if (!(SettingsFlags() & SETTINGS_THEMED_CONTROLS)) RestrictThemeToFrames();
  if (!RegisterMainWindowClass()) return EXIT_OK;
  if (!CreateMainWindow()) return EXIT_FAILED;
  int confirmed = QuietMode ? IDOK : ConfirmRemoval();
  if (confirmed == IDOK) RunRemoval();
  EndRun(confirmed);
  return EXIT_OK;
}
