#pragma once
// Sorting what a ping run's socket receives into the events the run reports:
// its own echo replies and the ICMP errors its requests caused. Everything
// else (other runs' replies, the host's own requests seen on loopback,
// truncated datagrams) is ignored.
#include <cstdint>

#include "diagnostics/icmp_packet.h"

namespace netrove {

enum class PingEventKind {
  Ignored,
  EchoReply,
  DestinationUnreachable,
  TimeExceeded,
  PacketTooBig,      // ICMPv6 only: routers never fragment IPv6
  ParameterProblem,  // ICMPv6 only
};

struct PingEvent {
  PingEventKind kind = PingEventKind::Ignored;
  IcmpFamily family = IcmpFamily::IPv4;
  int code = 0;              // ICMP code of an error
  std::uint32_t detail = 0;  // the MTU of "too big", the pointer of a parameter problem
  int icmpLength = 0;        // bytes of the ICMP message received
  EchoFields echo;           // echo replies: the fields the request carried
};

// Which echo messages belong to a run. A raw socket gets the whole 32-bit
// tag back. On an ICMP datagram socket the kernel writes its own identifier
// into the first half of the tag and hands the socket only replies that
// carry it, so only the second half (the sequence field) is left to compare.
class RunTagMatcher {
 public:
  RunTagMatcher(std::uint32_t runTag, bool kernelOwnsIdentifier)
      : runTag_(runTag), kernelOwnsIdentifier_(kernelOwnsIdentifier) {}
  // `echoMessage` holds at least the 8-byte echo header.
  bool Matches(ByteView echoMessage) const;
  std::uint32_t runTag() const { return runTag_; }

 private:
  std::uint32_t runTag_;
  bool kernelOwnsIdentifier_;
};

// A datagram from a raw ICMP socket, IP header included.
PingEvent ClassifyRawDatagram(ByteView datagram, const RunTagMatcher& matcher);
// A datagram from an ICMP datagram socket: the ICMP message alone.
PingEvent ClassifyDatagramSocketReply(ByteView icmpMessage, const RunTagMatcher& matcher);
// A message from an ICMPv6 socket, raw or datagram: the kernel hands both
// the ICMPv6 message without its IPv6 header.
PingEvent ClassifyIcmp6Message(ByteView icmpMessage, const RunTagMatcher& matcher);
// An ICMP error taken from a datagram socket's error queue: the type and code
// the kernel reports, the message's own field (`info`: MTU or pointer) and
// the request it quotes, starting at its ICMP header.
PingEvent ClassifyQueuedError(std::uint8_t type, std::uint8_t code, ByteView quotedRequest,
                              const RunTagMatcher& matcher, IcmpFamily family = IcmpFamily::IPv4,
                              std::uint32_t info = 0);

}  // namespace netrove
