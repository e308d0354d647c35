// A file held open without sharing by another process, as a running program
// holds its files, or shared with readers only, until the test lets it go.
#pragma once

#include <memory>
#include <string>

#include "harness.h"

namespace quenrid::test {

class FileLock {
 public:
  // Returns once the locker holds `path`; throws std::runtime_error when it
  // cannot get hold of it in time.
  explicit FileLock(const std::string &path, bool shareRead = false);
  ~FileLock();
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;
  // Lets go of the file and waits until the locker has ended.
  void Release();

 private:
  HANDLE held_, release_;
  std::unique_ptr<Process> locker_;
};

}  // namespace quenrid::test
