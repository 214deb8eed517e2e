#include "base/net_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace netrove {
namespace {

thread_local int t_lastError = 0;
std::atomic<unsigned> g_liveCount{0};

// Repeats a system call that a signal cut short, unless the socket was
// interrupted on purpose. Returns -1 with errno EINTR when it was.
template <typename Call>
long RetryAfterSignals(const std::atomic<bool>& interrupted, Call call) {
  while (!interrupted.load()) {
    const long result = call();
    if (result != -1 || errno != EINTR) return result;
  }
  errno = EINTR;
  return -1;
}

// EAGAIN means "would block" on a non-blocking call, but "timed out" on a
// blocking one that ran into SO_RCVTIMEO or SO_SNDTIMEO.
int WinsockErrorFromTransfer(SOCKET descriptor, int errnoValue, int flags) {
  if (errnoValue != EAGAIN && errnoValue != EWOULDBLOCK) return WinsockErrorFromErrno(errnoValue);
  if ((flags & MSG_DONTWAIT) != 0) return WSAEWOULDBLOCK;
  const int status = fcntl(descriptor, F_GETFL);
  return status != -1 && (status & O_NONBLOCK) != 0 ? WSAEWOULDBLOCK : WSAETIMEDOUT;
}

}  // namespace

int GetLastError() { return t_lastError; }

void SetLastError(int winsockCode) { t_lastError = winsockCode; }

CNetSocket::CNetSocket() { g_liveCount.fetch_add(1); }

CNetSocket::~CNetSocket() {
  if (m_hSocket != INVALID_SOCKET) ::close(m_hSocket);
  g_liveCount.fetch_sub(1);
}

unsigned CNetSocket::LiveCount() { return g_liveCount.load(); }

void CNetSocket::AdoptDescriptor(SOCKET descriptor) {
  std::lock_guard lock(handleMutex_);
  if (m_hSocket != INVALID_SOCKET) ::close(m_hSocket);
  m_hSocket = descriptor;
}

bool CNetSocket::Fail(int errnoValue) {
  SetLastError(interrupted_.load() ? WSAEINTR : WinsockErrorFromErrno(errnoValue));
  return false;
}

bool CNetSocket::Create(int addressFamily, int type, int protocol) {
  const SOCKET descriptor = ::socket(addressFamily, type | SOCK_CLOEXEC, protocol);
  const int error = errno;
  AdoptDescriptor(descriptor);
  return descriptor != INVALID_SOCKET || Fail(error);
}

