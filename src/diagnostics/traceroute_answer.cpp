#include "diagnostics/traceroute_answer.h"

namespace netrove {
namespace {

std::uint16_t ReadBigEndian16(ByteView bytes, std::size_t offset) {
  return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

// Whether the error quotes a UDP datagram sent with the probe's ports.
bool QuotesProbe(const IcmpView& icmp, ProbePorts probe, IcmpFamily family) {
  const auto quoted = QuotedDatagram::Parse(icmp, family);
  if (!quoted || quoted->protocol() != kIpProtocolUdp) return false;
  const ByteView udp = quoted->leadingPayload();  // at least 8 bytes
  return ReadBigEndian16(udp, 0) == probe.source && ReadBigEndian16(udp, 2) == probe.destination;
}

TraceAnswer Matched(TraceOutcome outcome, int type, int code, bool lowTtl, int icmpLength) {
  return {TraceAnswerKind::Matched, outcome, false, type, code, lowTtl, icmpLength};
}

std::optional<TraceAnswer> Answer6ToProbe(int type, int code, bool lowTtl, int icmpLength) {
  std::optional<TraceAnswer> answer;
  if (type == kIcmp6TimeExceeded && code == kTimeExceededInTransit) {
    answer = Matched(TraceOutcome::Hop, type, code, false, icmpLength);
  } else if (type == kIcmp6DestinationUnreachable) {
    answer = code == kIcmp6PortUnreachable
                 ? Matched(TraceOutcome::DestinationReached, type, code, lowTtl, icmpLength)
                 : Matched(TraceOutcome::Unreachable, type, code, false, icmpLength);
  }
  if (answer) answer->ipv6 = true;
  return answer;
}

TraceAnswer Unrelated(int type, int code, int icmpLength, bool ipv6) {
  TraceAnswer unrelated;
  unrelated.kind = TraceAnswerKind::Unrelated;
  unrelated.ipv6 = ipv6;
  unrelated.type = type;
  unrelated.code = code;
  unrelated.icmpLength = icmpLength;
  return unrelated;
}

// What a time-exceeded or unreachable message means, once matched.
std::optional<TraceAnswer> AnswerToProbe(int type, int code, bool lowTtl, int icmpLength) {
  if (type == kIcmpTimeExceeded && code == kTimeExceededInTransit) {
    return Matched(TraceOutcome::Hop, type, code, false, icmpLength);
  }
  if (type == kIcmpDestinationUnreachable) {
    if (code == kPortUnreachable)
      return Matched(TraceOutcome::DestinationReached, type, code, lowTtl, icmpLength);
    return Matched(TraceOutcome::Unreachable, type, code, false, icmpLength);
  }
  return std::nullopt;
}

bool IsProbeAnswerType(int type, int code, bool ipv6 = false) {
  if (ipv6) {
    return (type == kIcmp6TimeExceeded && code == kTimeExceededInTransit) ||
           type == kIcmp6DestinationUnreachable;
  }
  return (type == kIcmpTimeExceeded && code == kTimeExceededInTransit) ||
         type == kIcmpDestinationUnreachable;
}

}  // namespace

TraceAnswer ClassifyRawAnswer(ByteView datagram, ProbePorts probe) {
  const auto ip = IpHeaderView::Parse(datagram);
  if (!ip) return {};
  const auto icmpLength = static_cast<int>(ip->payload().size());
  // Anyone can send the host a short ICMP message; one too short to quote a
  // probe is not an answer to it and the trace reads on.
  const auto icmp = IcmpView::Parse(ip->payload());
  if (!icmp) return {};
  if (!IsProbeAnswerType(icmp->type(), icmp->code()))
    return Unrelated(icmp->type(), icmp->code(), icmpLength, false);
  if (!QuotesProbe(*icmp, probe, IcmpFamily::IPv4)) return {};
  return *AnswerToProbe(icmp->type(), icmp->code(), ip->timeToLive() <= 1, icmpLength);
}

TraceAnswer ClassifyIcmp6Answer(ByteView message, ProbePorts probe) {
  const auto icmp = IcmpView::Parse(message);
  if (!icmp) return {};
  const auto icmpLength = static_cast<int>(icmp->size());
  if (!IsProbeAnswerType(icmp->type(), icmp->code(), true))
    return Unrelated(icmp->type(), icmp->code(), icmpLength, true);
  if (!QuotesProbe(*icmp, probe, IcmpFamily::IPv6)) return {};
  return *Answer6ToProbe(icmp->type(), icmp->code(), false, icmpLength);
}

TraceAnswer ClassifyQueuedAnswer(const QueuedTraceError& error, ProbePorts probe) {
  if (!IsProbeAnswerType(error.type, error.code, error.ipv6))
    return Unrelated(error.type, error.code, 0, error.ipv6);
  if (error.destinationPort != probe.destination) return {};
  const bool lowTtl = error.answerTtl.has_value() && *error.answerTtl <= 1;
  if (error.ipv6) return *Answer6ToProbe(error.type, error.code, lowTtl, 0);
  return *AnswerToProbe(error.type, error.code, lowTtl, 0);
}

}  // namespace netrove
