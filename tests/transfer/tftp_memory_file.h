#pragma once
// Test doubles for the TFTP engine: a file in memory and loopback addresses.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/net_socket.h"
#include "transfer/tftp_file.h"

namespace netrove::test {

// Shared so the test can look at the bytes after the engine took the file.
struct MemoryFileState {
  std::vector<std::uint8_t> bytes;
  std::size_t readPosition = 0;
  bool kept = false;
  int writes = 0;
};

class MemoryFile : public ITftpFile {
 public:
  explicit MemoryFile(std::shared_ptr<MemoryFileState> state) : state_(std::move(state)) {}
  long Read(std::uint8_t* into, std::size_t size) override {
    const std::size_t count = std::min(size, state_->bytes.size() - state_->readPosition);
    std::copy_n(state_->bytes.begin() + static_cast<long>(state_->readPosition), count, into);
    state_->readPosition += count;
    return static_cast<long>(count);
  }
  int Write(const std::uint8_t* data, std::size_t size) override {
    state_->bytes.insert(state_->bytes.end(), data, data + size);
    ++state_->writes;
    return 0;
  }
  void Keep() override { state_->kept = true; }
  std::optional<std::uint64_t> Size() const override { return state_->bytes.size(); }

 private:
  std::shared_ptr<MemoryFileState> state_;
};

inline std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

inline sockaddr_in Address(const char* dotted, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  ::inet_pton(AF_INET, dotted, &address.sin_addr);
  return address;
}

// The same address as the engine takes it.
inline SocketAddress PeerAddress(const char* dotted, std::uint16_t port) {
  const sockaddr_in address = Address(dotted, port);
  return SocketAddress::FromSockaddr(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

}  // namespace netrove::test
