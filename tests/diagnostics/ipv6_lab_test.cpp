// Ping and traceroute over IPv6 across the routed namespace chain, compared
// event by event with iputils ping -6 and Debian's traceroute -6 run in the
// same namespace: replies, hop limit exceeded, unreachable and prohibited
// routes, a silent destination and a silent router. Needs root.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "diagnostics/netns_lab.h"
#include "diagnostics/ping_run_recorder.h"
#include "diagnostics/traceroute_harness.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

using test::CountOf;
using test::PingHarness;
using test::TraceHarness;

const std::string kServer = "fd20:3::2";

// What a program printed on standard output inside a namespace; nothing when
// it could not be started.
std::optional<std::string> OutputIn(const std::string& namespaceName, const std::string& command) {
  FILE* pipe =
      popen(("ip netns exec " + namespaceName + " " + command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string text;
  char buffer[512];
  while (const std::size_t got = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
  pclose(pipe);
  return text;
}

// The event a line of either ping names, in words both share.
std::string ErrorWords(const std::string& text) {
  const std::pair<const char*, const char*> words[] = {
      {"no route", "no route"},           {"No route", "no route"},
      {"prohibited", "prohibited"},       {"Administratively", "prohibited"},
      {"address unreachable", "address"}, {"Address unreachable", "address"},
      {"Hop limit", "hop limit"},         {"Time exceeded", "hop limit"},
  };
  for (const auto& [needle, word] : words)
    if (text.find(needle) != std::string::npos) return word;
  return "other: " + text;
}

// iputils: a line per reply or error, with its sequence number; a request
// without a line timed out.
std::vector<std::string> IputilsEvents(const std::string& text, int requests) {
  std::map<int, std::string> bySequence;
  const std::regex reply("bytes from ([0-9a-f:]+): icmp_seq=([0-9]+)");
  const std::regex error("From ([0-9a-f:]+) icmp_seq=([0-9]+) (.*)");
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_search(line, match, reply)) {
      bySequence[std::stoi(match[2])] = "reply " + match[1].str();
    } else if (std::regex_search(line, match, error)) {
      bySequence[std::stoi(match[2])] = ErrorWords(match[3]) + " " + match[1].str();
    }
  }
  std::vector<std::string> events;
  for (int sequence = 1; sequence <= requests; ++sequence) {
    const auto found = bySequence.find(sequence);
    events.push_back(found == bySequence.end() ? "timeout" : found->second);
  }
  return events;
}

// Ours: one line per request, in the order of the requests.
std::vector<std::string> OurEvents(const std::string& text) {
  const std::regex reply("^Reply from ([0-9a-f:]+): bytes=");
  const std::regex error("^Reply from ([0-9a-f:]+): (.*)");
  std::vector<std::string> events;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_search(line, match, reply)) {
      events.push_back("reply " + match[1].str());
    } else if (std::regex_search(line, match, error)) {
      events.push_back(ErrorWords(match[2]) + " " + match[1].str());
    } else if (line.starts_with("Request timed out.")) {
      events.push_back("timeout");
    }
  }
  return events;
}

// Either traceroute: "hop responder mark" for every probe line of a run of
// one probe per hop ("*" for no answer).
std::vector<std::string> Hops(const std::string& text) {
  std::vector<std::string> hops;
  const std::regex hopLine("^ *([0-9]+) +(.*)$");
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::smatch match;
    if (!std::regex_match(line, match, hopLine)) continue;
    std::string hop = std::to_string(std::stoi(match[1]));
    std::istringstream words(match[2]);
    for (std::string word; words >> word;) {
      if (word == "*" || word.find(':') != std::string::npos || word.starts_with("!"))
        hop += " " + word;
    }
    hops.push_back(hop);
  }
  return hops;
}

