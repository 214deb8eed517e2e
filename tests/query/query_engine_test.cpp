// The query engine against a scripted server and the system's fingerd: the
// bytes sent, the answer as the transcript shows it, and every way a query
// can end.
#include "query/query_engine.h"

#include <gtest/gtest.h>

#include <system_error>

#include "base/net_socket.h"
#include "query/query_engine_harness.h"
#include "query/query_request.h"
#include "query/query_test_servers.h"
#include "support/loopback_socket.h"

namespace netrove {
namespace {

using test::QueryHarness;
using test::ScriptedQueryServer;

constexpr char kLoopback[] = "127.0.0.1";

// Sends `line` to a server that answers one line and closes; returns what
// the server received.
std::string SendAndCollect(const std::string& line) {
  ScriptedQueryServer server;
  server.Play({ScriptedQueryServer::Send("ok\n")});
  QueryHarness harness;
  EXPECT_TRUE(harness.Run({kLoopback, server.port(), line}));
  EXPECT_EQ(harness.transcript.Text(), "ok\r\n\r\n\r\n");
  return server.Finish();
}

TEST(QueryRequests, ReachTheServerByteForByte) {
  EXPECT_EQ(SendAndCollect(FingerRequestLine("alice", true)), "/W alice\r\n");
  EXPECT_EQ(SendAndCollect(FingerRequestLine("", true)), "/W\r\n");
  EXPECT_EQ(SendAndCollect(FingerRequestLine("", false)), "\r\n");
  EXPECT_EQ(SendAndCollect(FingerRequestLine("bob", false)), "bob\r\n");
  const std::string longest(kWhoIsCommandLimit, 'x');
  const std::string sent = SendAndCollect(WhoIsRequestLine(longest));
  EXPECT_EQ(sent.size(), 258u);
  EXPECT_EQ(sent, longest + "\r\n");
  EXPECT_EQ(SendAndCollect(std::string(kWhoIsHelpRequest)), "?\r\n");
  // The longest Finger line fills its 515 bytes with nothing cut.
  const std::string query(kFingerQueryLimit, 'q');
  EXPECT_EQ(SendAndCollect(FingerRequestLine(query, true)), "/W " + query + "\r\n");
}

TEST(QueryAnswer, LineEndsAndControlBytesAcrossReceives) {
  QueryHarness harness;
  ScriptedQueryServer server;
  const auto shown = [&](std::string text) {
    return ScriptedQueryServer::Await([&harness, text] { harness.transcript.WaitForText(text); });
  };
  // The CR ends one receive and its LF starts the next: one line end. A zero
  // byte hides nothing after it; escape sequences cannot reach a terminal.
  server.Play({ScriptedQueryServer::Send("one\r"), shown("one\r"),
               ScriptedQueryServer::Send("\ntwo\nthree\r\n"), shown("three"),
               ScriptedQueryServer::Send(std::string("a\0b\x1b[2J\x7f\tc\n", 11)), shown("c"),
               ScriptedQueryServer::Send("<b>plain</b>\n")});
  ASSERT_TRUE(harness.Run({kLoopback, server.port(), "\r\n"}));
  EXPECT_EQ(harness.transcript.Text(),
            "one\r\ntwo\r\nthree\r\na^@b^[[2J^?\tc\r\n<b>plain</b>\r\n\r\n\r\n");
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::Answered);
  EXPECT_TRUE(harness.reporter.Messages().empty());
}

TEST(QueryAnswer, ServerClosingWithoutAnswerLeavesOnlyTheEmptyLines) {
  QueryHarness harness;
  ScriptedQueryServer server;
  server.Play({});
  ASSERT_TRUE(harness.Run({kLoopback, server.port(), "alice\r\n"}));
  EXPECT_EQ(harness.transcript.Text(), "\r\n\r\n");
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::Answered);
  EXPECT_TRUE(harness.reporter.Messages().empty());
}

TEST(QueryAnswer, ReceiveFailureKeepsTheTextAndIsReported) {
  QueryHarness harness;
  ScriptedQueryServer server;
  server.Play({ScriptedQueryServer::Send("partial\n"),
               ScriptedQueryServer::Await([&] { harness.transcript.WaitForText("partial"); }),
               ScriptedQueryServer::Reset()});
  ASSERT_TRUE(harness.Run({kLoopback, server.port(), "alice\r\n"}));
  EXPECT_EQ(harness.transcript.Text(), "partial\r\n\r\n\r\n");
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::ReceiveFailed);
  ASSERT_EQ(harness.reporter.Messages().size(), 1u);
  EXPECT_EQ(harness.reporter.Messages()[0].source, kSourceWinSock);
  EXPECT_EQ(harness.reporter.Messages()[0].text, SocketErrorText(WSAECONNRESET));
}

