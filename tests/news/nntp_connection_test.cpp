// The NNTP connection against scripted servers, with no window at all: the
// exact bytes it sends, the events it raises, and how it ends.
#include "news/nntp_connection.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "news/nntp_recorder.h"
#include "support/recording_reporter.h"
#include "support/scripted_server.h"

namespace netrove {
namespace {

// A server that reads news already, as its CAPABILITIES say.
constexpr char kReaderCapabilities[] = "101 Capability list:\r\nVERSION 2\r\nREADER\r\n.\r\n";

using std::chrono::milliseconds;
using test::NntpRecorder;
using test::RecordedNntp;
using test::Script;

std::string HeadReply(long number) {
  return "221 " + std::to_string(number) + " <" + std::to_string(number) +
         "@test> head\r\nSubject: s" + std::to_string(number) + "\r\nMessage-ID: <" +
         std::to_string(number) + "@test>\r\n.\r\n";
}

NntpWalk Walk(int step, std::optional<long> from, long count, bool fromItself = false) {
  NntpWalk walk;
  walk.step = step;
  walk.from = from;
  walk.fromItself = fromItself;
  walk.count = count;
  return walk;
}

class NntpConnectionTest : public ::testing::Test {
 protected:
  void Connect() {
    connection_ =
        std::make_unique<CNNTPConnection>(server_.port(), events_, reporter_, "127.0.0.1");
    ASSERT_TRUE(connection_->Start());
  }
  template <class Condition>
  bool WaitFor(Condition condition) const {
    return events_.WaitFor(condition);
  }

