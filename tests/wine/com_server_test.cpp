// COM server unregistration in-process: regsvr32 on NT 6, the server's own
// export before it, and the guard around that export. The servers record
// every load, call and unload (tests/support/test_com_server.cpp), so a test
// sees which process touched them and from which folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/state.h"
#include "com_record.h"
#include "harness.h"
#include "removal/com_server.h"
#include "removal/guarded_call.h"

namespace quenrid::test {
namespace {

constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
// Something the code under test never sets, so a missed restore shows.
constexpr UINT kCallersErrorMode = SEM_NOGPFAULTERRORBOX;

UINT CurrentErrorMode() {
  UINT mode = SetErrorMode(0);
  SetErrorMode(mode);
  return mode;
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

std::string SystemFolder() {
  char buffer[MAX_PATH] = "";
  GetSystemDirectoryA(buffer, sizeof buffer);
  return buffer;
}

std::string OwnExecutable() {
  char buffer[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return buffer;
}

// The thread's exception list head, the first field of its TEB, read afresh
// each time: an earlier read must not stand in for it.
#ifdef _WIN64
#define TEB_FIELD "%%gs:0"
#else
#define TEB_FIELD "%%fs:0"
#endif
EXCEPTION_REGISTRATION_RECORD *ExceptionChainHead() {
  EXCEPTION_REGISTRATION_RECORD *head;
  __asm__ __volatile__("mov " TEB_FIELD ", %0" : "=r"(head));
  return head;
}

void SetExceptionChainHead(EXCEPTION_REGISTRATION_RECORD *head) {
  __asm__ __volatile__("mov %0, " TEB_FIELD : : "r"(head) : "memory");
}

// A chain left pointing into an abandoned stack would wreck the rest of the
// run, its exit code included, so a wrong head is reported and put right.
::testing::AssertionResult ChainHeadIs(EXCEPTION_REGISTRATION_RECORD *head) {
  EXCEPTION_REGISTRATION_RECORD *const found = ExceptionChainHead();
  if (found == head) return ::testing::AssertionSuccess();
  SetExceptionChainHead(head);
  return ::testing::AssertionFailure() << std::hex << "exception chain head " << found
                                       << ", expected " << head;
}

class ComServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryA(serverFolder_.c_str(), nullptr));
    SetEnvironmentVariableA("QUENRID_COM_RECORD", record_.c_str());
    savedNtVersion6_ = IsNtVersion6;
    savedDirectory_ = CurrentDirectory();
    ASSERT_TRUE(SetCurrentDirectoryA(folder_.path().c_str()));
    savedErrorMode_ = SetErrorMode(kCallersErrorMode);
  }

  void TearDown() override {
    SetErrorMode(savedErrorMode_);
    SetCurrentDirectoryA(savedDirectory_.c_str());
    IsNtVersion6 = savedNtVersion6_;
    SetEnvironmentVariableA("QUENRID_COM_RECORD", nullptr);
  }

  // Copies a built server into the folder with blanks in its name.
  std::string Install(const char *builtPath, const std::string &name) {
    const std::string path = serverFolder_ + "\\" + name;
    EXPECT_TRUE(CopyFileA(HostPathToWindows(builtPath).c_str(), path.c_str(), FALSE)) << path;
    return path;
  }

  // Unregisters and checks what must hold whatever the server did: the
  // caller's current directory and error mode are back, and the server is
  // not left loaded here.
  ::testing::AssertionResult Unregister(const std::string &path) {
    UnregisterComServer(path.c_str());
    if (CurrentDirectory() != folder_.path()) {
      return ::testing::AssertionFailure() << "current directory left at " << CurrentDirectory();
    }
    if (CurrentErrorMode() != kCallersErrorMode) {
      return ::testing::AssertionFailure() << "error mode left at " << CurrentErrorMode();
    }
    if (GetModuleHandleA(path.c_str())) return ::testing::AssertionFailure() << "still loaded";
    return ::testing::AssertionSuccess();
  }

  std::vector<Event> Events() const { return ReadEvents(record_); }

  std::vector<Event> EventsOfThisProcess() const {
    std::vector<Event> own;
    for (const Event &event : Events()) {
      if (SamePath(event.process, OwnExecutable())) own.push_back(event);
    }
    return own;
  }

  TestFolder folder_;
  const std::string serverFolder_ = folder_ / "COM servers";
  const std::string record_ = folder_ / "record.txt";

