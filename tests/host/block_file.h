// Test support: temporary files, thrown messages, and blocks written behind a
// few stub bytes, read with the product's reader and released afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "data/show_message_posix.h"
#include "data/uninstall_data.h"
#include "writer/uninstall_writer.h"

// What `call` throws, or "" when it returns.
template <class Call> std::string ErrorOf(Call call) try {
  call();
  return "";
} catch (const std::exception &error) {
  return error.what();
}

// Little-endian numbers and counted strings, for blocks assembled by hand.
inline std::string U16(uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
inline std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
inline std::string Counted(const std::string &s) { return U16(uint32_t(s.size())) + s; }
inline std::string End() { return quenrid::EncodeChunk(CHUNK_END, ""); }

// What the reader built, on one line: messages, files, shortcuts, registry
// keys, directories ('/' for NUL), and the settings unless none or all-zero.
// Strings over 12 bytes show as their length.
inline std::string Lists() {
  const auto str = [](const std::string &s) {
    return s.size() > 12 ? "#" + std::to_string(s.size()) : s;
  };
  const auto num = [](uint32_t n) { return std::to_string(n); };
  std::string out;
  for (char **m = MessageTable[0]; m && *m; ++m) out += "m:" + str(*m) + " ";
  for (uint32_t i = 0; i < FileListCount; ++i) {
    const FileEntry &f = *FileList[i];
    out += "f:" + str(f.folder) + "|" + str(f.fileName) + "|" + num(f.flags) + " ";
  }
  for (uint32_t i = 0; i < ShortcutListCount; ++i) {
    const ShortcutEntry &s = *ShortcutList[i];
    out += "s:" + num(s.levels) + "|" + str(s.folder) + "|" + str(s.altFolder) + "|" +
           str(s.fileName) + " ";
  }
  for (uint32_t i = 0; i < RegistryListCount; ++i) {
    out += "r:" + num(RegistryList[i]->rootKey) + "|" + str(RegistryList[i]->keyPath) + " ";
  }
  std::string list(DirectoryList ? DirectoryList : "", DirectoryListLength);
  std::replace(list.begin(), list.end(), '\0', '/');
  if (DirectoryList) out += "d:" + list + " ";
  const char *program = SettingsString(SETTINGS_PROGRAM_AT);
  const char *document = SettingsString(SETTINGS_DOCUMENT_AT);
  if (UninstallSettings &&
      (UninstallSettingsLength != SETTINGS_FIXED_SIZE || SettingsFlags() || program || document)) {
    out += "set:" + num(UninstallSettingsLength) + "/" + num(SettingsFlags()) + "|" +
           (program ? str(program) : "-") + "|" + (document ? str(document) : "-");
  }
  return out;
}

class BlockFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(close(mkstemp(&path_[0])), 0);  // a fresh file of the test's own
    ResetShownMessages();
  }
  void TearDown() override {
    ReleaseUninstallData();
    std::remove(path_.c_str());
  }
  // Writes 16 stub bytes and `block`, and reads the block; returns the code.
  int Read(const std::string &block) {
    std::ofstream(path_, std::ios::binary) << std::string(16, 'S') << block;
    return ReadUninstallDataFile(path_.c_str(), 16);
  }
  std::string path_ = "/tmp/quenrid-test-XXXXXX";
};