  test::CScriptedServer server_;
  NntpRecorder events_;
  test::RecordingReporter reporter_;
  std::unique_ptr<CNNTPConnection> connection_;
};

TEST_F(NntpConnectionTest, GreetingComesFirstAndBlocksAreUnstuffedUpToTheLoneDot) {
  server_.Start(Script()
                    .Accept()
                    .Wait(milliseconds(100))
                    .Send("200-Welcome\r\n200 posting ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("LIST")
                    .SendInPieces({"215 list follows\r\nalt.a 5 1 y\r\n..dots 3 1 y\r\n.s",
                                   "ig\r\n240 not a reply\r\n.\r", "\n"},
                                  milliseconds(20))
                    .ExpectLine("QUIT")
                    .Send("205 bye\r\n")
                    .Close());
  Connect();
  // Queued while the greeting is still awaited: sent only after it.
  ASSERT_EQ(connection_->QueueCommand(kNntpList), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitIdle());
  connection_->Disconnect();
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());

  const RecordedNntp seen = events_.Seen();
  EXPECT_EQ(seen.greetings, (std::vector<bool>{true}));  // the two-line greeting is one reply
  ASSERT_EQ(seen.lists.size(), 1u);
  EXPECT_EQ(seen.lists[0], "alt.a 5 1 y\r\n.dots 3 1 y\r\nsig\r\n240 not a reply\r\n");
  EXPECT_TRUE(seen.posts.empty());  // "240" in the block posted nothing
  EXPECT_TRUE(seen.refusals.empty());
}

// A server that switches modes is asked to read news before anything else;
// one too old for CAPABILITIES is asked all the same; one that reads news
// already is not.
TEST_F(NntpConnectionTest, ModeReaderGoesFirstUnlessTheServerReadsAlready) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 transit and reader\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send("101 Capability list:\r\nVERSION 2\r\nIHAVE\r\nMODE-READER\r\n.\r\n")
                    .ExpectLine("MODE READER")
                    .Send("201 reader, no posting\r\n")
                    .ExpectLine("LIST")
                    .Send("215 list\r\n.\r\n")
                    .ExpectLine("QUIT")
                    .Send("205 bye\r\n")
                    .Close()
                    .Accept()
                    .Send("200 old server\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send("500 What?\r\n")
                    .ExpectLine("MODE READER")
                    .Send("200 ok\r\n")
                    .ExpectLine("QUIT")
                    .Send("205 bye\r\n")
                    .Close());
  Connect();
  // Queued before the greeting: it waits for the switch.
  ASSERT_EQ(connection_->QueueCommand(kNntpList), QueueOutcome::Queued);
  ASSERT_TRUE(WaitFor([](const RecordedNntp& r) { return r.lists.size() == 1; }));
  connection_->Disconnect();
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_EQ(events_.Seen().greetings, (std::vector<bool>{true, false}));
  EXPECT_EQ(connection_->QueueCommand(kNntpModeReader), QueueOutcome::NotSent);
  NntpRecorder old;
  CNNTPConnection second(server_.port(), old, reporter_, "127.0.0.1");
  ASSERT_TRUE(second.Start());
  ASSERT_TRUE(old.WaitIdle());
  second.Disconnect();
  ASSERT_TRUE(old.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  EXPECT_EQ(old.Seen().greetings, (std::vector<bool>{true, true}));
  EXPECT_TRUE(old.Seen().refusals.empty());
}

TEST_F(NntpConnectionTest, WalkPassesKnownArticlesByAndSendsEachStepWithItsHead) {
  Script script;
  script.Accept()
      .Send("200 ok\r\n")
      .ExpectLine("CAPABILITIES")
      .Send(kReaderCapabilities)
      .ExpectLine("GROUP local.test");
  script.Send("211 10 1 10 local.test\r\n").ExpectLine("STAT 10").Send("223 10 <10@test>\r\n");
  script.ExpectLine("HEAD").Send(HeadReply(10));
  for (int number = 9; number >= 4; --number) {
    script.Expect("LAST\r\nHEAD\r\n")
        .Send("223 " + std::to_string(number) + " <x> ok\r\n")
        .Send(HeadReply(number));
  }
  server_.Start(std::move(script));
  Connect();
  ASSERT_EQ(connection_->QueueCommand(kNntpGroup, "local.test"), QueueOutcome::Queued);
  ASSERT_TRUE(WaitFor([](const RecordedNntp& r) { return !r.groups.empty(); }));
  const NntpGroupCounts counts = events_.Seen().groups[0];
  EXPECT_EQ(counts.count, 10);
  EXPECT_EQ(counts.first, 1);
  EXPECT_EQ(counts.last, 10);
  // Two of the articles are known already: five wanted, seven retrieved.
  NntpWalk walk = Walk(kNntpLast, counts.last, 5, true);
  walk.known = {9, 7};
  ASSERT_EQ(connection_->QueueWalk(walk), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitIdle(2));
  EXPECT_TRUE(server_.Finished());
  const RecordedNntp seen = events_.Seen();
  EXPECT_EQ(seen.HeaderNumbers(), (std::vector<long>{10, 9, 8, 7, 6, 5, 4}));
  EXPECT_EQ(seen.headers[0].text, "Subject: s10\r\nMessage-ID: <10@test>\r\n");
  EXPECT_EQ(seen.headerSteps, (std::vector<int>{kNntpLast}));
  EXPECT_EQ(seen.refreshed, (std::vector<bool>{false}));
}

std::string OverviewLine(long number, const std::string& extra = "") {
  const std::string n = std::to_string(number);
  return n + "\ts" + n + "\ta@test\tdate\t<" + n + "@test>\t\t100\t5" + extra + "\r\n";
}

// Where the server keeps an overview, a walk asks for ranges: an empty one
// is stepped over, lines outside the range or without a message-id do not
// count, and the walk ends once enough have counted.
TEST_F(NntpConnectionTest, OverviewWalkAsksForRangesAndCountsAsTheHeadWalkDoes) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send("101 list\r\nVERSION 2\r\nREADER\r\nOVER MSGID\r\n.\r\n")
                    .ExpectLine("GROUP local.test")
                    .Send("211 30 1 40 local.test\r\n")
                    .ExpectLine("OVER 22-40")
                    .Send("224 overview\r\n" + OverviewLine(38) + OverviewLine(40) +
                          "39\tno id\tb\tc\t\t\r\n" + OverviewLine(77) + "x\tbad\r\n.\r\n")
                    .ExpectLine("OVER 4-21")
                    .Send("423 none in that range\r\n")
                    .ExpectLine("OVER 1-3")
                    .Send("224 overview\r\n" + OverviewLine(2) + OverviewLine(3) + ".\r\n")
                    .ExpectLine("QUIT")
                    .Send("205 bye\r\n")
                    .Close());
  Connect();
  ASSERT_EQ(connection_->QueueCommand(kNntpGroup, "local.test"), QueueOutcome::Queued);
  ASSERT_TRUE(WaitFor([](const RecordedNntp& r) { return !r.groups.empty(); }));
  EXPECT_EQ(connection_->Overview(), NntpOverview::Over);
  NntpWalk walk = Walk(kNntpLast, 40, 3, true);
  walk.known = {38};
  ASSERT_EQ(connection_->QueueWalk(walk), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitIdle(2));
  connection_->Disconnect();
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  const RecordedNntp seen = events_.Seen();
  EXPECT_EQ(seen.HeaderNumbers(), (std::vector<long>{40, 39, 38, 3, 2}));
  EXPECT_EQ(seen.headers[0].text,
            "Subject: s40\r\nFrom: a@test\r\nDate: date\r\nMessage-ID: <40@test>\r\nBytes: "
            "100\r\nLines: 5\r\n");
  EXPECT_TRUE(seen.refusals.empty());
}

