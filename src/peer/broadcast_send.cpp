#include "peer/broadcast_send.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include "base/net_socket.h"

namespace netrove {

std::string BroadcastWireText(std::string_view typed) {
  std::string wire;
  wire.reserve(typed.size());
  for (std::size_t i = 0; i < typed.size(); ++i) {
    const bool bareLineFeed = typed[i] == '\n' && (i == 0 || typed[i - 1] != '\r');
    if (bareLineFeed) wire += '\r';
    wire += typed[i];
  }
  return wire;
}

SocketAddress LimitedBroadcastAddress(std::uint16_t port) {
  in_addr everyone{};
  everyone.s_addr = htonl(INADDR_BROADCAST);
  return SocketAddress::FromIPv4(everyone, port);
}

std::vector<BroadcastTarget> InterfaceBroadcastTargets() {
  std::vector<BroadcastTarget> targets;
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return targets;
  for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_BROADCAST) == 0 || (entry->ifa_flags & IFF_UP) == 0) continue;
    if (entry->ifa_broadaddr == nullptr) continue;
    const auto* broadcast = reinterpret_cast<const sockaddr_in*>(entry->ifa_broadaddr);
    targets.push_back({entry->ifa_name, InetNtoa(broadcast->sin_addr)});
  }
  freeifaddrs(interfaces);
  return targets;
}

bool SendBroadcast(std::string_view wireText, const SocketAddress& to,
                   IMainWindowReporter& reporter) {
  CNetSocket socket;
  const int on = 1;
  SocketStatus status = socket.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (status) status = socket.SetOption(SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  if (status) {
    std::string datagram(wireText);
    datagram += '\0';
    status = socket.SendTo(datagram.data(), datagram.size(), to).status();
  }
  socket.Close();
  if (!status) ReportSocketError(reporter, status);
  return static_cast<bool>(status);
}

}  // namespace netrove
