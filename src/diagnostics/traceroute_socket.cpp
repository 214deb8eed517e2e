#include "diagnostics/traceroute_socket.h"

#include <array>

namespace netrove {
namespace {

// One entry of the error queue; false when it is empty.
bool ReadErrorQueue(CNetSocket& socket, QueuedSocketError& entry) {
  std::array<std::uint8_t, kAnswerBufferSize> quoted{};
  return static_cast<bool>(socket.RecvErrorQueue(quoted.data(), quoted.size(), entry));
}

}  // namespace

SocketStatus EnableAnswerTtl(CNetSocket& socket, bool ipv6) {
  const int on = 1;
  if (ipv6) return socket.SetOption(IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
  return socket.SetOption(IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
}

bool TakeQueuedTraceError(CNetSocket& socket, QueuedTraceError& out) {
  QueuedSocketError entry;
  while (ReadErrorQueue(socket, entry)) {
    if (!entry.fromIcmp) continue;
    out.ipv6 = entry.offender.family() == AF_INET6;
    out.type = entry.type;
    out.code = entry.code;
    out.offender = entry.offender;
    // The kernel names the destination of the datagram that caused the error.
    out.destinationPort = entry.destination.port();
    out.answerTtl = entry.answerTtl;
    return true;
  }
  return false;
}

int DrainErrorQueue(CNetSocket& socket) {
  int taken = 0;
  QueuedSocketError entry;
  while (ReadErrorQueue(socket, entry)) ++taken;
  return taken;
}

void DropStrayDatagram(CNetSocket& socket) {
  std::array<std::uint8_t, kAnswerBufferSize> stray{};
  static_cast<void>(socket.Recv(stray.data(), stray.size(), MSG_DONTWAIT));
}

}  // namespace netrove