// A server that lists OVER but refuses it: the walk goes on with HEAD from
// where it is, and the next walk uses HEAD from the start.
TEST_F(NntpConnectionTest, RefusedOverviewFallsBackToTheHeadWalk) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send("101 list\r\nREADER\r\nXOVER\r\n.\r\n")
                    .ExpectLine("XOVER 1-10")
                    .Send("503 overview not kept\r\n")
                    .ExpectLine("STAT 10")
                    .Send("223 10 <10@test>\r\n")
                    .ExpectLine("HEAD")
                    .Send(HeadReply(10))
                    .ExpectLine("STAT 5")
                    .Send("223 5 <5@test>\r\n")
                    .ExpectLine("HEAD")
                    .Send(HeadReply(5))
                    .ExpectLine("QUIT")
                    .Send("205 bye\r\n")
                    .Close());
  Connect();
  ASSERT_TRUE(events_.WaitIdle());
  EXPECT_EQ(connection_->Overview(), NntpOverview::Xover);
  ASSERT_EQ(connection_->QueueWalk(Walk(kNntpLast, 10, 1, true)), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitIdle(2));
  EXPECT_EQ(connection_->Overview(), NntpOverview::None);
  ASSERT_EQ(connection_->QueueWalk(Walk(kNntpLast, 5, 1, true)), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitIdle(3));
  connection_->Disconnect();
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  EXPECT_EQ(events_.Seen().HeaderNumbers(), (std::vector<long>{10, 5}));
  EXPECT_TRUE(events_.Seen().refusals.empty());
}

TEST_F(NntpConnectionTest, StatBacksOffToTheGroupStartAndWalkEndsOnNoNext) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("GROUP g")
                    .Send("211 0 98 99 g\r\n")
                    .ExpectLine("STAT 100")
                    .Send("423 no such article\r\n")
                    .ExpectLine("STAT 99")
                    .Send("223 99 <99@test>\r\n")
                    .Expect("NEXT\r\nHEAD\r\n")
                    .Send("421 no next article\r\n")
                    // The HEAD sent with the step is answered, and dropped.
                    .Send(HeadReply(99))
                    // Below the group's first number the back-off ends.
                    .ExpectLine("STAT 98")
                    .Send("423 gone\r\n")
                    .ExpectLine("ARTICLE 5")
                    .Send("430 no such article\r\n"));
  Connect();
  ASSERT_EQ(connection_->QueueCommand(kNntpGroup, "g"), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueWalk(Walk(kNntpNext, 100, 3)), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueWalk(Walk(kNntpNext, 98, 3)), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpArticle, "5"), QueueOutcome::Queued);
  ASSERT_TRUE(WaitFor([](const RecordedNntp& r) { return !r.articles.empty(); }));
  ASSERT_TRUE(events_.WaitIdle());
  EXPECT_TRUE(server_.Finished());
  const RecordedNntp seen = events_.Seen();
  ASSERT_EQ(seen.groups.size(), 1u);
  EXPECT_EQ(seen.groups[0].count, 0);
  EXPECT_EQ(seen.problems, (std::vector<NntpGroupProblem>{NntpGroupProblem::Empty}));
  EXPECT_TRUE(seen.headers.empty());
  EXPECT_FALSE(seen.articles[0].has_value());
  EXPECT_TRUE(seen.refusals.empty());
}

