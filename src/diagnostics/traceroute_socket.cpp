#include "diagnostics/traceroute_socket.h"

#include <linux/errqueue.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/net_socket.h"

namespace netrove {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMilliseconds(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

struct ErrorQueueEntry {
  bool icmp = false;
  QueuedTraceError error;
};

// One recvmsg on the error queue; false when it is empty.
bool ReadErrorQueue(CNetSocket& socket, ErrorQueueEntry& entry) {
  alignas(cmsghdr) std::array<char, 512> control{};
  std::array<std::uint8_t, kAnswerBufferSize> quoted{};
  sockaddr_in original{};
  iovec data{quoted.data(), quoted.size()};
  msghdr message{};
  message.msg_name = &original;
  message.msg_namelen = sizeof original;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control.data();
  message.msg_controllen = control.size();
  if (recvmsg(socket.m_hSocket, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return false;
  entry = {};
  // The kernel names the destination of the datagram that caused the error.
  entry.error.destinationPort = ntohs(original.sin_port);
  for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr;
       item = CMSG_NXTHDR(&message, item)) {
    if (item->cmsg_level != IPPROTO_IP) continue;
    if (item->cmsg_type == IP_TTL && item->cmsg_len >= CMSG_LEN(sizeof(int))) {
      int ttl = 0;
      std::memcpy(&ttl, CMSG_DATA(item), sizeof ttl);
      entry.error.answerTtl = ttl;
    } else if (item->cmsg_type == IP_RECVERR &&
               item->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err) + sizeof(sockaddr_in))) {
      sock_extended_err error{};
      std::memcpy(&error, CMSG_DATA(item), sizeof error);
      if (error.ee_origin != SO_EE_ORIGIN_ICMP) continue;
      sockaddr_in offender{};
      std::memcpy(&offender, CMSG_DATA(item) + sizeof error, sizeof offender);
      entry.icmp = true;
      entry.error.type = error.ee_type;
      entry.error.code = error.ee_code;
      entry.error.offender = offender.sin_addr;
    }
  }
  return true;
}

}  // namespace

AnswerWait WaitForSocket(CNetSocket& socket, short events, int milliseconds) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (socket.Interrupted()) return AnswerWait::Interrupted;
    pollfd entry{socket.m_hSocket, events, 0};
    const int ready = ::poll(&entry, 1, RemainingMilliseconds(deadline));
    if (socket.Interrupted()) return AnswerWait::Interrupted;
    if (ready > 0) return AnswerWait::Ready;
    if (ready == 0) return AnswerWait::TimedOut;
    if (errno != EINTR) {
      SetLastError(WinsockErrorFromErrno(errno));
      return AnswerWait::Failed;
    }
  }
}

bool EnableAnswerTtl(CNetSocket& socket) {
  const int on = 1;
  return socket.SetOption(IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
}

bool TakeQueuedTraceError(CNetSocket& socket, QueuedTraceError& out) {
  ErrorQueueEntry entry;
  while (ReadErrorQueue(socket, entry)) {
    if (!entry.icmp) continue;
    out = entry.error;
    return true;
  }
  return false;
}

int DrainErrorQueue(CNetSocket& socket) {
  int taken = 0;
  ErrorQueueEntry entry;
  while (ReadErrorQueue(socket, entry)) ++taken;
  return taken;
}

void DropStrayDatagram(CNetSocket& socket) {
  std::array<std::uint8_t, kAnswerBufferSize> stray{};
  static_cast<void>(::recv(socket.m_hSocket, stray.data(), stray.size(), MSG_DONTWAIT));
}

}  // namespace netrove
