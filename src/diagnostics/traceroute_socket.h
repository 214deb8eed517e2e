#pragma once
// The socket work of a traceroute run without a raw socket: reading the ICMP
// errors Linux queues on the sending socket itself (IP_RECVERR or
// IPV6_RECVERR, as tracepath does).
#include <cstdint>

#include "base/net_socket.h"
#include "diagnostics/traceroute_answer.h"

namespace netrove {

// Asks for the time-to-live (IPv6: hop limit) of the ICMP answers next to
// each queued error.
SocketStatus EnableAnswerTtl(CNetSocket& socket, bool ipv6 = false);

// Takes one ICMP error from the socket's error queue without waiting. False
// when the queue holds none (entries of local origin are taken and dropped).
bool TakeQueuedTraceError(CNetSocket& socket, QueuedTraceError& out);

// Takes whatever the error queue holds; returns how many entries it took.
int DrainErrorQueue(CNetSocket& socket);

// Reads and drops one ordinary datagram that reached the probes' source
// port, without waiting.
void DropStrayDatagram(CNetSocket& socket);

}  // namespace netrove
