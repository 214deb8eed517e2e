#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace netrove::test {
namespace {

constexpr std::size_t kMaxLine = 64 * 1024;

std::string ErrnoText(const char* call) { return std::string(call) + ": " + std::strerror(errno); }

}  // namespace

std::string Escaped(std::string_view bytes) {
  std::string text = "\"";
  for (const char c : bytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\t') {
      text += "\\t";
    } else if (c == '"' || c == '\\') {
      text += {'\\', c};
    } else if (c >= 0x20 && c < 0x7f) {
      text += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
      text += hex;
    }
  }
  return text + "\"";
}

// The server's side of a running script: its sockets, the client's bytes
// not yet matched, and what the waiting test may ask while it runs.
class ScriptSession {
 public:
  explicit ScriptSession(CScriptedServer::Transport transport) {
    const bool tcp = transport != CScriptedServer::Transport::Udp;
    const bool ipv6 = transport == CScriptedServer::Transport::TcpIPv6;
    listener_ = ::socket(ipv6 ? AF_INET6 : AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_in6 address6{};
    address6.sin6_family = AF_INET6;
    address6.sin6_addr = in6addr_loopback;
    sockaddr* bound = ipv6 ? reinterpret_cast<sockaddr*>(&address6) : Address(address);
    socklen_t length = ipv6 ? sizeof address6 : sizeof address;
    if (listener_ < 0 || ::bind(listener_, bound, length) != 0 ||
        (tcp && ::listen(listener_, 8) != 0) || ::getsockname(listener_, bound, &length) != 0) {
      throw std::runtime_error(ErrnoText("scripted server socket"));
    }
    port_ = ntohs(ipv6 ? address6.sin6_port : address.sin_port);
    if (!tcp) context_.socket = listener_;
  }
  ~ScriptSession() {
    CloseConnection(false);
    ::close(listener_);
  }

  std::uint16_t port() const { return port_; }

  void Run(const Script& script) {
    std::string failure;
    for (std::size_t index = 0; index < script.steps_.size() && failure.empty(); ++index) {
      SetCurrent(index, script.steps_[index].what);
      failure = script.steps_[index].run(*this);
      if (!failure.empty()) failure = StepName() + ": " + failure;
    }
    if (!failure.empty()) CloseConnection(true);
    std::lock_guard lock(mutex_);
    failure_ = failure;
    done_ = true;
    changed_.notify_all();
  }

  // Waits for the end of the script; on the deadline wakes every blocked
  // call and says where the script stood.
  bool WaitForEnd(std::chrono::milliseconds deadline, std::string& failure) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, deadline, [&] { return done_; })) {
      failure = "script not finished by the deadline, at " + StepName() +
                "; received for it so far: " + Escaped(inbox_);
      stopping_ = true;
      ::shutdown(listener_, SHUT_RDWR);
      if (connection_ >= 0) ::shutdown(connection_, SHUT_RDWR);
      changed_.notify_all();
      return false;
    }
    failure = failure_;
    return failure.empty();
  }

  // The steps.
  std::string Accept() {
    CloseConnection(false);
    const int accepted = ::accept(listener_, nullptr, nullptr);
    if (accepted < 0) return ErrnoText("accept");
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(accepted);
      return "stopped";
    }
    connection_ = context_.socket = accepted;
    inbox_.clear();
    receivedBefore_ = 0;
    return {};
  }

  std::string Expect(const std::string& bytes) {
    std::string failure;
    while (failure.empty() && InboxSize() < bytes.size()) {
      failure = Differs(bytes);
      if (failure.empty()) failure = ReceiveMore("expected " + Escaped(bytes));
    }
    if (failure.empty()) failure = Differs(bytes);
    if (failure.empty()) Consume(bytes.size());
    return failure;
  }

  std::string ExpectLine(const std::string& line) {
    const std::string expected = line + "\r\n";
    std::size_t end;
    while ((end = InboxCopy().find('\n')) == std::string::npos) {
      if (InboxSize() > kMaxLine) return "no line end in " + std::to_string(kMaxLine) + " bytes";
      if (std::string failure = ReceiveMore("expected " + Escaped(expected)); !failure.empty()) {
        return failure;
      }
    }
    const std::string received = InboxCopy().substr(0, end + 1);
    if (std::string failure = Compare(expected, received); !failure.empty()) return failure;
    Consume(received.size());
    return {};
  }

  std::string ExpectClosed() {
    if (InboxSize() == 0) {
      char byte;
      const ssize_t got = ::recv(connection_, &byte, 1, 0);
      if (got == 0 || (got < 0 && errno == ECONNRESET)) return {};
      if (got < 0) return ErrnoText("recv");
      Append(std::string_view(&byte, 1));
    }
    return "expected the client to close, received " + Escaped(InboxCopy());
  }

  std::string Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t sent = ::send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent < 0) return ErrnoText("send");
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return {};
  }

  std::string Pause(std::chrono::milliseconds pause) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, pause, [&] { return stopping_; }) ? "stopped" : "";
  }

  std::string Close(bool reset) {
    if (connection_ < 0) return "no connection to close";
    CloseConnection(reset);
    return {};
  }

  std::string ExpectDatagram(const std::string& bytes) {
    std::string datagram(65536, '\0');
    socklen_t length = sizeof context_.peer;
    const ssize_t got =
        ::recvfrom(listener_, datagram.data(), datagram.size(), 0, Address(context_.peer), &length);
    std::lock_guard lock(mutex_);
    if (stopping_) return "stopped";
    if (got < 0) return ErrnoText("recvfrom");
    datagram.resize(static_cast<std::size_t>(got));
    return datagram == bytes ? "" : Compare(bytes, datagram);
  }

  std::string SendDatagram(const std::string& bytes) {
    if (context_.peer.sin_port == 0) return "no datagram received to answer";
    const ssize_t sent = ::sendto(listener_, bytes.data(), bytes.size(), 0, Address(context_.peer),
                                  sizeof context_.peer);
    return sent == static_cast<ssize_t>(bytes.size()) ? "" : ErrnoText("sendto");
  }

  StepContext& context() { return context_; }

 private:
  static sockaddr* Address(sockaddr_in& address) { return reinterpret_cast<sockaddr*>(&address); }

  std::string StepName() const {
    return "step " + std::to_string(current_ + 1) + " (" + currentWhat_ + ")";
  }

  void SetCurrent(std::size_t index, const std::string& what) {
    std::lock_guard lock(mutex_);
    current_ = index;
    currentWhat_ = what;
  }

  // The failure text when the bytes received so far already differ from
  // the start of `expected`.
  std::string Differs(const std::string& expected) {
    const std::string received = InboxCopy();
    const std::size_t compared = std::min(received.size(), expected.size());
    return Compare(expected.substr(0, compared), received.substr(0, compared));
  }

  std::string Compare(const std::string& expected, const std::string& received) const {
    std::size_t offset = 0;
    while (offset < expected.size() && offset < received.size() &&
           expected[offset] == received[offset]) {
      ++offset;
    }
    if (offset == expected.size() && offset == received.size()) return {};
    return "differs at offset " + std::to_string(offset) + " (connection byte " +
           std::to_string(receivedBefore_ + offset) + "): expected " + Escaped(expected) +
           ", received " + Escaped(received);
  }

  std::string ReceiveMore(const std::string& waitingFor) {
    char chunk[4096];
    const ssize_t got = ::recv(connection_, chunk, sizeof chunk, 0);
    if (got > 0) {
      Append(std::string_view(chunk, static_cast<std::size_t>(got)));
      return {};
    }
    const std::string why = got == 0 ? "the client closed the connection" : ErrnoText("recv");
    return why + "; " + waitingFor + ", received " + Escaped(InboxCopy());
  }

  void Append(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    inbox_.append(bytes);
  }
  void Consume(std::size_t count) {
    std::lock_guard lock(mutex_);
    inbox_.erase(0, count);
    receivedBefore_ += count;
  }
  std::string InboxCopy() const {
    std::lock_guard lock(mutex_);
    return inbox_;
  }
  std::size_t InboxSize() const {
    std::lock_guard lock(mutex_);
    return inbox_.size();
  }

  void CloseConnection(bool reset) {
    std::lock_guard lock(mutex_);
    if (connection_ < 0) return;
    if (reset) {
      const linger abort{1, 0};
      ::setsockopt(connection_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    ::close(connection_);
    connection_ = context_.socket = -1;
  }

  int listener_ = -1;
  std::uint16_t port_ = 0;
  StepContext context_;
  mutable std::mutex mutex_;  // guards what the waiting test reads or shuts down
  std::condition_variable changed_;
  int connection_ = -1;
  std::string inbox_;  // received, not yet matched by a step
  std::size_t receivedBefore_ = 0;
  std::size_t current_ = 0;
  std::string currentWhat_ = "start";
  std::string failure_;
  bool done_ = false;
  bool stopping_ = false;
};

Script& Script::Add(std::string what, std::function<std::string(ScriptSession&)> run) {
  steps_.push_back({std::move(what), std::move(run)});
  return *this;
}

Script& Script::Accept() {
  return Add("accept", [](ScriptSession& s) { return s.Accept(); });
}
Script& Script::Expect(std::string bytes) {
  return Add("expect " + Escaped(bytes), [bytes](ScriptSession& s) { return s.Expect(bytes); });
}
Script& Script::ExpectLine(std::string line) {
  return Add("expect line " + Escaped(line),
             [line](ScriptSession& s) { return s.ExpectLine(line); });
}
Script& Script::ExpectClosed() {
  return Add("expect close", [](ScriptSession& s) { return s.ExpectClosed(); });
}
Script& Script::Send(std::string bytes) {
  return Add("send " + Escaped(bytes), [bytes](ScriptSession& s) { return s.Send(bytes); });
}
Script& Script::SendInPieces(std::vector<std::string> pieces, std::chrono::milliseconds pause) {
  return Add("send in " + std::to_string(pieces.size()) + " pieces",
             [pieces, pause](ScriptSession& s) {
               std::string failure;
               for (std::size_t i = 0; i < pieces.size() && failure.empty(); ++i) {
                 if (i > 0) failure = s.Pause(pause);
                 if (failure.empty()) failure = s.Send(pieces[i]);
               }
               return failure;
             });
}
Script& Script::Wait(std::chrono::milliseconds pause) {
  return Add("wait " + std::to_string(pause.count()) + " ms",
             [pause](ScriptSession& s) { return s.Pause(pause); });
}
Script& Script::Close() {
  return Add("close", [](ScriptSession& s) { return s.Close(false); });
}
Script& Script::Reset() {
  return Add("reset", [](ScriptSession& s) { return s.Close(true); });
}
Script& Script::ExpectDatagram(std::string bytes) {
  return Add("expect datagram " + Escaped(bytes),
             [bytes](ScriptSession& s) { return s.ExpectDatagram(bytes); });
}
Script& Script::SendDatagram(std::string bytes) {
  return Add("send datagram " + Escaped(bytes),
             [bytes](ScriptSession& s) { return s.SendDatagram(bytes); });
}
Script& Script::Do(std::string what, std::function<std::string(StepContext&)> step) {
  return Add(std::move(what), [step](ScriptSession& s) { return step(s.context()); });
}

CScriptedServer::CScriptedServer(Transport transport)
    : session_(std::make_unique<ScriptSession>(transport)), port_(session_->port()) {}

CScriptedServer::~CScriptedServer() {
  if (thread_.joinable()) static_cast<void>(Finished(std::chrono::milliseconds(0)));
}

void CScriptedServer::Start(Script script) {
  thread_ = std::thread([this, script = std::move(script)] { session_->Run(script); });
}

::testing::AssertionResult CScriptedServer::Finished(std::chrono::milliseconds deadline) {
  if (!thread_.joinable()) return ::testing::AssertionFailure() << "script never started";
  std::string failure;
  const bool passed = session_->WaitForEnd(deadline, failure);
  thread_.join();
  if (passed) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "scripted server on port " << port_ << ": " << failure;
}

}  // namespace netrove::test
