// The articles the posting windows build: header order, optional headers,
// follow-up and cancel texts, line ends and dot-stuffing of the body, and
// the refusals of Send.
#include "news/news_article.h"

#include <gtest/gtest.h>

#include "news/news_settings.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

constexpr std::string_view kNewsreaderLine = "X-Newsreader: Netrove - Version 3.00 (Build 55).\r\n";

NewsArticleFields NewArticle(std::string body) {
  NewsArticleFields fields;
  fields.from = "me@here.test";
  fields.subject = "Hello";
  fields.newsgroups = "local.test";
  fields.body = std::move(body);
  return fields;
}

TEST(NewsArticle, PlainArticleHasFourHeadersAndAStuffedCrLfBody) {
  // The editor ends lines with LF, a pasted text may bring CR LF or CR.
  const NewsArticle article = BuildNewsArticle(NewArticle(".first\n..second\r\nthird\r.\nlast"));
  ASSERT_EQ(article.fault, NewsArticleFault::None);
  EXPECT_EQ(article.wire, "From: me@here.test\r\nSubject: Hello\r\nNewsgroups: local.test\r\n" +
                              std::string(kNewsreaderLine) +
                              "\r\n..first\r\n...second\r\nthird\r\n..\r\nlast\r\n.\r\n");
}

TEST(NewsArticle, FollowUpWritesEveryHeaderInOrderAndOneReplyPrefix) {
  NewsArticleFields fields = NewArticle("text");
  fields.mode = NewsPostMode::FollowUp;
  fields.subject = "rE: Question";
  fields.references = "<root@a> <parent@b>";
  fields.replyTo = "me@here.test (Me)";
  fields.followupTo = "local.other";
  fields.distribution = "local";
  fields.keywords = "k";
  fields.summary = "s";
  fields.organization = "Org";
  fields.cancelId = "<ignored@a>";  // only a cancel says Control
  const NewsArticle article = BuildNewsArticle(fields);
  EXPECT_EQ(article.wire,
            "From: me@here.test\r\nSubject: rE: Question\r\nNewsgroups: local.test\r\n"
            "References: <root@a> <parent@b>\r\nReply-To: me@here.test (Me)\r\n"
            "Followup-To: local.other\r\nDistribution: local\r\nKeywords: k\r\nSummary: s\r\n"
            "Organization: Org\r\n" +
                std::string(kNewsreaderLine) + "\r\ntext\r\n.\r\n");

  fields.subject = "Question";
  EXPECT_NE(BuildNewsArticle(fields).wire.find("Subject: Re: Question\r\n"), std::string::npos);
  EXPECT_EQ(FollowUpSubject("Re: x"), "Re: x");
  EXPECT_EQ(FollowUpSubject("Re:x"), "Re: Re:x");
}

TEST(NewsArticle, ValuesFromTheServerCannotAddHeaderLines) {
  NewsArticleFields fields = NewArticle("text");
  fields.mode = NewsPostMode::FollowUp;
  fields.subject = "Hi\r\nNewsgroups: alt.spam";
  fields.references = "<a@b>\nControl: cancel <x@y>";
  const std::string wire = BuildNewsArticle(fields).wire;
  const std::string headers = wire.substr(0, wire.find("\r\n\r\n"));
  EXPECT_EQ(headers.find("\r\nNewsgroups: alt.spam"), std::string::npos);
  EXPECT_EQ(headers.find("\r\nControl:"), std::string::npos);
  EXPECT_NE(headers.find("Subject: Re: Hi  Newsgroups: alt.spam\r\n"), std::string::npos);
  EXPECT_NE(headers.find("References: <a@b> Control: cancel <x@y>\r\n"), std::string::npos);
}

TEST(NewsArticle, CancelCarriesTheControlHeaderAndItsText) {
  NewsArticleFields fields = NewArticle(CancelBody("<mine@here>"));
  fields.mode = NewsPostMode::Cancel;
  fields.subject = CancelSubject("<mine@here>");
  fields.cancelId = "<mine@here>";
  fields.references = "<not@written>";
  fields.organization = "Org";
  EXPECT_EQ(BuildNewsArticle(fields).wire,
            "From: me@here.test\r\nSubject: Cancel <mine@here>\r\nNewsgroups: local.test\r\n"
            "Control: cancel <mine@here>\r\nOrganization: Org\r\n" +
                std::string(kNewsreaderLine) +
                "\r\n\r\nArticle <mine@here> cancelled.\r\n\r\nReason:\r\n\tNONE GIVEN\r\n.\r\n");
}

TEST(NewsArticle, SendRefusesMissingSubjectNewsgroupsAndBodyInThatOrder) {
  NewsArticleFields fields = NewArticle("");
  fields.subject.clear();
  fields.newsgroups.clear();
  EXPECT_EQ(BuildNewsArticle(fields).fault, NewsArticleFault::SubjectMissing);
  fields.subject = "s";
  EXPECT_EQ(BuildNewsArticle(fields).fault, NewsArticleFault::NewsgroupsMissing);
  fields.newsgroups = "g";
  const NewsArticle empty = BuildNewsArticle(fields);
  EXPECT_EQ(empty.fault, NewsArticleFault::BodyEmpty);
  EXPECT_TRUE(empty.wire.empty());
  EXPECT_EQ(NewsArticleFaultText({NewsArticleFault::SubjectMissing, {}, {}}),
            "The Subject field is required.");
  EXPECT_EQ(NewsArticleFaultText({NewsArticleFault::NewsgroupsMissing, {}, {}}),
            "The Newsgroups field is required.");
  EXPECT_EQ(NewsArticleFaultText(empty), "The body of the message is empty.");
}

