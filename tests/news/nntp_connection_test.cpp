// The NNTP connection against scripted servers: the exact bytes it sends,
// what it delivers to the panes, and how it ends.
#include "news/nntp_connection.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "news/nntp_recorder.h"
#include "support/recording_reporter.h"
#include "support/scripted_server.h"

namespace netrove {
namespace {

using std::chrono::milliseconds;
using test::NntpRecorder;
using test::Script;

std::string HeadReply(int number) {
  return "221 " + std::to_string(number) + " <" + std::to_string(number) +
         "@test> head\r\nSubject: s" + std::to_string(number) + "\r\n.\r\n";
}

class NntpConnectionTest : public ::testing::Test {
 protected:
  void Connect() {
    connection_ = std::make_unique<CNNTPConnection>(server_.port(), panes_, reporter_, "127.0.0.1");
    ASSERT_TRUE(connection_->Start());
  }
  // `count` messages `id` have come and the connection went idle after them.
  bool WaitIdleAfter(unsigned id, std::size_t count) const {
    return test::WaitUntil([&] {
      const auto all = panes_.All();
      return panes_.Of(id).size() >= count && all.back().id == WM_NNTP_BUSY &&
             all.back().wParam == 0;
    });
  }
  std::vector<long> GroupInfo() const {
    std::vector<long> codes;
    for (const auto& message : panes_.Of(WM_NNTP_GROUPINFO)) codes.push_back(message.wParam);
    return codes;
  }

  test::CScriptedServer server_;
  NntpRecorder panes_;
  test::RecordingReporter reporter_;
  std::unique_ptr<CNNTPConnection> connection_;
};

TEST_F(NntpConnectionTest, GreetingComesFirstAndBlocksAreUnstuffedUpToTheLoneDot) {
  server_.Start(Script()
                    .Accept()
                    .Wait(milliseconds(100))
                    .Send("200-Welcome\r\n200 posting ok\r\n")
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
  ASSERT_TRUE(panes_.WaitIdle());
  connection_->Disconnect();
  ASSERT_TRUE(panes_.WaitFor(WM_NNTP_CLOSED, 0));
  EXPECT_TRUE(server_.Finished());

  const auto status = panes_.Of(WM_NNTP_STATUS);
  ASSERT_EQ(status.size(), 1u);  // the two-line greeting is one reply
  EXPECT_EQ(status[0].wParam, 200);
  const auto lists = panes_.Of(WM_NNTP_GROUPLIST);
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_FALSE(lists[0].text.has_value());
  ASSERT_TRUE(lists[1].text.has_value());
  EXPECT_EQ(*lists[1].text, "alt.a 5 1 y\r\n.dots 3 1 y\r\nsig\r\n240 not a reply\r\n");
  EXPECT_EQ(lists[1].lParam, 4);
  EXPECT_TRUE(panes_.Of(WM_NNTP_STATUS).size() == 1);  // "240" in the block posted nothing
}

TEST_F(NntpConnectionTest, GroupWalkGoesBackAndRetrievesUntilEnoughCount) {
  Script script;
  script.Accept().Send("200 ok\r\n").ExpectLine("GROUP local.test");
  script.Send("211 10 1 10 local.test\r\n").ExpectLine("STAT 10").Send("223 10 <10@test>\r\n");
  script.ExpectLine("HEAD").Send(HeadReply(10));
  for (int number = 9; number >= 4; --number) {
    script.ExpectLine("LAST").Send("223 " + std::to_string(number) + " <x> ok\r\n");
    script.ExpectLine("HEAD").Send(HeadReply(number));
  }
  server_.Start(std::move(script));
  // Two of the articles do not count: five wanted, seven retrieved.
  panes_.answer = [](const NntpMessage& message) -> long {
    if (message.id == WM_NNTP_GROUPINFO && message.wParam == 200) return 5;
    if (message.id == WM_NNTP_HEADERS)
      return message.articleNumber == 9 || message.articleNumber == 7;
    return 0;
  };
  Connect();
  // A step left at NEXT by an earlier Retrieve New must not turn the walk.
  connection_->SetStepCommand(kNntpNext);
  ASSERT_EQ(connection_->QueueCommand(kNntpGroup, "local.test"), QueueOutcome::Queued);
  ASSERT_TRUE(WaitIdleAfter(WM_NNTP_HEADERS, 7));
  EXPECT_TRUE(server_.Finished());
  EXPECT_EQ(GroupInfo(), (std::vector<long>{212, 213, 200}));
  const auto headers = panes_.Of(WM_NNTP_HEADERS);
  ASSERT_EQ(headers.size(), 7u);
  EXPECT_EQ(headers[0].articleNumber, 10);
  EXPECT_EQ(headers[6].articleNumber, 4);
  EXPECT_EQ(headers[0].stepCommand, kNntpLast);
  EXPECT_EQ(*headers[0].text, "Subject: s10\r\n");
}

TEST_F(NntpConnectionTest, StatBacksOffToTheGroupStartAndWalkEndsOnNoNext) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("GROUP g")
                    .Send("211 0 98 99 g\r\n")
                    .ExpectLine("STAT 100")
                    .Send("423 no such article\r\n")
                    .ExpectLine("STAT 99")
                    .Send("223 99 <99@test>\r\n")
                    .ExpectLine("NEXT")
                    .Send("421 no next article\r\n")
                    // Below the group's first number the back-off ends.
                    .ExpectLine("STAT 98")
                    .Send("423 gone\r\n")
                    .ExpectLine("ARTICLE 5")
                    .Send("430 no such article\r\n"));
  Connect();
  ASSERT_EQ(connection_->QueueCommand(kNntpGroup, "g"), QueueOutcome::Queued);
  connection_->SetStepCommand(kNntpNext);
  EXPECT_EQ(connection_->QueueCommand(kNntpStat, "100"), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpNext), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpHead, std::nullopt, 3), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpStat, "98"), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpNext), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpHead, std::nullopt, 3), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpArticle, "5"), QueueOutcome::Queued);
  ASSERT_TRUE(WaitIdleAfter(WM_NNTP_ARTICLE, 1));
  EXPECT_TRUE(server_.Finished());
  // Count 0: no walk; the failed back-off ends with (211, 0).
  EXPECT_EQ(GroupInfo(), (std::vector<long>{212, 213, 211, 211}));
  EXPECT_TRUE(panes_.Of(WM_NNTP_HEADERS).empty());
  EXPECT_FALSE(panes_.Of(WM_NNTP_ARTICLE)[0].text.has_value());
}

