// Test support: a block written behind a few stub bytes into a temporary file,
// read with the product's reader, and everything released afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string>

#include "data/show_message_posix.h"
#include "temp_file.h"
#include "data/uninstall_data.h"
#include "writer/uninstall_writer.h"

// Little-endian bytes, for blocks assembled by hand.
inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}
inline std::string U16(uint16_t v) { return Bytes({v & 0xFF, v >> 8}); }
inline std::string U32(uint32_t v) {
  return U16(static_cast<uint16_t>(v)) + U16(static_cast<uint16_t>(v >> 16));
}
// A string with its u16 length in front, as records and messages store it.
inline std::string Counted(const std::string &s) {
  return U16(static_cast<uint16_t>(s.size())) + s;
}

class BlockFileTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kStubSize = 16;

  void SetUp() override {
    path_ = MakeTempFile("/tmp/quenrid-reader-XXXXXX");
    ResetShownMessages();
  }

  void TearDown() override {
    ReleaseUninstallData();
    std::remove(path_.c_str());
  }

  // Writes the stub bytes and `block` and reads the block; returns the code.
  int Read(const std::string &block) {
    std::ofstream(path_, std::ios::binary) << std::string(kStubSize, 'S') << block;
    return ReadUninstallDataFile(path_.c_str(), kStubSize);
  }

  static std::string End() { return quenrid::EncodeChunk(CHUNK_END, ""); }

  std::string path_;
};
