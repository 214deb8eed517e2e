// The query engine against a scripted server and the system's fingerd: the
// bytes sent, the answer as the transcript shows it, and every way a query
// can end.
#include "query/query_engine.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <vector>

#include "base/net_socket.h"
#include "query/query_engine_harness.h"
#include "query/query_request.h"
#include "support/full_listener.h"
#include "support/loopback_socket.h"
#include "support/private_inetd.h"
#include "support/refusing_threads.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"

namespace netrove {
namespace {

using test::CScriptedServer;
using test::QueryHarness;
using test::Script;

constexpr char kLoopback[] = "127.0.0.1";

// A script step that waits until the transcript shows `text`, so that what
// the server sends next arrives in a receive of its own.
Script& AwaitShown(Script& script, const QueryHarness& harness, std::string text) {
  return script.Do("await " + text, [&harness, text](test::StepContext&) {
    return harness.transcript.WaitForText(text) ? std::string() : "client never showed " + text;
  });
}

// Sends `line` to a server that expects exactly `expected`, answers one line
// and closes.
void ExpectSentAs(const std::string& line, const std::string& expected) {
  CScriptedServer server;
  server.Start(Script().Accept().Expect(expected).Send("ok\n").Close());
  QueryHarness harness;
  ASSERT_TRUE(harness.Run({kLoopback, server.port(), line}));
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(harness.transcript.Text(), "ok\r\n\r\n\r\n");
}

TEST(QueryRequests, ReachTheServerByteForByte) {
  ExpectSentAs(FingerRequestLine("alice", true), "/W alice\r\n");
  ExpectSentAs(FingerRequestLine("", true), "/W\r\n");
  ExpectSentAs(FingerRequestLine("", false), "\r\n");
  ExpectSentAs(std::string(kWhoIsHelpRequest), "?\r\n");
  // The longest lines, 515 and 258 bytes, go whole.
  const std::string query(kFingerQueryLimit, 'q');
  ExpectSentAs(FingerRequestLine(query, true), "/W " + query + "\r\n");
  const std::string command(kWhoIsCommandLimit, 'x');
  ExpectSentAs(WhoIsRequestLine(command), command + "\r\n");
}

TEST(QueryAnswer, LineEndsAndControlBytesAcrossReceives) {
  QueryHarness harness;
  CScriptedServer server;
  // The CR ends one receive and its LF starts the next: one line end. A zero
  // byte hides nothing after it; escape sequences cannot reach a terminal.
  Script script;
  script.Accept().Expect("\r\n").Send("one\r");
  AwaitShown(script, harness, "one\r").Send("\ntwo\nthree\r\n");
  AwaitShown(script, harness, "three").Send(std::string("a\0b\x1b[2J\x7f\tc\n", 11));
  AwaitShown(script, harness, "c").Send("<b>plain</b>\n").Close();
  server.Start(std::move(script));
  ASSERT_TRUE(harness.Run({kLoopback, server.port(), "\r\n"}));
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(harness.transcript.Text(),
            "one\r\ntwo\r\nthree\r\na^@b^[[2J^?\tc\r\n<b>plain</b>\r\n\r\n\r\n");
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::Answered);
  EXPECT_TRUE(harness.reporter.Messages().empty());
}

TEST(QueryAnswer, ServerClosingWithoutAnswerLeavesOnlyTheEmptyLines) {
  QueryHarness harness;
  CScriptedServer server;
  server.Start(Script().Accept().Expect("alice\r\n").Close());
  ASSERT_TRUE(harness.Run({kLoopback, server.port(), "alice\r\n"}));
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(harness.transcript.Text(), "\r\n\r\n");
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::Answered);
  EXPECT_TRUE(harness.reporter.Messages().empty());
}

TEST(QueryAnswer, ReceiveFailureKeepsTheTextAndIsReported) {
  QueryHarness harness;
  CScriptedServer server;
  Script script;
  script.Accept().Expect("alice\r\n").Send("partial\n");
  AwaitShown(script, harness, "partial").Reset();
  server.Start(std::move(script));
  ASSERT_TRUE(harness.Run({kLoopback, server.port(), "alice\r\n"}));
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(harness.transcript.Text(), "partial\r\n\r\n\r\n");
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::ReceiveFailed);
  ASSERT_EQ(harness.reporter.Messages().size(), 1u);
  EXPECT_EQ(harness.reporter.Messages()[0].source, kSourceWinSock);
  EXPECT_EQ(harness.reporter.Messages()[0].text, SocketErrorText(WSAECONNRESET));
}

