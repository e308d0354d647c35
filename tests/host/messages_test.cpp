#include <cstring>
#include <string>

#include "block_file.h"
#include "data/messages.h"

namespace {

class MessagesTest : public BlockFileTest {
 protected:
  // Loads a table of the given texts.
  void Load(const std::vector<std::string> &texts) {
    ASSERT_EQ(Read(quenrid::EncodeChunk(CHUNK_MESSAGES, quenrid::EncodeMessagesBody(texts)) +
                   End()),
              READ_OK);
  }

  std::string Format(int number, const char *argument) {
    char out[MESSAGE_BUFFER_SIZE + 8];
    std::memset(out, 'Z', sizeof out);
    FormatMessageArg(out, number, argument);
    // Nothing is written past the 1024 bytes of the destination.
    EXPECT_EQ(std::string(out + MESSAGE_BUFFER_SIZE, 8), std::string(8, 'Z'));
    return out;
  }
};

TEST_F(MessagesTest, WithoutATableEveryMessageIsEmpty) {
  EXPECT_STREQ(LookupMessage(0, 0), "");
  EXPECT_STREQ(LookupMessage(0, 15), "");
  EXPECT_EQ(Format(8, "C:\\x.exe"), "");
}

TEST_F(MessagesTest, LookupStaysInsideTheTable) {
  std::vector<std::string> texts;
  for (int i = 0; i < 16; ++i) texts.push_back("m" + std::to_string(i));
  texts[4] = "";
  Load(texts);
  EXPECT_STREQ(LookupMessage(0, 15), "m15");
  EXPECT_STREQ(LookupMessage(0, 16), "");
  EXPECT_STREQ(LookupMessage(0, -1), "");
  EXPECT_STREQ(LookupMessage(1, 0), "");
  EXPECT_STREQ(LookupMessage(-1, 0), "");
  ASSERT_NE(LookupMessage(0, 4), nullptr);
  EXPECT_STREQ(LookupMessage(0, 4), "");
}

TEST_F(MessagesTest, FormattingPutsTheArgumentInPlaceOfPercentS) {
  Load({"", "Remove %s now?", "100% sure", "50%% of %s", "%s and %s", "%d%s%x", "%"});
  EXPECT_EQ(Format(1, "C:\\App"), "Remove C:\\App now?");
  EXPECT_EQ(Format(2, "ignored"), "100% sure");
  EXPECT_EQ(Format(3, "it"), "50% of it");
  // Only the one argument there is: further conversions are left as text.
  EXPECT_EQ(Format(4, "A"), "A and %s");
  EXPECT_EQ(Format(5, "A"), "%dA%x");
  EXPECT_EQ(Format(6, "A"), "%");
  EXPECT_EQ(Format(1, nullptr), "Remove  now?");
}

TEST_F(MessagesTest, FormattingIsBoundedByTheBuffer) {
  Load({"", "<%s>", std::string(2000, 'x')});
  std::string longPath(3000, 'p');
  std::string out = Format(1, longPath.c_str());
  EXPECT_EQ(out.size(), MESSAGE_BUFFER_SIZE - 1);
  EXPECT_EQ(out.substr(0, 4), "<ppp");
  EXPECT_EQ(Format(2, "x"), std::string(MESSAGE_BUFFER_SIZE - 1, 'x'));
}

}  // namespace
