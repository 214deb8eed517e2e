#include "base/net_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <net/if.h>
#include <netdb.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/tls_channel.h"

namespace netrove {
namespace {

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
int WinsockErrorFromTransfer(int descriptor, int errnoValue, int flags) {
  if (errnoValue != EAGAIN && errnoValue != EWOULDBLOCK) return WinsockErrorFromErrno(errnoValue);
  if ((flags & MSG_DONTWAIT) != 0) return WSAEWOULDBLOCK;
  const int status = fcntl(descriptor, F_GETFL);
  return status != -1 && (status & O_NONBLOCK) != 0 ? WSAEWOULDBLOCK : WSAETIMEDOUT;
}

using Clock = std::chrono::steady_clock;

int RemainingMilliseconds(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

SocketAddress AnyAddress(int family, std::uint16_t port) {
  if (family != AF_INET6) return SocketAddress::FromIPv4(in_addr{htonl(INADDR_ANY)}, port);
  sockaddr_in6 any{};
  any.sin6_family = AF_INET6;
  any.sin6_addr = in6addr_any;
  any.sin6_port = htons(port);
  return SocketAddress::FromSockaddr(reinterpret_cast<const sockaddr*>(&any), sizeof any);
}

// A numeric IPv6 address, perhaps scoped ("fe80::1%eth0").
std::optional<SocketAddress> NumericIPv6(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* answer = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &answer) != 0) return std::nullopt;
  const SocketAddress address = SocketAddress::FromSockaddr(answer->ai_addr, answer->ai_addrlen);
  freeaddrinfo(answer);
  return address;
}

// A numeric address; nothing when the text is not one. IPv4 keeps
// inet_addr's reading ("10.1" too), and its blind spot: the broadcast
// address is looked up as a name.
std::optional<SocketAddress> NumericAddress(const std::string& host) {
  if (host.find(':') != std::string::npos) return NumericIPv6(host);
  const std::uint32_t dotted = InetAddr(host);
  if (dotted == INADDR_NONE) return std::nullopt;
  return SocketAddress::FromIPv4(in_addr{dotted});
}

bool Allowed(const SocketAddress& address, FamilyChoice choice) {
  switch (choice) {
    case FamilyChoice::IPv4Only:
      return address.family() == AF_INET;
    case FamilyChoice::IPv6Only:
      return address.family() == AF_INET6;
    case FamilyChoice::Both:
      break;
  }
  return address.family() == AF_INET || address.family() == AF_INET6;
}

int SocketError(int descriptor) {
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
  return error;
}

// An ICMP error as IP_RECVERR or IPV6_RECVERR hands it over: the extended
// error, then the address of the host that sent the message.
void ReadExtendedError(const cmsghdr* item, std::uint8_t icmpOrigin, socklen_t offenderSize,
                       QueuedSocketError& entry) {
  if (item->cmsg_len < CMSG_LEN(sizeof(sock_extended_err) + offenderSize)) return;
  sock_extended_err error{};
  std::memcpy(&error, CMSG_DATA(item), sizeof error);
  if (error.ee_origin != icmpOrigin) return;
  entry.fromIcmp = true;
  entry.type = error.ee_type;
  entry.code = error.ee_code;
  entry.info = error.ee_info;
  entry.offender = SocketAddress::FromSockaddr(
      reinterpret_cast<const sockaddr*>(CMSG_DATA(item) + sizeof error), offenderSize);
}

void ReadAnswerTtl(const cmsghdr* item, QueuedSocketError& entry) {
  if (item->cmsg_len < CMSG_LEN(sizeof(int))) return;
  int ttl = 0;
  std::memcpy(&ttl, CMSG_DATA(item), sizeof ttl);
  entry.answerTtl = ttl;
}

void ReadControlData(msghdr& message, QueuedSocketError& entry) {
  for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr;
       item = CMSG_NXTHDR(&message, item)) {
    if (item->cmsg_level == IPPROTO_IP && item->cmsg_type == IP_TTL) {
      ReadAnswerTtl(item, entry);
    } else if (item->cmsg_level == IPPROTO_IP && item->cmsg_type == IP_RECVERR) {
      ReadExtendedError(item, SO_EE_ORIGIN_ICMP, sizeof(sockaddr_in), entry);
    } else if (item->cmsg_level == IPPROTO_IPV6 && item->cmsg_type == IPV6_HOPLIMIT) {
      ReadAnswerTtl(item, entry);
    } else if (item->cmsg_level == IPPROTO_IPV6 && item->cmsg_type == IPV6_RECVERR) {
      ReadExtendedError(item, SO_EE_ORIGIN_ICMP6, sizeof(sockaddr_in6), entry);
    }
  }
}

}  // namespace

