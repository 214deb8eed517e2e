// Traces over loopback: the probes on the wire, names from the resolver,
// the lines of one hop, verbose reports, stray short packets and Interrupt. Where
// the test may, it works on a loopback of its own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "base/net_socket.h"
#include "diagnostics/icmp_packet.h"
#include "diagnostics/traceroute_harness.h"
#include "diagnostics/traceroute_probe.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"

namespace netrove {
namespace {

using test::HopLinePattern;
using test::Matches;
using test::TraceHarness;
using test::TraceTowards;

const std::string kLoopbackHeader = "traceroute to 127.0.0.1: 30 hops max, 10 data bytes.\r\n";

// A UDP socket on a loopback port: probes sent there find a listener, so no
// port-unreachable answers them.
class PortListener {
 public:
  explicit PortListener(std::uint16_t port) {
    ok_ = socket_.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP) &&
          socket_.Bind(SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)}, port));
  }
  bool ok() const { return ok_; }
  // The next datagram and the port it came from; empty after 5 s.
  std::vector<std::uint8_t> Receive(std::uint16_t& fromPort) {
    bool ready = false;
    if (!socket_.WaitReadable(5000, ready) || !ready) return {};
    std::vector<std::uint8_t> data(70000);
    SocketAddress from;
    const SocketCount got = socket_.RecvFrom(data.data(), data.size(), &from);
    data.resize(static_cast<std::size_t>(got.bytes));
    fromPort = from.port();
    return data;
  }

 private:
  CNetSocket socket_;
  bool ok_ = false;
};

// A first port with `count` free ports behind it.
std::vector<std::unique_ptr<PortListener>> ListenOnPorts(std::uint16_t& first, int count) {
  for (std::uint16_t base = 41000; base < 60000; base += 97) {
    std::vector<std::unique_ptr<PortListener>> listeners;
    for (int i = 0; i < count; ++i) {
      listeners.push_back(std::make_unique<PortListener>(static_cast<std::uint16_t>(base + i)));
      if (!listeners.back()->ok()) break;
    }
    if (listeners.size() == static_cast<std::size_t>(count) && listeners.back()->ok()) {
      first = base;
      return listeners;
    }
  }
  return {};
}

TEST(TraceRouteLoopback, TheDestinationAnswersAtTheFirstHopAndTheRunEnds) {
  test::PrivateLoopback loopback;
  ASSERT_TRUE(loopback.ok());
  TraceHarness trace;
  ASSERT_TRUE(trace.Run(TraceTowards("127.0.0.1")));
  const std::string text = trace.sink.Text();
  EXPECT_TRUE(
      Matches(text, "^" + kLoopbackHeader + HopLinePattern("001", "127.0.0.1", 3) + "\r\n\r\n$"))
      << text;
  EXPECT_TRUE(trace.engine.DestinationReached());
  EXPECT_TRUE(trace.reporter.Messages().empty());
  EXPECT_EQ(trace.finished.Count(), 1);
  EXPECT_EQ(trace.finished.LastCommand(), kTraceRouteFinishedCommand);
  EXPECT_GE(trace.engine.SourcePort(), 32768);
}

TEST(TraceRouteLoopback, TheIPv6LoopbackAnswersAtTheFirstHop) {
  test::PrivateLoopback loopback;
  ASSERT_TRUE(loopback.ok());
  TraceHarness trace;
  ASSERT_TRUE(trace.Run(TraceTowards("::1")));
  const std::string text = trace.sink.Text();
  EXPECT_TRUE(Matches(text, "^traceroute to ::1: 30 hops max, 10 data bytes\\.\r\n" +
                                HopLinePattern("001", "::1", 3) + "\r\n\r\n$"))
      << text;
  EXPECT_TRUE(trace.engine.DestinationReached());
  EXPECT_TRUE(trace.reporter.Messages().empty());
}

TEST(TraceRouteLoopback, TimeToLiveBoundsDecideTheLines) {
  test::PrivateLoopback loopback;
  ASSERT_TRUE(loopback.ok());
  TraceHarness trace;
  TraceRouteRequest request = TraceTowards("127.0.0.1", 4);
  request.initialTtl = 5;
  ASSERT_TRUE(trace.Run(request));
  EXPECT_EQ(trace.sink.Text(), "traceroute to 127.0.0.1: 4 hops max, 10 data bytes.\r\n\r\n\r\n");

  TraceHarness single;
  request = TraceTowards("127.0.0.1", 7);
  request.initialTtl = 7;
  request.probesPerTtl = 1;
  ASSERT_TRUE(single.Run(request));
  EXPECT_TRUE(
      Matches(single.sink.Text(), "\r\n" + HopLinePattern("007", "127.0.0.1", 1) + "\r\n\r\n$"))
      << single.sink.Text();
}

