#include "base/reply_framer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace netrove {
namespace {

constexpr const char* kPlain = "(plain)";

// What came out of the framer: each reply as its lines, each plain line as
// {kPlain, line}.
struct Framed {
  std::vector<std::vector<std::string>> items;
  std::vector<int> codes;
  ReplyStatus last = ReplyStatus::Incomplete;
};

// Feeds the pieces one by one, taking everything each piece completes.
Framed FeedPieces(CReplyFramer& framer, const std::vector<std::string>& pieces) {
  Framed framed;
  for (const std::string& piece : pieces) {
    framer.Feed(piece);
    Reply reply;
    while (true) {
      framed.last = framer.Next(reply);
      if (framed.last == ReplyStatus::Complete) {
        framed.items.push_back(reply.lines);
        framed.codes.push_back(reply.code);
      } else if (framed.last == ReplyStatus::PlainLine) {
        EXPECT_EQ(reply.lines.size(), 1u);
        framed.items.push_back({kPlain, reply.lines.at(0)});
      } else {
        break;
      }
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

std::string TestName(const char* text) {
  std::string name;
  for (const char* c = text; *c != '\0'; ++c) {
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  }
  return name;
}

struct Expected {
  Expected(std::vector<std::vector<std::string>> items = {}, std::string buffered = {})
      : items(std::move(items)), buffered(std::move(buffered)) {}
  std::vector<std::vector<std::string>> items;
  std::string buffered;  // left after the last complete item
  ReplyStatus last = ReplyStatus::Incomplete;
};

void ExpectFramed(NonReplyLines policy, const std::vector<std::string>& pieces,
                  const Expected& expected) {
  CReplyFramer framer(policy);
  const Framed framed = FeedPieces(framer, pieces);
  EXPECT_EQ(framed.items, expected.items);
  std::size_t reply = 0;
  for (const auto& item : expected.items) {
    if (item[0] == kPlain) continue;
    std::size_t coded = 0;
    while (!std::isdigit(static_cast<unsigned char>(item[coded][0]))) ++coded;
    ASSERT_LT(reply, framed.codes.size());
    EXPECT_EQ(framed.codes[reply++], std::stoi(item[coded].substr(0, 3)));
  }
  EXPECT_EQ(framed.last, expected.last) << ReplyStatusName(framed.last);
  EXPECT_EQ(framer.TakeBuffered(), expected.buffered);
}

// Streams of replies alone frame the same whatever the policy.
struct ReplyCase {
  const char* name;
  std::vector<std::string> pieces;
  Expected expected;
};

const std::vector<ReplyCase> kReplyCases = {
    {"one line", {"220 ready\r\n"}, {{{"220 ready"}}}},
    {"split anywhere", {"2", "20 rea", "dy\r", "\n"}, {{{"220 ready"}}}},
    {"code alone", {"250\r\n"}, {{{"250"}}}},
    {"bare LF", {"220 a\n230-b\n230 c\n"}, {{{"220 a"}, {"230-b", "230 c"}}}},
    {"multi-line with uncoded and foreign lines",
     {"211-Features:\r\n MDTM\r\n211-still\r\n500 not the end\r\n\r\n211 End\r\n"},
     {{{"211-Features:", " MDTM", "211-still", "500 not the end", "", "211 End"}}}},
    {"multi-line ended by the code alone", {"214-help\r\n214\r\n"}, {{{"214-help", "214"}}}},
    {"several in one receive",
     {"331 pass\r\n230 in\r\n221 bye\r\n"},
     {{{"331 pass"}, {"230 in"}, {"221 bye"}}}},
    {"multi-line split over receives",
     {"220-one\r\n22", "0-two\r\n", "220 three", "\r\n"},
     {{{"220-one", "220-two", "220 three"}}}},
    {"partial reply stays buffered",
     {"200 ok\r\n250-part\r\nmo"},
     {{{"200 ok"}}, "250-part\r\nmo"}},
};

std::string PolicyName(NonReplyLines policy) {
  switch (policy) {
    case NonReplyLines::Show:
      return "Show";
    case NonReplyLines::KeepWithReply:
      return "Keep";
    case NonReplyLines::Skip:
      return "Skip";
  }
  return "";
}

class ReplyFramerReplies : public ::testing::TestWithParam<std::tuple<ReplyCase, NonReplyLines>> {};

std::string ReplyCaseName(
    const ::testing::TestParamInfo<std::tuple<ReplyCase, NonReplyLines>>& info) {
  return TestName(std::get<0>(info.param).name) + "_" + PolicyName(std::get<1>(info.param));
}

TEST_P(ReplyFramerReplies, FrameAsReceivedAndByteByByte) {
  const auto& [c, policy] = GetParam();
  ExpectFramed(policy, c.pieces, c.expected);
  ExpectFramed(policy, OneBytePieces(c.pieces), c.expected);
}

INSTANTIATE_TEST_SUITE_P(EveryPolicy, ReplyFramerReplies,
                         ::testing::Combine(::testing::ValuesIn(kReplyCases),
                                            ::testing::Values(NonReplyLines::Show,
                                                              NonReplyLines::KeepWithReply,
                                                              NonReplyLines::Skip)),
                         ReplyCaseName);

// Lines outside any reply: what each policy makes of them.
struct NonReplyCase {
  const char* name;
  std::vector<std::string> pieces;
  Expected show;
  Expected keep;
  Expected skip;
};

const std::vector<NonReplyCase> kNonReplyCases = {
    {"banner continuation before a reply",
     {"hello there\r\n220 ready\r\n"},
     {{{kPlain, "hello there"}, {"220 ready"}}},
     {{{"hello there", "220 ready"}}},
     {{{"220 ready"}}}},
    {"uncoded line after a reply",
     {"200 ok\r\nx\r\n"},
     {{{"200 ok"}, {kPlain, "x"}}},
     {{{"200 ok"}}, "x\r\n"},
     {{{"200 ok"}}}},
    {"code with another fourth character",
     {"2200 x\r\n"},
     {{{"2200 x"}}},
     {{}, "2200 x\r\n"},
     {{{"2200 x"}}}},
    {"short line", {"22\r\n"}, {{{kPlain, "22"}}}, {{}, "22\r\n"}, {{}}},
    {"empty line between replies",
     {"211 a\r\n\r\n212 b\r\n"},
     {{{"211 a"}, {kPlain, ""}, {"212 b"}}},
     {{{"211 a"}, {"", "212 b"}}},
     {{{"211 a"}, {"212 b"}}}},
    {"unfinished non-reply line",
     {"200 ok\r\nhal"},
     {{{"200 ok"}}, "hal"},
     {{{"200 ok"}}, "hal"},
     {{{"200 ok"}}, "hal"}},
    {"kept lines go with a multi-line reply",
     {"note\r\n230-a\r\n230 b\r\n"},
     {{{kPlain, "note"}, {"230-a", "230 b"}}},
     {{{"note", "230-a", "230 b"}}},
     {{{"230-a", "230 b"}}}},
};

class ReplyFramerNonReplies : public ::testing::TestWithParam<NonReplyCase> {};

TEST_P(ReplyFramerNonReplies, EachPolicyAsItsProtocolWants) {
  const NonReplyCase& c = GetParam();
  for (const auto& pieces : {c.pieces, OneBytePieces(c.pieces)}) {
    SCOPED_TRACE(pieces.size() == c.pieces.size() ? "as received" : "byte by byte");
    {
      SCOPED_TRACE("show");
      ExpectFramed(NonReplyLines::Show, pieces, c.show);
    }
    {
      SCOPED_TRACE("keep with reply");
      ExpectFramed(NonReplyLines::KeepWithReply, pieces, c.keep);
    }
    {
      SCOPED_TRACE("skip");
      ExpectFramed(NonReplyLines::Skip, pieces, c.skip);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, ReplyFramerNonReplies, ::testing::ValuesIn(kNonReplyCases),
                         [](const auto& info) { return TestName(info.param.name); });

TEST(ReplyFramer, ALineBeyondTheBoundIsReportedNotGrown) {
  for (NonReplyLines policy :
       {NonReplyLines::Show, NonReplyLines::KeepWithReply, NonReplyLines::Skip}) {
    CReplyFramer framer(policy, 16);
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
}

TEST(ReplyFramer, AnEndlessMultiLineReplyIsReportedNotGrown) {
  CReplyFramer framer(NonReplyLines::Show, 64, 1024);
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

// Kept lines wait for a reply; a server that sends nothing else must not
// make them grow without bound.
TEST(ReplyFramer, EndlessKeptLinesAreReportedNotGrown) {
  CReplyFramer framer(NonReplyLines::KeepWithReply, 64, 1024);
  Reply reply;
  ReplyStatus status = ReplyStatus::Incomplete;
  for (int line = 0; line < 200 && status == ReplyStatus::Incomplete; ++line) {
    framer.Feed("no code here\r\n");
    status = framer.Next(reply);
  }
  EXPECT_EQ(status, ReplyStatus::ReplyTooLong);
}

TEST(ReplyFramer, SkippedAndShownLinesDoNotCountTowardsTheReplyBound) {
  for (NonReplyLines policy : {NonReplyLines::Show, NonReplyLines::Skip}) {
    CReplyFramer framer(policy, 64, 256);
    std::string stream;
    for (int i = 0; i < 100; ++i) stream += "chatter\r\n";
    const Framed framed = FeedPieces(framer, {stream, "200 ok\r\n"});
    EXPECT_EQ(framed.last, ReplyStatus::Incomplete);
    ASSERT_FALSE(framed.items.empty());
    EXPECT_EQ(framed.items.back(), std::vector<std::string>{"200 ok"});
  }
}

TEST(ReplyFramer, ManyRepliesInOneReceiveComeOutInOrder) {
  std::string stream;
  // Appended piece by piece: GCC 12 at -O2 reads `"2" + std::string` as an
  // overlapping copy (-Wrestrict).
  for (int i = 0; i < 20000; ++i)
    stream.append("2").append(std::to_string(10 + i % 90)).append(" n\r\n");
  CReplyFramer framer(NonReplyLines::Skip);
  const Framed framed = FeedPieces(framer, {stream, "250 last\r\n"});
  ASSERT_EQ(framed.items.size(), 20001u);
  EXPECT_EQ(framed.codes[19999], 200 + 10 + 19999 % 90);
  EXPECT_EQ(framed.items.back()[0], "250 last");
}

TEST(ReplyFramer, TakingTheBufferedBytesLetsFramingStartAfresh) {
  CReplyFramer framer(NonReplyLines::Show);
  Reply reply;
  framer.Feed("224 overview\r\n1\tSubject\r\n");
  ASSERT_EQ(framer.Next(reply), ReplyStatus::Complete);
  EXPECT_EQ(framer.TakeBuffered(), "1\tSubject\r\n");
  EXPECT_EQ(framer.BufferedSize(), 0u);
  framer.Feed("205 closing\r\n");
  ASSERT_EQ(framer.Next(reply), ReplyStatus::Complete);
  EXPECT_EQ(reply.code, 205);
}

// A block read through the framer: each line as handed out, "<end>" for the
// end, "<too large>" where the bound was passed, then what Next frames after.
struct BlockRun {
  std::vector<std::string> events;
  std::vector<std::string> repliesAfter;
};

BlockRun ReadBlock(const std::vector<std::string>& pieces, std::size_t maxBytes,
                   std::size_t maxLine = CReplyFramer::kDefaultMaxLine) {
  CReplyFramer framer(NonReplyLines::Skip, maxLine);
  BlockRun run;
  bool opened = false;
  for (const std::string& piece : pieces) {
    framer.Feed(piece);
    Reply reply;
    while (true) {
      if (framer.InBlock()) {
        std::string_view line;
        const BlockStatus status = framer.NextBlockLine(line);
        if (status == BlockStatus::Line) {
          run.events.emplace_back(line);
          continue;
        }
        if (status == BlockStatus::End) {
          run.events.emplace_back("<end>");
          continue;
        }
        if (status == BlockStatus::TooLarge) {
          run.events.emplace_back("<too large>");
          continue;
        }
        if (status == BlockStatus::LineTooLong) {
          run.events.emplace_back("<line too long>");
          return run;  // final: nothing more is framed
        }
        break;
      }
      const ReplyStatus status = framer.Next(reply);
      if (status != ReplyStatus::Complete) break;
      if (!opened) {
        opened = true;
        framer.StartBlock(maxBytes);
      } else {
        run.repliesAfter.push_back(reply.lines[0]);
      }
    }
  }
  return run;
}

TEST(ReplyFramerBlock, LinesComeOutUnstuffedUpToTheDotAndRepliesFollow) {
  const std::vector<std::string> stream = {
      "220 0 <a@b> article\r\n", "Subject: x\r\n\r\n", "..leading dot\r\n", ".single\n", "...\r\n",
      "tail\r\n.\r\n",           "223 next\r\n"};
  const std::vector<std::string> lines = {"Subject: x", "",     ".leading dot", "single",
                                          "..",         "tail", "<end>"};
  for (const auto& pieces : {stream, OneBytePieces(stream)}) {
    const BlockRun run = ReadBlock(pieces, 1 << 20);
    EXPECT_EQ(run.events, lines);
    EXPECT_EQ(run.repliesAfter, std::vector<std::string>{"223 next"});
  }
}

TEST(ReplyFramerBlock, AnEmptyBlockEndsAtOnce) {
  const BlockRun run = ReadBlock({"215 list\r\n.\r\n200 ok\r\n"}, 100);
  EXPECT_EQ(run.events, std::vector<std::string>{"<end>"});
  EXPECT_EQ(run.repliesAfter, std::vector<std::string>{"200 ok"});
}

TEST(ReplyFramerBlock, ABlockPastItsBoundIsReportedOnceAndTheRestSkipped) {
  std::string body;
  for (int i = 0; i < 50; ++i) body += "line " + std::to_string(i) + "\r\n";
  // "line 0\r\n" .. "line 9\r\n" are 8 bytes each: the bound of 40 holds five.
  const BlockRun run = ReadBlock({"220 article\r\n", body, ".\r\n211 after\r\n"}, 40);
  const std::vector<std::string> expected = {"line 0", "line 1",      "line 2", "line 3",
                                             "line 4", "<too large>", "<end>"};
  EXPECT_EQ(run.events, expected);
  EXPECT_EQ(run.repliesAfter, std::vector<std::string>{"211 after"});
}

TEST(ReplyFramerBlock, ALongBlockStreamsThroughASmallBuffer) {
  CReplyFramer framer(NonReplyLines::Skip);
  Reply reply;
  framer.Feed("222 body\r\n");
  ASSERT_EQ(framer.Next(reply), ReplyStatus::Complete);
  framer.StartBlock(std::size_t{1} << 30);
  const std::string chunk = std::string(1000, 'b') + "\r\n";
  std::size_t lines = 0;
  std::size_t largestBuffer = 0;
  std::string_view line;
  for (int i = 0; i < 5000; ++i) {
    framer.Feed(chunk);
    largestBuffer = std::max(largestBuffer, framer.BufferedSize());
    while (framer.NextBlockLine(line) == BlockStatus::Line) ++lines;
  }
  framer.Feed(".\r\n");
  EXPECT_EQ(framer.NextBlockLine(line), BlockStatus::End);
  EXPECT_EQ(lines, 5000u);
  // Taken lines are not kept: what stays buffered is about one receive.
  EXPECT_LE(largestBuffer, 2 * chunk.size());
  EXPECT_FALSE(framer.InBlock());
}

TEST(ReplyFramerBlock, AnEndlessBlockLineIsFinal) {
  const BlockRun run =
      ReadBlock({"215 list\r\n", std::string(300, 'g'), "\r\n.\r\n200 ok\r\n"}, 1 << 20, 128);
  EXPECT_EQ(run.events, std::vector<std::string>{"<line too long>"});
  EXPECT_TRUE(run.repliesAfter.empty());
}

TEST(ReplyFramerBlock, AnUnfinishedBlockStaysBufferedForTheCaller) {
  CReplyFramer framer(NonReplyLines::Skip);
  Reply reply;
  framer.Feed("215 list\r\nalt.test 1 2 y\r\ncomp.");
  ASSERT_EQ(framer.Next(reply), ReplyStatus::Complete);
  framer.StartBlock(1000);
  std::string_view line;
  ASSERT_EQ(framer.NextBlockLine(line), BlockStatus::Line);
  EXPECT_EQ(line, "alt.test 1 2 y");
  EXPECT_EQ(framer.NextBlockLine(line), BlockStatus::Incomplete);
  EXPECT_EQ(framer.TakeBuffered(), "comp.");
  EXPECT_FALSE(framer.InBlock());
}

}  // namespace
}  // namespace netrove
