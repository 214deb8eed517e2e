// The ping engine's pure parts: the request it sends, how received
// datagrams are sorted, the transcript texts and the statistics arithmetic.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/net_socket.h"
#include "base/settings_store.h"
#include "diagnostics/icmp_packet.h"
#include "diagnostics/ping_engine.h"
#include "diagnostics/ping_ledger.h"
#include "diagnostics/ping_reply.h"
#include "diagnostics/ping_settings.h"
#include "diagnostics/ping_transcript.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

constexpr std::uint32_t kTag = 0xA1B2C3D4;

std::vector<std::uint8_t> Request(std::size_t size, std::uint16_t number = 1) {
  std::vector<std::uint8_t> message(size);
  BuildEchoRequest(message, {kTag, 0x01020304, number});
  return message;
}

std::vector<std::uint8_t> IpHeader(std::uint8_t protocol, std::size_t headerLength = 20) {
  std::vector<std::uint8_t> header(headerLength, 0);
  header[0] = static_cast<std::uint8_t>(0x40 | (headerLength / 4));
  header[9] = protocol;
  header[12] = 10, header[13] = 0, header[14] = 0, header[15] = 7;  // source 10.0.0.7
  return header;
}

std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A raw datagram holding the echo reply to Request(size, number).
std::vector<std::uint8_t> RawReply(std::size_t size, std::uint16_t number,
                                   std::size_t outerHeader = 20) {
  auto reply = Request(size, number);
  reply[0] = kIcmpEchoReply;
  return Concat(IpHeader(kIpProtocolIcmp, outerHeader), reply);
}

// A raw datagram holding an ICMP error that quotes Request(64).
std::vector<std::uint8_t> RawError(std::uint8_t type, std::uint8_t code,
                                   std::size_t outerHeader = 20,
                                   std::uint8_t quotedProtocol = kIpProtocolIcmp) {
  std::vector<std::uint8_t> error = {type, code, 0, 0, 0, 0, 0, 0};
  auto quotedRequest = Request(64);
  quotedRequest.resize(8);  // a router quotes the first 8 bytes
  error = Concat(Concat(error, IpHeader(quotedProtocol)), quotedRequest);
  return Concat(IpHeader(kIpProtocolIcmp, outerHeader), error);
}

TEST(EchoRequest, HeaderFieldsAreLittleEndianAndTheChecksumVerifies) {
  const auto message = Request(14, 0x0102);
  EXPECT_EQ(message[0], 8);
  EXPECT_EQ(message[1], 0);
  EXPECT_EQ(
      (std::vector<std::uint8_t>(message.begin() + 4, message.end())),
      (std::vector<std::uint8_t>{0xD4, 0xC3, 0xB2, 0xA1, 0x04, 0x03, 0x02, 0x01, 0x02, 0x01}));
  EXPECT_EQ(InternetChecksum(message.data(), message.size()), 0);
  const auto odd = Request(15);
  EXPECT_EQ(odd.back(), 0x20);
  EXPECT_EQ(InternetChecksum(odd.data(), odd.size()), 0);
}

TEST(EchoRequest, FillRunsFromSpaceToTildeAndStartsAgain) {
  const auto message = Request(14 + 200);
  for (std::size_t i = 0; i < 200; ++i) {
    ASSERT_EQ(message[14 + i], 0x20 + i % 95) << "fill byte " << i;
  }
  EXPECT_EQ(message[14 + 94], 0x7E);
  EXPECT_EQ(message[14 + 95], 0x20);
}

TEST(IcmpViews, RejectHeadersThatDoNotFit) {
  EXPECT_FALSE(IpHeaderView::Parse({}));
  auto header = IpHeader(kIpProtocolIcmp);
  header[0] = 0x44;  // 16 bytes: below the minimum
  EXPECT_FALSE(IpHeaderView::Parse(header));
  header[0] = 0x46;  // 24 bytes claimed, 20 present
  EXPECT_FALSE(IpHeaderView::Parse(header));
  EXPECT_FALSE(IcmpView::Parse(std::vector<std::uint8_t>(7)));
  EXPECT_FALSE(ReadEchoFields(std::vector<std::uint8_t>(13)));
}

