#pragma once
// Opening the sockets the ICMP tools need, with the privileges Linux asks
// for. A raw ICMP socket needs root or CAP_NET_RAW; without it, an ICMP
// datagram socket serves where net.ipv4.ping_group_range admits the user's
// group. That kind differs in three ways the callers must know: the kernel
// owns the echo identifier, replies arrive without their IP header, and ICMP
// errors arrive on the socket's error queue instead of as datagrams.
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "base/net_socket.h"
#include "diagnostics/icmp_packet.h"

namespace netrove {

enum class IcmpSocketKind { Raw, Datagram };

// A raw ICMP socket of the family (ICMPv6 for IPv6): opened directly by
// root or a holder of CAP_NET_RAW, else received from netrove-icmp-helper.
// WSAEACCES when neither may open one. A raw ICMPv6 socket lets through only
// the echo replies and the error messages, not the neighbour discovery
// every IPv6 link carries.
SocketStatus OpenRawIcmpSocket(CNetSocket& socket, IcmpFamily family = IcmpFamily::IPv4);

// Creates the socket: raw when allowed, else a datagram socket, and says
// which in `kind`. When neither may be created the status is WSAEACCES if
// the missing privilege is the reason.
SocketStatus OpenIcmpSocket(CNetSocket& socket, IcmpSocketKind& kind,
                            IcmpFamily family = IcmpFamily::IPv4);

// The one message for a user who may open neither kind: the permission text
// and the ways to grant the privilege to Netrove's ICMP helper.
std::string MissingIcmpPrivilegeText();

// Asks for ICMP errors on the socket's error queue (IP_RECVERR, or
// IPV6_RECVERR on an IPv6 socket).
SocketStatus EnableIcmpErrorQueue(CNetSocket& socket, IcmpFamily family = IcmpFamily::IPv4);

struct QueuedIcmpError {
  std::uint8_t type = 0;
  std::uint8_t code = 0;
  std::uint32_t info = 0;      // MTU of "too big", pointer of a parameter problem
  SocketAddress offender;      // the host that sent the error
  std::size_t quotedSize = 0;  // bytes of the offending packet's payload copied
};

// Takes one entry from the error queue without waiting, copying the payload
// of the packet that caused it into `quoted`. False when the queue holds no
// ICMP error (entries of other origins are taken and dropped).
bool TakeQueuedIcmpError(CNetSocket& socket, std::span<std::uint8_t> quoted, QueuedIcmpError& out);

}  // namespace netrove
