#include "base/transcript_text.h"

#include <gtest/gtest.h>

namespace netrove {
namespace {

TEST(TranscriptText, KeepsBytesAndShowsLines) {
  CTranscriptText text;
  EXPECT_EQ(text.Append("one\r\ntwo\r"), "one\ntwo\n");
  EXPECT_EQ(text.lineCount(), 3u);
  EXPECT_EQ(text.Append("\nthree\nfour\rfive"), "three\nfour\nfive");  // CR LF split
  EXPECT_EQ(text.text(), "one\r\ntwo\r\nthree\nfour\rfive");
  EXPECT_EQ(text.lineCount(), 5u);
  EXPECT_EQ(text.ByteOffset(0, 0), 0u);
  EXPECT_EQ(text.ByteOffset(1, 0), 5u);
  EXPECT_EQ(text.ByteOffset(2, 0), 10u);  // after the split CR LF
  EXPECT_EQ(text.ByteOffset(1, 99), 8u);  // past the end: the line's end
  EXPECT_EQ(text.ByteOffset(4, 2), 23u);
  EXPECT_EQ(text.ByteOffset(9, 0), text.text().size());
}

TEST(TranscriptText, ShowsUtf8AndOtherBytesWithoutLoss) {
  CTranscriptText text;
  // "é" split between appends shows once complete; 0xE9 alone is Latin-1.
  EXPECT_EQ(text.Append("caf\xC3"), "caf");
  EXPECT_EQ(text.Append("\xA9 \xE9t\xE9 "), "\xC3\xA9 \xC3\xA9t\xC3\xA9 ");
  EXPECT_EQ(text.Append(std::string_view("a\0b", 3)),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(text.Append("\xF0\x9F\x98\x80!"), "\xF0\x9F\x98\x80!");
  // Columns count UTF-16 units: the emoji takes two.
  const std::string& all = text.text();
  EXPECT_EQ(text.ByteOffset(0, 4), all.find('\xA9') + 1);
  EXPECT_EQ(text.ByteOffset(0, 14), all.size() - 1);
  EXPECT_EQ(text.ByteOffset(0, 15), all.size());
}

TEST(TranscriptText, DecodesInvalidSequencesOneByteAtATime) {
  EXPECT_EQ(DecodeTranscriptChar("\xC0\x80", 0).length, 1u);      // overlong
  EXPECT_EQ(DecodeTranscriptChar("\xED\xA0\x80", 0).length, 1u);  // surrogate
  EXPECT_EQ(DecodeTranscriptChar("\xE2\x82", 0).codePoint, 0xE2u);
  EXPECT_EQ(DecodeTranscriptChar("\xE2\x82\xAC", 0).codePoint, 0x20ACu);
}

// A saved transcript is valid UTF-8 whatever the server sent, with one kind
// of line end.
TEST(TranscriptText, FileTextIsUtf8WithTheChosenLineEnds) {
  const std::string_view bytes("caf\xE9 \xE2\x82\xAC\r\nlone\rlf\n\0end\xE2\x82", 24);
  EXPECT_EQ(TranscriptFileText(bytes, "\n"),
            "caf\xC3\xA9 \xE2\x82\xAC\nlone\nlf\n\xEF\xBF\xBD"
            "end\xC3\xA2\xC2\x82");
  EXPECT_EQ(TranscriptFileText("a\r\n\r\nb\n", "\r\n"), "a\r\n\r\nb\r\n");
  EXPECT_EQ(TranscriptFileText("", "\r\n"), "");
}

}  // namespace
}  // namespace netrove
