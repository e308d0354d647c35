// The uninstaller's process-wide variables, saved when a test fixture starts
// and put back when it ends, whatever the test did or however it failed, so
// that no case sees a WorkPath that points into a finished case's stack.
#pragma once

#include "data/state.h"
#include "ui/ui.h"

namespace quenrid::test {

template <class T> class Restored {
 public:
  explicit Restored(T &variable) : variable_(variable), value_(variable) {}
  ~Restored() { variable_ = value_; }
  Restored(const Restored &) = delete;
  Restored &operator=(const Restored &) = delete;

 private:
  T &variable_;
  const T value_;
};

struct ProcessState {
  Restored<bool> isNtPlatform{IsNtPlatform}, isNtVersion6{IsNtVersion6}, quietMode{QuietMode},
      switchS{SwitchS}, switchX{SwitchX};
  Restored<char *> installFolder{InstallFolder}, workPath{WorkPath}, modulePath{ModulePath};
  Restored<uint32_t> progressTotal{ProgressTotal}, progressPosition{ProgressPosition};
};

}  // namespace quenrid::test
