#include "diagnostics/ping_reply.h"

namespace netrove {
namespace {

PingEvent EchoReplyEvent(const IcmpView& icmp, const RunTagMatcher& matcher) {
  const auto fields = ReadEchoFields(icmp.message());
  if (!fields || !matcher.Matches(icmp.message())) return {};
  PingEvent event;
  event.kind = PingEventKind::EchoReply;
  event.icmpLength = static_cast<int>(icmp.size());
  event.echo = *fields;
  return event;
}

PingEventKind ErrorKind(std::uint8_t type) {
  switch (type) {
    case kIcmpDestinationUnreachable:
      return PingEventKind::DestinationUnreachable;
    case kIcmpTimeExceeded:
      return PingEventKind::TimeExceeded;
    default:
      return PingEventKind::Ignored;
  }
}

PingEvent ErrorEvent(std::uint8_t type, std::uint8_t code, int icmpLength) {
  PingEvent event;
  event.kind = ErrorKind(type);
  event.code = code;
  event.icmpLength = icmpLength;
  return event;
}

}  // namespace

bool RunTagMatcher::Matches(ByteView echoMessage) const {
  if (echoMessage.size() < kIcmpHeaderSize) return false;
  if (kernelOwnsIdentifier_) {
    return ReadLittleEndian16(echoMessage, kEchoRunTagOffset + 2) ==
           static_cast<std::uint16_t>(runTag_ >> 16);
  }
  return ReadLittleEndian32(echoMessage, kEchoRunTagOffset) == runTag_;
}

PingEvent ClassifyRawDatagram(ByteView datagram, const RunTagMatcher& matcher) {
  const auto icmp = IcmpFromRawDatagram(datagram);
  if (!icmp) return {};
  if (icmp->type() == kIcmpEchoReply) return EchoReplyEvent(*icmp, matcher);
  if (ErrorKind(icmp->type()) == PingEventKind::Ignored) return {};
  // The quoted datagram must be one of this run's echo requests: ICMP, and
  // carrying the run tag where the request put it.
  const auto quoted = QuotedDatagram::Parse(*icmp);
  if (!quoted || quoted->ip().protocol() != kIpProtocolIcmp) return {};
  if (!matcher.Matches(quoted->leadingPayload())) return {};
  return ErrorEvent(icmp->type(), icmp->code(), static_cast<int>(icmp->size()));
}

PingEvent ClassifyDatagramSocketReply(ByteView icmpMessage, const RunTagMatcher& matcher) {
  const auto icmp = IcmpView::Parse(icmpMessage);
  if (!icmp || icmp->type() != kIcmpEchoReply) return {};
  return EchoReplyEvent(*icmp, matcher);
}

PingEvent ClassifyQueuedError(std::uint8_t type, std::uint8_t code, ByteView quotedRequest,
                              const RunTagMatcher& matcher) {
  if (ErrorKind(type) == PingEventKind::Ignored || !matcher.Matches(quotedRequest)) return {};
  return ErrorEvent(type, code, static_cast<int>(quotedRequest.size() + kIcmpHeaderSize));
}

}  // namespace netrove
