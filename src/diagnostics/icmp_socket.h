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
#include <optional>
#include <span>
#include <string>

namespace netrove {

class CNetSocket;

enum class IcmpSocketKind { Raw, Datagram };

// Creates the socket: raw when allowed, else a datagram socket. Nothing when
// neither may be created; GetLastError() then holds the WinSock code, which
// is WSAEACCES when the missing privilege is the reason.
std::optional<IcmpSocketKind> OpenIcmpSocket(CNetSocket& socket);

// The one message for a user who may open neither kind: the permission text
// and the ways to grant the privilege to this program.
std::string MissingIcmpPrivilegeText();

// Asks for ICMP errors on the socket's error queue (IP_RECVERR).
bool EnableIcmpErrorQueue(CNetSocket& socket);

struct QueuedIcmpError {
  std::uint8_t type = 0;
  std::uint8_t code = 0;
  in_addr offender{};          // the host that sent the error
  std::size_t quotedSize = 0;  // bytes of the offending packet's payload copied
};

// Takes one entry from the error queue without waiting, copying the payload
// of the packet that caused it into `quoted`. False when the queue holds no
// ICMP error (entries of other origins are taken and dropped).
bool TakeQueuedIcmpError(CNetSocket& socket, std::span<std::uint8_t> quoted, QueuedIcmpError& out);

}  // namespace netrove
