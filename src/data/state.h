// Process-wide state. Declared here, below every layer, so that each may read
// it; defined in data/state.cpp, and each line says who sets it and when.
#pragma once

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#endif

// The buffers whose sizes limit what the data may hold; the author's tool
// checks manifests against these same numbers.
enum : uint32_t {
  PATH_BUFFER_SIZE = 260,      // the platform's MAX_PATH
  PROGRAM_LINE_SIZE = 520,     // the quoted program, a blank and the arguments
  DOCUMENT_BUFFER_SIZE = 520,  // the closing document; the fall-back's command line
};

// Set by DetectOperatingSystem, first thing at start-up.
extern bool IsNtPlatform;  // the version query reported the NT platform
extern bool IsNtVersion6;  // NT with a major version above 5

// Set by ApplySwitches (app/main_flow.cpp) from the command line, before the
// data is read.
extern bool QuietMode;  // no prompts, no progress dialog, no closing message
extern bool SwitchS;    // /S: quiet, no closing document, no self-deletion
extern bool SwitchX;    // /X: as /S, and no pre-uninstall program unless /S too
// /N, or a window station nobody sees: each question of the file phase takes
// its default answer unshown (a run-out shared file stays, a listed read-only
// file goes).
extern bool NoQuestions;

// PATH_BUFFER_SIZE bytes each, allocated by StartUp (app/startup.cpp); null
// when that allocation failed. ModulePath is filled by ReadUninstallData.
extern char *InstallFolder;  // the executable's folder, ending in one backslash
extern char *WorkPath;       // scratch path shared by the main flow and the phases
extern char *ModulePath;     // the executable's own path

// Set by OpenProgressDialog (app/main_flow.cpp) once the lists are read.
extern uint32_t ProgressTotal;  // progress units of the whole removal; 0 without a dialog

#ifdef _WIN32
// Set by CreateMainWindow (ui/main_window.cpp) before any box is shown; null
// until then, and boxes shown before it have no owner.
extern HWND MainWindow;  // hidden owner of every box and dialog

// Sets IsNtPlatform and IsNtVersion6 from the version query.
void DetectOperatingSystem();
#endif
