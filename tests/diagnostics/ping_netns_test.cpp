// Ping across routers built in network namespaces: ICMP errors from the
// path, and the unprivileged ICMP datagram socket. Needs root.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/net_socket.h"
#include "diagnostics/icmp_socket.h"
#include "diagnostics/netns_lab.h"
#include "diagnostics/ping_run_recorder.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

using test::CountOf;
using test::PingHarness;

PingRequest Towards(const std::string& host, int count) {
  PingRequest request;
  request.host = host;
  request.requestLimit = count;
  request.replyTimeoutMs = 2000;
  return request;
}

// Runs one ping from the chain's client namespace.
std::string PingFromClient(const test::RoutedChain& chain, PingHarness& ping,
                           const PingRequest& request) {
  test::ScopedNetns inside(chain.name("client"));
  EXPECT_TRUE(inside.ok());
  EXPECT_TRUE(ping.Run(request));
  return ping.sink.Text();
}

TEST(PingRouted, ErrorsFromThePathNameTheRouterAndTheReason) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::RoutedChain chain;
  ASSERT_TRUE(chain.ok());
  const struct {
    std::string host;
    int timeToLive;
    std::string line;
  } cases[] = {
      {"10.201.3.2", 1, "Reply from 10.201.1.1: Time-to-live count exceeded.\r\n"},
      {"10.201.3.2", 2, "Reply from 10.201.2.2: Time-to-live count exceeded.\r\n"},
      {"10.203.0.1", 0, "Reply from 10.201.1.1: Destination unreachable, network unreachable.\r\n"},
      {"10.204.0.1", 0, "Reply from 10.201.1.1: Destination unreachable, host unreachable.\r\n"},
      {"10.205.0.1", 0,
       "Reply from 10.201.1.1: Destination unreachable, meaning unknown (13).\r\n"},
  };
  for (const auto& item : cases) {
    SCOPED_TRACE(item.host + " ttl " + std::to_string(item.timeToLive));
    const bool routeError = item.timeToLive == 0;
    // A router answers a missing route at most once a second per sender,
    // whatever the namespace's own ICMP limits say; give it that second.
    if (routeError) std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    PingHarness ping;
    PingRequest request = Towards(item.host, routeError ? 1 : 2);
    request.setTimeToLive = !routeError;
    request.timeToLive = item.timeToLive;
    const std::string text = PingFromClient(chain, ping, request);
    EXPECT_EQ(CountOf(text, item.line), request.requestLimit) << text;
    // Errors are not replies: no statistics follow them.
    EXPECT_EQ(text.find("Statistics"), std::string::npos) << text;
    EXPECT_EQ(ping.engine.RepliesReceived(), 0);
  }
  PingHarness ping;
  PingRequest request = Towards("10.201.3.2", 1);
  request.setTimeToLive = true;
  request.timeToLive = 3;
  EXPECT_EQ(
      CountOf(PingFromClient(chain, ping, request), "Reply from 10.201.3.2: bytes=64 seq=1 time="),
      1);
}

TEST(PingUnprivileged, DatagramSocketsServeWherePingGroupRangeAllows) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::RoutedChain chain;
  ASSERT_TRUE(chain.ok());
  ASSERT_TRUE(chain.Exec("client", "sysctl -w net.ipv4.ping_group_range='0 2147483647'"));
  test::ScopedNetns inside(chain.name("client"));
  ASSERT_TRUE(inside.ok());
  test::ScopedWithoutRawSockets unprivileged;
  ASSERT_TRUE(unprivileged.ok());

  PingHarness ping;
  ASSERT_TRUE(ping.Run(Towards("10.201.3.2", 2)));
  EXPECT_EQ(ping.engine.SocketKind(), IcmpSocketKind::Datagram);
  EXPECT_EQ(CountOf(ping.sink.Text(), "Reply from 10.201.3.2: bytes=64 seq="), 2)
      << ping.sink.Text();
  EXPECT_NE(ping.sink.Text().find("2 packets transmitted; 2 packets received; 0% packets loss"),
            std::string::npos);

  // ICMP errors reach a datagram socket through its error queue.
  PingRequest request = Towards("10.201.3.2", 1);
  request.setTimeToLive = true;
  request.timeToLive = 1;
  ASSERT_TRUE(ping.Run(request));
  EXPECT_EQ(CountOf(ping.sink.Text(), "Reply from 10.201.1.1: Time-to-live count exceeded.\r\n"), 1)
      << ping.sink.Text();
  EXPECT_TRUE(ping.reporter.Messages().empty());
}

TEST(PingUnprivileged, WithoutEitherSocketOneMessageSaysHowToGrantIt) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::NetnsLab lab({"alone"});
  ASSERT_TRUE(lab.ok());
  ASSERT_TRUE(lab.Exec("alone", "sysctl -w net.ipv4.ping_group_range='1 0'"));
  test::ScopedNetns inside(lab.name("alone"));
  ASSERT_TRUE(inside.ok());
  test::ScopedWithoutRawSockets unprivileged;
  ASSERT_TRUE(unprivileged.ok());

  PingHarness ping;
  ASSERT_TRUE(ping.Run(Towards("127.0.0.1", 1)));
  EXPECT_EQ(ping.sink.Text(), "");
  ASSERT_EQ(ping.reporter.Messages().size(), 1u);
  const std::string message = ping.reporter.Texts()[0];
  EXPECT_EQ(message, MissingIcmpPrivilegeText());
  EXPECT_EQ(message.rfind(SocketErrorText(WSAEACCES), 0), 0u);
  EXPECT_NE(message.find("setcap cap_net_raw+ep "), std::string::npos);
  EXPECT_NE(message.find("ping_group_range"), std::string::npos);
}

}  // namespace
}  // namespace netrove
