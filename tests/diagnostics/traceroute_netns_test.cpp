// Traces across routers built in network namespaces: client - r1 - r2 -
// server. Both ways of hearing the answers (a raw socket, and the probes'
// own error queue without CAP_NET_RAW), a router that sends no ICMP, an
// administratively prohibited route, concurrent runs, and netrove-cli.
// Needs root.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <memory>
#include <optional>

#include "diagnostics/traceroute_harness.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

using test::HopLinePattern;
using test::Matches;
using test::TraceHarness;
using test::TraceTowards;

const std::string kServer = "10.201.3.2";

std::string ThreeHops(const std::string& header) {
  return "^" + header + HopLinePattern("001", "10.201.1.1", 3) +
         HopLinePattern("002", "10.201.2.2", 3) + HopLinePattern("003", kServer, 3) + "\r\n\r\n$";
}

const std::string kServerHeader =
    "traceroute to 10\\.201\\.3\\.2: 30 hops max, 10 data bytes\\.\r\n";

class TraceRouteRouted : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::IsPrivileged()) return;
    chain_ = std::make_unique<test::RoutedChain>();
  }
  // Runs one trace from the client namespace, with or without raw sockets.
  std::string TraceFromClient(TraceHarness& trace, const TraceRouteRequest& request,
                              bool withRawSockets) {
    test::ScopedNetns inside(chain_->name("client"));
    EXPECT_TRUE(inside.ok());
    std::optional<test::ScopedWithoutRawSockets> unprivileged;
    if (!withRawSockets) {
      unprivileged.emplace();
      EXPECT_TRUE(unprivileged->ok());
    }
    EXPECT_TRUE(trace.Run(request));
    EXPECT_EQ(trace.engine.Route(),
              withRawSockets ? AnswerRoute::RawSocket : AnswerRoute::ErrorQueue);
    return trace.sink.Text();
  }

  std::unique_ptr<test::RoutedChain> chain_;
};

TEST_F(TraceRouteRouted, EveryRouterAnswersAtItsHopAndTheRunEndsAtTheServer) {
  NETROVE_REQUIRE_PRIVILEGE();
  ASSERT_TRUE(chain_->ok());
  for (const bool raw : {true, false}) {
    SCOPED_TRACE(raw ? "raw socket" : "error queue");
    TraceHarness trace;
    const std::string text = TraceFromClient(trace, TraceTowards(kServer), raw);
    EXPECT_TRUE(Matches(text, ThreeHops(kServerHeader))) << text;
    EXPECT_TRUE(trace.engine.DestinationReached());
    EXPECT_TRUE(trace.reporter.Messages().empty());
  }
}

TEST_F(TraceRouteRouted, ARouterThatSendsNoIcmpShowsStars) {
  NETROVE_REQUIRE_PRIVILEGE();
  ASSERT_TRUE(chain_->ok());
  // r2's own ICMP messages go nowhere; what it forwards still passes.
  ASSERT_TRUE(chain_->Exec("r2", "ip rule add iif lo ipproto icmp lookup 100 pref 100"));
  ASSERT_TRUE(chain_->Exec("r2", "ip route add blackhole default table 100"));
  for (const bool raw : {true, false}) {
    SCOPED_TRACE(raw ? "raw socket" : "error queue");
    TraceHarness trace;
    const std::string text = TraceFromClient(trace, TraceTowards(kServer, 30, 300), raw);
    EXPECT_TRUE(Matches(text, "^" + kServerHeader + HopLinePattern("001", "10.201.1.1", 3) +
                                  "002    \\*    \\*    \\*  \r\n" +
                                  HopLinePattern("003", kServer, 3) + "\r\n\r\n$"))
        << text;
  }
}

TEST_F(TraceRouteRouted, AProhibitedRouteIsMarkedAndTheTraceGoesOn) {
  NETROVE_REQUIRE_PRIVILEGE();
  ASSERT_TRUE(chain_->ok());
  for (const bool raw : {true, false}) {
    SCOPED_TRACE(raw ? "raw socket" : "error queue");
    TraceHarness trace;
    TraceRouteRequest request = TraceTowards("10.205.0.1", 2, 1000);
    // r1 sends a burst of five such errors at most, then one a second.
    request.probesPerTtl = 1;
    const std::string text = TraceFromClient(trace, request, raw);
    EXPECT_TRUE(Matches(text, "^traceroute to 10\\.205\\.0\\.1: 2 hops max, 10 data bytes\\.\r\n" +
                                  HopLinePattern("001", "10.201.1.1", 1, " !X") +
                                  HopLinePattern("002", "10.201.1.1", 1, " !X") + "\r\n\r\n$"))
        << text;
    EXPECT_FALSE(trace.engine.DestinationReached());
  }
}

TEST_F(TraceRouteRouted, ConcurrentTracesKeepTheirAnswersApart) {
  NETROVE_REQUIRE_PRIVILEGE();
  ASSERT_TRUE(chain_->ok());
  for (const bool raw : {true, false}) {
    SCOPED_TRACE(raw ? "raw socket" : "error queue");
    test::ScopedNetns inside(chain_->name("client"));
    ASSERT_TRUE(inside.ok());
    std::optional<test::ScopedWithoutRawSockets> unprivileged;
    if (!raw) unprivileged.emplace();
    TraceHarness toServer, toRouter, toServerAgain;
    ASSERT_TRUE(toServer.engine.Start(TraceTowards(kServer)));
    ASSERT_TRUE(toRouter.engine.Start(TraceTowards("10.201.2.2")));
    ASSERT_TRUE(toServerAgain.engine.Start(TraceTowards(kServer)));
    for (TraceHarness* trace : {&toServer, &toRouter, &toServerAgain}) {
      EXPECT_TRUE(trace->finished.WaitFor(1));
      trace->engine.Join();
    }
    EXPECT_TRUE(Matches(toServer.sink.Text(), ThreeHops(kServerHeader))) << toServer.sink.Text();
    EXPECT_TRUE(Matches(toServerAgain.sink.Text(), ThreeHops(kServerHeader)))
        << toServerAgain.sink.Text();
    EXPECT_TRUE(Matches(toRouter.sink.Text(),
                        "^traceroute to 10\\.201\\.2\\.2: 30 hops max, 10 data bytes\\.\r\n" +
                            HopLinePattern("001", "10.201.1.1", 3) +
                            HopLinePattern("002", "10.201.2.2", 3) + "\r\n\r\n$"))
        << toRouter.sink.Text();
    EXPECT_NE(toServer.engine.SourcePort(), toServerAgain.engine.SourcePort());
    EXPECT_NE(toServer.engine.SourcePort(), toRouter.engine.SourcePort());
  }
}

// The command-line front end, run inside the client namespace as a user
// would: the transcript on standard output, exit status 0.
TEST_F(TraceRouteRouted, CommandLinePrintsTheWindowsTranscript) {
  NETROVE_REQUIRE_PRIVILEGE();
  ASSERT_TRUE(chain_->ok());
  test::ScopedHome home;
  const std::string command = "ip netns exec " + chain_->name("client") +
                              " " NETROVE_CLI_PROGRAM " traceroute --timeout 2 " + kServer;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  char buffer[512];
  while (const std::size_t got = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
  const int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(Matches(text, ThreeHops(kServerHeader))) << text;
}

}  // namespace
}  // namespace netrove