class UnknownNames : public IResolver {
 public:
  bool HostByName(const std::string&, HostEntry&, int& error) override {
    error = WSAHOST_NOT_FOUND;
    return false;
  }
  bool HostByAddr(const in_addr&, HostEntry&, int& error) override {
    error = WSAHOST_NOT_FOUND;
    return false;
  }
};

TEST(QueryFailures, NameAndConnectFailuresAddNothing) {
  {
    UnknownNames resolver;
    ScopedResolverOverride names(resolver);
    QueryHarness harness;
    ASSERT_TRUE(harness.Run({"finger.example.test", kFingerPort, "\r\n"}));
    EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::NotConnected);
    EXPECT_EQ(harness.transcript.Text(), "");
    ASSERT_EQ(harness.reporter.Texts().size(), 1u);
    EXPECT_EQ(harness.reporter.Texts()[0], SocketErrorText(WSAHOST_NOT_FOUND));
  }
  // A port that was free a moment ago: nobody listens there.
  const int finder = test::BoundSocket(SOCK_STREAM, 0);
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(finder, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(finder);
  QueryHarness harness;
  ASSERT_TRUE(harness.Run({kLoopback, ntohs(address.sin_port), "\r\n"}));
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::NotConnected);
  EXPECT_EQ(harness.transcript.Text(), "");
  ASSERT_EQ(harness.reporter.Texts().size(), 1u);
  EXPECT_EQ(harness.reporter.Texts()[0], SocketErrorText(WSAECONNREFUSED));
}

TEST(QueryEnd, SilentServerIsInterruptedWithoutAMessage) {
  QueryHarness harness;
  ScriptedQueryServer server;
  server.Play({ScriptedQueryServer::StaySilent()});
  ASSERT_TRUE(harness.engine.Start({kLoopback, server.port(), "alice\r\n"}));
  ASSERT_TRUE(test::WaitFor([&] { return server.Received() == "alice\r\n"; }));
  harness.engine.Interrupt();
  ASSERT_TRUE(harness.finished.WaitForNotice());
  harness.engine.Join();
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::Interrupted);
  EXPECT_EQ(harness.transcript.Text(), "\r\n\r\n");
  EXPECT_TRUE(harness.reporter.Messages().empty());
  EXPECT_EQ(server.Finish(), "alice\r\n");
}

TEST(QueryEnd, EndlessAnswerIsCutOffAtTheLimit) {
  QueryHarness harness;
  ScriptedQueryServer server;
  server.Play({ScriptedQueryServer::SendForever(std::string(1000, 'z'))});
  constexpr std::size_t kLimit = 100000;
  ASSERT_TRUE(harness.Run({kLoopback, server.port(), "\r\n", kLimit}));
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::CutOff);
  EXPECT_EQ(harness.transcript.Text(),
            std::string(kLimit, 'z') + AnswerCutOffNote(kLimit) + "\r\n\r\n");
  EXPECT_EQ(AnswerCutOffNote(kAnswerLimit), "\r\n[Answer cut off after 16777216 bytes.]");
}

TEST(QueryEnd, WorkerThatCannotStartIsReportedAndLeavesNothingRunning) {
  test::RecordingTranscript transcript;
  test::RecordingReporter reporter;
  test::RecordingFinished finished;
  CQueryEngine engine(transcript, reporter, finished, [](std::function<void()>) -> std::thread {
    throw std::system_error(EAGAIN, std::generic_category());
  });
  EXPECT_FALSE(engine.Start({kLoopback, kFingerPort, "\r\n"}));
  EXPECT_FALSE(engine.IsRunning());
  ASSERT_EQ(reporter.Messages().size(), 1u);
  EXPECT_EQ(reporter.Messages()[0].source, kSourceSystemMessage);
  EXPECT_EQ(reporter.Messages()[0].errorCode, EAGAIN);
  EXPECT_EQ(finished.Count(), 0);
}

// The system's fingerd under a private inetd: what it answers arrives with
// CR LF line ends only, followed by the two empty lines.
TEST(FingerDaemonPeer, AnswersVerboseAndListQueries) {
  if (!test::FingerDaemon::Installed()) {
    if (test::PrivilegeRequired()) FAIL() << "fingerd and inetutils-inetd are not installed";
    GTEST_SKIP() << "install fingerd and inetutils-inetd (scripts/install-deps)";
  }
  test::FingerDaemon daemon;
  std::string problem;
  ASSERT_TRUE(daemon.Start(problem)) << problem;
  for (const bool verbose : {true, false}) {
    QueryHarness harness;
    ASSERT_TRUE(harness.Run(
        {kLoopback, daemon.port(), FingerRequestLine(verbose ? "alice" : "", verbose)}));
    const std::string text = harness.transcript.Text();
    EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::Answered);
    EXPECT_TRUE(harness.reporter.Messages().empty());
    ASSERT_GT(text.size(), 4u);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
      ASSERT_TRUE(at > 0 && text[at - 1] == '\r') << "bare LF at " << at << " in " << text;
    }
    if (verbose) {
      EXPECT_NE(text.find("alice"), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace netrove