TEST(TraceRouteLoopback, ProbesCarryTheirHeaderAndCountThePortsUp) {
  test::PrivateLoopback loopback;
  ASSERT_TRUE(loopback.ok());
  std::uint16_t firstPort = 0;
  auto listeners = ListenOnPorts(firstPort, 4);
  ASSERT_EQ(listeners.size(), 4u);
  for (const int size : {4, 16}) {
    SCOPED_TRACE(size);
    TraceHarness trace;
    TraceRouteRequest request = TraceTowards("127.0.0.1", 2, 100);
    request.initialTtl = 1;
    request.probesPerTtl = 2;
    request.probeSize = size;
    request.initialDestPort = firstPort;
    ASSERT_TRUE(trace.Run(request));
    const std::size_t used = UsableProbeSize(size);
    EXPECT_EQ(trace.sink.Text(),
              "traceroute to 127.0.0.1: 2 hops max, " + std::to_string(used) +
                  " data bytes.\r\n001    *    *  \r\n002    *    *  \r\n\r\n\r\n");
    for (int n = 0; n < 4; ++n) {
      std::uint16_t fromPort = 0;
      const auto probe = listeners[static_cast<std::size_t>(n)]->Receive(fromPort);
      ASSERT_EQ(probe.size(), used);
      ProbeHeader header;
      ASSERT_TRUE(ReadProbeHeader(probe, header));
      EXPECT_EQ(header.number, n);
      EXPECT_EQ(header.ttl, static_cast<std::uint32_t>(1 + n / 2));
      EXPECT_TRUE(
          std::all_of(probe.begin() + 10, probe.end(), [](std::uint8_t b) { return b == 0; }));
      EXPECT_EQ(fromPort, trace.engine.SourcePort());
    }
  }
}

TEST(TraceRouteLoopback, DestinationPortsWrapPastTheTop) {
  NETROVE_REQUIRE_PRIVILEGE();  // listens on ports 1 and 2
  test::PrivateLoopback loopback;
  ASSERT_TRUE(loopback.ok());
  PortListener top(65535), one(1);
  ASSERT_TRUE(top.ok() && one.ok());
  TraceHarness trace;
  TraceRouteRequest request = TraceTowards("127.0.0.1", 1, 100);
  request.probesPerTtl = 2;
  request.initialDestPort = 65535;
  ASSERT_TRUE(trace.Run(request));
  std::uint16_t fromPort = 0;
  EXPECT_EQ(top.Receive(fromPort).size(), 10u);
  EXPECT_EQ(one.Receive(fromPort).size(), 10u);
  EXPECT_TRUE(trace.reporter.Messages().empty());
}

class FakeResolver : public IResolver {
 public:
  SocketStatus HostByName(const std::string& name, HostEntry& out) override {
    const auto at = names.find(name);
    if (at == names.end()) return {WSAHOST_NOT_FOUND};
    out = {};
    out.name = name;
    for (const auto& address : at->second) out.addresses.push_back(Address(address));
    return {};
  }
  SocketStatus HostByAddr(const SocketAddress& address, HostEntry& out) override {
    if (reverseError != 0) return {reverseError};
    out = {};
    out.name = "loop.example";
    out.addresses.push_back(address);
    return {};
  }
  static SocketAddress Address(const std::string& dotted) {
    in_addr address{};
    inet_pton(AF_INET, dotted.c_str(), &address);
    return SocketAddress::FromIPv4(address);
  }

  std::map<std::string, std::vector<std::string>> names{{"two.example", {"127.0.0.1", "127.0.0.2"}},
                                                        {"one.example", {"127.0.0.1"}}};
  int reverseError = 0;
};

