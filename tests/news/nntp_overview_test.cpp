// Overview lines as servers send them, and as hostile ones might.
#include "news/nntp_overview.h"

#include <gtest/gtest.h>

#include "news/article_text.h"

namespace netrove {
namespace {

using namespace std::string_literals;

TEST(NntpOverview, CapabilitiesNameTheCommandToUse) {
  EXPECT_EQ(OverviewOffered("VERSION 2\r\nREADER\r\nOVER MSGID\r\n"), NntpOverview::Over);
  EXPECT_EQ(OverviewOffered("READER\r\nxover\r\n"), NntpOverview::Xover);
  EXPECT_EQ(OverviewOffered("XOVER\r\nover\r\n"), NntpOverview::Over);
  EXPECT_EQ(OverviewOffered("READER\r\nOVERVIEW\r\nLIST ACTIVE OVERVIEW.FMT\r\n"),
            NntpOverview::None);
}

TEST(NntpOverview, LinesBecomeHeaderBlocksWithinTheRangeOnly) {
  const std::string block =
      "7\tRe: tabs\tA <a@x>\tThu, 1 Jan 2026\t<7@x>\t<1@x> <3@x>\t1234\t20\tXref: h g:7\r\n"
      "8\tOld server\tb@x\td\t<8@x>\t\r\n"         // no size or line count
      "9\ttoo\tfew\tfields\r\n"                    // skipped
      "7\tsecond seven\ta\td\t<77@x>\t\t1\t1\r\n"  // a number once
      "11\tout of range\ta\td\t<11@x>\t\t1\t1\r\n"
      "-1\tnegative\ta\td\t<n@x>\t\t1\t1\r\n"
      "99999999999999999999\thuge\ta\td\t<h@x>\t\t1\t1\r\n"
      "10\tspoof\rFrom: evil\ta\0b\td\t<10@x>\t\t1\t1\r\n"
      "\r\n"s;
  const auto headers = OverviewHeaders(block, 1, 10);
  ASSERT_EQ(headers.size(), 3u);
  EXPECT_EQ(headers[0].number, 7);
  EXPECT_EQ(HeaderValue(headers[0].text, "References"), "<1@x> <3@x>");
  EXPECT_EQ(HeaderValue(headers[0].text, "Lines"), "20");
  EXPECT_EQ(headers[1].text,
            "Subject: Old server\r\nFrom: b@x\r\nDate: d\r\nMessage-ID: <8@x>\r\n");
  EXPECT_EQ(headers[2].number, 10);
  // A CR or NUL inside a field cannot start a header line of its own.
  EXPECT_EQ(HeaderValue(headers[2].text, "Subject"), "spoof From: evil");
  EXPECT_EQ(HeaderValue(headers[2].text, "From"), std::string("a b"));
  EXPECT_EQ(headers[2].text.find("\r\nFrom: evil"), std::string::npos);
}

}  // namespace
}  // namespace netrove
