// Real ICMP on loopback: what a run sends, what it shows, and how runs keep
// apart. Needs root (raw sockets).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <vector>

#include "base/net_socket.h"
#include "diagnostics/icmp_packet.h"
#include "diagnostics/ping_run_recorder.h"
#include "diagnostics/ping_settings.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"

namespace netrove {
namespace {

using test::CountOf;
using test::LoopbackRequest;
using test::PingHarness;

// A second raw socket: on loopback it sees the echo requests the host sends.
class RequestCapture {
 public:
  RequestCapture() {
    static_cast<void>(socket_.Create(AF_INET, SOCK_RAW, IPPROTO_ICMP));
    const int size = 1 << 20;
    static_cast<void>(socket_.SetOption(SOL_SOCKET, SO_RCVBUF, &size, sizeof size));
  }
  // The ICMP messages of the echo requests received so far with `tag`.
  std::vector<std::vector<std::uint8_t>> Requests(std::uint32_t tag) {
    std::vector<std::vector<std::uint8_t>> requests;
    std::vector<std::uint8_t> buffer(70000);
    for (;;) {
      const SocketCount got = socket_.Recv(buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (!got) return requests;
      const auto icmp =
          IcmpFromRawDatagram(ByteView(buffer.data(), static_cast<std::size_t>(got.bytes)));
      if (!icmp || icmp->type() != kIcmpEchoRequest) continue;
      const auto fields = ReadEchoFields(icmp->message());
      if (fields && fields->runTag == tag)
        requests.emplace_back(icmp->message().begin(), icmp->message().end());
    }
  }

 private:
  CNetSocket socket_;
};

// The transcript with its times blanked, so it can be compared whole.
std::string WithoutTimes(const std::string& text) {
  const std::regex time("time=[0-9]+ ms");
  const std::regex figures("= [0-9]+/[0-9]+/[0-9]+");
  return std::regex_replace(std::regex_replace(text, time, "time=T ms"), figures, "= A/B/C");
}

TEST(PingLoopback, DefaultsGiveFourRepliesAndTheStatistics) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::ScopedHome home;
  PingHarness ping;
  ASSERT_TRUE(ping.Run(PingRequestFromSettings(ReadPingSettings(), "127.0.0.1")));
  EXPECT_EQ(WithoutTimes(ping.sink.Text()),
            "Pinging 127.0.0.1 with 64 bytes of data:\r\n\r\n"
            "Reply from 127.0.0.1: bytes=64 seq=1 time=T ms.\r\n"
            "Reply from 127.0.0.1: bytes=64 seq=2 time=T ms.\r\n"
            "Reply from 127.0.0.1: bytes=64 seq=3 time=T ms.\r\n"
            "Reply from 127.0.0.1: bytes=64 seq=4 time=T ms.\r\n"
            "\r\n--- Pinging Statistics ---\r\n"
            "4 packets transmitted; 4 packets received; 0% packets loss\r\n"
            "Round-trip (ms)  min/avg/max = A/B/C\r\n\r\n");
  EXPECT_EQ(ping.finished.Count(), 1);
  EXPECT_EQ(ping.finished.LastCommand(), kPingFinishedCommand);
  EXPECT_TRUE(ping.reporter.Messages().empty());
  EXPECT_EQ(ping.engine.SocketKind(), IcmpSocketKind::Raw);
}

TEST(PingLoopback, TheIPv6LoopbackAnswersOverIcmp6) {
  NETROVE_REQUIRE_PRIVILEGE();
  PingHarness ping;
  for (const char* host : {"::1", "[::1]", "0:0::1"}) {
    SCOPED_TRACE(host);
    PingRequest request = LoopbackRequest(2, 100);
    request.host = host;
    ASSERT_TRUE(ping.Run(request));
    EXPECT_EQ(ping.engine.Family(), IcmpFamily::IPv6);
    EXPECT_EQ(ping.engine.SocketKind(), IcmpSocketKind::Raw);
  }
  const std::string text = ping.sink.Text();
  const std::string oneRun =
      "Pinging ::1 with 100 bytes of data:\r\n\r\n"
      "Reply from ::1: bytes=100 seq=1 time=T ms.\r\n"
      "Reply from ::1: bytes=100 seq=2 time=T ms.\r\n"
      "\r\n--- Pinging Statistics ---\r\n"
      "2 packets transmitted; 2 packets received; 0% packets loss\r\n"
      "Round-trip (ms)  min/avg/max = A/B/C\r\n\r\n";
  EXPECT_EQ(CountOf(WithoutTimes(text), oneRun), 3) << text;
  EXPECT_TRUE(ping.reporter.Messages().empty());
}

TEST(PingLoopback, RequestsOnTheWireHaveTheRequestedSize) {
  NETROVE_REQUIRE_PRIVILEGE();
  RequestCapture capture;
  PingHarness ping;
  // 5 is below the 14-byte header and must be sent as 14.
  for (const auto& [asked, sent] :
       std::vector<std::pair<int, int>>{{14, 14}, {15, 15}, {96, 96}, {5, 14}}) {
    SCOPED_TRACE(asked);
    ASSERT_TRUE(ping.Run(LoopbackRequest(1, asked)));
    const auto requests = capture.Requests(ping.engine.RunTag());
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests.front();
    ASSERT_EQ(request.size(), static_cast<std::size_t>(sent));
    EXPECT_EQ(ReadEchoFields(request)->number, 1);
    EXPECT_EQ(InternetChecksum(request.data(), request.size()), 0);
    for (std::size_t i = kEchoRequestHeaderSize; i < request.size(); ++i) {
      EXPECT_EQ(request[i], EchoFillByte(i - kEchoRequestHeaderSize));
    }
    EXPECT_NE(ping.sink.Text().find("bytes=" + std::to_string(sent) + " seq=1 time="),
              std::string::npos);
  }
}

TEST(PingLoopback, ConcurrentRunsNeverSeeEachOthersReplies) {
  NETROVE_REQUIRE_PRIVILEGE();
  PingHarness small;
  PingHarness large;
  ASSERT_TRUE(small.engine.Start(LoopbackRequest(4, 64)));
  ASSERT_TRUE(large.engine.Start(LoopbackRequest(4, 100)));
  ASSERT_TRUE(small.finished.WaitFor(1));
  ASSERT_TRUE(large.finished.WaitFor(1));
  small.engine.Join();
  large.engine.Join();
  EXPECT_NE(small.engine.RunTag(), large.engine.RunTag());
  for (auto* run : {&small, &large}) {
    const std::string text = run->sink.Text();
    const std::string own = run == &small ? "bytes=64 " : "bytes=100 ";
    EXPECT_EQ(CountOf(text, "Reply from"), 4) << text;
    EXPECT_EQ(CountOf(text, own), 4) << text;
    EXPECT_NE(text.find("4 packets transmitted; 4 packets received; 0% packets loss"),
              std::string::npos)
        << text;
  }
}

TEST(PingLoopback, InterruptEndsAContinuousRunAtOnceWithABlankLine) {
  NETROVE_REQUIRE_PRIVILEGE();
  PingHarness ping;
  ASSERT_TRUE(ping.engine.Start(LoopbackRequest(0)));
  ASSERT_TRUE(test::WaitUntil([&] { return CountOf(ping.sink.Text(), "Reply from") >= 2; }));
  ping.engine.Interrupt();
  // A continuous run has no end of its own: only the interrupt finishes it.
  ASSERT_TRUE(ping.finished.WaitFor(1));
  ping.engine.Join();
  const std::string text = ping.sink.Text();
  ASSERT_GE(text.size(), 8u);
  EXPECT_EQ(text.substr(text.size() - 8), " ms.\r\n\r\n") << text;
  EXPECT_EQ(text.find("Statistics"), std::string::npos);
  EXPECT_TRUE(ping.reporter.Messages().empty());
}

// Answers look-ups the way a name server would for the cases under test.
class FakeResolver : public IResolver {
 public:
  explicit FakeResolver(int reverseError) : reverseError_(reverseError) {}
  SocketStatus HostByName(const std::string& name, HostEntry& out) override {
    if (name != "loophost") return {WSAHOST_NOT_FOUND};
    out.name = "loophost.example";
    out.addresses = {SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)})};
    return {};
  }
  SocketStatus HostByAddr(const SocketAddress&, HostEntry& out) override {
    if (reverseError_ != 0) return {reverseError_};
    out.name = "named.example";
    return {};
  }

 private:
  int reverseError_;
};

