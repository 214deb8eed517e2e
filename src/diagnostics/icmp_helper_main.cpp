// netrove-icmp-helper: the only Netrove program that may carry CAP_NET_RAW.
// Netrove and netrove-cli start it with one end of a SOCK_SEQPACKET
// socketpair as its standard input, ask it for raw ICMP sockets and receive
// them as descriptors. It keeps no capability but CAP_NET_RAW, can gain none,
// opens no file, reads no environment and loads nothing: the capability stays
// out of reach of whatever code a Qt program would load.
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "diagnostics/icmp_helper_protocol.h"

namespace {

using netrove::IcmpHelperAnswer;
using netrove::IcmpHelperMessage;

constexpr int kChannel = STDIN_FILENO;

// Keeps CAP_NET_RAW where the helper has it and drops every other
// capability, including those of a root caller; no execve may add any back.
bool KeepOnlyNetRaw() {
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
  // Fails only on kernels without ambient capabilities, which have none to clear.
  static_cast<void>(prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0));
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  const __u32 netRaw = 1u << CAP_NET_RAW;
  const __u32 kept = data[0].permitted & netRaw;
  for (auto& set : data) set = {};
  data[0].permitted = kept;
  data[0].effective = kept;
  return syscall(SYS_capset, &header, data) == 0;
}

bool Send(const IcmpHelperMessage& message, int descriptor) {
  iovec part{const_cast<std::uint8_t*>(message.data()), message.size()};
  msghdr header{};
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))]{};
  if (descriptor >= 0) {
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    cmsghdr* rights = CMSG_FIRSTHDR(&header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &descriptor, sizeof descriptor);
  }
  ssize_t sent;
  do sent = sendmsg(kChannel, &header, MSG_NOSIGNAL);
  while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(message.size());
}

// One request: its whole message, never more than the buffer (a longer one
// is cut and then refused by its size).
ssize_t ReceiveRequest(std::uint8_t* buffer, std::size_t size) {
  ssize_t got;
  do got = recv(kChannel, buffer, size, MSG_TRUNC);
  while (got < 0 && errno == EINTR);
  return got;
}

}  // namespace

int main() {
  // Descriptors the starting process left open are none of the helper's.
  close_range(STDERR_FILENO + 1, UINT_MAX, 0);
  if (!KeepOnlyNetRaw()) return 1;
  for (int served = 0; served < netrove::kIcmpHelperMaxRequests; ++served) {
    std::uint8_t buffer[netrove::kIcmpHelperMessageSize * 4];
    const ssize_t got = ReceiveRequest(buffer, sizeof buffer);
    if (got == 0) return 0;  // the caller has what it wanted
    if (got < 0) return 1;
    const std::size_t length = static_cast<std::size_t>(got);
    const auto request = length <= sizeof buffer
                             ? netrove::ParseIcmpHelperRequest(std::span(buffer, length))
                             : std::nullopt;
    if (!request) {
      static_cast<void>(Send(netrove::EncodeIcmpHelperAnswer({false, EINVAL}), -1));
      return 2;
    }
    const int socketDescriptor =
        socket(netrove::IcmpHelperAddressFamily(request->family), SOCK_RAW | SOCK_CLOEXEC,
               netrove::IcmpHelperProtocol(request->family));
    const IcmpHelperAnswer answer{socketDescriptor >= 0, socketDescriptor >= 0 ? 0 : errno};
    const bool sent = Send(netrove::EncodeIcmpHelperAnswer(answer), socketDescriptor);
    if (socketDescriptor >= 0) close(socketDescriptor);
    if (!sent) return 1;
  }
  return 0;
}
