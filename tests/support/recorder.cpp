// A stand-in for a product's own program and for a document viewer: it notes
// how it was started. Each start appends one line to the file named like the
// program with ".log" added:
//   <current directory> TAB <command line> TAB <probe>
// where <probe> is 1 when "probe.txt" beside the program still existed as it
// ended, else 0. The words "sleep=N" (milliseconds) and "exit=N" anywhere on
// its command line make it wait before it notes anything, and end with N.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

unsigned long Setting(const char *line, const char *name) {
  const char *at = std::strstr(line, name);
  return at ? std::strtoul(at + std::strlen(name), nullptr, 10) : 0;
}

std::string OwnPath() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

}  // namespace

int main() {
  const char *line = GetCommandLineA();
  Sleep(Setting(line, "sleep="));
  const std::string self = OwnPath();
  const std::string folder = self.substr(0, self.rfind('\\'));
  char current[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, current);
  const bool probe = GetFileAttributesA((folder + "\\probe.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string entry = std::string(current) + "\t" + line + "\t" + (probe ? "1" : "0") + "\r\n";
  HANDLE log = CreateFileA((self + ".log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return 100;
  DWORD written = 0;
  WriteFile(log, entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
  CloseHandle(log);
  return static_cast<int>(Setting(line, "exit="));
}
