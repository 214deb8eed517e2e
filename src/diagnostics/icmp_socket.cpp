#include "diagnostics/icmp_socket.h"

#include "base/net_socket.h"
#include "diagnostics/icmp_helper_client.h"

namespace netrove {

SocketStatus OpenRawIcmpSocket(CNetSocket& socket) {
  const SocketStatus raw = socket.Create(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  if (raw || raw.error != WSAEACCES) return raw;
  return OpenRawIcmpThroughHelper(IcmpHelperFamily::IPv4, socket);
}

SocketStatus OpenIcmpSocket(CNetSocket& socket, IcmpSocketKind& kind) {
  kind = IcmpSocketKind::Raw;
  const SocketStatus raw = OpenRawIcmpSocket(socket);
  if (raw || raw.error != WSAEACCES) return raw;
  kind = IcmpSocketKind::Datagram;
  // The kernel refuses datagram sockets to groups outside the range with
  // EACCES; keep reporting the permission problem whatever it said.
  return socket.Create(AF_INET, SOCK_DGRAM, IPPROTO_ICMP) ? SocketStatus{}
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

SocketStatus EnableIcmpErrorQueue(CNetSocket& socket) {
  const int on = 1;
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
    out.offender = entry.offender.ipv4();
    out.quotedSize = static_cast<std::size_t>(got.bytes);
    return true;
  }
}

}  // namespace netrove
