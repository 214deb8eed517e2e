#include "diagnostics/traceroute_answer.h"

namespace netrove {
namespace {

std::uint16_t ReadBigEndian16(ByteView bytes, std::size_t offset) {
  return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

// Whether the error quotes a UDP datagram sent with the probe's ports.
bool QuotesProbe(const IcmpView& icmp, ProbePorts probe) {
  const auto quoted = QuotedDatagram::Parse(icmp);
  if (!quoted || quoted->ip().protocol() != kIpProtocolUdp) return false;
  const ByteView udp = quoted->leadingPayload();  // at least 8 bytes
  return ReadBigEndian16(udp, 0) == probe.source && ReadBigEndian16(udp, 2) == probe.destination;
}

TraceAnswer Matched(TraceOutcome outcome, int type, int code, bool lowTtl, int icmpLength) {
  return {TraceAnswerKind::Matched, outcome, type, code, lowTtl, icmpLength};
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

bool IsProbeAnswerType(int type, int code) {
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
  if (!IsProbeAnswerType(icmp->type(), icmp->code())) {
    TraceAnswer unrelated;
    unrelated.kind = TraceAnswerKind::Unrelated;
    unrelated.type = icmp->type();
    unrelated.code = icmp->code();
    unrelated.icmpLength = icmpLength;
    return unrelated;
  }
  if (!QuotesProbe(*icmp, probe)) return {};
  return *AnswerToProbe(icmp->type(), icmp->code(), ip->timeToLive() <= 1, icmpLength);
}

TraceAnswer ClassifyQueuedAnswer(const QueuedTraceError& error, ProbePorts probe) {
  if (!IsProbeAnswerType(error.type, error.code)) {
    TraceAnswer unrelated;
    unrelated.kind = TraceAnswerKind::Unrelated;
    unrelated.type = error.type;
    unrelated.code = error.code;
    return unrelated;
  }
  if (error.destinationPort != probe.destination) return {};
  const bool lowTtl = error.answerTtl.has_value() && *error.answerTtl <= 1;
  return *AnswerToProbe(error.type, error.code, lowTtl, 0);
}

}  // namespace netrove