TEST_F(NntpConnectionTest, NoNextAfterALoneStatKeepsTheNextCommand) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
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
  EXPECT_EQ(connection_->QueueCommand(kNntpPost, "Subject: x\r\n\r\n..sig\r\n.\r\n", 0, {42}),
            QueueOutcome::Queued);
  EXPECT_EQ(
      connection_->QueueCommand(kNntpPost, "Newsgroups: no.such\r\n\r\nbody\r\n.\r\n", 0, {42, 43}),
      QueueOutcome::Queued);
  ASSERT_TRUE(panes_.WaitIdle());
  ASSERT_TRUE(test::WaitUntil([&] { return panes_.Of(WM_NNTP_STATUS).size() == 4; }));
  EXPECT_TRUE(server_.Finished());
  const auto status = panes_.Of(WM_NNTP_STATUS);
  EXPECT_EQ(status[1].window, 42u);
  EXPECT_EQ(status[1].wParam, 240);
  EXPECT_EQ(status[2].wParam, 441);
  EXPECT_EQ(status[2].lParam, kNntpPost);
  EXPECT_EQ(status[3].window, 43u);
}

// A posting window hides until its POST's outcome: a POST refused with 5xx,
// and one still queued when the server goes away, must both report back.
TEST_F(NntpConnectionTest, EveryPostThatEndsWithoutAVerdictTellsItsWindows) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("POST")
                    .Send("502 not for you\r\n")
                    .ExpectLine("POST")
                    .Close());
  Connect();
  EXPECT_EQ(connection_->QueueCommand(kNntpPost, "a\r\n.\r\n", 0, {7}), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpPost, "b\r\n.\r\n", 0, {8, 9}), QueueOutcome::Queued);
  EXPECT_EQ(connection_->QueueCommand(kNntpPost, "c\r\n.\r\n", 0, {10}), QueueOutcome::Queued);
  ASSERT_TRUE(panes_.WaitFor(WM_NNTP_CLOSED, 0));
  EXPECT_TRUE(server_.Finished());
  connection_->Close();

  std::vector<NntpWindow> told;
  for (const auto& status : panes_.Of(WM_NNTP_STATUS)) {
    if (status.pane) continue;  // the greeting
    EXPECT_EQ(status.wParam, kNntpPostUnanswered);
    told.push_back(status.window);
  }
  EXPECT_EQ(told, (std::vector<NntpWindow>{7, 8, 9, 10}));  // each once
  EXPECT_EQ(panes_.Of(WM_NNTP_FAULT).size(), 1u);
}

