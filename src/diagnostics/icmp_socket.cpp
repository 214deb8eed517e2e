#include "diagnostics/icmp_socket.h"

#include <linux/errqueue.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

#include "base/net_socket.h"

namespace netrove {
namespace {

std::string ProgramPath() {
  std::array<char, PATH_MAX> path{};
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return "/path/to/netrove";
  return std::string(path.data(), static_cast<std::size_t>(length));
}

}  // namespace

std::optional<IcmpSocketKind> OpenIcmpSocket(CNetSocket& socket) {
  if (socket.Create(AF_INET, SOCK_RAW, IPPROTO_ICMP)) return IcmpSocketKind::Raw;
  if (GetLastError() != WSAEACCES) return std::nullopt;
  if (socket.Create(AF_INET, SOCK_DGRAM, IPPROTO_ICMP)) return IcmpSocketKind::Datagram;
  // The kernel refuses datagram sockets to groups outside the range with
  // EACCES; keep reporting the permission problem whatever it said.
  SetLastError(WSAEACCES);
  return std::nullopt;
}

std::string MissingIcmpPrivilegeText() {
  return SocketErrorText(WSAEACCES) +
         "\n\nSending ICMP echo requests needs the CAP_NET_RAW privilege, and ICMP datagram "
         "sockets are not allowed for your group (net.ipv4.ping_group_range). Run Netrove as "
         "root, or grant the privilege once with:\n  sudo setcap cap_net_raw+ep " +
         ProgramPath() +
         "\nor allow ICMP datagram sockets for every group with:\n  sudo sysctl -w "
         "net.ipv4.ping_group_range=\"0 2147483647\"";
}

bool EnableIcmpErrorQueue(CNetSocket& socket) {
  const int on = 1;
  return socket.SetOption(IPPROTO_IP, IP_RECVERR, &on, sizeof on);
}

bool TakeQueuedIcmpError(CNetSocket& socket, std::span<std::uint8_t> quoted, QueuedIcmpError& out) {
  for (;;) {
    alignas(cmsghdr) std::array<char, 512> control{};
    sockaddr_in offender{};
    iovec data{quoted.data(), quoted.size()};
    msghdr message{};
    message.msg_name = &offender;
    message.msg_namelen = sizeof offender;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    const ssize_t got = recvmsg(socket.m_hSocket, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (got < 0) return false;
    for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr;
         item = CMSG_NXTHDR(&message, item)) {
      if (item->cmsg_level != IPPROTO_IP || item->cmsg_type != IP_RECVERR) continue;
      if (item->cmsg_len < CMSG_LEN(sizeof(sock_extended_err) + sizeof(sockaddr_in))) continue;
      sock_extended_err error{};
      std::memcpy(&error, CMSG_DATA(item), sizeof error);
      if (error.ee_origin != SO_EE_ORIGIN_ICMP) continue;
      sockaddr_in from{};
      std::memcpy(&from, CMSG_DATA(item) + sizeof error, sizeof from);
      out.type = error.ee_type;
      out.code = error.ee_code;
      out.offender = from.sin_addr;
      out.quotedSize = static_cast<std::size_t>(got);
      return true;
    }
  }
}

}  // namespace netrove