// A hostile server: one that repeats an article for ever, and one whose
// range is all holes. Neither keeps a walk going.
TEST_F(NntpConnectionTest, RepeatedArticlesAndEndlessHolesEndTheWalk) {
  Script script;
  script.Accept()
      .Send("200 ok\r\n")
      .ExpectLine("CAPABILITIES")
      .Send(kReaderCapabilities)
      .ExpectLine("STAT 50")
      .Send("223 50 <50@test>\r\n");
  script.ExpectLine("HEAD").Send(HeadReply(50));
  script.Expect("LAST\r\nHEAD\r\n").Send("223 49 <49@test>\r\n").Send(HeadReply(49));
  script.Expect("LAST\r\nHEAD\r\n").Send("223 50 <50@test>\r\n").Send(HeadReply(50));
  for (long number = 1000000; number >= 1000000 - CNNTPConnection::kBackOffLimit; --number) {
    script.ExpectLine("STAT " + std::to_string(number)).Send("423 no such article\r\n");
  }
  script.ExpectLine("QUIT").Send("205 bye\r\n").Close();
  server_.Start(std::move(script));
  Connect();
  ASSERT_EQ(connection_->QueueWalk(Walk(kNntpLast, 50, 100, true)), QueueOutcome::Queued);
  ASSERT_EQ(connection_->QueueWalk(Walk(kNntpLast, 1000000, 10, true)), QueueOutcome::Queued);
  ASSERT_TRUE(WaitFor([](const RecordedNntp& r) { return !r.problems.empty(); }));
  connection_->Disconnect();
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  const RecordedNntp seen = events_.Seen();
  EXPECT_EQ(seen.HeaderNumbers(), (std::vector<long>{50, 49}));
  EXPECT_EQ(seen.problems, (std::vector<NntpGroupProblem>{NntpGroupProblem::Empty}));
}

TEST_F(NntpConnectionTest, RefusedCommandsSayWhyAndEndTheirWalk) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("LIST")
                    .Send("480 Authentication required\r\n")
                    .ExpectLine("STAT 7")
                    .Send("500 What?\r\n")
                    .ExpectLine("GROUP after")
                    .Send("211 1 1 1 after\r\n"));
  Connect();
  ASSERT_EQ(connection_->QueueCommand(kNntpList), QueueOutcome::Queued);
  ASSERT_EQ(connection_->QueueWalk(Walk(kNntpLast, 7, 3)), QueueOutcome::Queued);
  ASSERT_EQ(connection_->QueueCommand(kNntpGroup, "after"), QueueOutcome::Queued);
  ASSERT_TRUE(WaitFor([](const RecordedNntp& r) { return !r.groups.empty(); }));
  ASSERT_TRUE(events_.WaitIdle());
  EXPECT_TRUE(server_.Finished());
  const RecordedNntp seen = events_.Seen();
  ASSERT_EQ(seen.refusals.size(), 2u);
  EXPECT_EQ(seen.refusals[0].command, kNntpList);
  EXPECT_EQ(seen.refusals[0].reply, "480 Authentication required");
  EXPECT_EQ(seen.refusals[1].command, kNntpStat);
  EXPECT_EQ(seen.refusals[1].reply, "500 What?");
}