SocketAddress SocketAddress::FromIPv4(in_addr address, std::uint16_t port) {
  sockaddr_in ipv4{};
  ipv4.sin_family = AF_INET;
  ipv4.sin_addr = address;
  ipv4.sin_port = htons(port);
  return FromSockaddr(reinterpret_cast<const sockaddr*>(&ipv4), sizeof ipv4);
}

SocketAddress SocketAddress::FromSockaddr(const sockaddr* address, socklen_t length) {
  SocketAddress copy;
  copy.length_ = std::min<socklen_t>(length, sizeof copy.storage_);
  std::memcpy(&copy.storage_, address, copy.length_);
  return copy;
}

in_addr SocketAddress::ipv4() const {
  if (!isIPv4()) return in_addr{};
  return reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr;
}

std::uint16_t SocketAddress::port() const {
  if (family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_port);
  if (family() == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_port);
  return 0;
}

void SocketAddress::setPort(std::uint16_t port) {
  if (family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage_)->sin_port = htons(port);
  if (family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage_)->sin6_port = htons(port);
}

std::string SocketAddress::text() const {
  char text[INET6_ADDRSTRLEN] = {};
  const void* address = nullptr;
  if (family() == AF_INET) address = &reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr;
  if (family() == AF_INET6) address = &reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr;
  if (address == nullptr || inet_ntop(family(), address, text, sizeof text) == nullptr) return {};
  if (family() != AF_INET6) return text;
  // A link-local address means nothing without its interface.
  const std::uint32_t scope = reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_scope_id;
  if (scope == 0) return text;
  char name[IF_NAMESIZE] = {};
  std::string scoped(text);
  scoped += '%';
  scoped += if_indextoname(scope, name) != nullptr ? std::string(name) : std::to_string(scope);
  return scoped;
}

std::string SocketAddress::textWithPort() const {
  // Built in pieces: GCC 12 at -O3 warns (-Wrestrict) about the temporaries
  // of one chained expression.
  std::string result = family() == AF_INET6 ? "[" : "";
  result += text();
  result += family() == AF_INET6 ? "]:" : ":";
  result += std::to_string(port());
  return result;
}

std::optional<SocketAddress> SocketAddress::FromText(const std::string& text) {
  std::optional<SocketAddress> address = NumericAddress(text);
  if (!address && text == "255.255.255.255")
    address = SocketAddress::FromIPv4(in_addr{INADDR_BROADCAST});
  return address;
}

SocketAddress SocketAddress::unmapped() const {
  if (family() != AF_INET6) return *this;
  const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(&storage_);
  if (!IN6_IS_ADDR_V4MAPPED(&ipv6->sin6_addr)) return *this;
  in_addr ipv4{};
  std::memcpy(&ipv4, &ipv6->sin6_addr.s6_addr[12], sizeof ipv4);
  return FromIPv4(ipv4, port());
}

bool SocketAddress::sameHost(const SocketAddress& other) const {
  if (family() != other.family()) return false;
  if (isIPv4()) return ipv4().s_addr == other.ipv4().s_addr;
  if (family() != AF_INET6) return false;
  const auto* mine = reinterpret_cast<const sockaddr_in6*>(&storage_);
  const auto* theirs = reinterpret_cast<const sockaddr_in6*>(&other.storage_);
  return std::memcmp(&mine->sin6_addr, &theirs->sin6_addr, sizeof mine->sin6_addr) == 0 &&
         mine->sin6_scope_id == theirs->sin6_scope_id;
}

bool operator==(const SocketAddress& a, const SocketAddress& b) {
  return a.length_ == b.length_ && std::memcmp(&a.storage_, &b.storage_, a.length_) == 0;
}

CNetSocket::CNetSocket() { g_liveCount.fetch_add(1); }

