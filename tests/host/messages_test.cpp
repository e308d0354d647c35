// Message lookup and formatting, through which every text the uninstaller
// shows passes: bounded by the table and by the 1024-byte buffer.
#include <cstring>
#include <string>

#include "block_file.h"
#include "data/messages.h"

namespace {

using MessagesTest = BlockFileTest;

// Formats into a buffer with guard bytes behind its 1024: none may change.
std::string Format(int number, const char *argument) {
  char out[MESSAGE_BUFFER_SIZE + 8];
  std::memset(out, 'Z', sizeof out);
  FormatMessageArg(out, number, argument);
  EXPECT_EQ(std::string(out + MESSAGE_BUFFER_SIZE, 8), std::string(8, 'Z'));
  return out;
}

TEST_F(MessagesTest, LookupAndFormattingStayInsideTableAndBuffer) {
  EXPECT_EQ(Format(1, "C:\\x.exe"), "");  // no table read yet
  const std::string longText(2000, 'x'), longPath(3000, 'p');
  ASSERT_EQ(Read(quenrid::EncodeChunk(CHUNK_MESSAGES,
                                      quenrid::EncodeMessagesBody(
                                          {"", "Remove %s now?", "100% sure", "50%% of %s",
                                           "%s and %s", "%d%s%x", "%", "<%s>", longText})) +
                 End()),
            READ_OK);
  const struct {
    int number;
    const char *argument;
    std::string expected;
  } cases[] = {
      {1, "C:\\App", "Remove C:\\App now?"}, {1, nullptr, "Remove  now?"},
      {2, "ignored", "100% sure"},           {3, "it", "50% of it"},
      // Only the one argument there is: further conversions stay text.
      {4, "A", "A and %s"},                  {5, "A", "%dA%x"},
      {6, "A", "%"},                         {7, longPath.c_str(), "<" + longPath.substr(0, 1022)},
      {8, "x", longText.substr(0, 1023)},    {9, "x", ""},
      {-1, "x", ""},
  };
  for (const auto &c : cases) EXPECT_EQ(Format(c.number, c.argument), c.expected) << c.number;
  for (const auto &[table, number] : {std::pair{0, 9}, {0, -1}, {1, 0}, {-1, 0}}) {
    EXPECT_STREQ(LookupMessage(table, number), "") << table << " " << number;
  }
}

}  // namespace