TEST_F(NntpConnectionTest, NoNextAfterALoneStatKeepsTheNextCommand) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("STAT 5")
                    .Send("421 no current\r\n")
                    .ExpectLine("POST")
                    .Send("340 send it\r\n")
                    .Expect("Subject: x\r\n\r\n..sig\r\n.\r\n")
                    .Send("240 posted\r\n")
                    .ExpectLine("POST")
                    .Send("340 send it\r\n")
                    .Expect("Newsgroups: no.such\r\n\r\nbody\r\n.\r\n")
                    .Send("441 no such group\r\n"));
  Connect();
  EXPECT_EQ(connection_->QueueCommand(kNntpStat, "5"), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpPost, "Subject: x\r\n\r\n..sig\r\n.\r\n", {42}),
            QueueOutcome::Queued);
  EXPECT_EQ(
      connection_->QueueCommand(kNntpPost, "Newsgroups: no.such\r\n\r\nbody\r\n.\r\n", {42, 43}),
      QueueOutcome::Queued);
  ASSERT_TRUE(WaitFor([](const RecordedNntp& r) { return r.posts.size() == 3; }));
  EXPECT_TRUE(server_.Finished());
  const auto posts = events_.Seen().posts;
  EXPECT_EQ(posts[0].window, 42u);
  EXPECT_EQ(posts[0].outcome, NntpPostOutcome::Posted);
  EXPECT_EQ(posts[1].outcome, NntpPostOutcome::Failed);
  EXPECT_EQ(posts[1].reply, "441 no such group");
  EXPECT_EQ(posts[2].window, 43u);
}

// A posting window hides until its POST's outcome: a POST refused with 5xx,
// and one still queued when the server goes away, must both report back.
TEST_F(NntpConnectionTest, EveryPostThatEndsWithoutAVerdictTellsItsWindows) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("POST")
                    .Send("502 not for you\r\n")
                    .ExpectLine("POST")
                    .Close());
  Connect();
  EXPECT_EQ(connection_->QueueCommand(kNntpPost, "a\r\n.\r\n", {7}), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpPost, "b\r\n.\r\n", {8, 9}), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpPost, "c\r\n.\r\n", {10}), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  connection_->Close();

  std::vector<NntpWindow> told;
  for (const auto& post : events_.Seen().posts) {
    EXPECT_EQ(post.outcome, NntpPostOutcome::Unanswered);
    told.push_back(post.window);
  }
  EXPECT_EQ(told, (std::vector<NntpWindow>{7, 8, 9, 10}));  // each once
  EXPECT_EQ(events_.Seen().posts[0].reply, "502 not for you");
}

TEST_F(NntpConnectionTest, CloseInsideADataBlockDeliversNothing) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("ARTICLE <a@b>")
                    .Send("220 0 <a@b> article\r\nSubject: cut\r\n\r\npart")
                    .Close());
  Connect();
  EXPECT_EQ(connection_->QueueCommand(kNntpArticle, "<a@b>"), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  EXPECT_TRUE(events_.Seen().articles.empty());
  EXPECT_EQ(events_.Seen().end, NntpEnd::ByServer);
  EXPECT_EQ(connection_->QueueCommand(kNntpList), QueueOutcome::Ended);
}

TEST_F(NntpConnectionTest, DisconnectFromASilentServerEndsAfterTheGrace) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("GROUP slow")
                    .Send("211 3 1 3 slow\r\n")
                    .ExpectLine("STAT 3")
                    .ExpectClosed());
  Connect();
  ASSERT_EQ(connection_->QueueCommand(kNntpGroup, "slow"), QueueOutcome::Queued);
  ASSERT_EQ(connection_->QueueWalk(Walk(kNntpLast, 3, 3, true)), QueueOutcome::Queued);
  ASSERT_TRUE(WaitFor([](const RecordedNntp& r) { return !r.groups.empty(); }));
  // The silent server still owes the STAT reply: the HEAD behind it goes,
  // QUIT comes next, and the connection ends anyway.
  connection_->Disconnect(milliseconds(300));
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  EXPECT_TRUE(reporter_.Messages().empty());
  EXPECT_EQ(events_.Seen().end, NntpEnd::Asked);
}