TEST(PingReply, AcceptsOnlyThisRunsEchoReplies) {
  const RunTagMatcher matcher(kTag, false);
  const auto reply = RawReply(64, 3);
  const PingEvent event = ClassifyRawDatagram(reply, matcher);
  EXPECT_EQ(event.kind, PingEventKind::EchoReply);
  EXPECT_EQ(event.icmpLength, 64);
  EXPECT_EQ(event.echo.number, 3);
  EXPECT_EQ(event.echo.sendTime, 0x01020304u);

  EXPECT_EQ(ClassifyRawDatagram(reply, RunTagMatcher(kTag + 1, false)).kind,
            PingEventKind::Ignored);
  auto ownRequest = reply;
  ownRequest[20] = kIcmpEchoRequest;  // the host's own request, seen on loopback
  EXPECT_EQ(ClassifyRawDatagram(ownRequest, matcher).kind, PingEventKind::Ignored);
  // Options in the IP header move the ICMP message.
  EXPECT_EQ(ClassifyRawDatagram(RawReply(64, 3, 28), matcher).kind, PingEventKind::EchoReply);
}

TEST(PingReply, MatchesErrorsByTheTagInTheQuotedRequest) {
  const RunTagMatcher matcher(kTag, false);
  const PingEvent exceeded = ClassifyRawDatagram(RawError(kIcmpTimeExceeded, 0), matcher);
  EXPECT_EQ(exceeded.kind, PingEventKind::TimeExceeded);
  const PingEvent unreachable =
      ClassifyRawDatagram(RawError(kIcmpDestinationUnreachable, 13), matcher);
  EXPECT_EQ(unreachable.kind, PingEventKind::DestinationUnreachable);
  EXPECT_EQ(unreachable.code, 13);
  // The quoted header is read at its own length, whatever the outer one is.
  EXPECT_EQ(ClassifyRawDatagram(RawError(kIcmpTimeExceeded, 0, 24), matcher).kind,
            PingEventKind::TimeExceeded);
  EXPECT_EQ(ClassifyRawDatagram(RawError(kIcmpTimeExceeded, 0), RunTagMatcher(1, false)).kind,
            PingEventKind::Ignored);
  // A traceroute probe's error (quoted UDP) is not a ping event.
  EXPECT_EQ(ClassifyRawDatagram(RawError(kIcmpTimeExceeded, 0, 20, kIpProtocolUdp), matcher).kind,
            PingEventKind::Ignored);
  EXPECT_EQ(ClassifyRawDatagram(RawError(5, 0), matcher).kind, PingEventKind::Ignored);  // redirect
}

TEST(PingReply, TruncatedDatagramsAreIgnored) {
  const RunTagMatcher matcher(kTag, false);
  for (const auto& whole : {RawReply(64, 1), RawError(kIcmpTimeExceeded, 0)}) {
    // Every field read lies within the first 20 + 14 (reply) or 20 + 8 + 20 + 8
    // (error) bytes; any shorter datagram is not one of this run's events.
    const std::size_t needed = whole[20] == kIcmpEchoReply ? 34 : 56;
    for (std::size_t length = 0; length < needed; ++length) {
      const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(length));
      EXPECT_EQ(ClassifyRawDatagram(cut, matcher).kind, PingEventKind::Ignored)
          << "length " << length;
    }
    const std::vector<std::uint8_t> exact(whole.begin(), whole.begin() + static_cast<long>(needed));
    EXPECT_NE(ClassifyRawDatagram(exact, matcher).kind, PingEventKind::Ignored);
  }
}

TEST(PingReply, DatagramSocketsCompareOnlyTheSequenceHalfOfTheTag) {
  const RunTagMatcher matcher(kTag, true);
  auto reply = Request(64);
  reply[0] = kIcmpEchoReply;
  reply[4] = 0x99, reply[5] = 0x88;  // the kernel's identifier
  EXPECT_EQ(ClassifyDatagramSocketReply(reply, matcher).kind, PingEventKind::EchoReply);
  reply[7] ^= 1;
  EXPECT_EQ(ClassifyDatagramSocketReply(reply, matcher).kind, PingEventKind::Ignored);

  const auto request = Request(64);
  const PingEvent queued = ClassifyQueuedError(kIcmpTimeExceeded, 0, request, matcher);
  EXPECT_EQ(queued.kind, PingEventKind::TimeExceeded);
  EXPECT_EQ(ClassifyQueuedError(kIcmpTimeExceeded, 0, ByteView(request).first(7), matcher).kind,
            PingEventKind::Ignored);
}

