// COM server unregistration in-process: regsvr32 on NT 6, where elevation
// would be lost in this process, the server's own export before it, and the
// guard around that export against whatever the server raises. The test servers record every load, call and
// unload, so a case sees which process touched them and from which folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com_record.h"
#include "harness.h"
#include "process_state.h"
#include "removal/com_server.h"

namespace quenrid::test {
namespace {

constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
constexpr UINT kCallersErrorMode = SEM_NOGPFAULTERRORBOX;  // one the code never sets

UINT CurrentErrorMode() {
  const UINT mode = SetErrorMode(0);
  SetErrorMode(mode);
  return mode;
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH] = "";
  return std::string(buffer, GetCurrentDirectoryA(sizeof buffer, buffer));
}

// The thread's exception list head, the first field of its TEB, read afresh.
#ifdef _WIN64
#define TEB_FIELD "%%gs:0"
#else
#define TEB_FIELD "%%fs:0"
#endif
EXCEPTION_REGISTRATION_RECORD *ChainHead() {
  EXCEPTION_REGISTRATION_RECORD *head;
  __asm__ __volatile__("mov " TEB_FIELD ", %0" : "=r"(head));
  return head;
}

// A chain left pointing into an abandoned stack would wreck the rest of the
// run, its exit code included, so a wrong head is reported and put right.
::testing::AssertionResult ChainHeadIs(EXCEPTION_REGISTRATION_RECORD *head) {
  EXCEPTION_REGISTRATION_RECORD *const found = ChainHead();
  if (found == head) return ::testing::AssertionSuccess();
  __asm__ __volatile__("mov %0, " TEB_FIELD : : "r"(head) : "memory");
  return ::testing::AssertionFailure() << "exception chain head " << found << ", expected " << head;
}

// A server as installed, unregistered `times` times on NT 6 or before, and
// the events it must record in this process and in regsvr32.
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
  EXCEPTION_REGISTRATION_RECORD *const chainHead = ChainHead();
  for (int i = 0; i < c.times; ++i) {
    UnregisterComServer(server.c_str());
    EXPECT_TRUE(ChainHeadIs(chainHead));
    EXPECT_EQ(CurrentDirectory(), folder_.path());
    EXPECT_EQ(CurrentErrorMode(), kCallersErrorMode);
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
  // regsvr32 has unloaded the server by the time the call returns: it was
  // waited for.
  EXPECT_EQ(here, c.here);
  EXPECT_EQ(inRegsvr32, c.inRegsvr32);
}

INSTANTIATE_TEST_SUITE_P(Servers, ComServer, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quenrid::test
