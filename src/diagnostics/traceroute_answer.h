#pragma once
// Sorting what reaches a traceroute run into answers to the probe in
// flight. Every ICMP message that arrives at the host reaches a raw socket,
// so an answer belongs to the probe only when it quotes a UDP datagram with
// the run's source port and the probe's destination port. Any read of the
// quoted headers stays inside the received bytes: an answer too short for
// the headers it claims to quote concerns no probe.
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/net_socket.h"
#include "diagnostics/icmp_packet.h"
#include "diagnostics/traceroute_format.h"

namespace netrove {

// Bytes read from the receiving socket at a time.
inline constexpr std::size_t kAnswerBufferSize = 512;
// ICMP header, the quoted IP header and the quoted UDP header: no shorter
// ICMP message can answer a probe.
inline constexpr std::size_t kMinimumAnswerSize = 36;
// The same for ICMPv6, whose quoted IPv6 header is 40 bytes.
inline constexpr std::size_t kMinimumAnswer6Size = 56;
inline constexpr std::uint8_t kIcmp6PortUnreachable = 4;
inline constexpr std::uint8_t kTimeExceededInTransit = 0;
inline constexpr std::uint8_t kPortUnreachable = 3;

// The ports of the probe in flight, in host byte order.
struct ProbePorts {
  std::uint16_t source = 0;
  std::uint16_t destination = 0;
};

enum class TraceAnswerKind {
  Ignored,    // concerns no probe in flight: read on
  Matched,    // a time-exceeded or unreachable answer to this probe
  Unrelated,  // any other ICMP message: reported in verbose mode
};

struct TraceAnswer {
  TraceAnswerKind kind = TraceAnswerKind::Ignored;
  TraceOutcome outcome = TraceOutcome::Hop;
  bool ipv6 = false;  // type and code are ICMPv6's
  int type = 0;
  int code = 0;
  // The answer's own IP time-to-live was 1 or less.
  bool lowTtl = false;
  int icmpLength = 0;
};

// A datagram as the raw ICMP socket delivers it: IP header, then ICMP.
TraceAnswer ClassifyRawAnswer(ByteView datagram, ProbePorts probe);
// An ICMPv6 message as the raw ICMPv6 socket delivers it: without the IPv6
// header, so without the answer's hop limit (no " !" mark this way).
TraceAnswer ClassifyIcmp6Answer(ByteView message, ProbePorts probe);

// An ICMP error the kernel queued on the sending socket itself (the route
// without raw sockets). The socket is the run's own, so its source port
// matches; the kernel gives the destination port of the datagram that
// caused the error and, when asked, the time-to-live of the answer.
struct QueuedTraceError {
  bool ipv6 = false;  // an ICMPv6 error (IPV6_RECVERR)
  std::uint8_t type = 0;
  std::uint8_t code = 0;
  SocketAddress offender;
  std::uint16_t destinationPort = 0;  // host byte order
  std::optional<int> answerTtl;
};
TraceAnswer ClassifyQueuedAnswer(const QueuedTraceError& error, ProbePorts probe);

}  // namespace netrove