TEST(PingTranscript, LinesHaveTheirExactTexts) {
  EXPECT_EQ(PingingLine(false, "host", "127.0.0.1", 64),
            "Pinging 127.0.0.1 with 64 bytes of data:\r\n\r\n");
  EXPECT_EQ(PingingLine(true, "host", "127.0.0.1", 14),
            "Pinging host [127.0.0.1] with 14 bytes of data:\r\n\r\n");
  EXPECT_EQ(ReplyLine("10.1.2.3", 64, 2, 17),
            "Reply from 10.1.2.3: bytes=64 seq=2 time=17 ms.\r\n");
  EXPECT_EQ(BroadcastReplyLine("10.1.2.9", 64, 1), "Reply from 10.1.2.9: bytes=64 seq=1.\r\n");
  EXPECT_EQ(UnreachableLine("10.0.0.1", 0),
            "Reply from 10.0.0.1: Destination unreachable, network unreachable.\r\n");
  EXPECT_EQ(UnreachableCodeText(4), "fragmentation needed and DF set.");
  EXPECT_EQ(UnreachableCodeText(12), "host unreachable for type of service.");
  EXPECT_EQ(UnreachableCodeText(13), "meaning unknown (13).");
  EXPECT_EQ(TimeExceededLine("10.0.0.1", 0),
            "Reply from 10.0.0.1: Time-to-live count exceeded.\r\n");
  EXPECT_EQ(TimeExceededLine("10.0.0.1", 1),
            "Reply from 10.0.0.1: Fragment reassembly time exceeded.\r\n");
}

// An ICMPv6 error, as both kinds of ICMPv6 socket deliver it (no outer
// header), quoting an IPv6 packet that carried Request(64) as ICMPv6.
std::vector<std::uint8_t> Icmp6Error(std::uint8_t type, std::uint8_t code, std::uint32_t word,
                                     std::uint8_t nextHeader = kIpProtocolIcmp6) {
  std::vector<std::uint8_t> error = {type,
                                     code,
                                     0,
                                     0,
                                     static_cast<std::uint8_t>(word >> 24),
                                     static_cast<std::uint8_t>(word >> 16),
                                     static_cast<std::uint8_t>(word >> 8),
                                     static_cast<std::uint8_t>(word)};
  std::vector<std::uint8_t> quotedHeader(kIpv6HeaderSize, 0);
  quotedHeader[0] = 0x60;
  quotedHeader[6] = nextHeader;
  std::vector<std::uint8_t> request(64);
  BuildEchoRequest(request, {kTag, 0x01020304, 1}, IcmpFamily::IPv6);
  return Concat(Concat(error, quotedHeader), request);
}

TEST(PingReply6, EchoRepliesAndErrorsAreSortedByTheTagTheyCarry) {
  std::vector<std::uint8_t> request(64);
  BuildEchoRequest(request, {kTag, 0x01020304, 7}, IcmpFamily::IPv6);
  EXPECT_EQ(request[0], kIcmp6EchoRequest);
  EXPECT_EQ(request[2] | request[3], 0) << "the kernel sums over the IPv6 addresses";
  const RunTagMatcher matcher(kTag, false);
  EXPECT_EQ(ClassifyIcmp6Message(request, matcher).kind, PingEventKind::Ignored);
  auto reply = request;
  reply[0] = kIcmp6EchoReply;
  const PingEvent event = ClassifyIcmp6Message(reply, matcher);
  EXPECT_EQ(event.kind, PingEventKind::EchoReply);
  EXPECT_EQ(event.echo.number, 7);
  EXPECT_EQ(event.icmpLength, 64);
  EXPECT_EQ(ClassifyIcmp6Message(reply, RunTagMatcher(kTag + 1, false)).kind,
            PingEventKind::Ignored);

  const struct {
    std::uint8_t type;
    PingEventKind kind;
  } errors[] = {{kIcmp6DestinationUnreachable, PingEventKind::DestinationUnreachable},
                {kIcmp6PacketTooBig, PingEventKind::PacketTooBig},
                {kIcmp6TimeExceeded, PingEventKind::TimeExceeded},
                {kIcmp6ParameterProblem, PingEventKind::ParameterProblem}};
  for (const auto& [type, kind] : errors) {
    const PingEvent error = ClassifyIcmp6Message(Icmp6Error(type, 3, 1280), matcher);
    EXPECT_EQ(error.kind, kind) << int{type};
    EXPECT_EQ(error.family, IcmpFamily::IPv6);
    EXPECT_EQ(error.code, 3);
    EXPECT_EQ(error.detail, 1280u);
  }
  // Another run's request, a traceroute probe (UDP) or an extension header
  // in front of the quoted ICMPv6 concern this run not.
  EXPECT_EQ(
      ClassifyIcmp6Message(Icmp6Error(kIcmp6TimeExceeded, 0, 0), RunTagMatcher(1, false)).kind,
      PingEventKind::Ignored);
  EXPECT_EQ(
      ClassifyIcmp6Message(Icmp6Error(kIcmp6TimeExceeded, 0, 0, kIpProtocolUdp), matcher).kind,
      PingEventKind::Ignored);
  EXPECT_EQ(ClassifyIcmp6Message(Icmp6Error(kIcmp6TimeExceeded, 0, 0, 44), matcher).kind,
            PingEventKind::Ignored);
  // The IPv4 numbers mean other things in ICMPv6: 3 is time exceeded, 11 nothing.
  EXPECT_EQ(ClassifyIcmp6Message(Icmp6Error(kIcmpTimeExceeded, 0, 0), matcher).kind,
            PingEventKind::Ignored);
  // A datagram socket's queued error names its family and brings the MTU.
  const auto quoted = std::vector<std::uint8_t>(request.begin(), request.end());
  const PingEvent queued = ClassifyQueuedError(kIcmp6PacketTooBig, 0, quoted,
                                               RunTagMatcher(kTag, true), IcmpFamily::IPv6, 1400);
  EXPECT_EQ(queued.kind, PingEventKind::PacketTooBig);
  EXPECT_EQ(queued.detail, 1400u);
}