CNetSocket::~CNetSocket() {
  tls_.reset();
  if (descriptor_ != kInvalidDescriptor) ::close(descriptor_);
  g_liveCount.fetch_sub(1);
}

unsigned CNetSocket::LiveCount() { return g_liveCount.load(); }

void CNetSocket::AdoptDescriptor(int descriptor) {
  tls_.reset();
  std::lock_guard lock(handleMutex_);
  if (descriptor_ != kInvalidDescriptor) ::close(descriptor_);
  descriptor_ = descriptor;
}

void CNetSocket::Adopt(int descriptor) {
  AdoptDescriptor(descriptor);
  SocketAddress local;
  family_ = LocalAddress(local) ? local.family() : AF_UNSPEC;
}

SocketStatus CNetSocket::Fail(int errnoValue) const {
  return {interrupted_.load() ? WSAEINTR : WinsockErrorFromErrno(errnoValue)};
}

SocketStatus CNetSocket::Create(int addressFamily, int type, int protocol) {
  const int descriptor = ::socket(addressFamily, type | SOCK_CLOEXEC, protocol);
  const int error = errno;
  AdoptDescriptor(descriptor);
  family_ = descriptor != kInvalidDescriptor ? addressFamily : AF_UNSPEC;
  return descriptor != kInvalidDescriptor ? SocketStatus{} : Fail(error);
}

SocketStatus CNetSocket::Bind(std::uint16_t port) { return Bind(AnyAddress(family_, port)); }

SocketStatus CNetSocket::Bind(const SocketAddress& address) {
  return ::bind(descriptor_, address.data(), address.length()) == 0 ? SocketStatus{} : Fail(errno);
}

SocketStatus CNetSocket::Listen(int backlog) {
  return ::listen(descriptor_, backlog) == 0 ? SocketStatus{} : Fail(errno);
}

SocketStatus CNetSocket::Connect(const std::string& host, std::uint16_t port) {
  return Connect(host, port, SystemResolver());
}

SocketStatus CNetSocket::Connect(const std::string& host, std::uint16_t port, IResolver& resolver) {
  attempts_.clear();
  if (IsOpen()) {
    const int status = fcntl(descriptor_, F_GETFL);
    if (status != -1 && (status & O_NONBLOCK) != 0)
      return ConnectFirstOfFamily(host, port, resolver);
  }
  HostEntry entry;
  if (std::optional<SocketAddress> numeric = NumericAddress(host)) {
    entry.addresses.push_back(*numeric);
  } else if (const SocketStatus found = resolver.HostByName(host, entry); !found) {
    return found;
  }
  std::vector<SocketAddress> addresses = AddressesToTry(entry, familyChoice_);
  if (addresses.empty()) return {WSANO_DATA};
  for (SocketAddress& address : addresses) address.setPort(port);
  return RaceAddresses(addresses);
}

SocketStatus CNetSocket::ConnectFirstOfFamily(const std::string& host, std::uint16_t port,
                                              IResolver& resolver) {
  std::optional<SocketAddress> address = NumericAddress(host);
  if (!address || address->family() != family_) {
    HostEntry entry;
    if (const SocketStatus found = resolver.HostByName(host, entry); !found) return found;
    const auto match = std::find_if(entry.addresses.begin(), entry.addresses.end(),
                                    [&](const SocketAddress& a) { return a.family() == family_; });
    if (match == entry.addresses.end()) return {WSANO_DATA};
    address = *match;
  }
  address->setPort(port);
  attempts_.push_back({*address, ConnectAttempt::Outcome::Failed, 0});
  const SocketStatus status = Connect(*address);
  if (status || status.error == WSAEINPROGRESS)
    attempts_.back().outcome = ConnectAttempt::Outcome::Connected;
  attempts_.back().error = status.error;
  return status;
}

int CNetSocket::OpenAttempt(const SocketAddress& address) {
  const int descriptor = ::socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (descriptor == kInvalidDescriptor) return descriptor;
  std::lock_guard lock(handleMutex_);
  pendingAttempts_.push_back(descriptor);
  return descriptor;
}

void CNetSocket::CloseAttempt(int descriptor) {
  std::lock_guard lock(handleMutex_);
  std::erase(pendingAttempts_, descriptor);
  ::close(descriptor);
}

