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
  test::NntpRecorder events;
  test::RecordingReporter reporter;
  CNNTPConnection connection(inn.port(), events, reporter, "127.0.0.1");
  ASSERT_TRUE(connection.Start());
  ASSERT_TRUE(events.WaitFor([](const auto& r) { return !r.greetings.empty(); }));
  EXPECT_TRUE(events.Seen().greetings[0]);

  for (int number = 1; number <= 3; ++number) {
    ASSERT_EQ(connection.QueueCommand(kNntpPost, Seed(number), {7}), QueueOutcome::Queued);
  }
  const std::string refused =
      ArticleWireForm("From: tester@netrove.test\nNewsgroups: no.such.group\nSubject: x\n", "x\n");
  ASSERT_EQ(connection.QueueCommand(kNntpPost, refused, {7}), QueueOutcome::Queued);
  ASSERT_TRUE(events.WaitFor([](const auto& r) { return r.posts.size() == 4; }));
  std::vector<NntpPostOutcome> outcomes;
  for (const auto& post : events.Seen().posts) outcomes.push_back(post.outcome);
  EXPECT_EQ(outcomes,
            (std::vector<NntpPostOutcome>{NntpPostOutcome::Posted, NntpPostOutcome::Posted,
                                          NntpPostOutcome::Posted, NntpPostOutcome::Failed}));
  // The refusal says why, in the server's words.
  EXPECT_EQ(events.Seen().posts[3].reply.substr(0, 3), "441");

  // The list, then a group walk of two from the newest article back.
  ASSERT_EQ(connection.QueueCommand(kNntpList), QueueOutcome::Queued);
  ASSERT_EQ(connection.QueueCommand(kNntpGroup, "local.test"), QueueOutcome::Queued);
  ASSERT_TRUE(events.WaitFor([](const auto& r) { return !r.groups.empty(); }));
  const NntpGroupCounts counts = events.Seen().groups[0];
  EXPECT_EQ(counts.last, 3);
  NntpWalk back;
  back.from = counts.last;
  back.fromItself = true;
  back.count = 2;
  ASSERT_EQ(connection.QueueWalk(back), QueueOutcome::Queued);
  // A walk forward from the oldest, ended by the server's "no next article".
  NntpWalk forward;
  forward.step = kNntpNext;
  forward.from = 1;
  forward.count = 5;
  ASSERT_EQ(connection.QueueWalk(forward), QueueOutcome::Queued);
  ASSERT_EQ(connection.QueueCommand(kNntpArticle, "2"), QueueOutcome::Queued);
  ASSERT_EQ(connection.QueueCommand(kNntpBody, "3"), QueueOutcome::Queued);
  ASSERT_TRUE(events.WaitFor([](const auto& r) { return r.articles.size() == 2; }));

  const auto seen = events.Seen();
  ASSERT_EQ(seen.lists.size(), 1u);
  EXPECT_NE(seen.lists[0].find("local.test 0000000003 0000000001 y\r\n"), std::string::npos);
  EXPECT_EQ(seen.HeaderNumbers(), (std::vector<long>{3, 2, 2, 3}));
  EXPECT_EQ(HeaderValue(*seen.articles[0], "Subject"), "Seed 2");
  EXPECT_NE(seen.articles[0]->find("\r\n\r\nBody 2\r\n.starts with a dot\r\n"), std::string::npos);
  EXPECT_EQ(*seen.articles[1], "Body 3\r\n.starts with a dot\r\n");
  EXPECT_TRUE(seen.refusals.empty());

  connection.Disconnect();
  ASSERT_TRUE(events.WaitClosed());
  EXPECT_TRUE(reporter.Messages().empty());
}

}  // namespace
}  // namespace netrove