TEST(PingReply6, TruncatedMessagesAreIgnored) {
  const RunTagMatcher matcher(kTag, false);
  const auto whole = Icmp6Error(kIcmp6DestinationUnreachable, 4, 0);
  // ICMPv6 header, the quoted IPv6 header and 8 bytes of what followed it.
  for (std::size_t size = 0; size < 8 + 40 + 8; ++size) {
    const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(size));
    ASSERT_EQ(ClassifyIcmp6Message(cut, matcher).kind, PingEventKind::Ignored) << size;
  }
  std::vector<std::uint8_t> shortReply(13, 0);
  shortReply[0] = kIcmp6EchoReply;
  EXPECT_EQ(ClassifyIcmp6Message(shortReply, matcher).kind, PingEventKind::Ignored);
}

TEST(PingTranscript6, ErrorLinesSayWhatHappenedInTheIPv4Words) {
  EXPECT_EQ(Unreachable6Line("fd00::1", 0),
            "Reply from fd00::1: Destination unreachable, no route to destination.\r\n");
  EXPECT_EQ(Unreachable6CodeText(1), "communication with destination administratively prohibited.");
  EXPECT_EQ(Unreachable6CodeText(3), "address unreachable.");
  EXPECT_EQ(Unreachable6CodeText(4), "port unreachable.");
  EXPECT_EQ(Unreachable6CodeText(6), "reject route to destination.");
  EXPECT_EQ(Unreachable6CodeText(7), "meaning unknown (7).");
  EXPECT_EQ(HopLimitExceededLine("fd00::1", 0), "Reply from fd00::1: Hop limit exceeded.\r\n");
  EXPECT_EQ(HopLimitExceededLine("fd00::1", 1),
            "Reply from fd00::1: Fragment reassembly time exceeded.\r\n");
  EXPECT_EQ(PacketTooBigLine("fd00::1", 1280), "Reply from fd00::1: Packet too big, MTU 1280.\r\n");
  EXPECT_EQ(ParameterProblemLine("fd00::1", 1, 40),
            "Reply from fd00::1: Parameter problem, unrecognized next header type at byte 40.\r\n");
  EXPECT_EQ(ParameterProblemLine("fd00::1", 9, 40),
            "Reply from fd00::1: Parameter problem, meaning unknown (9).\r\n");
}

TEST(PingStatistics, LossAndAverageTruncate) {
  EXPECT_EQ(LossPercent(3, 1), 66);
  EXPECT_EQ(LossPercent(4, 3), 25);
  EXPECT_EQ(LossPercent(0, 0), 0);
  EXPECT_EQ(LossPercent(1, 2), 0) << "never negative";
  RoundTripStatistics times;
  times.Add(2);
  times.Add(3);
  times.Add(0xFFFFFFF0u);  // sums beyond 32 bits still average right
  EXPECT_EQ(times.minimum(), 2u);
  EXPECT_EQ(times.maximum(), 0xFFFFFFF0u);
  EXPECT_EQ(times.Average(3), (0xFFFFFFF0ull + 5) / 3);
}