// Attempts overlap: each gets kConnectStaggerMs to itself before the next
// address starts, and a failure starts the next at once, so a family whose
// route is dead costs a fraction of a second, not a connect time-out. Each
// attempt has its own connect time-out.
SocketStatus CNetSocket::RaceAddresses(const std::vector<SocketAddress>& addresses) {
  struct Pending {
    int descriptor;
    std::size_t attempt;
    Clock::time_point deadline;
  };
  std::vector<Pending> pending;
  std::size_t next = 0;
  int lastError = ETIMEDOUT;
  auto nextStart = Clock::now();
  auto fail = [&](std::size_t attempt, int error) {
    attempts_[attempt].outcome = ConnectAttempt::Outcome::Failed;
    attempts_[attempt].error = WinsockErrorFromErrno(error);
    lastError = error;
  };
  auto closeAll = [&] {
    for (const Pending& each : pending) CloseAttempt(each.descriptor);
    pending.clear();
  };
  for (;;) {
    if (interrupted_.load()) {
      closeAll();
      return {WSAEINTR};
    }
    if (next < addresses.size() && (pending.empty() || Clock::now() >= nextStart)) {
      const SocketAddress& address = addresses[next];
      attempts_.push_back({address, ConnectAttempt::Outcome::Abandoned, 0});
      const std::size_t attempt = next++;
      const int descriptor = OpenAttempt(address);
      int error = descriptor == kInvalidDescriptor ? errno : 0;
      if (descriptor != kInvalidDescriptor &&
          ::connect(descriptor, address.data(), address.length()) != 0)
        error = errno;
      if (error == EINPROGRESS) {
        const auto now = Clock::now();
        pending.push_back({descriptor, attempt,
                           connectTimeoutMs_ > 0
                               ? now + std::chrono::milliseconds(connectTimeoutMs_)
                               : Clock::time_point::max()});
        nextStart = now + std::chrono::milliseconds(kConnectStaggerMs);
        continue;  // an Interrupt() before the connect began is seen at the top
      }
      if (error == 0) {
        pending.push_back({descriptor, attempt, Clock::time_point::max()});
        std::swap(pending.front(), pending.back());
        break;
      }
      fail(attempt, error);
      if (descriptor != kInvalidDescriptor) CloseAttempt(descriptor);
      continue;
    }
    if (pending.empty()) return Fail(lastError);

    auto wakeAt = next < addresses.size() ? nextStart : Clock::time_point::max();
    for (const Pending& each : pending) wakeAt = std::min(wakeAt, each.deadline);
    std::vector<pollfd> entries;
    for (const Pending& each : pending) entries.push_back({each.descriptor, POLLOUT, 0});
    const int timeout = wakeAt == Clock::time_point::max() ? -1 : RemainingMilliseconds(wakeAt);
    if (::poll(entries.data(), entries.size(), timeout) < 0 && errno != EINTR) {
      closeAll();
      return Fail(errno);
    }
    if (interrupted_.load()) continue;
    std::optional<std::size_t> winner;
    std::vector<Pending> still;
    const auto now = Clock::now();
    for (std::size_t i = 0; i < pending.size(); ++i) {
      const Pending& each = pending[i];
      if (!winner && entries[i].revents != 0) {
        const int error = SocketError(each.descriptor);
        if (error == 0) {
          winner = i;
          continue;
        }
        fail(each.attempt, error);
        CloseAttempt(each.descriptor);
        nextStart = now;  // a failure hands over to the next address at once
      } else if (now >= each.deadline) {
        fail(each.attempt, ETIMEDOUT);
        CloseAttempt(each.descriptor);
      } else {
        still.push_back(each);
      }
    }
    if (winner) {
      still.insert(still.begin(), pending[*winner]);
      pending = std::move(still);
      break;
    }
    pending = std::move(still);
  }
  // pending.front() connected; the others are abandoned.
  const Pending won = pending.front();
  pending.erase(pending.begin());
  closeAll();
  attempts_[won.attempt].outcome = ConnectAttempt::Outcome::Connected;
  {
    std::lock_guard lock(handleMutex_);
    std::erase(pendingAttempts_, won.descriptor);
  }
  const int status = fcntl(won.descriptor, F_GETFL);
  if (status != -1) fcntl(won.descriptor, F_SETFL, status & ~O_NONBLOCK);
  AdoptDescriptor(won.descriptor);
  family_ = addresses[won.attempt].family();
  // An Interrupt() that came while the winner was not yet ours has not
  // reached it.
  if (interrupted_.load()) {
    ::shutdown(won.descriptor, SHUT_RDWR);
    return {WSAEINTR};
  }
  return {};
}

