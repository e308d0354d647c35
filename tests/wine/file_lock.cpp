#include "file_lock.h"

#include <stdexcept>

namespace quenrid::test {

FileLock::FileLock(const std::string &path, bool shareRead) {
  static int serial = 0;
  const std::string name =
      "quenrid-lock-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
  held_ = CreateEventA(nullptr, TRUE, FALSE, (name + "-held").c_str());
  release_ = CreateEventA(nullptr, TRUE, FALSE, (name + "-release").c_str());
  locker_ =
      std::make_unique<Process>(HostPathToWindows(QUENRID_LOCKER_PATH),
                                    "\"" + path + "\" " + name + (shareRead ? " read" : ""));
  if (WaitForSingleObject(held_, kDialogTimeoutMs) == WAIT_OBJECT_0) return;
  Release();
  throw std::runtime_error("the locker did not get hold of " + path);
}

FileLock::~FileLock() {
  Release();
  CloseHandle(held_);
  CloseHandle(release_);
}

void FileLock::Release() {
  SetEvent(release_);
  if (locker_) locker_->WaitForExit(kExitTimeoutMs);
  locker_.reset();
}

}  // namespace quenrid::test