class UnknownNames : public IResolver {
 public:
  SocketStatus HostByName(const std::string&, HostEntry&) override { return {WSAHOST_NOT_FOUND}; }
  SocketStatus HostByAddr(const SocketAddress&, HostEntry&) override { return {WSAHOST_NOT_FOUND}; }
};

TEST(QueryFailures, NameAndConnectFailuresAddNothing) {
  UnknownNames names;
  QueryHarness unknown(names);
  ASSERT_TRUE(unknown.Run({"finger.example.test", kFingerPort, "\r\n"}));
  EXPECT_EQ(unknown.engine.Outcome(), QueryOutcome::NotConnected);
  EXPECT_EQ(unknown.transcript.Text(), "");
  EXPECT_EQ(unknown.reporter.Texts(), std::vector{SocketErrorText(WSAHOST_NOT_FOUND)});

  // A port that was free a moment ago: nobody listens there.
  const int finder = test::BoundSocket(SOCK_STREAM, 0);
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(finder, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(finder);
  QueryHarness refused;
  ASSERT_TRUE(refused.Run({kLoopback, ntohs(address.sin_port), "\r\n"}));
  EXPECT_EQ(refused.engine.Outcome(), QueryOutcome::NotConnected);
  EXPECT_EQ(refused.transcript.Text(), "");
  // The refusal names the address that refused.
  EXPECT_EQ(refused.reporter.Texts(),
            std::vector{SocketErrorText(WSAECONNREFUSED) + "\nAddress tried last: 127.0.0.1:" +
                        std::to_string(ntohs(address.sin_port))});
}

TEST(QueryEnd, SilentServerIsInterruptedWithoutAMessage) {
  QueryHarness harness;
  CScriptedServer server;
  std::atomic<bool> requestSeen = false;
  server.Start(Script()
                   .Accept()
                   .Expect("alice\r\n")
                   .Do("note the request",
                       [&](test::StepContext&) {
                         requestSeen = true;
                         return std::string();
                       })
                   .ExpectClosed());
  ASSERT_TRUE(harness.engine.Start({kLoopback, server.port(), "alice\r\n"}));
  ASSERT_TRUE(test::WaitUntil([&] { return requestSeen.load(); }));
  harness.engine.Interrupt();
  ASSERT_TRUE(harness.finished.WaitFor(1));
  harness.engine.Join();
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::Interrupted);
  EXPECT_EQ(harness.transcript.Text(), "\r\n\r\n");
  EXPECT_TRUE(harness.reporter.Messages().empty());
}

TEST(QueryEnd, EndlessAnswerIsCutOffAtTheLimit) {
  QueryHarness harness;
  CScriptedServer server;
  server.Start(Script().Accept().Expect("\r\n").Do(
      "send until the client goes", [](test::StepContext& context) {
        const std::string chunk(1000, 'z');
        while (::send(context.socket, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
        }
        return std::string();
      }));
  constexpr std::size_t kLimit = 100000;
  ASSERT_TRUE(harness.Run({kLoopback, server.port(), "\r\n", kLimit}));
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::CutOff);
  EXPECT_EQ(harness.transcript.Text(),
            std::string(kLimit, 'z') + AnswerCutOffNote(kLimit) + "\r\n\r\n");
  EXPECT_EQ(AnswerCutOffNote(kAnswerLimit), "\r\n[Answer cut off after 16777216 bytes.]");
}

