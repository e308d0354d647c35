// Stands in for a product's own program and for a document viewer. Each start
// appends "<current directory> TAB <command line> TAB <probe>" to the file
// named like the program plus ".log", <probe> being 1 when "probe.txt" beside
// the program still existed. "sleep=N" (ms) and "exit=N" on its command line
// make it wait first and end with N.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

static unsigned long Setting(const char *line, const char *name) {
  const char *at = std::strstr(line, name);
  return at ? std::strtoul(at + std::strlen(name), nullptr, 10) : 0;
}

int main() {
  const char *line = GetCommandLineA();
  Sleep(Setting(line, "sleep="));
  char self[MAX_PATH] = "", current[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, current);
  const std::string path = self, probe = path.substr(0, path.rfind('\\')) + "\\probe.txt";
  const bool found = GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string entry = std::string(current) + "\t" + line + (found ? "\t1\r\n" : "\t0\r\n");
  HANDLE log = CreateFileA((path + ".log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return 100;
  DWORD written = 0;
  WriteFile(log, entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
  CloseHandle(log);
  return static_cast<int>(Setting(line, "exit="));
}
