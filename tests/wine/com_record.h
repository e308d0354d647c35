// What the test COM servers of tests/support record: one line per load, call
// or unload, naming the process, its current directory and error mode.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quenrid::test {

struct Event {
  std::string what, dll, process, directory;  // what: attach, unregister or detach
  unsigned errorMode = 0;
};

inline std::vector<Event> ReadEvents(const std::string &recordPath) {
  std::vector<Event> events;
  std::ifstream in(recordPath);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Event &e = events.emplace_back();
    for (std::string *f : {&e.what, &e.dll, &e.process, &e.directory}) getline(fields, *f, '\t');
    fields >> std::hex >> e.errorMode;
  }
  return events;
}

}  // namespace quenrid::test