TEST_F(NntpConnectionTest, CloseInsideADataBlockDeliversNothing) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("ARTICLE <a@b>")
                    .Send("220 0 <a@b> article\r\nSubject: cut\r\n\r\npart")
                    .Close());
  Connect();
  EXPECT_EQ(connection_->QueueCommand(kNntpArticle, "<a@b>"), QueueOutcome::Queued);
  ASSERT_TRUE(panes_.WaitFor(WM_NNTP_CLOSED, 0));
  EXPECT_TRUE(server_.Finished());
  EXPECT_TRUE(panes_.Of(WM_NNTP_ARTICLE).empty());
  EXPECT_TRUE(reporter_.Messages().empty());
  EXPECT_EQ(connection_->QueueCommand(kNntpList), QueueOutcome::Ended);
}

TEST_F(NntpConnectionTest, DisconnectFromASilentServerEndsAfterTheGrace) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("GROUP slow")
                    .Send("211 3 1 3 slow\r\n")
                    .ExpectLine("STAT 3")
                    .ExpectClosed());
  panes_.answer = [](const NntpMessage& message) -> long {
    return message.id == WM_NNTP_GROUPINFO && message.wParam == 200 ? 3 : 0;
  };
  Connect();
  ASSERT_EQ(connection_->QueueCommand(kNntpGroup, "slow"), QueueOutcome::Queued);
  ASSERT_TRUE(test::WaitUntil([&] { return panes_.Of(WM_NNTP_GROUPINFO).size() == 3; }));
  test::SleepBriefly();
  // The silent server still owes the STAT reply: the HEAD behind it goes,
  // QUIT comes next, and the connection ends anyway.
  connection_->Disconnect(milliseconds(300));
  ASSERT_TRUE(panes_.WaitFor(WM_NNTP_CLOSED, 0));
  EXPECT_TRUE(server_.Finished());
  EXPECT_TRUE(reporter_.Messages().empty());
}

TEST_F(NntpConnectionTest, RefusesOverlongArgumentsAndEndlessLines) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ok\r\n")
                    .ExpectLine("GROUP ok")
                    .Send("502 access denied\r\n")
                    .Send(std::string(CNntpReceiveBuffer::kDefaultMaxLine + 10, 'x'))
                    .ExpectClosed());
  Connect();
  EXPECT_EQ(connection_->QueueCommand(kNntpGroup, std::string(600, 'g')),
            QueueOutcome::ArgumentTooLong);
  EXPECT_EQ(connection_->QueueCommand(kNntpGroup, "a\r\nQUIT"), QueueOutcome::ArgumentTooLong);
  EXPECT_EQ(connection_->QueueCommand(kNntpHead, std::nullopt, 0), QueueOutcome::NothingWanted);
  EXPECT_EQ(connection_->QueueCommand(kNntpGroup, "ok"), QueueOutcome::Queued);
  ASSERT_TRUE(panes_.WaitFor(WM_NNTP_CLOSED, 0));
  EXPECT_TRUE(server_.Finished());
  const auto fault = panes_.Of(WM_NNTP_FAULT);
  ASSERT_EQ(fault.size(), 1u);
  EXPECT_EQ(fault[0].lParam, kNntpGroup);
  EXPECT_EQ(reporter_.Texts().size(), 3u);
}

}  // namespace
}  // namespace netrove
