// The traceroute text, probes, field rules, settings and answer sorting,
// without any socket.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <vector>

#include "base/settings_store.h"
#include "diagnostics/traceroute_answer.h"
#include "diagnostics/traceroute_format.h"
#include "diagnostics/traceroute_probe.h"
#include "diagnostics/traceroute_settings.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

TEST(TraceRouteFormat, RoundTripsHopNumbersAndHeaders) {
  EXPECT_EQ(RoundTripText(0), "  <10 ms");
  EXPECT_EQ(RoundTripText(7), "  007 ms");
  EXPECT_EQ(RoundTripText(123), "  123 ms");
  EXPECT_EQ(RoundTripText(4567), "  4567 ms");
  EXPECT_EQ(HopNumberText(1), "001  ");
  EXPECT_EQ(HopNumberText(30), "030  ");
  EXPECT_EQ(HopNumberText(255), "255  ");
  EXPECT_EQ(TraceHeaderLine(false, "example", "10.0.0.9", 30, 10),
            "traceroute to 10.0.0.9: 30 hops max, 10 data bytes.\r\n");
  EXPECT_EQ(TraceHeaderLine(true, "example", "10.0.0.9", 4, 512),
            "traceroute to example (10.0.0.9): 4 hops max, 512 data bytes.\r\n");
  EXPECT_EQ(MultipleAddressWarning("two.example", "10.0.0.1"),
            "traceroute warning: two.example has multiple addresses; using 10.0.0.1.\r\n");
  EXPECT_EQ(VerboseReportText("10.0.0.1", 0, 0), "From 10.0.0.1: ICMP Type = 0, Code = 0. ");
  EXPECT_EQ(ResponderText("10.0.0.1", std::nullopt), " 10.0.0.1");
  EXPECT_EQ(ResponderText("10.0.0.1", std::string("gw.example")), " gw.example (10.0.0.1)");
  // Long names are not cut.
  const std::string longName(3000, 'n');
  EXPECT_EQ(ResponderText("10.0.0.1", longName), " " + longName + " (10.0.0.1)");
}

TEST(TraceRouteFormat, AnnotationsByOutcomeAndCode) {
  EXPECT_EQ(AnnotationText(TraceOutcome::Hop, 0, true), "");
  EXPECT_EQ(AnnotationText(TraceOutcome::DestinationReached, 3, false), "");
  EXPECT_EQ(AnnotationText(TraceOutcome::DestinationReached, 3, true), " !");
  const std::pair<int, const char*> codes[] = {
      {0, " !N"},  {1, " !H"},   {2, " !P"},   {4, " !F"},     {5, " !S"},
      {13, " !X"}, {6, " !<6>"}, {9, " !<9>"}, {10, " !<10>"}, {255, " !<255>"}};
  for (const auto& [code, text] : codes)
    EXPECT_EQ(AnnotationText(TraceOutcome::Unreachable, code, false), text);
}

TEST(TraceRouteFormat, EachNewResponderOfAHopStartsALineWithTheSameNumber) {
  HopLine line(2);
  EXPECT_EQ(line.Opening(), "002  ");
  const std::string first = "10.0.0.1";
  const std::string second = "2001:db8::2";
  ASSERT_TRUE(line.IsNewResponder(first));
  std::string text = line.Opening() + line.SwitchTo(first, " 10.0.0.1") + RoundTripText(1);
  // The same router again: only its time.
  EXPECT_FALSE(line.IsNewResponder(first));
  text += RoundTripText(2);
  ASSERT_TRUE(line.IsNewResponder(second));
  text += line.SwitchTo(second, " 2001:db8::2") + RoundTripText(0);
  // Back to the first: a new line again, since it is not the last one.
  ASSERT_TRUE(line.IsNewResponder(first));
  text += line.SwitchTo(first, " 10.0.0.1") + RoundTripText(3);
  EXPECT_EQ(text,
            "002   10.0.0.1  001 ms  002 ms\r\n"
            "002   2001:db8::2  <10 ms\r\n"
            "002   10.0.0.1  003 ms");
}

TEST(TraceRouteProbe, HeaderIsLittleEndianAndLeavesTheFill) {
  std::vector<std::uint8_t> probe(16, 0);
  WriteProbeHeader(probe, {0x0102, 0x03040506, 0xA0B0C0D0});
  const std::vector<std::uint8_t> expected = {0x02, 0x01, 0x06, 0x05, 0x04, 0x03, 0xD0, 0xC0,
                                              0xB0, 0xA0, 0,    0,    0,    0,    0,    0};
  EXPECT_EQ(probe, expected);
  ProbeHeader header;
  ASSERT_TRUE(ReadProbeHeader(probe, header));
  EXPECT_EQ(header.number, 0x0102);
  EXPECT_EQ(header.ttl, 0x03040506u);
  EXPECT_EQ(header.sendTime, 0xA0B0C0D0u);
  EXPECT_FALSE(ReadProbeHeader(std::span<const std::uint8_t>(probe).first(9), header));
}

