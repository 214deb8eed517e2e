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

}  // namespace netrove::test
