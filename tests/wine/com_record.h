// Reading what the test COM servers of tests/support record: one line per
// load, call or unload, naming the process and its current directory.
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quenrid::test {

// One line of a server's record.
struct Event {
  std::string what;  // attach, unregister or detach
  std::string dll;
  std::string process;
  std::string directory;
  UINT errorMode = 0;
};

inline std::vector<Event> ReadEvents(const std::string &recordPath) {
  std::vector<Event> events;
  std::ifstream in(recordPath);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Event event;
    std::string mode;
    std::getline(fields, event.what, '\t');
    std::getline(fields, event.dll, '\t');
    std::getline(fields, event.process, '\t');
    std::getline(fields, event.directory, '\t');
    std::getline(fields, mode);
    event.errorMode = static_cast<UINT>(std::stoul(mode, nullptr, 16));
    events.push_back(event);
  }
  return events;
}

inline std::vector<std::string> Kinds(const std::vector<Event> &events) {
  std::vector<std::string> kinds;
  for (const Event &event : events) kinds.push_back(event.what);
  return kinds;
}

}  // namespace quenrid::test
