// The file phase's steps for COM servers and fonts, in-process against the
// prefix, with the recording test servers of tests/support.
#include <windows.h>

#include "../host/truetype_file.h"
#include "com_record.h"
#include "harness.h"
#include "process_state.h"
#include "removal/com_server.h"
#include "removal/fonts.h"

namespace quenrid::test {
namespace {

constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
constexpr UINT kCallersErrorMode = SEM_NOGPFAULTERRORBOX;  // one the code never sets

std::string CurrentDirectory() {
  char buffer[MAX_PATH] = "";
  return std::string(buffer, GetCurrentDirectoryA(sizeof buffer, buffer));
}

// The head of the thread's exception list, the first field of its TEB.
#ifdef _WIN64
#define CHAIN_HEAD "%%gs:0"
#else
#define CHAIN_HEAD "%%fs:0"
#endif
void *ChainHead() {
  void *head;
  __asm__ __volatile__("mov " CHAIN_HEAD ", %0" : "=r"(head));
  return head;
}
void SetChainHead(void *head) {
  __asm__ __volatile__("mov %0, " CHAIN_HEAD : : "r"(head) : "memory");
}

// A server as installed, unregistered `times` times on NT 6 (by regsvr32, as
// elevation would be lost here) or before (by its export, guarded against
// whatever it raises), and the events it must record here and in regsvr32.
struct Case {
  const char *name;
  bool nt6;
  const char *built;  // null: `text` written as the file, or no file at all
  const char *text;
  int times;
  std::string here, inRegsvr32;
  bool raises = false;  // the crashing server raises a software exception instead
};

const std::string kUnregisters = "attach unregister detach ";
const Case kCases[] = {
    {"Nt6Regsvr32DoesTheWork", true, QUENRID_RECORDING_SERVER, nullptr, 1, "", kUnregisters},
    {"Nt6ExportlessNeverLoadsHere", true, QUENRID_EXPORTLESS_SERVER, nullptr, 1, "",
     "attach detach "},
    {"Nt5ExportRunsHere", false, QUENRID_RECORDING_SERVER, nullptr, 1, kUnregisters, ""},
    {"Nt5CrashIsSurvivedAndFreed", false, QUENRID_CRASHING_SERVER, nullptr, 2,
     kUnregisters + kUnregisters, ""},
    {"Nt5SoftwareExceptionIsSurvived", false, QUENRID_CRASHING_SERVER, nullptr, 2,
     kUnregisters + kUnregisters, "", true},
    {"Nt5ExportlessIsLeftAlone", false, QUENRID_EXPORTLESS_SERVER, nullptr, 1, "attach detach ",
     ""},
    {"Nt5NoLibraryIsLeftAlone", false, nullptr, "not a library", 1, "", ""},
    {"Nt5MissingIsLeftAlone", false, nullptr, nullptr, 1, "", ""},
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class ComServer : public ::testing::TestWithParam<Case> {
 protected:
  void TearDown() override {
    SetErrorMode(savedErrorMode_);
    SetCurrentDirectoryA(savedDirectory_.c_str());
    SetEnvironmentVariableA("QUENRID_COM_RECORD", nullptr);
    SetEnvironmentVariableA("QUENRID_COM_RAISE", nullptr);
  }

  ProcessState state_;
  TestFolder folder_;
  const std::string savedDirectory_ = CurrentDirectory();
  const UINT savedErrorMode_ = SetErrorMode(kCallersErrorMode);
};

// Whatever the server does, the caller's current directory and error mode are
// back afterwards, no exception record is left behind, and the server is not
// left loaded here: the file can go.
TEST_P(ComServer, UnregistersWhereItShouldAndLeavesTheCallerAsItWas) {
  const Case &c = GetParam();
  const std::string servers = folder_ / "COM servers", record = folder_ / "record.txt";
  const std::string server = servers + "\\" + c.name + " server.dll";  // blanks in the path
  ASSERT_TRUE(CreateDirectoryA(servers.c_str(), nullptr));
  ASSERT_TRUE(!c.built || CopyFileA(HostPathToWindows(c.built).c_str(), server.c_str(), FALSE));
  if (c.text) WriteBinaryFile(server, c.text);
  SetEnvironmentVariableA("QUENRID_COM_RECORD", record.c_str());
  SetEnvironmentVariableA("QUENRID_COM_RAISE", c.raises ? "1" : nullptr);
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.path().c_str()));
  IsNtVersion6 = c.nt6;
  void *const chainHead = ChainHead();
  for (int i = 0; i < c.times; ++i) {
    UnregisterComServer(server.c_str());
    // A chain left pointing into an abandoned stack would wreck the rest of
    // the run, its exit code included: a wrong head is reported, put right.
    EXPECT_EQ(ChainHead(), chainHead);
    SetChainHead(chainHead);
    EXPECT_EQ(CurrentDirectory(), folder_.path());
    EXPECT_EQ(GetErrorMode(), kCallersErrorMode);
    EXPECT_EQ(GetModuleHandleA(server.c_str()), nullptr);
  }
  EXPECT_TRUE(!(c.built || c.text) || DeleteFileA(server.c_str())) << "error " << GetLastError();

