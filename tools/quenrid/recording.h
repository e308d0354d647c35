// What the recording twin of the uninstaller's machine (machine_recording.cpp)
// noted while the real steps ran against it: each change the run would make
// and each question it would ask, in order.
#pragma once

#include <string>
#include <vector>

namespace quenrid {

struct Record {
  std::string what;    // "deletes the file", "asks", "starts", ...
  std::string path;    // the file, folder, key or value; the current folder of a start
  std::string detail;  // a question's text, a command line, a count
  std::string environment;  // what a started program finds in its environment of ours
  bool onYes = false;  // done only when a question about the path is answered Yes
};

// The records since the last call, in the ANSI code page, and a fresh model:
// nothing counts as removed any more.
std::vector<Record> TakeRecords();

}  // namespace quenrid