TEST(TraceRouteProbe, SizesNeverBelowTheHeader) {
  EXPECT_EQ(UsableProbeSize(-5), 10u);
  EXPECT_EQ(UsableProbeSize(0), 10u);
  EXPECT_EQ(UsableProbeSize(9), 10u);
  EXPECT_EQ(UsableProbeSize(10), 10u);
  EXPECT_EQ(UsableProbeSize(16384), 16384u);
  EXPECT_EQ(UsableProbeSize(1'000'000), kProbeMaxSize);
}

TEST(TraceRouteProbe, DestinationPortsCountUpAndWrapPastZero) {
  EXPECT_EQ(NextDestinationPort(33434), 33435);
  EXPECT_EQ(NextDestinationPort(65534), 65535);
  // Port 0 cannot be a destination: the count wraps on to 1.
  EXPECT_EQ(NextDestinationPort(65535), 1);
}

TEST(TraceRouteProbe, SourcePortsStayInTheUpperHalf) {
  EXPECT_EQ(FirstSourcePort(0), 0x8000);
  EXPECT_EQ(FirstSourcePort(0x1234), 0x9234);
  EXPECT_EQ(FirstSourcePort(0xFFFF8001u), 0x8001);
  EXPECT_EQ(NextSourcePort(0x8000), 0x8001);
  EXPECT_EQ(NextSourcePort(0xFFFF), 0x8000);
}

TEST(TraceRouteFields, TimeToLiveFieldsNeverCross) {
  // Stepping the maximum to 4 while the initial one is 5 sets it back to 5.
  EXPECT_EQ(KeptMaximumTtl(4, 5), 5);
  EXPECT_EQ(KeptMaximumTtl(6, 5), 6);
  EXPECT_EQ(KeptMaximumTtl(5, 5), 5);
  EXPECT_EQ(KeptInitialTtl(6, 5), 5);
  EXPECT_EQ(KeptInitialTtl(4, 5), 4);
}

TEST(TraceRouteFields, PortTextIsClampedToAValidPort) {
  EXPECT_EQ(KeptDestinationPort("33434"), 33434);
  EXPECT_EQ(KeptDestinationPort("65535"), 65535);
  EXPECT_EQ(KeptDestinationPort("65536"), 65535);
  EXPECT_EQ(KeptDestinationPort("99999"), 65535);
  EXPECT_EQ(KeptDestinationPort("123456789012345678901234567890"), 65535);
  EXPECT_EQ(KeptDestinationPort("0"), 1);
  EXPECT_EQ(KeptDestinationPort("00000"), 1);
  EXPECT_EQ(KeptDestinationPort(""), 1);
  EXPECT_EQ(KeptDestinationPort("12a"), 1);
  EXPECT_EQ(KeptDestinationPort("-5"), 1);
}

TEST(TraceRouteSettingsStore, DefaultsThenStoredValuesUnderEitherSpelling) {
  test::ScopedHome home;
  const TraceRouteSettings defaults = ReadTraceRouteSettings();
  EXPECT_EQ(defaults.probesToSend, 3);
  EXPECT_EQ(defaults.replyTimeOutSeconds, 5);
  EXPECT_EQ(defaults.initialTtl, 1);
  EXPECT_EQ(defaults.maximumTtl, 30);
  EXPECT_EQ(defaults.packetSize, 10);
  EXPECT_EQ(defaults.initialDestPort, 33434);
  EXPECT_FALSE(defaults.resolveAddress || defaults.dontRoute || defaults.verbose);

  ASSERT_TRUE(WriteTraceRouteSetting(kTraceProbesToSendValue, 7));
  ASSERT_TRUE(WriteTraceRouteSetting(kTraceVerboseValue, 1));
  // The window template's type name spells the key differently.
  auto key = CreateToolKey("TraceRoute");
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteDword("InitialDestPort", 40000));
  const TraceRouteSettings stored = ReadTraceRouteSettings();
  EXPECT_EQ(stored.probesToSend, 7);
  EXPECT_TRUE(stored.verbose);
  EXPECT_EQ(stored.initialDestPort, 40000);
  EXPECT_EQ(stored.maximumTtl, 30);
}