bool CNetSocket::Bind(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  return ::bind(m_hSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
         Fail(errno);
}

bool CNetSocket::Listen(int backlog) { return ::listen(m_hSocket, backlog) == 0 || Fail(errno); }

bool CNetSocket::Connect(const std::string& host, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = InetAddr(host);
  if (address.sin_addr.s_addr == INADDR_NONE) {
    HostEntry entry;
    if (!GetHostByName(host, entry)) return false;
    if (entry.addresses.empty()) {
      SetLastError(WSANO_DATA);
      return false;
    }
    address.sin_addr = entry.addresses.front();
  }
  return ConnectAddress(address);
}

// The attempt runs non-blocking under poll(): shutdown() of a socket that has
// not started connecting does not stop a later blocking connect(), so the
// interrupt flag is checked once the attempt is under way, when shutdown()
// can end it.
bool CNetSocket::ConnectAddress(const sockaddr_in& address) {
  const auto* target = reinterpret_cast<const sockaddr*>(&address);
  const int status = fcntl(m_hSocket, F_GETFL);
  if (status == -1) return Fail(errno);
  if ((status & O_NONBLOCK) != 0) {  // the caller does its own waiting
    return ::connect(m_hSocket, target, sizeof address) == 0 || Fail(errno);
  }
  if (fcntl(m_hSocket, F_SETFL, status | O_NONBLOCK) == -1) return Fail(errno);
  int error = ::connect(m_hSocket, target, sizeof address) == 0 ? 0 : errno;
  if (error == EINPROGRESS) error = WaitForConnection();
  fcntl(m_hSocket, F_SETFL, status);
  return error == 0 || Fail(error);
}

int CNetSocket::WaitForConnection() {
  pollfd entry{m_hSocket, POLLOUT, 0};
  const long ready =
      RetryAfterSignals(interrupted_, [&] { return static_cast<long>(::poll(&entry, 1, -1)); });
  if (ready == -1) return errno;
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
  return error;
}

bool CNetSocket::Accept(CNetSocket& into, sockaddr* peer, socklen_t* peerLength) {
  if (peerLength == nullptr) peer = nullptr;
  const long descriptor = RetryAfterSignals(interrupted_, [&] {
    return static_cast<long>(::accept4(m_hSocket, peer, peerLength, SOCK_CLOEXEC));
  });
  const int error = errno;
  into.AdoptDescriptor(static_cast<SOCKET>(descriptor));
  return descriptor != INVALID_SOCKET || Fail(error);
}

int CNetSocket::SetBufferSize(int wanted, int option) {
  int current = 0;
  int error = 0;
  if (!GetIntOption(option, current, error)) {
    SetLastError(error);
    return -1;
  }
  const int floor = std::max(current, kMinimumSocketBuffer);
  while (wanted > floor) {
    if (SetIntOption(option, wanted, error)) break;
    if (error != WSAENOBUFS) {
      SetLastError(error);
      break;
    }
    wanted >>= 1;
  }
  if (!GetIntOption(option, current, error)) {
    SetLastError(error);
    return -1;
  }
  return current;
}

bool CNetSocket::GetIntOption(int option, int& value, int& error) {
  socklen_t size = sizeof value;
  if (getsockopt(m_hSocket, SOL_SOCKET, option, &value, &size) == 0) return true;
  error = WinsockErrorFromErrno(errno);
  return false;
}

bool CNetSocket::SetIntOption(int option, int value, int& error) {
  if (setsockopt(m_hSocket, SOL_SOCKET, option, &value, sizeof value) == 0) return true;
  error = WinsockErrorFromErrno(errno);
  return false;
}

bool CNetSocket::SetReceiveTimeout(int milliseconds) {
  if (milliseconds < 0) return Fail(EINVAL);
  timeval limit{};
  limit.tv_sec = milliseconds / 1000;
  limit.tv_usec = (milliseconds % 1000) * 1000;
  return SetOption(SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

bool CNetSocket::SetOption(int level, int option, const void* value, socklen_t size) {
  return setsockopt(m_hSocket, level, option, value, size) == 0 || Fail(errno);
}

// shutdown() makes a blocked or later receive report an orderly end (0); after
// Interrupt() that is the interruption, not the peer's end of data.
long CNetSocket::Finish(long result, int flags) {
  if (result > 0) return result;
  if (interrupted_.load()) {
    SetLastError(WSAEINTR);
    return -1;
  }
  if (result == 0) return 0;
  SetLastError(WinsockErrorFromTransfer(m_hSocket, errno, flags));
  return -1;
}

long CNetSocket::Send(const void* data, std::size_t size, int flags) {
  return Finish(
      RetryAfterSignals(interrupted_,
                        [&] { return ::send(m_hSocket, data, size, flags | MSG_NOSIGNAL); }),
      flags);
}

long CNetSocket::Recv(void* buffer, std::size_t size, int flags) {
  return Finish(
      RetryAfterSignals(interrupted_, [&] { return ::recv(m_hSocket, buffer, size, flags); }),
      flags);
}

long CNetSocket::SendTo(const void* data, std::size_t size, const sockaddr_in& to, int flags) {
  return Finish(RetryAfterSignals(interrupted_,
                                  [&] {
                                    return ::sendto(m_hSocket, data, size, flags | MSG_NOSIGNAL,
                                                    reinterpret_cast<const sockaddr*>(&to),
                                                    sizeof to);
                                  }),
                flags);
}

long CNetSocket::RecvFrom(void* buffer, std::size_t size, sockaddr_in* from, int flags) {
  socklen_t fromSize = sizeof(sockaddr_in);
  return Finish(RetryAfterSignals(interrupted_,
                                  [&] {
                                    return ::recvfrom(m_hSocket, buffer, size, flags,
                                                      reinterpret_cast<sockaddr*>(from),
                                                      from != nullptr ? &fromSize : nullptr);
                                  }),
                flags);
}

void CNetSocket::Interrupt() {
  std::lock_guard lock(handleMutex_);
  interrupted_.store(true);
  // An unconnected datagram or raw socket answers ENOTCONN, yet its reader
  // wakes all the same; a listener stops listening, a connection attempt ends.
  if (m_hSocket != INVALID_SOCKET) ::shutdown(m_hSocket, SHUT_RDWR);
}

void CNetSocket::Close() {
  std::lock_guard lock(handleMutex_);
  if (m_hSocket != INVALID_SOCKET) ::close(m_hSocket);
  m_hSocket = INVALID_SOCKET;
  interrupted_.store(false);
}

std::uint16_t InternetChecksum(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  // 64 bits so no length can overflow the sum before it is folded.
  std::uint64_t sum = 0;
  for (; size >= 2; bytes += 2, size -= 2) {
    std::uint16_t word;
    std::memcpy(&word, bytes, 2);
    sum += word;
  }
  if (size == 1) {
    std::uint16_t word = 0;
    std::memcpy(&word, bytes, 1);
    sum += word;
  }
  while ((sum >> 16) != 0) sum = (sum >> 16) + (sum & 0xFFFF);
  return static_cast<std::uint16_t>(~sum);
}

}  // namespace netrove
