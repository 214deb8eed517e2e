// Ping across routers built in network namespaces: ICMP errors from the
// path, a link of smaller MTU, neighbours that answer twice or send ICMP of
// their own, and the unprivileged ICMP datagram socket. Needs root.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <regex>
#include <thread>
#include <vector>

#include "base/net_socket.h"
#include "base/tick_count.h"
#include "diagnostics/icmp_packet.h"
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

TEST(PingRouted, RequestsLargerThanALinkAreFragmentedNotRefused) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::RoutedChain chain;
  ASSERT_TRUE(chain.ok());
  ASSERT_TRUE(chain.Exec("r1", "ip link set v1a mtu 1000"));
  ASSERT_TRUE(chain.Exec("r2", "ip link set v1b mtu 1000"));
  PingHarness ping;
  PingRequest request = Towards("10.201.3.2", 2);
  request.packetSize = 1200;
  const std::string text = PingFromClient(chain, ping, request);
  EXPECT_EQ(CountOf(text, "Reply from 10.201.3.2: bytes=1200 seq="), 2) << text;
  EXPECT_NE(text.find("; 0% packets loss"), std::string::npos) << text;
}

// A neighbour with a raw ICMP socket in the calling thread's namespace, on a
// thread of its own until destroyed: it answers every echo request it sees a
// second time, or it sends echo requests of its own all the while.
class IcmpNeighbour {
 public:
  enum class Habit { AnswersTwice, Chatters };
  explicit IcmpNeighbour(Habit habit) : habit_(habit) {
    if (socket_.Create(AF_INET, SOCK_RAW, IPPROTO_ICMP)) thread_ = std::thread([this] { Run(); });
  }
  ~IcmpNeighbour() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool ok() const { return thread_.joinable(); }

 private:
  void Run() {
    std::vector<std::uint8_t> buffer(2048);
    std::uint16_t number = 0;
    while (!stop_) {
      bool ready = false;
      if (socket_.WaitReadable(20, ready) && ready) {
        SocketAddress from;
        const SocketCount got = socket_.RecvFrom(buffer.data(), buffer.size(), &from);
        if (got && habit_ == Habit::AnswersTwice) {
          AnswerAgain(ByteView(buffer.data(), static_cast<std::size_t>(got.bytes)), from);
        }
      }
      if (habit_ == Habit::Chatters) {
        std::vector<std::uint8_t> request(64);
        BuildEchoRequest(request, {0x5EED, TickCount(), ++number});
        const auto to = SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)});
        static_cast<void>(socket_.SendTo(request.data(), request.size(), to));
      }
    }
  }

  void AnswerAgain(ByteView datagram, const SocketAddress& from) {
    const auto icmp = IcmpFromRawDatagram(datagram);
    if (!icmp || icmp->type() != kIcmpEchoRequest) return;
    std::vector<std::uint8_t> reply(icmp->message().begin(), icmp->message().end());
    reply[0] = kIcmpEchoReply;
    reply[2] = reply[3] = 0;
    const std::uint16_t checksum = InternetChecksum(reply.data(), reply.size());
    std::memcpy(reply.data() + 2, &checksum, sizeof checksum);
    static_cast<void>(socket_.SendTo(reply.data(), reply.size(), from));
  }

  Habit habit_;
  CNetSocket socket_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(PingNeighbours, ASecondReplyIsMarkedAsADuplicateAndLeftOutOfTheCounts) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::NetnsLab lab({"solo"});
  ASSERT_TRUE(lab.ok());
  test::ScopedNetns inside(lab.name("solo"));
  ASSERT_TRUE(inside.ok());
  IcmpNeighbour echo(IcmpNeighbour::Habit::AnswersTwice);
  ASSERT_TRUE(echo.ok());
  PingHarness ping;
  ASSERT_TRUE(ping.Run(Towards("127.0.0.1", 3)));
  const std::string text = ping.sink.Text();
  for (const char* number : {"1", "2"}) {
    const std::regex twice(std::string("Reply from 127.0.0.1: bytes=64 seq=") + number +
                           " time=[0-9]+ ms.\r\n(.*\r\n)?Reply from 127.0.0.1: bytes=64 seq=" +
                           number + " time=[0-9]+ ms. \\(DUP!\\)\r\n");
    EXPECT_TRUE(std::regex_search(text, twice)) << text;
  }
  // The last request's duplicate may come after the run has ended.
  EXPECT_TRUE(std::regex_search(
      text, std::regex("3 packets transmitted; 3 packets received; \\+[23] duplicates; 0% "
                       "packets loss\r\nRound-trip")))
      << text;
  EXPECT_EQ(ping.engine.RequestsSent(), 3) << "a duplicate does not end the run early";
}

TEST(PingNeighbours, EachRequestWaitsItsTimeOutWhateverElseArrives) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::NetnsLab lab({"solo"});
  ASSERT_TRUE(lab.ok());
  ASSERT_TRUE(lab.Exec("solo", "sysctl -w net.ipv4.icmp_echo_ignore_all=1"));
  test::ScopedNetns inside(lab.name("solo"));
  ASSERT_TRUE(inside.ok());
  auto chatter = std::make_unique<IcmpNeighbour>(IcmpNeighbour::Habit::Chatters);
  ASSERT_TRUE(chatter->ok());
  PingHarness ping;
  PingRequest request = Towards("127.0.0.1", 2);
  request.replyTimeoutMs = 1000;
  ASSERT_TRUE(ping.engine.Start(request));
  // Two requests of a second each, while ICMP arrives every 20 ms: a wait
  // that started again with every packet would never end.
  const bool endedWhileChattering = ping.finished.WaitFor(1, std::chrono::seconds(20));
  chatter.reset();
  EXPECT_TRUE(endedWhileChattering);
  ping.engine.Interrupt();
  ping.engine.Join();
  EXPECT_EQ(ping.sink.Text(),
            "Pinging 127.0.0.1 with 64 bytes of data:\r\n\r\n"
            "Request timed out.\r\nRequest timed out.\r\n\r\n");
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