// A datagram as a raw ICMP socket delivers it.
struct AnswerBuilder {
  std::uint8_t ttl = 64;
  std::uint8_t type = 11;
  std::uint8_t code = 0;
  std::uint8_t quotedProtocol = 17;
  std::size_t quotedOptions = 0;  // 4-byte words of options in the quoted header
  std::uint16_t sourcePort = 40000;
  std::uint16_t destinationPort = 33434;
  std::size_t quotedTail = 8;  // bytes quoted behind the quoted IP header

  // Sized once and filled in place: GCC 12 at -O2 misreads growing a
  // 20-byte vector by insert() as a write past its end (-Warray-bounds).
  std::vector<std::uint8_t> Build() const {
    constexpr std::size_t kIpHeader = 20;
    constexpr std::size_t kIcmpHeader = 8;
    const std::size_t quotedHeader = kIpHeader + quotedOptions * 4;
    std::vector<std::uint8_t> datagram(kIpHeader + kIcmpHeader + quotedHeader + quotedTail, 0);
    datagram[0] = 0x45;
    datagram[8] = ttl;
    datagram[9] = 1;
    const std::uint8_t source[] = {10, 0, 0, 1};
    std::copy(std::begin(source), std::end(source), datagram.begin() + 12);
    datagram[kIpHeader] = type;
    datagram[kIpHeader + 1] = code;
    const std::size_t quoted = kIpHeader + kIcmpHeader;
    datagram[quoted] = static_cast<std::uint8_t>(0x40 | (5 + quotedOptions));
    datagram[quoted + 9] = quotedProtocol;
    const std::uint8_t ports[] = {static_cast<std::uint8_t>(sourcePort >> 8),
                                  static_cast<std::uint8_t>(sourcePort),
                                  static_cast<std::uint8_t>(destinationPort >> 8),
                                  static_cast<std::uint8_t>(destinationPort)};
    const std::size_t tail = quoted + quotedHeader;
    for (std::size_t i = 0; i < quotedTail && i < 4; ++i) datagram[tail + i] = ports[i];
    return datagram;
  }
};

constexpr ProbePorts kProbe{40000, 33434};

TEST(TraceRouteAnswer, AnswersToTheProbeInFlight) {
  AnswerBuilder hop;
  TraceAnswer answer = ClassifyRawAnswer(hop.Build(), kProbe);
  EXPECT_EQ(answer.kind, TraceAnswerKind::Matched);
  EXPECT_EQ(answer.outcome, TraceOutcome::Hop);
  EXPECT_EQ(answer.icmpLength, 36);

  AnswerBuilder reached;
  reached.type = 3;
  reached.code = 3;
  answer = ClassifyRawAnswer(reached.Build(), kProbe);
  EXPECT_EQ(answer.outcome, TraceOutcome::DestinationReached);
  EXPECT_FALSE(answer.lowTtl);
  reached.ttl = 1;
  EXPECT_TRUE(ClassifyRawAnswer(reached.Build(), kProbe).lowTtl);
  reached.ttl = 0;
  EXPECT_TRUE(ClassifyRawAnswer(reached.Build(), kProbe).lowTtl);

  AnswerBuilder prohibited;
  prohibited.type = 3;
  prohibited.code = 13;
  prohibited.ttl = 1;
  answer = ClassifyRawAnswer(prohibited.Build(), kProbe);
  EXPECT_EQ(answer.kind, TraceAnswerKind::Matched);
  EXPECT_EQ(answer.outcome, TraceOutcome::Unreachable);
  EXPECT_EQ(answer.code, 13);
  EXPECT_FALSE(answer.lowTtl);

  // A quoted header with options moves the UDP ports behind them.
  AnswerBuilder withOptions;
  withOptions.quotedOptions = 10;
  EXPECT_EQ(ClassifyRawAnswer(withOptions.Build(), kProbe).kind, TraceAnswerKind::Matched);
}

TEST(TraceRouteAnswer, OtherProbesAndOtherRunsAreIgnored) {
  AnswerBuilder otherRun;
  otherRun.sourcePort = 40001;
  EXPECT_EQ(ClassifyRawAnswer(otherRun.Build(), kProbe).kind, TraceAnswerKind::Ignored);
  AnswerBuilder earlierProbe;
  earlierProbe.type = 3;
  earlierProbe.code = 3;
  earlierProbe.destinationPort = 33433;
  EXPECT_EQ(ClassifyRawAnswer(earlierProbe.Build(), kProbe).kind, TraceAnswerKind::Ignored);
  AnswerBuilder notUdp;
  notUdp.quotedProtocol = 6;
  EXPECT_EQ(ClassifyRawAnswer(notUdp.Build(), kProbe).kind, TraceAnswerKind::Ignored);
}