SocketAddress CNetSocket::LastFailedAddress() const {
  for (auto attempt = attempts_.rbegin(); attempt != attempts_.rend(); ++attempt) {
    if (attempt->outcome == ConnectAttempt::Outcome::Failed) return attempt->address;
  }
  return {};
}

// The attempt runs non-blocking under poll(): shutdown() of a socket that has
// not started connecting does not stop a later blocking connect(), so the
// interrupt flag is checked once the attempt is under way, when shutdown()
// can end it.
SocketStatus CNetSocket::Connect(const SocketAddress& address) {
  const int status = fcntl(descriptor_, F_GETFL);
  if (status == -1) return Fail(errno);
  if ((status & O_NONBLOCK) != 0) {  // the caller does its own waiting
    return ::connect(descriptor_, address.data(), address.length()) == 0 ? SocketStatus{}
                                                                         : Fail(errno);
  }
  if (fcntl(descriptor_, F_SETFL, status | O_NONBLOCK) == -1) return Fail(errno);
  int error = ::connect(descriptor_, address.data(), address.length()) == 0 ? 0 : errno;
  if (error == EINPROGRESS) error = WaitForConnection();
  fcntl(descriptor_, F_SETFL, status);
  return error == 0 ? SocketStatus{} : Fail(error);
}

