#pragma once
// A loopback listener whose queue of pending connections is full: the
// kernel drops further connection attempts unanswered, as a host behind a
// silent firewall does, so a connect time-out can be seen to work.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

#include "support/loopback_socket.h"

namespace netrove::test {

class CFullListener {
 public:
  CFullListener() : listener_(BoundSocket(SOCK_STREAM, 0)) {
    ::listen(listener_, 0);
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    for (int& pending : pending_) {
      pending = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(pending, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
  }
  ~CFullListener() {
    for (int pending : pending_) ::close(pending);
    ::close(listener_);
  }
  std::uint16_t port() const { return port_; }

 private:
  int listener_;
  int pending_[3] = {};
  std::uint16_t port_ = 0;
};

}  // namespace netrove::test