TEST(TraceRouteAnswer, AnswersTooShortForWhatTheyQuoteAreIgnored) {
  // 36 bytes of ICMP, but the quoted header claims 60 bytes of its own.
  AnswerBuilder truncated;
  truncated.quotedOptions = 10;
  std::vector<std::uint8_t> datagram = truncated.Build();
  datagram.resize(20 + 36);
  EXPECT_EQ(ClassifyRawAnswer(datagram, kProbe).kind, TraceAnswerKind::Ignored);
  // The quoted UDP header cut after the source port.
  AnswerBuilder cut;
  cut.quotedOptions = 1;
  cut.quotedTail = 4;
  datagram = cut.Build();
  ASSERT_GE(datagram.size() - 20, kMinimumAnswerSize);
  EXPECT_EQ(ClassifyRawAnswer(datagram, kProbe).kind, TraceAnswerKind::Ignored);
  // A quoted header whose length field is below 20 bytes.
  datagram = AnswerBuilder{}.Build();
  datagram[28] = 0x44;
  EXPECT_EQ(ClassifyRawAnswer(datagram, kProbe).kind, TraceAnswerKind::Ignored);
}

TEST(TraceRouteAnswer, ShortMessagesAndUnrelatedTypes) {
  std::vector<std::uint8_t> datagram = AnswerBuilder{}.Build();
  // Too short to quote a probe: anyone's, never the trace's; read on.
  datagram.resize(20 + 35);
  TraceAnswer answer = ClassifyRawAnswer(datagram, kProbe);
  EXPECT_EQ(answer.kind, TraceAnswerKind::Ignored);
  datagram.resize(20);
  EXPECT_EQ(ClassifyRawAnswer(datagram, kProbe).kind, TraceAnswerKind::Ignored);
  AnswerBuilder shortEcho;  // what `ping -s 0` sends: 8 bytes of ICMP
  shortEcho.type = 0;
  datagram = shortEcho.Build();
  datagram.resize(20 + 8);
  answer = ClassifyRawAnswer(datagram, kProbe);
  EXPECT_EQ(answer.kind, TraceAnswerKind::Unrelated) << "reported in verbose mode only";
  EXPECT_EQ(answer.icmpLength, 8);
  // Not even an IP header: nothing to say where it came from.
  datagram.resize(19);
  EXPECT_EQ(ClassifyRawAnswer(datagram, kProbe).kind, TraceAnswerKind::Ignored);
  EXPECT_EQ(ClassifyRawAnswer({}, kProbe).kind, TraceAnswerKind::Ignored);

  AnswerBuilder echoReply;
  echoReply.type = 0;
  answer = ClassifyRawAnswer(echoReply.Build(), kProbe);
  EXPECT_EQ(answer.kind, TraceAnswerKind::Unrelated);
  EXPECT_EQ(answer.type, 0);
  // Time exceeded in reassembly is not a hop.
  AnswerBuilder reassembly;
  reassembly.code = 1;
  answer = ClassifyRawAnswer(reassembly.Build(), kProbe);
  EXPECT_EQ(answer.kind, TraceAnswerKind::Unrelated);
  EXPECT_EQ(answer.code, 1);
}

// An ICMPv6 answer as the raw ICMPv6 socket delivers it: no IPv6 header of
// its own, the quoted IPv6 header fixed at 40 bytes, then the UDP ports.
std::vector<std::uint8_t> Answer6(std::uint8_t type, std::uint8_t code,
                                  std::uint8_t nextHeader = 17, std::uint16_t destination = 33434,
                                  std::size_t quotedTail = 8) {
  std::vector<std::uint8_t> message(8 + 40 + quotedTail, 0);
  message[0] = type;
  message[1] = code;
  message[8] = 0x60;
  message[8 + 6] = nextHeader;
  const std::uint8_t ports[] = {0x9C, 0x40, static_cast<std::uint8_t>(destination >> 8),
                                static_cast<std::uint8_t>(destination)};  // 40000 -> destination
  for (std::size_t i = 0; i < quotedTail && i < 4; ++i) message[48 + i] = ports[i];
  return message;
}

