// The uninstaller's process-wide variables, saved when a test fixture starts
// and put back when it ends, whatever the test did or however it failed, so
// that no case sees a WorkPath that points into a finished case's stack.
#pragma once

#include "data/state.h"
#include "ui/ui.h"

namespace quenrid::test {

class ProcessState {
 public:
  ProcessState() = default;
  ~ProcessState() {
    IsNtPlatform = isNtPlatform_;
    IsNtVersion6 = isNtVersion6_;
    QuietMode = quietMode_;
    SwitchS = switchS_;
    SwitchX = switchX_;
    InstallFolder = installFolder_;
    WorkPath = workPath_;
    ModulePath = modulePath_;
    ProgressTotal = progressTotal_;
    ProgressPosition = progressPosition_;
  }
  ProcessState(const ProcessState &) = delete;
  ProcessState &operator=(const ProcessState &) = delete;

 private:
  bool isNtPlatform_ = IsNtPlatform;
  bool isNtVersion6_ = IsNtVersion6;
  bool quietMode_ = QuietMode;
  bool switchS_ = SwitchS;
  bool switchX_ = SwitchX;
  char *installFolder_ = InstallFolder;
  char *workPath_ = WorkPath;
  char *modulePath_ = ModulePath;
  uint32_t progressTotal_ = ProgressTotal;
  uint32_t progressPosition_ = ProgressPosition;
};

}  // namespace quenrid::test