std::string FirstLine(const std::string& text) { return text.substr(0, text.find("\r\n")); }

// An address is pinged whatever the resolver says: without a name (glibc
// says "no such name", 11001, for an address without one) and without a
// reachable name server alike, the address is shown after the report.
TEST(PingNames, AnAddressWithoutANameIsShownTwiceAfterTheError) {
  NETROVE_REQUIRE_PRIVILEGE();
  for (const int noName : {WSANO_DATA, WSAHOST_NOT_FOUND, WSATRY_AGAIN, WSANO_RECOVERY}) {
    FakeResolver resolver(noName);
    PingHarness ping(resolver);
    PingRequest request = LoopbackRequest(1);
    request.resolveAddress = true;
    ASSERT_TRUE(ping.Run(request));
    EXPECT_EQ(FirstLine(ping.sink.Text()), "Pinging 127.0.0.1 [127.0.0.1] with 64 bytes of data:");
    EXPECT_EQ(CountOf(ping.sink.Text(), "Reply from 127.0.0.1: bytes=64 seq=1"), 1);
    ASSERT_EQ(ping.reporter.Messages().size(), 1u);
    EXPECT_EQ(ping.reporter.Messages()[0].source, kSourceWinSock);
    EXPECT_EQ(ping.reporter.Texts()[0], SocketErrorText(noName));
  }
}