 private:
  bool savedNtVersion6_ = false;
  std::string savedDirectory_;
  UINT savedErrorMode_ = 0;
};

TEST_F(ComServer, OnNt6Regsvr32DoesTheWorkAndTheServerNeverLoadsHere) {
  IsNtVersion6 = true;
  const std::string server = Install(QUENRID_RECORDING_SERVER, "recording server.dll");
  EXPECT_TRUE(Unregister(server));

  const std::vector<Event> events = Events();
  // The tool has unloaded the server by the time the call returns: it was
  // waited for.
  ASSERT_EQ(Kinds(events), (std::vector<std::string>{"attach", "unregister", "detach"}));
  EXPECT_TRUE(SamePath(events[1].process, SystemFolder() + "\\regsvr32.exe")) << events[1].process;
  // The quotes kept the blanks inside one argument.
  EXPECT_TRUE(SamePath(events[1].dll, server)) << events[1].dll;

  // Not even when the tool cannot unregister it.
  EXPECT_TRUE(Unregister(Install(QUENRID_EXPORTLESS_SERVER, "exportless.dll")));
  EXPECT_EQ(Events().size(), 5u);
  EXPECT_TRUE(EventsOfThisProcess().empty());
}

TEST_F(ComServer, BeforeNt6TheExportRunsHereInTheServersFolder) {
  IsNtVersion6 = false;
  const std::string server = Install(QUENRID_RECORDING_SERVER, "recording server.dll");
  EXPECT_TRUE(Unregister(server));

  const std::vector<Event> events = EventsOfThisProcess();
  ASSERT_EQ(Kinds(events), (std::vector<std::string>{"attach", "unregister", "detach"}));
  EXPECT_EQ(Events().size(), events.size()) << "no other process touched the server";
  EXPECT_TRUE(SamePath(events[1].dll, server)) << events[1].dll;
  EXPECT_TRUE(SamePath(events[1].directory, serverFolder_)) << events[1].directory;
  EXPECT_EQ(events[1].errorMode, kQuietErrorMode);
}

TEST_F(ComServer, BeforeNt6ACrashingServerIsSurvivedAndFreed) {
  IsNtVersion6 = false;
  const std::string server = Install(QUENRID_CRASHING_SERVER, "crashing.dll");
  EXCEPTION_REGISTRATION_RECORD *const chainHead = ExceptionChainHead();
  EXPECT_TRUE(Unregister(server));
  EXPECT_TRUE(Unregister(server));

  EXPECT_TRUE(ChainHeadIs(chainHead));
  EXPECT_EQ(Kinds(EventsOfThisProcess()),
            (std::vector<std::string>{"attach", "unregister", "detach", "attach", "unregister",
                                      "detach"}));
  EXPECT_TRUE(DeleteFileA(server.c_str())) << "error " << GetLastError();
}

TEST_F(ComServer, BeforeNt6WhatHasNoExportOrIsNoLibraryIsLeftAlone) {
  IsNtVersion6 = false;
  const std::string server = Install(QUENRID_EXPORTLESS_SERVER, "exportless.dll");
  EXPECT_TRUE(Unregister(server));
  WriteBinaryFile(serverFolder_ + "\\text.dll", "not a library");
  EXPECT_TRUE(Unregister(serverFolder_ + "\\text.dll"));
  EXPECT_TRUE(Unregister(serverFolder_ + "\\missing.dll"));

  EXPECT_EQ(Kinds(EventsOfThisProcess()), (std::vector<std::string>{"attach", "detach"}));
  EXPECT_TRUE(DeleteFileA(server.c_str())) << "error " << GetLastError();
}

// Procedures for the guard itself, of the type of a library's export.
int GuardedRuns = 0;

INT_PTR WINAPI Returns() {
  ++GuardedRuns;
  return 0;
}

INT_PTR WINAPI WritesThroughNull() {
  ++GuardedRuns;
  static int *volatile nowhere = nullptr;
  *nowhere = 1;
  return 0;
}

INT_PTR WINAPI RaisesSoftwareException() {
  ++GuardedRuns;
  RaiseException(0xE0C0FFEE, 0, 0, nullptr);
  return 0;
}

// A guard inside a guard: the inner one hands the chain back to the outer
// one's record, which still catches what follows.
INT_PTR WINAPI NestsAGuardThenFaults() {
  EXCEPTION_REGISTRATION_RECORD *const outerHead = ExceptionChainHead();
  EXPECT_FALSE(CallGuarded(WritesThroughNull));
  EXPECT_TRUE(ChainHeadIs(outerHead));
  return WritesThroughNull();
}

TEST(GuardedCall, CatchesEveryExceptionAndRestoresTheChain) {
  const struct {
    FARPROC procedure;
    bool returns;
    int runs;
  } cases[] = {{Returns, true, 1},
               {WritesThroughNull, false, 1},
               {RaisesSoftwareException, false, 1},
               {NestsAGuardThenFaults, false, 2}};
  EXCEPTION_REGISTRATION_RECORD *const chainHead = ExceptionChainHead();
  for (int round = 0; round < 2; ++round) {
    for (const auto &guarded : cases) {
      GuardedRuns = 0;
      EXPECT_EQ(CallGuarded(guarded.procedure), guarded.returns);
      EXPECT_EQ(GuardedRuns, guarded.runs);
      EXPECT_TRUE(ChainHeadIs(chainHead));
    }
  }
}

}  // namespace
}  // namespace quenrid::test