TEST(PingStatistics, BlockFormsFollowTheRunsEnd) {
  RoundTripStatistics times;
  times.Add(1);
  times.Add(4);
  EXPECT_EQ(StatisticsBlock({3, 2, false, false}, times),
            "\r\n--- Pinging Statistics ---\r\n3 packets transmitted; 2 packets received; 33% "
            "packets loss\r\n"
            "Round-trip (ms)  min/avg/max = 1/2/4\r\n\r\n");
  EXPECT_EQ(StatisticsBlock({5, 7, false, true}, times),
            "\r\n--- Pinging Statistics ---\r\n5 packets transmitted; 7 packets received.\r\n\r\n");
  RoundTripStatistics once;
  once.Add(3);
  EXPECT_EQ(StatisticsBlock({1, 1, false, false, 2}, once),
            "\r\n--- Pinging Statistics ---\r\n1 packets transmitted; 1 packets received; +2 "
            "duplicates; 0% packets loss\r\n"
            "Round-trip (ms)  min/avg/max = 3/3/3\r\n\r\n");
  EXPECT_EQ(DuplicateReplyLine("10.0.0.1", 64, 1, 3),
            "Reply from 10.0.0.1: bytes=64 seq=1 time=3 ms. (DUP!)\r\n");
  EXPECT_EQ(StatisticsBlock({3, 2, true, false}, times), "\r\n");
  EXPECT_EQ(StatisticsBlock({3, 0, false, false}, RoundTripStatistics{}), "\r\n");
}

TEST(PingLedger, EachRequestSettlesOnceByReplyErrorOrItsOwnTimeOut) {
  using Verdict = CPingLedger::Verdict;
  using std::chrono::milliseconds;
  const auto start = CPingLedger::Clock::time_point{} + std::chrono::hours(1);
  CPingLedger ledger;
  EXPECT_EQ(ledger.Replied(1), Verdict::kNotPending) << "never sent";
  EXPECT_FALSE(ledger.NextDeadline().has_value());
  ledger.Sent(1, start + milliseconds(1000));
  ledger.Sent(2, start + milliseconds(2000));
  ledger.Sent(3, start + milliseconds(3000));
  EXPECT_EQ(ledger.NextDeadline(), start + milliseconds(1000));
  EXPECT_EQ(ledger.Replied(1), Verdict::kFirstReply);
  EXPECT_EQ(ledger.Replied(1), Verdict::kDuplicate);
  EXPECT_EQ(ledger.NextDeadline(), start + milliseconds(2000))
      << "an answered request waits no more";
  EXPECT_FALSE(ledger.TimedOut(start + milliseconds(1999)));
  EXPECT_TRUE(ledger.TimedOut(start + milliseconds(2000)));
  EXPECT_EQ(ledger.Replied(2), Verdict::kNotPending) << "its time-out was written already";
  EXPECT_TRUE(ledger.Failed()) << "an error settles the earliest pending request, 3";
  EXPECT_FALSE(ledger.Failed());
  EXPECT_FALSE(ledger.TimedOut(start + std::chrono::hours(1)));
  // After 65535 requests the numbers come round again.
  ledger.Sent(1, start + milliseconds(9000));
  EXPECT_EQ(ledger.Replied(1), Verdict::kFirstReply);
}

TEST(PingSettingsStore, DefaultsThenStoredValues) {
  test::ScopedHome home;
  PingSettings settings = ReadPingSettings();
  EXPECT_EQ(settings.packetsToSend, 4);
  EXPECT_TRUE(settings.specifyLimit);
  EXPECT_EQ(settings.packetSize, 64);
  EXPECT_EQ(settings.replyTimeOutSeconds, 4);
  EXPECT_EQ(settings.timeToLive, 64);
  EXPECT_FALSE(settings.resolveAddress || settings.setTimeToLive || settings.dontRoute);

  ASSERT_TRUE(WritePingSetting(kSpecifyValue, 0));
  ASSERT_TRUE(WritePingSetting(kReplyTimeOutValue, 9));
  ASSERT_TRUE(WritePingSetting(kTtlValue, 3));
  ASSERT_TRUE(WritePingSetting(kTimeToLiveValue, 1));
  settings = ReadPingSettings();
  const PingRequest request = PingRequestFromSettings(settings, "example");
  EXPECT_EQ(request.requestLimit, 0);
  EXPECT_EQ(request.replyTimeoutMs, 9000);
  EXPECT_TRUE(request.setTimeToLive);
  EXPECT_EQ(request.timeToLive, 3);
  EXPECT_EQ(request.host, "example");
}

}  // namespace
}  // namespace netrove
