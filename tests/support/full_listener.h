#pragma once
// A loopback listener whose queue of pending connections is full: the
// kernel drops further connection attempts unanswered, as a host behind a
// silent firewall does, so a connect time-out (or a dual-stack connect moving
// on to the next address) can be seen to work.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace netrove::test {

class CFullListener {
 public:
  // On 127.0.0.1, or on ::1 for AF_INET6; ready() says whether it could be
  // made (a host may have no IPv6 loopback).
  explicit CFullListener(int family = AF_INET) : listener_(::socket(family, SOCK_STREAM, 0)) {
    sockaddr_storage address{};
    socklen_t size = Loopback(family, address);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      return;
    port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                     : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    for (int& pending : pending_) {
      pending = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(pending, reinterpret_cast<const sockaddr*>(&address), size);
    }
  }
  ~CFullListener() {
    for (int pending : pending_) ::close(pending);
    ::close(listener_);
  }
  CFullListener(const CFullListener&) = delete;
  CFullListener& operator=(const CFullListener&) = delete;

  bool ready() const { return port_ != 0; }
  std::uint16_t port() const { return port_; }

 private:
  static socklen_t Loopback(int family, sockaddr_storage& address) {
    if (family == AF_INET6) {
      auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
      in6.sin6_family = AF_INET6;
      in6.sin6_addr = in6addr_loopback;
      return sizeof in6;
    }
    auto& in4 = reinterpret_cast<sockaddr_in&>(address);
    in4.sin_family = AF_INET;
    in4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sizeof in4;
  }

  int listener_;
  int pending_[3] = {-1, -1, -1};
  std::uint16_t port_ = 0;
};

}  // namespace netrove::test
