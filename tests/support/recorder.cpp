// Stands in for a product's own program and for a document viewer. Each start
// appends "<current directory> TAB <command line> TAB <probe> TAB <parent>" to
// the file named like the program plus ".log", <probe> being 1 when
// "probe.txt" beside the program still existed and <parent> the file name of
// the program that started it. "sleep=N" (ms) and "exit=N" on its command line
// make it wait first and end with N.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <string>

static unsigned long Setting(const char *line, const char *name) {
  const char *at = std::strstr(line, name);
  return at ? std::strtoul(at + std::strlen(name), nullptr, 10) : 0;
}

// The file name of the process that started this one; "" when it has gone.
static std::string ParentName() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  std::string name;
  for (int pass = 0; pass < 2; ++pass) {
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
      if (pass == 0 && entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
      if (pass == 1 && entry.th32ProcessID == parent) name = entry.szExeFile;
    }
  }
  CloseHandle(snapshot);
  return name;
}

int main() {
  const char *line = GetCommandLineA();
  Sleep(Setting(line, "sleep="));
  char self[MAX_PATH] = "", current[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, current);
  const std::string path = self, probe = path.substr(0, path.rfind('\\')) + "\\probe.txt";
  const bool found = GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string entry = std::string(current) + "\t" + line + (found ? "\t1\t" : "\t0\t") + ParentName() + "\r\n";
  HANDLE log = CreateFileA((path + ".log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return 100;
  DWORD written = 0;
  WriteFile(log, entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
  CloseHandle(log);
  return static_cast<int>(Setting(line, "exit="));
}
