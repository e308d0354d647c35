// The writer: the smallest block's bytes, what it refuses (what the reader would
// cut or skip), and what pack and stamp make of every kind of stub.
#include <functional>

#include "block_file.h"
#include "pe_stub.h"

using namespace quenrid;

namespace {

TEST(Writer, RefusesWhatTheReaderWouldCutOrSkip) {
  Manifest small;
  small.messages = {"A"};
  // Messages {"A"}, an all-zero settings block and the end, byte by byte.
  EXPECT_EQ(EncodeBlock(small), U16(0x1234) + U16(0) + U32(7) + U16(1) + U16(1) + Counted("A") +
                                    U16(0x123A) + U16(0) + U32(12) + std::string(12, '\0') +
                                    U16(0x7F7F) + U16(0) + U32(0));
  const std::string big(65536, 'm');
  const std::pair<std::function<void(Manifest &)>, std::string> cases[] = {
      {[](Manifest &m) { m.files.push_back({std::string(300, 'f'), std::string(219, 'n'), 0}); },
       "files[1]: folder and fileName together exceed 518 bytes"},
      {[](Manifest &m) { m.shortcuts = {{0, std::string(700, 'f'), std::string(77, 'a'), "n"}}; },
       "shortcuts[0]: folder, altFolder and fileName together exceed 777 bytes"},
      {[](Manifest &m) { m.registry = {{1, std::string(520, 'k')}}; }, "registry[0].keyPath: 520"},
      {[&](Manifest &m) { m.messages.push_back(big); }, "messages[1]: 65536 bytes exceed the 65535"},
      {[](Manifest &m) { m.messages.resize(65536); }, "messages: 65536 messages exceed the 65535"},
      {[](Manifest &m) { m.files.push_back({".", {"a\0b", 3}, 0}); }, "files[1].fileName: contains a NUL"},
      {[](Manifest &m) { m.settings.program = {"a\0", 2}; }, "settings.program: contains a NUL"},
      {[](Manifest &m) { m.directories = {{"a\0b", 3}}; }, "directories[0]: contains a NUL"},
      {[](Manifest &m) { m.directories = {"a", ""}; }, "directories[1]: is empty"},
  };
  for (const auto &[change, error] : cases) {
    Manifest m;
    m.messages = {"Caption"};
    m.files = {{".", "ok.txt", 0}};
    change(m);
    EXPECT_EQ(ErrorOf([&] { EncodeBlock(m); }).substr(0, error.size()), error);
  }
}

// Every kind of stub, in both image formats: what pack makes of it, or the error
// that refuses it. Only a whole block behind the image is ever cut off.
TEST(Writer, PackAndStampCutOnlyAWholeBlockBehindTheImage) {
  const std::string block = EncodeBlock(Manifest());
  const std::string newBlock = EncodeBlock(Manifest{{"wwgT)H"}, {}, {}, {}, {}, {}});
  const std::string notBlock = " bytes from offset 1536 to the end of the file are not an uninst";
  for (const uint16_t magic : {pe_stub::kPe32, pe_stub::kPe32Plus}) {
    const std::string stamped = pe_stub::Image(magic, 1536), packed = stamped + block;
    const auto field = [&](uint32_t value) { return pe_stub::Image(magic, value); };
    const auto changed = [&](size_t at, const std::string &bytes) {
      return std::string(stamped).replace(at, bytes.size(), bytes);
    };
    const std::pair<std::string, std::string> cases[] = {  // the stub, and the start of the error
        {stamped, ""},
        {packed, ""},
        {stamped + newBlock, ""},  // the marker in its data
        {field(0), "not stamped: the data offset field is 0"},
        {field(5000), "not stamped for this file: the data offset field holds 5000, beyond the"},
        {field(pe_stub::kFieldAt + 4) + block, "the data offset field holds 1044, inside the image"},
        {stamped + "SIGNATURE", "the 9" + notBlock},
        {packed + "X", "the 41" + notBlock},
        {field(0).substr(0, 0x300) + std::string(0x300, 'c') + "wwgT)H" + U32(1536),
         "no data offset marker in the image"},
        {changed(0x300, "wwgT)H" + U32(0)), "the data offset marker occurs more than once"},
        {changed(0x40, "X"), "not a Windows executable: no PE signature"},
        {"MZ no marker", "not a Windows executable: shorter than an MZ header"},
        {changed(0x58, U16(0x107)), "not a PE32 or PE32+ image: optional header magic 0x107"},
        {stamped.substr(0, 0x500), "the image's sections end at 1536, beyond the end of the file"},
    };
    for (const auto &c : cases) {
      SCOPED_TRACE(c.second + (magic == pe_stub::kPe32 ? " (PE32)" : " (PE32+)"));
      std::string result;
      const std::string error = ErrorOf([&] { result = PackBlock(c.first, newBlock); });
      EXPECT_EQ(error.substr(0, c.second.size()), c.second);
      if (c.second.empty()) EXPECT_EQ(result, stamped + newBlock);
    }
    EXPECT_EQ(StampStub(field(0)), stamped);
    EXPECT_EQ(ReadDataOffset(stamped), 1536u);
    EXPECT_EQ(ErrorOf([&] { StampStub(packed); }), "carries uninstall data at offset 1536; stamp "
                                                   "the bare stub, not a packed uninstaller");
  }
}

}  // namespace
