// What the file phase of the real packed stub does beyond deleting files,
// under each Windows version: COM servers are unregistered and fonts leave
// the font key of the running family. Its files, counts and questions are
// rows of removal_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../host/truetype_file.h"
#include "com_record.h"
#include "data/uninstall_data.h"
#include "harness.h"
#include "test_messages.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

// The default NT 6.1 and two older systems.
const struct System {
  const char *version;  // null for wine's default
  const char *name;
  bool nt6, nt;
} kSystems[] = {{nullptr, "default", true, true}, {"winxp", "winxp", false, true},
                {"win98", "win98", false, false}};

bool Exists(const std::string &path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class FilePhase : public ::testing::Test {
 protected:
  // A silent run of the stub, named after the system, that lists `files`.
  ::testing::AssertionResult Run(const System &system, const std::vector<FileRecord> &files) {
    const std::string exeName = std::string("uninst-") + system.name + ".exe";
    WindowsVersionFor version(exeName, system.version);
    Manifest manifest;
    manifest.messages = TestMessages();
    manifest.files = files;
    WritePackedStub(folder_ / exeName, EncodeBlock(manifest));
    Process run(folder_ / exeName, "/S");
    return ExitsSilentlyWith(run, 0);
  }

  TestFolder folder_;
};

// On NT 6 regsvr32 unregisters a server and the stub never loads it; before,
// the stub calls the server itself from the server's folder, and one that
// crashes neither stops the run nor keeps its file.
TEST_F(FilePhase, ComServersAreUnregisteredAsTheSystemAllows) {
  for (const System &system : kSystems) {
    SCOPED_TRACE(system.name);
    const std::string record = folder_ / (std::string("record-") + system.name + ".txt");
    SetEnvironmentVariableA("QUENRID_COM_RECORD", record.c_str());
    std::vector<FileRecord> files = {{folder_.path(), "server.dll", FILE_FLAG_COM_SERVER}};
    ASSERT_TRUE(CopyFileA(HostPathToWindows(QUENRID_RECORDING_SERVER).c_str(),
                          (folder_ / "server.dll").c_str(), FALSE));
    // Read-only, yet deleted without a question, as a server always is.
    SetFileAttributesA((folder_ / "server.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    if (!system.nt6) {
      ASSERT_TRUE(CopyFileA(HostPathToWindows(QUENRID_CRASHING_SERVER).c_str(),
                            (folder_ / "crash.dll").c_str(), FALSE));
      files.push_back({folder_.path(), "crash.dll", FILE_FLAG_COM_SERVER});
    }
    EXPECT_TRUE(Run(system, files));
    SetEnvironmentVariableA("QUENRID_COM_RECORD", nullptr);
    EXPECT_FALSE(Exists(folder_ / "server.dll"));
    EXPECT_FALSE(Exists(folder_ / "crash.dll"));
    int unregistered = 0;
    for (const Event &event : ReadEvents(record)) {
      const bool inStub =
          SamePath(event.process, folder_ / (std::string("uninst-") + system.name + ".exe"));
      EXPECT_FALSE(system.nt6 && inStub) << event.what << " " << event.dll;
      if (event.what != "unregister") continue;
      ++unregistered;
      EXPECT_EQ(inStub, !system.nt6) << event.process;
      EXPECT_TRUE(!inStub || SamePath(event.directory, folder_.path())) << event.directory;
    }
    EXPECT_EQ(unregistered, system.nt6 ? 1 : 2);
  }
}

// Only a Macintosh full name is looked for, and only in the running family's key.
TEST_F(FilePhase, FontsLeaveTheFontKeyOfTheirFamily) {
  const char *keys[] = {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts"};
  for (const System &system : kSystems) {
    SCOPED_TRACE(system.name);
    const std::string mac = std::string("Quenrid Run Sans ") + system.name;
    const std::string windows = std::string("Quenrid Run Windows ") + system.name;
    WriteBinaryFile(folder_ / "mac.ttf", BuildFont({{{kMacintosh, kFullName, mac}}}));
    WriteBinaryFile(folder_ / "win.ttf", BuildFont({{{kWindows, kFullName, windows}}}));
    for (const char *key : keys) {
      for (const std::string &name : {mac, windows}) {
        ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, (name + " (TrueType)").c_str(), REG_SZ,
                                  "x.ttf", 6),
                  ERROR_SUCCESS);
      }
    }
    EXPECT_TRUE(Run(system, {{folder_.path(), "mac.ttf", FILE_FLAG_FONT},
                             {folder_.path(), "win.ttf", FILE_FLAG_FONT}}));
    EXPECT_FALSE(Exists(folder_ / "mac.ttf"));
    for (int k = 0; k < 2; ++k) {
      for (const std::string &name : {mac, windows}) {
        const std::string value = name + " (TrueType)";
        const bool present = RegGetValueA(HKEY_LOCAL_MACHINE, keys[k], value.c_str(), RRF_RT_ANY,
                                          nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        EXPECT_EQ(present, name != mac || (k == 0) != system.nt) << keys[k] << ": " << value;
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, keys[k], value.c_str());
      }
    }
  }
}

}  // namespace
}  // namespace quenrid::test