class Ipv6Lab : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::IsPrivileged()) return;
    chain_ = std::make_unique<test::RoutedChain>();
  }

  std::string Client() const { return chain_->name("client"); }

  std::string OurPing(const std::string& host, int requests, int hopLimit) {
    PingHarness ping;
    PingRequest request;
    request.host = host;
    request.requestLimit = requests;
    request.replyTimeoutMs = 1000;
    request.setTimeToLive = hopLimit > 0;
    request.timeToLive = hopLimit;
    test::ScopedNetns inside(Client());
    EXPECT_TRUE(inside.ok());
    EXPECT_TRUE(ping.Run(request));
    EXPECT_EQ(ping.engine.Family(), IcmpFamily::IPv6);
    EXPECT_TRUE(ping.reporter.Messages().empty());
    return ping.sink.Text();
  }

  std::string OurTrace(const std::string& host, int maximumTtl, bool withRawSockets) {
    TraceHarness trace;
    TraceRouteRequest request = test::TraceTowards(host, maximumTtl, 1000);
    request.probesPerTtl = 1;
    test::ScopedNetns inside(Client());
    EXPECT_TRUE(inside.ok());
    std::optional<test::ScopedWithoutRawSockets> unprivileged;
    if (!withRawSockets) unprivileged.emplace();
    EXPECT_TRUE(trace.Run(request));
    EXPECT_EQ(trace.engine.Route(),
              withRawSockets ? AnswerRoute::RawSocket : AnswerRoute::ErrorQueue);
    EXPECT_TRUE(trace.reporter.Messages().empty());
    return trace.sink.Text();
  }

  // Both pings towards `host`, their events side by side.
  void ExpectPingsAgree(const std::string& host, int requests, int hopLimit,
                        const std::vector<std::string>& expected) {
    SCOPED_TRACE(host + " hop limit " + std::to_string(hopLimit));
    const std::string limit = hopLimit > 0 ? " -t " + std::to_string(hopLimit) : "";
    const auto theirs =
        OutputIn(Client(), "ping -6 -n -W 1 -c " + std::to_string(requests) + limit + " " + host);
    ASSERT_TRUE(theirs);
    const std::string ours = OurPing(host, requests, hopLimit);
    EXPECT_EQ(IputilsEvents(*theirs, requests), expected) << *theirs;
    EXPECT_EQ(OurEvents(ours), expected) << ours;
  }

  void ExpectTracesAgree(const std::string& host, int maximumTtl,
                         const std::vector<std::string>& expected) {
    SCOPED_TRACE(host);
    const auto theirs = OutputIn(
        Client(), "traceroute -6 -n -q 1 -w 1 -m " + std::to_string(maximumTtl) + " " + host);
    ASSERT_TRUE(theirs);
    EXPECT_EQ(Hops(*theirs), expected) << *theirs;
    for (const bool raw : {true, false}) {
      const std::string ours = OurTrace(host, maximumTtl, raw);
      EXPECT_EQ(Hops(ours), expected) << (raw ? "raw socket\n" : "error queue\n") << ours;
    }
  }

  std::unique_ptr<test::RoutedChain> chain_;
};

TEST_F(Ipv6Lab, PingAgreesWithIputilsEventByEvent) {
  NETROVE_REQUIRE_PRIVILEGE();
  ASSERT_TRUE(chain_->ok());
  ExpectPingsAgree(kServer, 2, 0, {"reply fd20:3::2", "reply fd20:3::2"});
  ExpectPingsAgree(kServer, 1, 1, {"hop limit fd20:1::1"});
  ExpectPingsAgree(kServer, 1, 2, {"hop limit fd20:2::2"});
  ExpectPingsAgree("fd23::1", 1, 0, {"no route fd20:1::1"});
  ExpectPingsAgree("fd24::1", 1, 0, {"no route fd20:1::1"});
  ExpectPingsAgree("fd25::1", 1, 0, {"prohibited fd20:1::1"});
  ASSERT_TRUE(chain_->Exec("server", "sysctl -w net.ipv6.icmp.echo_ignore_all=1"));
  ExpectPingsAgree(kServer, 1, 0, {"timeout"});
}

TEST_F(Ipv6Lab, TracerouteAgreesWithDebianTracerouteHopByHop) {
  NETROVE_REQUIRE_PRIVILEGE();
  ASSERT_TRUE(chain_->ok());
  ExpectTracesAgree(kServer, 5, {"1 fd20:1::1", "2 fd20:2::2", "3 fd20:3::2"});
  ExpectTracesAgree("fd24::1", 1, {"1 fd20:1::1 !N"});
  ExpectTracesAgree("fd25::1", 1, {"1 fd20:1::1 !X"});
  // r2's own ICMPv6 goes nowhere; what it forwards still passes.
  ASSERT_TRUE(chain_->Exec("r2", "ip -6 rule add iif lo ipproto ipv6-icmp lookup 100 pref 100"));
  ASSERT_TRUE(chain_->Exec("r2", "ip -6 route add blackhole default table 100"));
  ExpectTracesAgree(kServer, 5, {"1 fd20:1::1", "2 *", "3 fd20:3::2"});
}

