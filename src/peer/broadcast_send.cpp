#include "peer/broadcast_send.h"

#include <arpa/inet.h>

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
