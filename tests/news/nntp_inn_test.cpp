// The NNTP connection against a real news server: a private INN on a
// loopback port, seeded by posting, walked, read and left with QUIT.
#include <gtest/gtest.h>

#include <memory>

#include "inn_fixture.h"
#include "news/article_text.h"
#include "news/nntp_connection.h"
#include "news/nntp_recorder.h"
#include "support/recording_reporter.h"

namespace netrove {
namespace {

std::string Seed(int number) {
  return ArticleWireForm("From: tester@netrove.test\nNewsgroups: local.test\nSubject: Seed " +
                             std::to_string(number) + "\n",
                         "Body " + std::to_string(number) + "\n.starts with a dot\n");
}

TEST(NntpAgainstInn, PostsWalksReadsAndQuits) {
  NETROVE_REQUIRE_INN();
  test::InnInstance inn;
  ASSERT_TRUE(inn.started()) << "the private INN did not start";
  test::NntpRecorder panes;
  test::RecordingReporter reporter;
  CNNTPConnection connection(inn.port(), panes, reporter, "127.0.0.1");
  ASSERT_TRUE(connection.Start());
  ASSERT_TRUE(panes.WaitFor(WM_NNTP_STATUS, 200));

  for (int number = 1; number <= 3; ++number) {
    ASSERT_EQ(connection.QueueCommand(kNntpPost, Seed(number), 0, {7}), QueueOutcome::Queued);
  }
  const std::string refused =
      ArticleWireForm("From: tester@netrove.test\nNewsgroups: no.such.group\nSubject: x\n", "x\n");
  ASSERT_EQ(connection.QueueCommand(kNntpPost, refused, 0, {7}), QueueOutcome::Queued);
  ASSERT_TRUE(panes.WaitFor(WM_NNTP_STATUS, 441));
  std::vector<long> outcomes;
  for (const auto& message : panes.Of(WM_NNTP_STATUS)) {
    if (message.window == 7) outcomes.push_back(message.wParam);
  }
  EXPECT_EQ(outcomes, (std::vector<long>{240, 240, 240, 441}));

  // The list, then a group walk of two from the newest article back.
  panes.answer = [](const NntpMessage& message) -> long {
    return message.id == WM_NNTP_GROUPINFO && message.wParam == 200 ? 2 : 0;
  };
  ASSERT_EQ(connection.QueueCommand(kNntpList), QueueOutcome::Queued);
  ASSERT_EQ(connection.QueueCommand(kNntpGroup, "local.test"), QueueOutcome::Queued);
  ASSERT_TRUE(test::WaitUntil([&] { return panes.Of(WM_NNTP_HEADERS).size() == 2; }));
  // A walk forward from the oldest, ended by the server's "no next article".
  connection.SetStepCommand(kNntpNext);
  ASSERT_EQ(connection.QueueCommand(kNntpStat, "1"), QueueOutcome::Queued);
  ASSERT_EQ(connection.QueueCommand(kNntpNext), QueueOutcome::Queued);
  ASSERT_EQ(connection.QueueCommand(kNntpHead, std::nullopt, 5), QueueOutcome::Queued);
  ASSERT_EQ(connection.QueueCommand(kNntpArticle, "2"), QueueOutcome::Queued);
  ASSERT_EQ(connection.QueueCommand(kNntpBody, "3"), QueueOutcome::Queued);
  ASSERT_TRUE(test::WaitUntil([&] { return panes.Of(WM_NNTP_ARTICLE).size() == 2; }));

  const auto lists = panes.Of(WM_NNTP_GROUPLIST);
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_NE(lists[1].text->find("local.test 0000000003 0000000001 y\r\n"), std::string::npos);
  std::vector<int> walked;
  for (const auto& message : panes.Of(WM_NNTP_HEADERS)) walked.push_back(message.articleNumber);
  EXPECT_EQ(walked, (std::vector<int>{3, 2, 2, 3}));
  const auto articles = panes.Of(WM_NNTP_ARTICLE);
  EXPECT_EQ(HeaderValue(*articles[0].text, "Subject"), "Seed 2");
  EXPECT_NE(articles[0].text->find("\r\n\r\nBody 2\r\n.starts with a dot\r\n"), std::string::npos);
  EXPECT_EQ(*articles[1].text, "Body 3\r\n.starts with a dot\r\n");

  connection.Disconnect();
  ASSERT_TRUE(panes.WaitFor(WM_NNTP_CLOSED, 0));
  EXPECT_TRUE(reporter.Messages().empty());
}

}  // namespace
}  // namespace netrove
