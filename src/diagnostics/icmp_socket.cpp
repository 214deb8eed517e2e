#include "diagnostics/icmp_socket.h"

#include <netinet/icmp6.h>

#include "base/net_socket.h"
#include "diagnostics/icmp_helper_client.h"

namespace netrove {

namespace {

int AddressFamily(IcmpFamily family) { return family == IcmpFamily::IPv6 ? AF_INET6 : AF_INET; }
int Protocol(IcmpFamily family) {
  return family == IcmpFamily::IPv6 ? static_cast<int>(IPPROTO_ICMPV6)
                                    : static_cast<int>(IPPROTO_ICMP);
}

SocketStatus PassOnlyIcmp6TheToolsRead(CNetSocket& socket) {
  icmp6_filter filter;
  ICMP6_FILTER_SETBLOCKALL(&filter);
  for (const std::uint8_t type : {kIcmp6DestinationUnreachable, kIcmp6PacketTooBig,
                                  kIcmp6TimeExceeded, kIcmp6ParameterProblem, kIcmp6EchoReply})
    ICMP6_FILTER_SETPASS(type, &filter);
  return socket.SetOption(IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
}

}  // namespace

SocketStatus OpenRawIcmpSocket(CNetSocket& socket, IcmpFamily family) {
  SocketStatus raw = socket.Create(AddressFamily(family), SOCK_RAW, Protocol(family));
  if (!raw && raw.error == WSAEACCES) {
    raw = OpenRawIcmpThroughHelper(
        family == IcmpFamily::IPv6 ? IcmpHelperFamily::IPv6 : IcmpHelperFamily::IPv4, socket);
  }
  if (!raw || family == IcmpFamily::IPv4) return raw;
  return PassOnlyIcmp6TheToolsRead(socket);
}

SocketStatus OpenIcmpSocket(CNetSocket& socket, IcmpSocketKind& kind, IcmpFamily family) {
  kind = IcmpSocketKind::Raw;
  const SocketStatus raw = OpenRawIcmpSocket(socket, family);
  if (raw || raw.error != WSAEACCES) return raw;
  kind = IcmpSocketKind::Datagram;
  // The kernel refuses datagram sockets to groups outside the range with
  // EACCES; keep reporting the permission problem whatever it said.
  return socket.Create(AddressFamily(family), SOCK_DGRAM, Protocol(family))
             ? SocketStatus{}
             : SocketStatus{WSAEACCES};
}

std::string MissingIcmpPrivilegeText() {
  return SocketErrorText(WSAEACCES) +
         "\n\nSending ICMP echo requests needs the CAP_NET_RAW privilege, and ICMP datagram "
         "sockets are not allowed for your group (net.ipv4.ping_group_range). Run Netrove as "
         "root, or grant the privilege once to Netrove's ICMP helper with:\n  sudo setcap "
         "cap_net_raw+ep " +
         IcmpHelperPath() +
         "\nor allow ICMP datagram sockets for every group with:\n  sudo sysctl -w "
         "net.ipv4.ping_group_range=\"0 2147483647\"";
}

SocketStatus EnableIcmpErrorQueue(CNetSocket& socket, IcmpFamily family) {
  const int on = 1;
  if (family == IcmpFamily::IPv6)
    return socket.SetOption(IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
  return socket.SetOption(IPPROTO_IP, IP_RECVERR, &on, sizeof on);
}

bool TakeQueuedIcmpError(CNetSocket& socket, std::span<std::uint8_t> quoted, QueuedIcmpError& out) {
  QueuedSocketError entry;
  for (;;) {
    const SocketCount got = socket.RecvErrorQueue(quoted.data(), quoted.size(), entry);
    if (!got) return false;
    if (!entry.fromIcmp) continue;
    out.type = entry.type;
    out.code = entry.code;
    out.info = entry.info;
    out.offender = entry.offender;
    out.quotedSize = static_cast<std::size_t>(got.bytes);
    return true;
  }
}

}  // namespace netrove