TEST(TraceRouteLoopback, NamesOfTheTargetAndOfEveryHop) {
  test::PrivateLoopback loopback;
  ASSERT_TRUE(loopback.ok());
  FakeResolver resolver;
  {
    TraceHarness trace(resolver);
    ASSERT_TRUE(trace.Run(TraceTowards("two.example", 3)));
    EXPECT_TRUE(
        Matches(trace.sink.Text(),
                "^traceroute warning: two.example has multiple addresses; using 127.0.0.1.\r\n"
                "traceroute to 127.0.0.1: 3 hops max, 10 data bytes.\r\n001   127.0.0.1  "))
        << trace.sink.Text();
  }
  {
    TraceHarness trace(resolver);
    TraceRouteRequest request = TraceTowards("one.example", 3);
    request.resolveAddress = true;
    ASSERT_TRUE(trace.Run(request));
    EXPECT_TRUE(
        Matches(trace.sink.Text(),
                "^traceroute to one.example \\(127.0.0.1\\): 3 hops max, 10 data bytes.\r\n" +
                    HopLinePattern("001", "loop.example \\(127.0.0.1\\)", 3)))
        << trace.sink.Text();
  }
  // An address without a name is shown as the address, whichever way the
  // resolver says so.
  for (const int missing : {WSANO_DATA, WSAHOST_NOT_FOUND}) {
    resolver.reverseError = missing;
    TraceHarness trace(resolver);
    TraceRouteRequest request = TraceTowards("127.0.0.1", 3);
    request.resolveAddress = true;
    ASSERT_TRUE(trace.Run(request));
    EXPECT_TRUE(Matches(trace.sink.Text(),
                        "^traceroute to 127.0.0.1 \\(127.0.0.1\\): 3 hops max, 10 data bytes.\r\n" +
                            HopLinePattern("001", "127.0.0.1", 3)))
        << trace.sink.Text();
    EXPECT_TRUE(trace.reporter.Messages().empty());
  }
}

// Only a target name that cannot be looked up stops a trace. A resolver
// that fails (none reachable) is reported once; the target given as an
// address and every hop are then shown by address.
TEST(TraceRouteLoopback, LookupFailuresAreReportedOnceAndOnlyAnUnknownNameStops) {
  test::PrivateLoopback loopback;
  ASSERT_TRUE(loopback.ok());
  FakeResolver resolver;
  resolver.reverseError = WSATRY_AGAIN;
  {
    // The target: nothing is written.
    TraceHarness trace(resolver);
    ASSERT_TRUE(trace.Run(TraceTowards("unknown.example")));
    EXPECT_EQ(trace.sink.Text(), "");
    EXPECT_EQ(trace.reporter.Texts(), std::vector<std::string>{SocketErrorText(WSAHOST_NOT_FOUND)});
    EXPECT_EQ(trace.finished.LastCommand(), kTraceRouteFinishedCommand);
  }
  {
    TraceHarness trace(resolver);
    TraceRouteRequest request = TraceTowards("127.0.0.1", 3);
    request.resolveAddress = true;
    ASSERT_TRUE(trace.Run(request));
    EXPECT_TRUE(Matches(trace.sink.Text(),
                        "^traceroute to 127.0.0.1 \\(127.0.0.1\\): 3 hops max, 10 data bytes.\r\n" +
                            HopLinePattern("001", "127.0.0.1", 3)))
        << trace.sink.Text();
    EXPECT_TRUE(trace.engine.DestinationReached());
    EXPECT_EQ(trace.reporter.Texts(), std::vector<std::string>{SocketErrorText(WSATRY_AGAIN)});
  }
  {
    // A hop: shown by its address, and the trace goes on to the end.
    TraceHarness trace(resolver);
    TraceRouteRequest request = TraceTowards("one.example", 3);
    request.resolveAddress = true;
    ASSERT_TRUE(trace.Run(request));
    EXPECT_TRUE(
        Matches(trace.sink.Text(),
                "^traceroute to one.example \\(127.0.0.1\\): 3 hops max, 10 data bytes.\r\n" +
                    HopLinePattern("001", "127.0.0.1", 3)))
        << trace.sink.Text();
    EXPECT_EQ(trace.reporter.Texts(), std::vector<std::string>{SocketErrorText(WSATRY_AGAIN)});
  }
}

TEST(TraceRouteLoopback, InterruptEndsAWaitAtOnce) {
  test::PrivateLoopback loopback;
  ASSERT_TRUE(loopback.ok());
  std::uint16_t port = 0;
  auto listeners = ListenOnPorts(port, 3);
  ASSERT_FALSE(listeners.empty());
  TraceHarness trace;
  TraceRouteRequest request = TraceTowards("127.0.0.1", 30, 59000);
  request.initialDestPort = port;
  ASSERT_TRUE(trace.engine.Start(request));
  ASSERT_TRUE(test::WaitUntil([&] { return trace.sink.Text().ends_with("001  "); }));
  trace.engine.Interrupt();
  EXPECT_TRUE(trace.finished.WaitFor(1, std::chrono::seconds(5)));
  trace.engine.Join();
  EXPECT_EQ(trace.sink.Text(), kLoopbackHeader + "001  \r\n\r\n\r\n");
  EXPECT_TRUE(trace.reporter.Messages().empty());
  // The engine runs again after an Interrupt.
  ASSERT_TRUE(trace.Run(TraceTowards("127.0.0.1", 1)));
  EXPECT_TRUE(trace.engine.DestinationReached());
}

