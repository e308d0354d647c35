// The uninstaller's process-wide variables, saved when a test fixture starts
// and put back when it ends, whatever the test did or however it failed, so
// that no case sees a WorkPath that points into a finished case's stack.
#pragma once

#include "data/state.h"
#include "ui/ui.h"

namespace quenrid::test {

struct ProcessState {
  const bool nt = IsNtPlatform, nt6 = IsNtVersion6, quiet = QuietMode, s = SwitchS, x = SwitchX;
  char *const install = InstallFolder, *const work = WorkPath, *const module = ModulePath;
  const uint32_t total = ProgressTotal, position = ProgressPosition;
  ProcessState() = default;
  ProcessState(const ProcessState &) = delete;
  ~ProcessState() {
    IsNtPlatform = nt, IsNtVersion6 = nt6, QuietMode = quiet, SwitchS = s, SwitchX = x;
    InstallFolder = install, WorkPath = work, ModulePath = module;
    ProgressTotal = total, ProgressPosition = position;
  }
};

}  // namespace quenrid::test