  std::string here, inRegsvr32;
  char self[MAX_PATH] = "", regsvr32[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  lstrcatA(regsvr32 + GetSystemDirectoryA(regsvr32, sizeof regsvr32), "\\regsvr32.exe");
  for (const Event &e : ReadEvents(record)) {
    const bool isHere = SamePath(e.process, self);
    EXPECT_TRUE(isHere || SamePath(e.process, regsvr32)) << e.process;
    (isHere ? here : inRegsvr32) += e.what + " ";
    if (e.what != "unregister") continue;
    EXPECT_TRUE(SamePath(e.dll, server)) << e.dll;  // the blanks kept in one argument
    EXPECT_TRUE(!isHere || SamePath(e.directory, servers)) << e.directory;
    EXPECT_TRUE(!isHere || e.errorMode == kQuietErrorMode) << e.errorMode;
  }
  // regsvr32 has unloaded the server by the time the call returns.
  EXPECT_EQ(here, c.here);
  EXPECT_EQ(inRegsvr32, c.inRegsvr32);
}

INSTANTIATE_TEST_SUITE_P(Servers, ComServer, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) {
                           return std::string(info.param.name);
                         });

const char *const kFontKeys[] = {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",  // NT
                                 "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts"};    // 9x
int fontChanges;

LRESULT CALLBACK CountFontChanges(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_FONTCHANGE) ++fontChanges;
  return DefWindowProcA(window, message, wParam, lParam);
}

// The full name read from the file picks the registration to delete, in the
// running family's key only, and every top-level window hears of it once. A
// name is used whole or not at all: one byte too long and the record is
// ignored as if it were not there, never cut short to another font's name.
TEST(Fonts, OnlyTheRegistrationOfTheNameInTheFileGoes) {
  ProcessState state;
  TestFolder folder;
  const std::string font = folder / "font.ttf", name = "Quenrid Test Font";
  // The longest name that the reader's buffer takes with the suffix.
  const std::string longest =
      name + std::string(FONT_NAME_BUFFER_SIZE - sizeof " (TrueType)" - name.size(), 'x');
  const std::string tooLong = longest + "x";
  const std::string names[] = {name, name + " Bold", longest};
  HKEY keys[2] = {};
  for (int family : {0, 1}) {  // one the prefix lacks is made, and left empty
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kFontKeys[family], 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &keys[family], nullptr),
              ERROR_SUCCESS);
  }
  WNDCLASSA windowClass{0, CountFontChanges, 0, 0, GetModuleHandleA(nullptr), nullptr,
                        nullptr, nullptr, nullptr, "QuenridFontChangeCounter"};
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA(windowClass.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                              nullptr, nullptr, windowClass.hInstance, nullptr);
  const struct {
    const char *what;
    bool nt;
    FontLayout file;  // no records: no file at all
    std::string deleted;
  } cases[] = {
      {"NT", true, {{{kMacintosh, kFullName, name}}}, name},
      {"9x", false, {{{kMacintosh, kFullName, name}}}, name},
      {"longest name", true, {{{kMacintosh, kFullName, longest}}}, longest},
      {"name too long for the suffix", true, {{{kMacintosh, kFullName, tooLong}}}, ""},
      {"earlier name, then one too long", true,
       {{{kMacintosh, kFullName, name}, {kMacintosh, kFullName, tooLong}}}, name},
      {"Windows full name only", true, {{{kWindows, kFullName, name}}}, ""},
      {"no font file", true, {}, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    for (HKEY key : keys) {
      for (const std::string &n : names) {
        RegSetValueExA(key, (n + " (TrueType)").c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE *>("quenrid.ttf"), 12);
      }
    }
    DeleteFileA(font.c_str());
    if (!c.file.names.empty()) WriteBinaryFile(font, BuildFont(c.file));
    IsNtPlatform = c.nt;
    fontChanges = 0;
    RemoveFont(font.c_str());
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_EQ(fontChanges, 1);
    for (int family : {0, 1}) {
      for (const std::string &n : names) {
        const std::string value = n + " (TrueType)";
        EXPECT_EQ(RegDeleteValueA(keys[family], value.c_str()) == ERROR_SUCCESS,
                  n != c.deleted || family != (c.nt ? 0 : 1))
            << n.substr(0, 40) << " in key " << family;
      }
    }
  }
  DestroyWindow(window);
  for (HKEY key : keys) RegCloseKey(key);
}

}  // namespace
}  // namespace quenrid::test