TEST(TraceRouteAnswer6, Icmp6AnswersAreReadWithTheirOwnNumbers) {
  TraceAnswer answer = ClassifyIcmp6Answer(Answer6(3, 0), kProbe);
  EXPECT_EQ(answer.kind, TraceAnswerKind::Matched);
  EXPECT_EQ(answer.outcome, TraceOutcome::Hop);
  answer = ClassifyIcmp6Answer(Answer6(1, 4), kProbe);
  EXPECT_EQ(answer.outcome, TraceOutcome::DestinationReached);
  EXPECT_EQ(AnnotationText(answer.outcome, answer.code, answer.lowTtl, answer.ipv6), "");
  const std::pair<int, const char*> marks[] = {{0, " !N"}, {1, " !X"}, {2, " !S"},
                                               {3, " !H"}, {6, " !X"}, {9, " !<9>"}};
  for (const auto& [code, mark] : marks) {
    answer = ClassifyIcmp6Answer(Answer6(1, static_cast<std::uint8_t>(code)), kProbe);
    EXPECT_EQ(answer.outcome, TraceOutcome::Unreachable);
    EXPECT_EQ(AnnotationText(answer.outcome, answer.code, answer.lowTtl, answer.ipv6), mark);
  }
  // Another probe, another protocol, too short a quote: not this probe's.
  EXPECT_EQ(ClassifyIcmp6Answer(Answer6(3, 0, 17, 33435), kProbe).kind, TraceAnswerKind::Ignored);
  EXPECT_EQ(ClassifyIcmp6Answer(Answer6(3, 0, 58), kProbe).kind, TraceAnswerKind::Ignored);
  EXPECT_EQ(ClassifyIcmp6Answer(Answer6(3, 0, 17, 33434, 7), kProbe).kind,
            TraceAnswerKind::Ignored);
  EXPECT_EQ(ClassifyIcmp6Answer(std::vector<std::uint8_t>(7, 3), kProbe).kind,
            TraceAnswerKind::Ignored);
  // Too big, reassembly time-outs, echo replies: reported in verbose mode.
  answer = ClassifyIcmp6Answer(Answer6(2, 0), kProbe);
  EXPECT_EQ(answer.kind, TraceAnswerKind::Unrelated);
  EXPECT_EQ(answer.type, 2);
  EXPECT_EQ(ClassifyIcmp6Answer(Answer6(3, 1), kProbe).kind, TraceAnswerKind::Unrelated);

  QueuedTraceError queued;
  queued.ipv6 = true;
  queued.type = 1;
  queued.code = 4;
  queued.destinationPort = 33434;
  queued.answerTtl = 1;
  answer = ClassifyQueuedAnswer(queued, kProbe);
  EXPECT_EQ(answer.outcome, TraceOutcome::DestinationReached);
  EXPECT_TRUE(answer.lowTtl);
  queued.type = 3;
  queued.code = 0;
  EXPECT_EQ(ClassifyQueuedAnswer(queued, kProbe).outcome, TraceOutcome::Hop);
  queued.type = 11;  // IPv4's time exceeded means nothing in ICMPv6
  EXPECT_EQ(ClassifyQueuedAnswer(queued, kProbe).kind, TraceAnswerKind::Unrelated);
}

TEST(TraceRouteAnswer, ErrorsQueuedOnTheProbeSocket) {
  QueuedTraceError error;
  error.type = 11;
  error.destinationPort = 33434;
  EXPECT_EQ(ClassifyQueuedAnswer(error, kProbe).outcome, TraceOutcome::Hop);
  EXPECT_EQ(ClassifyQueuedAnswer(error, kProbe).kind, TraceAnswerKind::Matched);
  error.destinationPort = 33435;
  EXPECT_EQ(ClassifyQueuedAnswer(error, kProbe).kind, TraceAnswerKind::Ignored);

  error = {};
  error.type = 3;
  error.code = 3;
  error.destinationPort = 33434;
  EXPECT_FALSE(ClassifyQueuedAnswer(error, kProbe).lowTtl);
  error.answerTtl = 1;
  EXPECT_TRUE(ClassifyQueuedAnswer(error, kProbe).lowTtl);
  EXPECT_EQ(ClassifyQueuedAnswer(error, kProbe).outcome, TraceOutcome::DestinationReached);
  error.code = 1;
  EXPECT_EQ(ClassifyQueuedAnswer(error, kProbe).outcome, TraceOutcome::Unreachable);

  error.type = 12;
  EXPECT_EQ(ClassifyQueuedAnswer(error, kProbe).kind, TraceAnswerKind::Unrelated);
}

}  // namespace
}  // namespace netrove