// Sends one ICMP message to 127.0.0.1 from a raw socket.
void SendIcmp(const std::vector<std::uint8_t>& message) {
  CNetSocket socket;
  ASSERT_TRUE(socket.Create(AF_INET, SOCK_RAW, IPPROTO_ICMP));
  const auto to = SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)});
  ASSERT_EQ(socket.SendTo(message.data(), message.size(), to).bytes,
            static_cast<long>(message.size()));
}

// Other ICMP traffic during the waits (an echo request of 64 bytes and its
// reply, or a bare 8-byte echo request); the probes themselves go to a port
// with a listener, so they are never answered.
std::string TraceWhileIcmpArrives(bool verbose, const std::vector<std::uint8_t>& message) {
  std::uint16_t port = 0;
  auto listeners = ListenOnPorts(port, 6);
  EXPECT_FALSE(listeners.empty());
  TraceHarness trace;
  TraceRouteRequest request = TraceTowards("127.0.0.1", 2, 1000);
  request.probesPerTtl = 3;
  request.initialDestPort = port;
  request.verbose = verbose;
  EXPECT_TRUE(trace.engine.Start(request));
  EXPECT_TRUE(test::WaitUntil([&] { return trace.sink.Text().ends_with("001  "); }));
  SendIcmp(message);
  EXPECT_TRUE(trace.finished.WaitFor(1));
  trace.engine.Join();
  return trace.sink.Text();
}

std::vector<std::uint8_t> EchoRequest(std::size_t size) {
  std::vector<std::uint8_t> message(size);
  if (size >= kEchoRequestHeaderSize) {
    BuildEchoRequest(message, {0x5EED, 0, 1});
  } else {
    message[0] = kIcmpEchoRequest;
    const std::uint16_t checksum = InternetChecksum(message.data(), message.size());
    std::memcpy(message.data() + 2, &checksum, sizeof checksum);
  }
  return message;
}

TEST(TraceRouteLoopback, OtherIcmpTrafficIsReportedOnlyInVerboseMode) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::PrivateLoopback loopback;
  ASSERT_TRUE(loopback.ok());
  // The raw socket sees the request going out on loopback and the reply.
  EXPECT_EQ(TraceWhileIcmpArrives(true, EchoRequest(64)),
            "traceroute to 127.0.0.1: 2 hops max, 10 data bytes.\r\n"
            "001  From 127.0.0.1: ICMP Type = 8, Code = 0. From 127.0.0.1: ICMP Type = 0, Code = "
            "0.   *  \r\n"
            "002    *    *    *  \r\n\r\n\r\n");
  EXPECT_EQ(TraceWhileIcmpArrives(false, EchoRequest(64)),
            "traceroute to 127.0.0.1: 2 hops max, 10 data bytes.\r\n001    *    *    *  \r\n002    "
            "*    *    *  "
            "\r\n\r\n\r\n");
}

TEST(TraceRouteLoopback, AShortIcmpMessageFromAnyoneIsIgnoredAndTheTraceGoesOn) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::PrivateLoopback loopback;
  ASSERT_TRUE(loopback.ok());
  const std::string allStars =
      "traceroute to 127.0.0.1: 2 hops max, 10 data bytes.\r\n001    *    *    *  \r\n002    "
      "*    *    *  \r\n\r\n\r\n";
  // What `ping -s 0` sends: an 8-byte echo request, answered by an 8-byte reply.
  EXPECT_EQ(TraceWhileIcmpArrives(false, EchoRequest(8)), allStars);
  // A bare time-exceeded message quotes no probe, so even verbose mode has
  // nothing to say about it.
  std::vector<std::uint8_t> timeExceeded(8);
  timeExceeded[0] = kIcmpTimeExceeded;
  const std::uint16_t checksum = InternetChecksum(timeExceeded.data(), timeExceeded.size());
  std::memcpy(timeExceeded.data() + 2, &checksum, sizeof checksum);
  EXPECT_EQ(TraceWhileIcmpArrives(true, timeExceeded), allStars);
}

}  // namespace
}  // namespace netrove