TEST(QueryRequests, ALineBreakInsideTheQueryIsRefusedBeforeConnecting) {
  EXPECT_TRUE(IsSafeQueryText("alice smith"));
  for (const std::string& bad :
       std::vector<std::string>{"bob\r\nroot", "bob\nroot", "bob\r", std::string("a\0b", 3)}) {
    EXPECT_FALSE(IsSafeQueryText(bad)) << bad;
  }
  // The server would take each line for a request of its own: nothing starts.
  test::QueryHarness harness;
  EXPECT_FALSE(
      harness.engine.Start({kLoopback, kFingerPort, FingerRequestLine("bob\nroot", false)}));
  EXPECT_FALSE(harness.engine.IsRunning());
  EXPECT_EQ(harness.finished.Count(), 0);
  EXPECT_TRUE(harness.reporter.Messages().empty());
}

TEST(QueryEnd, EveryWaitEndsWithinTheTimeOutsAndIsReported) {
  // A connection attempt that is never answered.
  test::CFullListener full;
  QueryHarness dropped;
  ASSERT_TRUE(dropped.Run({kLoopback, full.port(), "\r\n", kAnswerLimit, {300, 0}}));
  EXPECT_EQ(dropped.engine.Outcome(), QueryOutcome::NotConnected);
  ASSERT_EQ(dropped.reporter.Texts().size(), 1u);
  EXPECT_EQ(dropped.reporter.Texts()[0].rfind("WSAETIMEDOUT\n", 0), 0u);

  // A server that accepts and says nothing.
  CScriptedServer silent;
  silent.Start(Script().Accept().ExpectLine("alice").Wait(std::chrono::seconds(2)));
  QueryHarness unanswered;
  ASSERT_TRUE(unanswered.Run({kLoopback, silent.port(), "alice\r\n", kAnswerLimit, {5000, 300}}));
  EXPECT_EQ(unanswered.engine.Outcome(), QueryOutcome::ReceiveFailed);
  ASSERT_EQ(unanswered.reporter.Texts().size(), 1u);
  EXPECT_EQ(unanswered.reporter.Texts()[0].rfind("WSAETIMEDOUT\n", 0), 0u);
  EXPECT_EQ(unanswered.transcript.Text(), "\r\n\r\n");

  // One that trickles: the whole answer is due within the time-out.
  CScriptedServer trickling;
  trickling.Start(Script().Accept().ExpectLine("alice").SendInPieces(
      std::vector<std::string>(40, "."), std::chrono::milliseconds(50)));
  QueryHarness trickled;
  ASSERT_TRUE(trickled.Run({kLoopback, trickling.port(), "alice\r\n", kAnswerLimit, {5000, 500}}));
  EXPECT_EQ(trickled.engine.Outcome(), QueryOutcome::ReceiveFailed);
  EXPECT_TRUE(trickled.transcript.Text().starts_with(".")) << trickled.transcript.Text();
  EXPECT_LT(trickled.transcript.Text().size(), 40u + 4u);
}

TEST(QueryEnd, WorkerThatCannotStartIsReportedAndLeavesNothingRunning) {
  test::RecordingSink transcript;
  test::RecordingReporter reporter;
  test::FinishedRecorder finished;
  CRefusingThreads threads;
  CQueryEngine engine(transcript, reporter, finished, SystemResolver(), threads);
  EXPECT_FALSE(engine.Start({kLoopback, kFingerPort, "\r\n"}));
  EXPECT_FALSE(engine.IsRunning());
  ASSERT_EQ(reporter.Messages().size(), 1u);
  EXPECT_EQ(reporter.Messages()[0].source, kSourceSystemMessage);
  EXPECT_EQ(reporter.Messages()[0].errorCode, EAGAIN);
  EXPECT_EQ(finished.Count(), 0);
  EXPECT_EQ(threads.Attempts(), 1);
}

const std::vector<std::string> kFingerd{"/usr/sbin/in.fingerd", "in.fingerd"};

// The system's fingerd under a private inetd: what it answers arrives with
// CR LF line ends only, followed by the two empty lines.
TEST(FingerDaemonPeer, AnswersVerboseAndListQueries) {
  if (const auto why = test::PrivateInetd::ProgramUnavailable(kFingerd[0]); !why.empty()) {
    if (test::PrivilegeRequired()) FAIL() << why;
    GTEST_SKIP() << why << " (scripts/install-deps test)";
  }
  test::PrivateInetd daemon;
  std::string problem;
  ASSERT_TRUE(daemon.StartProgram(kFingerd, problem)) << problem;
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
