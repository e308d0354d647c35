#include <windows.h>

#include "../data/state.h"
#include "../data/uninstall_data.h"
#include "../ui/ui.h"
#include "main_flow.h"
#include "own_data.h"
#include "startup.h"
#include "switches.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  RestrictDllSearch();
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

// The linker's symbol at the start of the loaded image: the module's instance.
extern "C" IMAGE_DOS_HEADER __ImageBase;

// What follows the program's name on the command line, without the blanks
// before it: the program's name ends at the first blank or control
// character outside double quotes. Bytes are compared unsigned, so that a
// character of a code page above 127 is part of a name, never a blank.
static LPSTR ArgumentsOf(LPSTR commandLine) {
  unsigned char *c = reinterpret_cast<unsigned char *>(commandLine);
  bool quoted = false;
  for (; *c > ' ' || (*c && quoted); ++c) {
    if (*c == '"') quoted = !quoted;
  }
  while (*c && *c <= ' ') ++c;
  return reinterpret_cast<LPSTR>(c);
}

// The process starts here, not in the C runtime's start-up: the product has
// no static constructors or destructors, no thread-local variables, no stdio
// and no heap of the runtime's, and the runtime DLL initialises itself for
// the string and file functions that are used. Visible outside the unit, as
// the linker's entry, when the stub is compiled as one whole program.
extern "C" __attribute__((externally_visible)) void WinMainCRTStartup() {
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(&__ImageBase);
  ExitProcess(WinMain(instance, nullptr, ArgumentsOf(GetCommandLineA()), SW_SHOWDEFAULT));
}