// A line over 998 octets would be cut or refused further on: the article
// is not sent and the message says which line. 998 itself goes out.
TEST(NewsArticle, ALineOverTheLimitIsRefusedByName) {
  NewsArticleFields fields = NewArticle("");
  fields.subject = "s";
  fields.newsgroups = "g";
  fields.body = "short\n" + std::string(kLongestArticleLine, 'x') + "\n." +
                std::string(kLongestArticleLine - 1, 'y');
  EXPECT_EQ(BuildNewsArticle(fields).fault, NewsArticleFault::None);
  fields.body += "\nz\n" + std::string(kLongestArticleLine + 1, 'w');
  const NewsArticle body = BuildNewsArticle(fields);
  EXPECT_EQ(body.fault, NewsArticleFault::LineTooLong);
  EXPECT_EQ(NewsArticleFaultText(body),
            "The article was not sent: line 5 of the body is longer than 998 characters. Break "
            "it into shorter lines.");
  fields.body = "fine";
  fields.subject = std::string(1000, 's');
  EXPECT_EQ(BuildNewsArticle(fields).faultWhere, "the Subject header");
}

TEST(NewsArticle, QuotationNamesTheAuthorAndQuotesEveryLine) {
  EXPECT_EQ(QuotedFollowUpBody("Ann Author <ann@a.test>", "one\r\n\r\n>two\r\n"),
            "\r\n\r\nAnn Author wrote:\r\n\r\n>one\r\n>\r\n>>two");
  EXPECT_EQ(QuotedFollowUpBody("ann@a.test (Ann Author)", "x"),
            "\r\n\r\nAnn Author wrote:\r\n\r\n>x");
  EXPECT_EQ(QuotedFollowUpBody("ann@a.test", "x"), "\r\n\r\nann@a.test wrote:\r\n\r\n>x");
}

TEST(NewsArticle, IdentityChoicesAndNameDelimiters) {
  EXPECT_EQ(NewsFromChoices("Ann", "ann@a.test"),
            (std::vector<std::string>{"ann@a.test", "ann@a.test (Ann)", "Ann <ann@a.test>"}));
  EXPECT_EQ(NewsReplyToChoices("Ann", "ann@a.test").size(), 4u);
  EXPECT_EQ(NewsReplyToChoices("Ann", "ann@a.test").front(), "");
  EXPECT_EQ(WithoutNameDelimiters("A(n)<n>"), "Ann");
}

TEST(NewsSettings, DefaultsFontTextAndColoursRoundTrip) {
  test::ScopedHome home;
  NewsSettings settings = ReadNewsSettings();
  EXPECT_EQ(settings.serverLocation, "news");
  EXPECT_EQ(settings.newsgroupsRetrieveTheList, 2u);
  EXPECT_FALSE(settings.newsgroupsRetrieveTheListStored);
  EXPECT_EQ(settings.newsgroupsDisplay, kNewsDisplayAll);
  EXPECT_EQ(settings.postingPaneSize, 100u);

  const NewsFont font{-16, 700, 1, 1, 0, "DejaVu Sans; Mono"};
  EXPECT_EQ(FormatNewsFont(font), "-16;700;1;1;0;DejaVu Sans; Mono");
  EXPECT_EQ(ParseNewsFont(FormatNewsFont(font)), font);
  EXPECT_FALSE(ParseNewsFont("12;x;0;0;0;Face"));
  EXPECT_FALSE(ParseNewsFont(""));

  ASSERT_TRUE(WriteNewsColour(kNewsArticlesReadColour, 0x00336699));
  ASSERT_TRUE(WriteNewsNumber(kNewsNewsgroupsRetrieveTheList, 0));
  settings = ReadNewsSettings();
  EXPECT_EQ(settings.readColour, 0x00336699u);
  EXPECT_EQ(settings.newsgroupsRetrieveTheList, 0u);
  EXPECT_TRUE(settings.newsgroupsRetrieveTheListStored);
}

}  // namespace
}  // namespace netrove

namespace netrove {
namespace {

// A follow-up goes where the article asks: Followup-To, else every group of
// its Newsgroups, never just the group it was read in; "poster" is said.
TEST(NewsArticle, FollowUpsGoWhereTheArticleAsks) {
  const FollowUpTarget crossPosted = FollowUpGroups("a.one, b.two", "", "a.one");
  EXPECT_EQ(crossPosted.newsgroups, "a.one,b.two");
  EXPECT_FALSE(crossPosted.toPoster);
  EXPECT_EQ(FollowUpGroups("a.one,b.two", " c.three", "a.one").newsgroups, "c.three");
  const FollowUpTarget byMail = FollowUpGroups("a.one", "Poster", "a.one");
  EXPECT_TRUE(byMail.toPoster);
  EXPECT_EQ(byMail.newsgroups, "a.one");
  EXPECT_EQ(FollowUpGroups("", "", "read.here").newsgroups, "read.here");
}

}  // namespace
}  // namespace netrove
