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

PingEventKind Icmp6ErrorKind(std::uint8_t type) {
  switch (type) {
    case kIcmp6DestinationUnreachable:
      return PingEventKind::DestinationUnreachable;
    case kIcmp6PacketTooBig:
      return PingEventKind::PacketTooBig;
    case kIcmp6TimeExceeded:
      return PingEventKind::TimeExceeded;
    case kIcmp6ParameterProblem:
      return PingEventKind::ParameterProblem;
    default:
      return PingEventKind::Ignored;
  }
}

PingEventKind ErrorKind(std::uint8_t type, IcmpFamily family = IcmpFamily::IPv4) {
  if (family == IcmpFamily::IPv6) return Icmp6ErrorKind(type);
  switch (type) {
    case kIcmpDestinationUnreachable:
      return PingEventKind::DestinationUnreachable;
    case kIcmpTimeExceeded:
      return PingEventKind::TimeExceeded;
    default:
      return PingEventKind::Ignored;
  }
}

PingEvent ErrorEvent(std::uint8_t type, std::uint8_t code, int icmpLength,
                     IcmpFamily family = IcmpFamily::IPv4, std::uint32_t detail = 0) {
  PingEvent event;
  event.kind = ErrorKind(type, family);
  event.family = family;
  event.code = code;
  event.detail = detail;
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
  if (!quoted || quoted->protocol() != kIpProtocolIcmp) return {};
  if (!matcher.Matches(quoted->leadingPayload())) return {};
  return ErrorEvent(icmp->type(), icmp->code(), static_cast<int>(icmp->size()));
}

PingEvent ClassifyDatagramSocketReply(ByteView icmpMessage, const RunTagMatcher& matcher) {
  const auto icmp = IcmpView::Parse(icmpMessage);
  if (!icmp || icmp->type() != kIcmpEchoReply) return {};
  return EchoReplyEvent(*icmp, matcher);
}

PingEvent ClassifyIcmp6Message(ByteView icmpMessage, const RunTagMatcher& matcher) {
  const auto icmp = IcmpView::Parse(icmpMessage);
  if (!icmp) return {};
  if (icmp->type() == kIcmp6EchoReply) {
    PingEvent event = EchoReplyEvent(*icmp, matcher);
    event.family = IcmpFamily::IPv6;
    return event;
  }
  if (Icmp6ErrorKind(icmp->type()) == PingEventKind::Ignored) return {};
  // The quoted packet must be one of this run's echo requests: ICMPv6 right
  // behind the IPv6 header, carrying the run tag.
  const auto quoted = QuotedDatagram::Parse(*icmp, IcmpFamily::IPv6);
  if (!quoted || quoted->protocol() != kIpProtocolIcmp6) return {};
  const ByteView request = quoted->leadingPayload();
  if (request[0] != kIcmp6EchoRequest || !matcher.Matches(request)) return {};
  return ErrorEvent(icmp->type(), icmp->code(), static_cast<int>(icmp->size()), IcmpFamily::IPv6,
                    icmp->headerWord());
}

PingEvent ClassifyQueuedError(std::uint8_t type, std::uint8_t code, ByteView quotedRequest,
                              const RunTagMatcher& matcher, IcmpFamily family, std::uint32_t info) {
  if (ErrorKind(type, family) == PingEventKind::Ignored || !matcher.Matches(quotedRequest))
    return {};
  return ErrorEvent(type, code, static_cast<int>(quotedRequest.size() + kIcmpHeaderSize), family,
                    info);
}

}  // namespace netrove