TEST_F(Ipv6Lab, ARouterThatCannotForwardARequestSaysHowBigItMayBe) {
  NETROVE_REQUIRE_PRIVILEGE();
  ASSERT_TRUE(chain_->ok());
  ASSERT_TRUE(chain_->Exec("r1", "ip link set v1a mtu 1280"));
  ASSERT_TRUE(chain_->Exec("r2", "ip link set v1b mtu 1280"));
  PingHarness ping;
  PingRequest request;
  request.host = kServer;
  request.requestLimit = 3;
  request.packetSize = 1400;
  request.replyTimeoutMs = 1000;
  test::ScopedNetns inside(Client());
  ASSERT_TRUE(inside.ok());
  ASSERT_TRUE(ping.Run(request));
  // IPv6 routers never fragment: the first request comes back as "too big",
  // and the host fragments the next one to the size it has learnt. Its reply
  // meets the narrow link on the way back and is lost while the server
  // learns the same; the third gets through both ways.
  const std::string text = ping.sink.Text();
  EXPECT_TRUE(
      text.starts_with("Pinging fd20:3::2 with 1400 bytes of data:\r\n\r\n"
                       "Reply from fd20:1::1: Packet too big, MTU 1280.\r\n"))
      << text;
  EXPECT_EQ(CountOf(text, "Request timed out.\r\n"), 1) << text;
  EXPECT_EQ(CountOf(text, "Reply from fd20:3::2: bytes=1400 seq=3 time="), 1) << text;
  EXPECT_NE(text.find("3 packets transmitted; 1 packets received; 66% packets loss"),
            std::string::npos)
      << text;
}

TEST_F(Ipv6Lab, TheTranscriptsShowTheAddressesAsTheyAreWritten) {
  NETROVE_REQUIRE_PRIVILEGE();
  ASSERT_TRUE(chain_->ok());
  // Typed long or in brackets, an address is shown in its RFC 5952 form.
  const std::string ping = OurPing("[fd20:3:0:0:0:0:0:2]", 1, 0);
  EXPECT_TRUE(ping.starts_with("Pinging fd20:3::2 with 64 bytes of data:\r\n\r\n")) << ping;
  EXPECT_EQ(CountOf(ping, "Reply from fd20:3::2: bytes=64 seq=1 time="), 1) << ping;
  const std::string trace = OurTrace("FD20:3::2", 30, true);
  EXPECT_TRUE(test::Matches(trace, "^traceroute to fd20:3::2: 30 hops max, 10 data bytes\\.\r\n" +
                                       test::HopLinePattern("001", "fd20:1::1", 1) +
                                       test::HopLinePattern("002", "fd20:2::2", 1) +
                                       test::HopLinePattern("003", kServer, 1) + "\r\n\r\n$"))
      << trace;
}

TEST_F(Ipv6Lab, UnprivilegedPingUsesTheIcmp6DatagramSocket) {
  NETROVE_REQUIRE_PRIVILEGE();
  ASSERT_TRUE(chain_->ok());
  ASSERT_TRUE(chain_->Exec("client", "sysctl -w net.ipv4.ping_group_range='0 2147483647'"));
  test::ScopedNetns inside(Client());
  ASSERT_TRUE(inside.ok());
  test::ScopedWithoutRawSockets unprivileged;
  ASSERT_TRUE(unprivileged.ok());
  PingHarness ping;
  PingRequest request;
  request.host = kServer;
  request.requestLimit = 2;
  request.replyTimeoutMs = 1000;
  ASSERT_TRUE(ping.Run(request));
  EXPECT_EQ(ping.engine.SocketKind(), IcmpSocketKind::Datagram);
  EXPECT_EQ(CountOf(ping.sink.Text(), "Reply from fd20:3::2: bytes=64 seq="), 2)
      << ping.sink.Text();
  // Errors reach a datagram socket through its error queue.
  request.requestLimit = 1;
  request.setTimeToLive = true;
  request.timeToLive = 2;
  ASSERT_TRUE(ping.Run(request));
  EXPECT_EQ(CountOf(ping.sink.Text(), "Reply from fd20:2::2: Hop limit exceeded.\r\n"), 1)
      << ping.sink.Text();
  EXPECT_TRUE(ping.reporter.Messages().empty());
}

}  // namespace
}  // namespace netrove
