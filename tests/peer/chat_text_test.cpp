#include "peer/chat_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace netrove {
namespace {

std::string Shown(const std::vector<std::string>& receives, std::size_t limit = 4096) {
  CChatIncomingText text(limit);
  std::string shown;
  for (const auto& bytes : receives) shown += text.Append(bytes);
  return shown;
}

TEST(ChatIncomingText, BytesReadAsUtf8ElseLatin1WithControlsDefused) {
  EXPECT_EQ(Shown({"hello\r\n\r\n"}), "hello\n\n");
  EXPECT_EQ(Shown({"Gr\xc3\xbc\xc3\x9f"
                   "e"}),
            "Gr\xc3\xbc\xc3\x9f"
            "e");
  EXPECT_EQ(Shown({"Gr\xfc\xdf"
                   "e"}),
            "Gr\xc3\xbc\xc3\x9f"
            "e");
  // Controls, a zero byte and C1 controls (raw or as UTF-8) are U+FFFD.
  EXPECT_EQ(Shown({std::string("a\0b\x1b[2J\x9b\xc2\x85\tc", 12)}),
            "a\xef\xbf\xbd"
            "b\xef\xbf\xbd[2J\xef\xbf\xbd\xef\xbf\xbd\tc");
  // A character the text widget would take as structure.
  EXPECT_EQ(Shown({"\xe2\x80\xa9"}), "\xef\xbf\xbd");
}

TEST(ChatIncomingText, ACharacterSplitBetweenReceivesShowsOnceComplete) {
  CChatIncomingText text;
  EXPECT_EQ(text.Append("\xe2\x82"), "");
  EXPECT_EQ(text.Append("\xac!"), "\xe2\x82\xac!");
  EXPECT_EQ(text.Append("\xc3"), "");
  // Not continued: the held byte is its Latin-1 character.
  EXPECT_EQ(text.Append("x"), "\xc3\x83x");
}

TEST(ChatIncomingText, ALineWithoutBreaksIsBrokenAtTheLimitWhereverReceivesEnd) {
  EXPECT_EQ(Shown({"abcdefg"}, 3), "abc\ndef\ng");
  EXPECT_EQ(Shown({"ab", "cd", "efgh"}, 3), "abc\ndef\ngh");
  // A line break of the text starts the count again.
  EXPECT_EQ(Shown({"ab\ncdef"}, 3), "ab\ncde\nf");
  // Characters are counted, not bytes.
  EXPECT_EQ(Shown({"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"}, 3), "\xc3\xa9\xc3\xa9\xc3\xa9\n\xc3\xa9");
  CChatIncomingText text(3);
  text.Append("ab");
  text.NoticeAppended(1);
  EXPECT_EQ(text.Append("c"), "\nc");
}

}  // namespace
}  // namespace netrove
