#include "base/reply_framer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace netrove {
namespace {

struct Framed {
  std::vector<Reply> replies;
  ReplyStatus last = ReplyStatus::Incomplete;
};

// Feeds the pieces one by one, taking every reply each piece completes.
Framed FeedPieces(CReplyFramer& framer, const std::vector<std::string>& pieces) {
  Framed framed;
  for (const std::string& piece : pieces) {
    framer.Feed(piece);
    Reply reply;
    while ((framed.last = framer.Next(reply)) == ReplyStatus::Complete) {
      framed.replies.push_back(reply);
    }
  }
  return framed;
}

std::vector<std::string> OneBytePieces(const std::vector<std::string>& pieces) {
  std::vector<std::string> bytes;
  for (const std::string& piece : pieces) {
    for (char c : piece) bytes.emplace_back(1, c);
  }
  return bytes;
}

struct Case {
  const char* name;
  std::vector<std::string> pieces;
  std::vector<std::vector<std::string>> replies;  // the lines of each reply, in order
  ReplyStatus last;
  std::string buffered;  // left after the last complete reply
};

const std::vector<Case> kCases = {
    {"one line", {"220 ready\r\n"}, {{"220 ready"}}, ReplyStatus::Incomplete, ""},
    {"split anywhere", {"2", "20 rea", "dy\r", "\n"}, {{"220 ready"}}, ReplyStatus::Incomplete, ""},
    {"code alone", {"250\r\n"}, {{"250"}}, ReplyStatus::Incomplete, ""},
    {"bare LF",
     {"220 a\n230-b\n230 c\n"},
     {{"220 a"}, {"230-b", "230 c"}},
     ReplyStatus::Incomplete,
     ""},
    {"multi-line with uncoded and foreign lines",
     {"211-Features:\r\n MDTM\r\n211-still\r\n500 not the end\r\n\r\n211 End\r\n"},
     {{"211-Features:", " MDTM", "211-still", "500 not the end", "", "211 End"}},
     ReplyStatus::Incomplete,
     ""},
    {"multi-line ended by the code alone",
     {"214-help\r\n214\r\n"},
     {{"214-help", "214"}},
     ReplyStatus::Incomplete,
     ""},
    {"several in one receive",
     {"331 pass\r\n230 in\r\n221 bye\r\n"},
     {{"331 pass"}, {"230 in"}, {"221 bye"}},
     ReplyStatus::Incomplete,
     ""},
    {"multi-line split over receives",
     {"220-one\r\n22", "0-two\r\n", "220 three", "\r\n"},
     {{"220-one", "220-two", "220 three"}},
     ReplyStatus::Incomplete,
     ""},
    {"partial reply stays buffered",
     {"200 ok\r\n250-part\r\nmo"},
     {{"200 ok"}},
     ReplyStatus::Incomplete,
     "250-part\r\nmo"},
    {"data block after a reply is left alone",
     {"215 list\r\nalt.test 1 2 y\r\n.\r\n"},
     {{"215 list"}},
     ReplyStatus::Malformed,
     "alt.test 1 2 y\r\n.\r\n"},
    {"first line without a code", {"hello\r\n"}, {}, ReplyStatus::Malformed, "hello\r\n"},
    {"code without separator", {"2200 x\r\n"}, {}, ReplyStatus::Malformed, "2200 x\r\n"},
    {"short first line", {"22\r\n"}, {}, ReplyStatus::Malformed, "22\r\n"},
    {"malformed after a good reply",
     {"200 ok\r\nx\r\n"},
     {{"200 ok"}},
     ReplyStatus::Malformed,
     "x\r\n"},
};

class ReplyFramerTable : public ::testing::TestWithParam<Case> {};

void ExpectFramed(const Case& c, const std::vector<std::string>& pieces) {
  CReplyFramer framer;
  const Framed framed = FeedPieces(framer, pieces);
  ASSERT_EQ(framed.replies.size(), c.replies.size());
  for (std::size_t i = 0; i < c.replies.size(); ++i) {
    EXPECT_EQ(framed.replies[i].lines, c.replies[i]) << "reply " << i;
    EXPECT_EQ(framed.replies[i].code, std::stoi(c.replies[i][0].substr(0, 3))) << "reply " << i;
  }
  EXPECT_EQ(framed.last, c.last) << ReplyStatusName(framed.last);
  EXPECT_EQ(framer.TakeBuffered(), c.buffered);
}

TEST_P(ReplyFramerTable, FramesAsReceived) { ExpectFramed(GetParam(), GetParam().pieces); }

TEST_P(ReplyFramerTable, FramesTheSameByteByByte) {
  ExpectFramed(GetParam(), OneBytePieces(GetParam().pieces));
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyFramerTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c != '\0'; ++c) {
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           }
                           return name;
                         });

TEST(ReplyFramer, ALineBeyondTheBoundIsReportedNotGrown) {
  CReplyFramer framer(16);
  Reply reply;
  framer.Feed("220 ");
  EXPECT_EQ(framer.Next(reply), ReplyStatus::Incomplete);
  framer.Feed(std::string(100, 'x'));
  EXPECT_EQ(framer.Next(reply), ReplyStatus::LineTooLong);
  // Final: more bytes, even a good reply, do not bring it back.
  framer.Feed("\r\n200 ok\r\n");
  EXPECT_EQ(framer.Next(reply), ReplyStatus::LineTooLong);
  framer.Reset();
  framer.Feed("200 ok\r\n");
  EXPECT_EQ(framer.Next(reply), ReplyStatus::Complete);
  EXPECT_EQ(framer.Next(reply), ReplyStatus::Incomplete);
}

TEST(ReplyFramer, AnEndlessMultiLineReplyIsReportedNotGrown) {
  CReplyFramer framer(64, 1024);
  framer.Feed("226-start\r\n");
  Reply reply;
  ReplyStatus status = ReplyStatus::Incomplete;
  for (int line = 0; line < 200 && status == ReplyStatus::Incomplete; ++line) {
    framer.Feed("226-more of the same\r\n");
    status = framer.Next(reply);
  }
  EXPECT_EQ(status, ReplyStatus::ReplyTooLong);
  EXPECT_LE(framer.BufferedSize(), 1024u + 64u);
}

TEST(ReplyFramer, ManyRepliesInOneReceiveComeOutInOrder) {
  std::string stream;
  // Appended piece by piece: GCC 12 at -O2 reads `"2" + std::string` as an
  // overlapping copy (-Wrestrict).
  for (int i = 0; i < 20000; ++i)
    stream.append("2").append(std::to_string(10 + i % 90)).append(" n\r\n");
  CReplyFramer framer;
  const Framed framed = FeedPieces(framer, {stream, "250 last\r\n"});
  ASSERT_EQ(framed.replies.size(), 20001u);
  EXPECT_EQ(framed.replies[19999].code, 200 + 10 + 19999 % 90);
  EXPECT_EQ(framed.replies.back().lines[0], "250 last");
}

TEST(ReplyFramer, TakingTheBufferedBytesLetsReplyFramingResumeAfterABlock) {
  CReplyFramer framer;
  Reply reply;
  framer.Feed("224 overview\r\n1\tSubject\r\n");
  ASSERT_EQ(framer.Next(reply), ReplyStatus::Complete);
  EXPECT_EQ(framer.TakeBuffered(), "1\tSubject\r\n");
  EXPECT_EQ(framer.BufferedSize(), 0u);
  framer.Feed("205 closing\r\n");
  ASSERT_EQ(framer.Next(reply), ReplyStatus::Complete);
  EXPECT_EQ(reply.code, 205);
}

}  // namespace
}  // namespace netrove