int CNetSocket::WaitForConnection() {
  pollfd entry{descriptor_, POLLOUT, 0};
  const int timeout = connectTimeoutMs_ > 0 ? connectTimeoutMs_ : -1;
  const long ready = RetryAfterSignals(
      interrupted_, [&] { return static_cast<long>(::poll(&entry, 1, timeout)); });
  if (ready == -1) return errno;
  if (ready == 0) return ETIMEDOUT;
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(descriptor_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
  return error;
}

SocketStatus CNetSocket::Accept(CNetSocket& into, SocketAddress* peer) {
  SocketAddress caller;
  socklen_t callerLength = sizeof(sockaddr_storage);
  const long descriptor = RetryAfterSignals(interrupted_, [&] {
    return static_cast<long>(::accept4(descriptor_, caller.buffer(), &callerLength, SOCK_CLOEXEC));
  });
  const int error = errno;
  into.AdoptDescriptor(static_cast<int>(descriptor));
  if (descriptor == kInvalidDescriptor) {
    into.family_ = AF_UNSPEC;
    return Fail(error);
  }
  into.family_ = family_;
  caller.length_ = callerLength;
  if (peer != nullptr) *peer = caller;
  return {};
}

SocketStatus CNetSocket::LocalAddress(SocketAddress& out) const {
  SocketAddress local;
  socklen_t length = sizeof(sockaddr_storage);
  if (getsockname(descriptor_, local.buffer(), &length) != 0) return Fail(errno);
  local.length_ = length;
  out = local;
  return {};
}

SocketStatus CNetSocket::PeerAddress(SocketAddress& out) const {
  SocketAddress peer;
  socklen_t length = sizeof(sockaddr_storage);
  if (getpeername(descriptor_, peer.buffer(), &length) != 0) return Fail(errno);
  peer.length_ = length;
  out = peer;
  return {};
}

SocketStatus CNetSocket::SetBufferSize(int wanted, int option, int& sizeInForce) {
  sizeInForce = -1;
  int current = 0;
  if (const SocketStatus read = GetIntOption(option, current); !read) return read;
  const int floor = std::max(current, kMinimumSocketBuffer);
  SocketStatus refusal;
  while (wanted > floor) {
    refusal = SetIntOption(option, wanted);
    if (refusal || refusal.error != WSAENOBUFS) break;
    wanted >>= 1;
  }
  if (refusal.error == WSAENOBUFS) refusal = {};
  if (const SocketStatus read = GetIntOption(option, current); !read) return read;
  sizeInForce = current;
  return refusal;
}

SocketStatus CNetSocket::GetIntOption(int option, int& value) {
  socklen_t size = sizeof value;
  if (getsockopt(descriptor_, SOL_SOCKET, option, &value, &size) == 0) return {};
  return {WinsockErrorFromErrno(errno)};
}

SocketStatus CNetSocket::SetIntOption(int option, int value) {
  if (setsockopt(descriptor_, SOL_SOCKET, option, &value, sizeof value) == 0) return {};
  return {WinsockErrorFromErrno(errno)};
}

SocketStatus CNetSocket::SetReceiveTimeout(int milliseconds) {
  if (milliseconds < 0) return Fail(EINVAL);
  timeval limit{};
  limit.tv_sec = milliseconds / 1000;
  limit.tv_usec = (milliseconds % 1000) * 1000;
  const SocketStatus status = SetOption(SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  if (status) receiveTimeoutMs_ = milliseconds;
  return status;
}

SocketStatus CNetSocket::SetOption(int level, int option, const void* value, socklen_t size) {
  return setsockopt(descriptor_, level, option, value, size) == 0 ? SocketStatus{} : Fail(errno);
}

// shutdown() makes a blocked or later receive report an orderly end (0); after
// Interrupt() that is the interruption, not the peer's end of data.
SocketCount CNetSocket::Finish(long result, int flags) const {
  if (result > 0) return {result, 0};
  if (interrupted_.load()) return {0, WSAEINTR};
  if (result == 0) return {};
  return {0, WinsockErrorFromTransfer(descriptor_, errno, flags)};
}

SocketCount CNetSocket::Send(const void* data, std::size_t size, int flags) {
  if (tls_) return tls_->Write(data, size, flags);
  return Finish(
      RetryAfterSignals(interrupted_,
                        [&] { return ::send(descriptor_, data, size, flags | MSG_NOSIGNAL); }),
      flags);
}

SocketCount CNetSocket::Recv(void* buffer, std::size_t size, int flags) {
  if (tls_) return tls_->Read(buffer, size, flags, receiveTimeoutMs_);
  return Finish(
      RetryAfterSignals(interrupted_, [&] { return ::recv(descriptor_, buffer, size, flags); }),
      flags);
}

SocketCount CNetSocket::SendTo(const void* data, std::size_t size, const SocketAddress& to,
                               int flags) {
  return Finish(RetryAfterSignals(interrupted_,
                                  [&] {
                                    return ::sendto(descriptor_, data, size, flags | MSG_NOSIGNAL,
                                                    to.data(), to.length());
                                  }),
                flags);
}

SocketCount CNetSocket::RecvFrom(void* buffer, std::size_t size, SocketAddress* from, int flags) {
  SocketAddress sender;
  socklen_t senderLength = sizeof(sockaddr_storage);
  const SocketCount count =
      Finish(RetryAfterSignals(interrupted_,
                               [&] {
                                 return ::recvfrom(descriptor_, buffer, size, flags,
                                                   sender.buffer(), &senderLength);
                               }),
             flags);
  if (count && from != nullptr) {
    sender.length_ = std::min<socklen_t>(senderLength, sizeof(sockaddr_storage));
    *from = sender;
  }
  return count;
}

SocketStatus CNetSocket::WaitReadable(int timeoutMs, bool& ready) {
  ready = false;
  if (tls_ && !interrupted_.load() && tls_->HasPending()) {
    ready = true;
    return {};
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    if (interrupted_.load()) return {WSAEINTR};
    pollfd entry{descriptor_, POLLIN, 0};
    const int result = ::poll(&entry, 1, RemainingMilliseconds(deadline));
    if (interrupted_.load()) return {WSAEINTR};
    if (result >= 0) {
      ready = result > 0;
      return {};
    }
    if (errno != EINTR) return {WinsockErrorFromErrno(errno)};
  }
}

SocketCount CNetSocket::RecvErrorQueue(void* quoted, std::size_t size, QueuedSocketError& entry) {
  alignas(cmsghdr) std::array<char, 512> control{};
  SocketAddress destination;
  iovec data{quoted, size};
  msghdr message{};
  message.msg_name = destination.buffer();
  message.msg_namelen = sizeof(sockaddr_storage);
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control.data();
  message.msg_controllen = control.size();
  const ssize_t got = ::recvmsg(descriptor_, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
  if (got < 0) return {0, Fail(errno).error};
  destination.length_ = std::min<socklen_t>(message.msg_namelen, sizeof(sockaddr_storage));
  entry = {};
  entry.destination = destination;
  ReadControlData(message, entry);
  return {static_cast<long>(got), 0};
}

void CNetSocket::Interrupt() {
  std::lock_guard lock(handleMutex_);
  interrupted_.store(true);
  for (const int attempt : pendingAttempts_) ::shutdown(attempt, SHUT_RDWR);
  // An unconnected datagram or raw socket answers ENOTCONN, yet its reader
  // wakes all the same; a listener stops listening, a connection attempt ends.
  if (descriptor_ != kInvalidDescriptor) ::shutdown(descriptor_, SHUT_RDWR);
}

void CNetSocket::Reset() {
  std::lock_guard lock(handleMutex_);
  interrupted_.store(true);
  if (descriptor_ == kInvalidDescriptor) return;
  const linger abortive{1, 0};
  (void)::setsockopt(descriptor_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  // Connecting to AF_UNSPEC drops a TCP connection with a reset at once; the
  // shutdown then wakes what that leaves waiting (a listener's accept).
  sockaddr unspecified{};
  unspecified.sa_family = AF_UNSPEC;
  // The system call itself: the wrappers of thread checkers take a connect
  // for a change of the descriptor, yet it only ends the connection, as
  // shutdown does for Interrupt, while other threads block on it.
  (void)::syscall(SYS_connect, descriptor_, &unspecified, sizeof unspecified);
  ::shutdown(descriptor_, SHUT_RDWR);
}

SocketStatus CNetSocket::StartTls(const TlsClientOptions& options, TlsHandshakeReport& report) {
  if (descriptor_ == kInvalidDescriptor) return {report.error = WSAENOTSOCK};
  const int timeoutMs = options.timeoutMs > 0 ? options.timeoutMs : connectTimeoutMs_;
  tls_ = CTlsChannel::Handshake(descriptor_, options, timeoutMs, interrupted_, report);
  if (!tls_ && report.error == 0) report.error = kTlsHandshakeFailed;
  if (interrupted_.load() && !tls_) report.error = WSAEINTR;
  return {tls_ ? 0 : report.error};
}

std::shared_ptr<const TlsSession> CNetSocket::TlsSessionForResumption() {
  return tls_ ? tls_->Session() : nullptr;
}

bool CNetSocket::TlsEndedCleanly() { return tls_ && tls_->EndedCleanly(); }

SocketStatus CNetSocket::ShutdownSend() {
  if (tls_ && !interrupted_.load()) tls_->CloseNotify();
  std::lock_guard lock(handleMutex_);
  if (descriptor_ == kInvalidDescriptor) return {WSAENOTSOCK};
  if (::shutdown(descriptor_, SHUT_WR) != 0) return {WinsockErrorFromErrno(errno)};
  return {};
}

void CNetSocket::Close() {
  if (tls_ && !interrupted_.load()) tls_->CloseNotify();
  tls_.reset();
  receiveTimeoutMs_ = 0;
  std::lock_guard lock(handleMutex_);
  if (descriptor_ != kInvalidDescriptor) ::close(descriptor_);
  descriptor_ = kInvalidDescriptor;
  family_ = AF_UNSPEC;
  interrupted_.store(false);
}

std::vector<SocketAddress> AddressesToTry(const HostEntry& entry, FamilyChoice choice) {
  std::vector<SocketAddress> first, second;
  int firstFamily = AF_UNSPEC;
  for (const SocketAddress& address : entry.addresses) {
    if (!Allowed(address, choice)) continue;
    if (firstFamily == AF_UNSPEC) firstFamily = address.family();
    (address.family() == firstFamily ? first : second).push_back(address);
  }
  std::vector<SocketAddress> order;
  for (std::size_t i = 0; i < std::max(first.size(), second.size()); ++i) {
    if (i < first.size()) order.push_back(first[i]);
    if (i < second.size()) order.push_back(second[i]);
  }
  return order;
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