TEST(PingNames, FirstLineNamesTheTargetAsTheOptionsSay) {
  NETROVE_REQUIRE_PRIVILEGE();
  FakeResolver resolver(0);
  const struct {
    std::string host;
    bool resolve;
    std::string firstLine;
  } cases[] = {
      {"loophost", false, "Pinging 127.0.0.1 with 64 bytes of data:"},
      {"loophost", true, "Pinging loophost [127.0.0.1] with 64 bytes of data:"},
      {"127.0.0.1", true, "Pinging named.example [127.0.0.1] with 64 bytes of data:"},
  };
  for (const auto& item : cases) {
    PingHarness ping(resolver);
    PingRequest request = LoopbackRequest(1);
    request.host = item.host;
    request.resolveAddress = item.resolve;
    ASSERT_TRUE(ping.Run(request));
    EXPECT_EQ(FirstLine(ping.sink.Text()), item.firstLine);
    // The reply lines name the address, whatever the first line shows.
    EXPECT_EQ(CountOf(ping.sink.Text(), "Reply from 127.0.0.1: bytes=64 seq=1 time="), 1);
  }
}

// Only a name that cannot be looked up stops the run.
TEST(PingNames, LookUpFailuresEndTheRunWithoutATranscript) {
  for (const auto& [host, reverseError, code] : std::vector<std::tuple<std::string, int, int>>{
           {"nosuchhost", 0, WSAHOST_NOT_FOUND}, {"nosuchhost", WSATRY_AGAIN, WSAHOST_NOT_FOUND}}) {
    FakeResolver resolver(reverseError);
    PingHarness ping(resolver);
    PingRequest request = LoopbackRequest(1);
    request.host = host;
    request.resolveAddress = true;
    ASSERT_TRUE(ping.Run(request));
    EXPECT_EQ(ping.sink.Text(), "");
    EXPECT_EQ(ping.finished.Count(), 1);
    ASSERT_EQ(ping.reporter.Texts().size(), 1u);
    EXPECT_EQ(ping.reporter.Texts()[0], SocketErrorText(code));
  }
}

}  // namespace
}  // namespace netrove
