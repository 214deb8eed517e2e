#pragma once
// A plain socket bound to 127.0.0.1, for tests that need a port taken or a
// free port found (port 0: any free port). -1 when the bind fails.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace netrove::test {

inline int BoundSocket(int type, std::uint16_t port) {
  const int descriptor = ::socket(AF_INET, type, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(descriptor);
    return -1;
  }
  return descriptor;
}

// A stream socket connected to the loopback address (::1 when `ipv6`) at
// `port`; -1 when nothing accepts there.
inline int ConnectedToLoopback(std::uint16_t port, bool ipv6) {
  const int client = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  sockaddr_in6 address6{};
  address6.sin6_family = AF_INET6;
  address6.sin6_addr = in6addr_loopback;
  address6.sin6_port = htons(port);
  const bool connected =
      ipv6 ? ::connect(client, reinterpret_cast<sockaddr*>(&address6), sizeof address6) == 0
           : ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (connected) return client;
  ::close(client);
  return -1;
}

}  // namespace netrove::test
