#include "app/shell_listeners.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "base/tool_message.h"
#include "base/transcript_text.h"

namespace netrove {
namespace {

bool ReportUnlessUninitialised(IMainWindowReporter& reporter, SocketStatus status) {
  // A socket layer that failed to start has shown its own message already.
  if (!status && status.error != WSANOTINITIALISED) ReportSocketError(reporter, status.error);
  return static_cast<bool>(status);
}

bool Report(IMainWindowReporter& reporter, SocketStatus status) {
  if (!status) ReportSocketError(reporter, status.error);
  return static_cast<bool>(status);
}

SocketAddress ListenAddress(ListenScope scope, std::uint16_t port) {
  in_addr address{};
  address.s_addr = htonl(scope == ListenScope::Loopback ? INADDR_LOOPBACK : INADDR_ANY);
  return SocketAddress::FromIPv4(address, port);
}

}  // namespace

std::string BroadcastText(const char* block, std::size_t received) {
  const std::size_t limit = std::min(received, kBroadcastBlockSize);
  const void* zero = std::memchr(block, '\0', limit);
  const std::size_t length = zero != nullptr ? static_cast<const char*>(zero) - block : limit;
  // The sender's 8-bit text has no declared character set: read as the
  // transcript reads it (UTF-8, else Latin-1).
  return TranscriptUtf8(std::string_view(block, length));
}

CShellListeners::CShellListeners(IMainWindowReporter& reporter, IListenerEvents& events,
                                 ListenerBackoff backoff, IThreadLauncher& launcher)
    : reporter_(reporter), events_(events), backoff_(backoff), launcher_(launcher) {}

CShellListeners::~CShellListeners() {
  StopChat();
  StopBroadcast();
}

bool CShellListeners::StartChat(std::uint16_t port, ListenScope scope) {
  if (!OpenChatSocket(port, scope)) {
    chat_.socket.Close();
    return false;
  }
  return StartThread(chat_, &CShellListeners::ChatLoop);
}

bool CShellListeners::StartBroadcast(std::uint16_t port, ListenScope scope) {
  if (!OpenBroadcastSocket(port, scope)) {
    broadcast_.socket.Close();
    return false;
  }
  return StartThread(broadcast_, &CShellListeners::BroadcastLoop);
}

// On every interface the chat listener takes IPv6 and IPv4 calls on one
// socket (IPV6_V6ONLY off); a host without IPv6 listens on IPv4 alone. The
// loopback choice stays on 127.0.0.1: one socket cannot also hold ::1.
bool CShellListeners::OpenChatSocket(std::uint16_t port, ListenScope scope) {
  CNetSocket& socket = chat_.socket;
  const bool dualStack =
      scope == ListenScope::AllInterfaces && socket.Create(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
  if (dualStack) {
    const int off = 0;
    static_cast<void>(socket.SetOption(IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off));
  } else if (!ReportUnlessUninitialised(reporter_,
                                        socket.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP))) {
    return false;
  }
  // Lets a restarted copy listen again while connections of the previous one
  // linger; another program listening on the port still makes Bind fail.
  const int reuse = 1;
  static_cast<void>(socket.SetOption(SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse));
  const SocketStatus bound =
      dualStack ? socket.Bind(port) : socket.Bind(ListenAddress(scope, port));
  return Report(reporter_, bound) && Report(reporter_, socket.Listen(kChatBacklog));
}

bool CShellListeners::OpenBroadcastSocket(std::uint16_t port, ListenScope scope) {
  CNetSocket& socket = broadcast_.socket;
  if (!ReportUnlessUninitialised(reporter_, socket.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP)))
    return false;
  const int on = 1;
  return Report(reporter_, socket.Bind(ListenAddress(scope, port))) &&
         Report(reporter_, socket.SetOption(SOL_SOCKET, SO_BROADCAST, &on, sizeof on));
}

bool CShellListeners::StartThread(Listener& listener, void (CShellListeners::*loop)()) {
  {
    std::lock_guard lock(listener.mutex);
    listener.stopping = false;
  }
  listener.failures = 0;
  listener.thread = launcher_.Launch([this, loop](std::stop_token) { (this->*loop)(); });
  if (listener.thread.joinable()) return true;
  reporter_.PostToolMessage(kSourceSystemMessage, kNoThreadText);
  listener.socket.Close();
  return false;
}

void CShellListeners::StopChat() { Stop(chat_); }

void CShellListeners::StopBroadcast() { Stop(broadcast_); }

void CShellListeners::Stop(Listener& listener) {
  {
    std::lock_guard lock(listener.mutex);
    listener.stopping = true;
  }
  listener.wake.notify_all();
  listener.socket.Interrupt();
  if (listener.thread.joinable()) listener.thread.join();
  listener.socket.Close();
}

void CShellListeners::ReportUnlessRepeated(int code, int& lastCode) {
  if (code == lastCode) return;
  ReportSocketError(reporter_, code);
  lastCode = code;
}

bool CShellListeners::PauseAfterFailure(Listener& listener, int code, int& lastCode,
                                        std::chrono::milliseconds& pause) {
  // A failure that persists (no descriptors left, for one) would otherwise
  // repeat at full speed: report it once and retry ever more slowly.
  ++listener.failures;
  ReportUnlessRepeated(code, lastCode);
  std::unique_lock lock(listener.mutex);
  listener.wake.wait_for(lock, pause, [&] { return listener.stopping; });
  pause = std::min(pause * 2, backoff_.longest);
  return !listener.stopping;
}

void CShellListeners::ChatLoop() {
  int lastCode = 0;
  std::chrono::milliseconds pause = backoff_.first;
  for (;;) {
    auto call = std::make_unique<CNetSocket>();
    SocketAddress caller;
    const SocketStatus accepted = chat_.socket.Accept(*call, &caller);
    if (accepted) {
      lastCode = 0;
      pause = backoff_.first;
      // An IPv4 caller on the dual-stack socket shows as ::ffff:a.b.c.d.
      events_.ChatCallArrived(std::move(call), caller.unmapped());
      continue;
    }
    if (accepted.error == WSAEINTR || chat_.socket.Interrupted()) return;
    if (!PauseAfterFailure(chat_, accepted.error, lastCode, pause)) return;
  }
}

void CShellListeners::BroadcastLoop() {
  int lastCode = 0;
  std::chrono::milliseconds pause = backoff_.first;
  std::array<char, kBroadcastBlockSize> block{};
  for (;;) {
    // MSG_TRUNC makes the receive return the datagram's whole length, so a
    // datagram longer than the block fails its receive (WSAEMSGSIZE, as on
    // the system the protocol comes from) instead of being shown cut. A
    // flood of them is reported once, until a datagram that fits arrives.
    const SocketCount received =
        broadcast_.socket.RecvFrom(block.data(), block.size(), nullptr, MSG_TRUNC);
    if (received && static_cast<std::size_t>(received.bytes) > block.size()) {
      ReportUnlessRepeated(WSAEMSGSIZE, lastCode);
      continue;
    }
    if (received) {
      lastCode = 0;
      pause = backoff_.first;
      events_.BroadcastArrived(
          BroadcastText(block.data(), static_cast<std::size_t>(received.bytes)));
      continue;
    }
    if (received.error == WSAEINTR || broadcast_.socket.Interrupted()) return;
    if (!PauseAfterFailure(broadcast_, received.error, lastCode, pause)) return;
  }
}

}  // namespace netrove
