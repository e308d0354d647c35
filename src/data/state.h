// Process-wide state, declared here, below every layer, so that each may
// read it; defined in app/state.cpp and set by the main flow at start-up
// (ModulePath by the reader).
#pragma once

#include <stdint.h>

enum : uint32_t { PATH_BUFFER_SIZE = 260 };  // the platform's MAX_PATH

extern bool IsNtPlatform;      // the version query reported the NT platform
extern bool IsNtVersion6;      // NT with a major version above 5
extern bool QuietMode;         // no prompts, no progress dialog, no closing message
extern bool SwitchS;           // /S: quiet, no closing document, no self-deletion
extern bool SwitchX;           // /X: as /S, and no pre-uninstall program unless /S too
extern char *InstallFolder;    // the executable's folder, ending in one backslash
extern char *WorkPath;         // scratch path shared by the main flow and the phases
extern char *ModulePath;       // the executable's own path, filled by the reader
extern uint32_t ProgressTotal; // progress units of the whole removal; 0 without a dialog

// Sets IsNtPlatform and IsNtVersion6 from the version query.
void DetectOperatingSystem();
