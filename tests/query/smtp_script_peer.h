#pragma once
// A loopback SMTP server that follows a script, for the misbehaviours a
// real server will not produce: it accepts one connection and sends, waits
// for exact bytes, pauses or closes as told, recording every byte the
// client sent and every step that did not go as scripted.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace netrove::test {

struct PeerStep {
  enum class Kind {
    Send,    // send `bytes` in one write
    Expect,  // the client's next bytes must be `bytes`
    Pause,   // let the client's receive see what was sent so far
    Drain,   // read until the client closes; what arrives is recorded
    Close,   // close the connection
  };
  Kind kind;
  std::string bytes;
};

inline PeerStep Send(std::string bytes) { return {PeerStep::Kind::Send, std::move(bytes)}; }
inline PeerStep Expect(std::string bytes) { return {PeerStep::Kind::Expect, std::move(bytes)}; }
inline PeerStep Pause() { return {PeerStep::Kind::Pause, {}}; }
inline PeerStep Drain() { return {PeerStep::Kind::Drain, {}}; }
inline PeerStep Close() { return {PeerStep::Kind::Close, {}}; }

class ScriptedPeer {
 public:
  explicit ScriptedPeer(std::vector<PeerStep> script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedPeer() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  std::uint16_t port() const { return port_; }
  std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
  // Whether the script has run to its end.
  bool Done() const {
    std::lock_guard lock(mutex_);
    return done_;
  }
  bool Accepted() const {
    std::lock_guard lock(mutex_);
    return accepted_;
  }
  std::string Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }
  std::vector<std::string> Mismatches() const {
    std::lock_guard lock(mutex_);
    return mismatches_;
  }

 private:
  static constexpr int kStepDeadlineMs = 10000;

  void Run() {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, kStepDeadlineMs) == 1) {
      const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection >= 0) {
        {
          std::lock_guard lock(mutex_);
          accepted_ = true;
        }
        const int one = 1;
        ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        RunScript(connection);
        ::close(connection);
      }
    }
    std::lock_guard lock(mutex_);
    done_ = true;
  }

  void RunScript(int connection) {
    std::string pending;  // received, not yet matched
    for (const PeerStep& step : script_) {
      switch (step.kind) {
        case PeerStep::Kind::Send:
          ::send(connection, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL);
          break;
        case PeerStep::Kind::Expect:
          while (pending.size() < step.bytes.size() && ReadSome(connection, pending)) {
          }
          if (pending.compare(0, step.bytes.size(), step.bytes) != 0) {
            Mismatch("expected \"" + step.bytes + "\", got \"" + pending + "\"");
            return;
          }
          pending.erase(0, step.bytes.size());
          break;
        case PeerStep::Kind::Pause:
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          break;
        case PeerStep::Kind::Drain:
          while (ReadSome(connection, pending)) {
          }
          break;
        case PeerStep::Kind::Close:
          return;
      }
    }
  }

  // Reads what arrives within the step deadline; false at the end of the
  // stream, on an error or when nothing came in time.
  bool ReadSome(int connection, std::string& pending) {
    pollfd readable{connection, POLLIN, 0};
    if (::poll(&readable, 1, kStepDeadlineMs) != 1) return false;
    char buffer[4096];
    const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(got));
    std::lock_guard lock(mutex_);
    received_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  void Mismatch(std::string text) {
    std::lock_guard lock(mutex_);
    mismatches_.push_back(std::move(text));
  }

  std::vector<PeerStep> script_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  bool done_ = false;
  bool accepted_ = false;
  std::string received_;
  std::vector<std::string> mismatches_;
};

}  // namespace netrove::test