// An article that never ends: reading stops at the bound, with a message,
// instead of growing without limit.
TEST_F(NntpConnectionTest, AnEndlessArticleIsCutOffAtTheBound) {
  std::string mebibyte;
  while (mebibyte.size() < (std::size_t{1} << 20)) mebibyte += std::string(1022, 'x') + "\r\n";
  Script script;
  script.Accept()
      .Send("200 ok\r\n")
      .ExpectLine("CAPABILITIES")
      .Send(kReaderCapabilities)
      .ExpectLine("ARTICLE 1")
      .Send("220 1 <1@x>\r\n");
  constexpr std::size_t kLimit = std::size_t{4} << 20;  // the bound at work, with less traffic
  for (std::size_t sent = 0; sent < kLimit; sent += mebibyte.size()) script.Send(mebibyte);
  // Exactly the bound so far; one more line is over it.
  script.Send("y\r\n").ExpectClosed();
  server_.Start(std::move(script));
  connection_ = std::make_unique<CNNTPConnection>(server_.port(), events_, reporter_, "127.0.0.1");
  connection_->SetBlockLimit(kLimit);
  ASSERT_TRUE(connection_->Start());
  ASSERT_EQ(connection_->QueueCommand(kNntpArticle, "1"), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  EXPECT_TRUE(events_.Seen().articles.empty());
  ASSERT_EQ(reporter_.Texts().size(), 1u);
  EXPECT_NE(reporter_.Texts()[0].find("more than 4 MiB"), std::string::npos);
  EXPECT_EQ(CNNTPConnection::kBlockLimit, std::size_t{64} << 20);
}

// A server that never greets, and one that stops answering: each reply has
// the time-out, and the connection is left with a message when it passes.
TEST_F(NntpConnectionTest, ASilentServerIsLeftAfterTheReplyTimeout) {
  server_.Start(Script()
                    .Accept()
                    .ExpectClosed()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("GROUP slow")
                    .ExpectClosed());
  for (int run = 0; run < 2; ++run) {
    NntpRecorder events;
    CNNTPConnection connection(server_.port(), events, reporter_, "127.0.0.1");
    connection.SetReplyTimeout(milliseconds(300));
    ASSERT_TRUE(connection.Start());
    if (run == 1) {
      ASSERT_TRUE(events.WaitIdle());
      ASSERT_EQ(connection.QueueCommand(kNntpGroup, "slow"), QueueOutcome::Queued);
    }
    ASSERT_TRUE(events.WaitClosed());
    EXPECT_EQ(events.Seen().end, NntpEnd::Failed);
  }
  EXPECT_TRUE(server_.Finished());
  ASSERT_EQ(reporter_.Texts().size(), 2u);
  EXPECT_EQ(reporter_.Texts()[1],
            "The server did not answer within 1 second; the connection was closed.");
}

TEST_F(NntpConnectionTest, RefusesOverlongArgumentsAndEndlessLines) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("GROUP ok")
                    .Send("502 access denied\r\n")
                    .Send(std::string(CNNTPConnection::kLineLimit + 10, 'x'))
                    .ExpectClosed());
  Connect();
  EXPECT_EQ(connection_->QueueCommand(kNntpGroup, std::string(600, 'g')),
            QueueOutcome::ArgumentTooLong);
  EXPECT_EQ(connection_->QueueCommand(kNntpGroup, "a\r\nQUIT"), QueueOutcome::ArgumentTooLong);
  EXPECT_EQ(connection_->QueueWalk(Walk(kNntpLast, 5, 0)), QueueOutcome::NothingWanted);
  EXPECT_EQ(connection_->QueueCommand(kNntpGroup, "ok"), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  const auto refusals = events_.Seen().refusals;
  ASSERT_EQ(refusals.size(), 1u);
  EXPECT_EQ(refusals[0].command, kNntpGroup);
  EXPECT_EQ(reporter_.Texts().size(), 3u);
}

}  // namespace
}  // namespace netrove
