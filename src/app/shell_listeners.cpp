#include "app/shell_listeners.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <system_error>

#include "base/tool_message.h"

namespace netrove {
namespace {

int ReportUnlessUninitialised(IMainWindowReporter& reporter, int code) {
  // A socket layer that failed to start has shown its own message already.
  if (code != WSANOTINITIALISED) ReportSocketError(reporter, code);
  return code;
}

}  // namespace

std::string BroadcastText(const char* block, std::size_t received) {
  const std::size_t limit = std::min(received, kBroadcastBlockSize);
  const void* zero = std::memchr(block, '\0', limit);
  const std::size_t length = zero != nullptr ? static_cast<const char*>(zero) - block : limit;
  return std::string(block, length);
}

CShellListeners::CShellListeners(IMainWindowReporter& reporter, IListenerEvents& events,
                                 ListenerBackoff backoff)
    : reporter_(reporter), events_(events), backoff_(backoff) {}

CShellListeners::~CShellListeners() {
  StopChat();
  StopBroadcast();
}

bool CShellListeners::StartChat(std::uint16_t port) {
  if (!OpenChatSocket(port)) {
    chat_.socket.Close();
    return false;
  }
  return StartThread(chat_, &CShellListeners::ChatLoop);
}

bool CShellListeners::StartBroadcast(std::uint16_t port) {
  if (!OpenBroadcastSocket(port)) {
    broadcast_.socket.Close();
    return false;
  }
  return StartThread(broadcast_, &CShellListeners::BroadcastLoop);
}

bool CShellListeners::OpenChatSocket(std::uint16_t port) {
  CNetSocket& socket = chat_.socket;
  if (!socket.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
    ReportUnlessUninitialised(reporter_, GetLastError());
    return false;
  }
  // Lets a restarted copy listen again while connections of the previous one
  // linger; another program listening on the port still makes Bind fail.
  const int reuse = 1;
  socket.SetOption(SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  if (!socket.Bind(port)) {
    ReportSocketError(reporter_, GetLastError());
    return false;
  }
  if (!socket.Listen(kChatBacklog)) {
    ReportSocketError(reporter_, GetLastError());
    return false;
  }
  return true;
}

bool CShellListeners::OpenBroadcastSocket(std::uint16_t port) {
  CNetSocket& socket = broadcast_.socket;
  if (!socket.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
    ReportUnlessUninitialised(reporter_, GetLastError());
    return false;
  }
  if (!socket.Bind(port)) {
    ReportSocketError(reporter_, GetLastError());
    return false;
  }
  const int on = 1;
  if (!socket.SetOption(SOL_SOCKET, SO_BROADCAST, &on, sizeof on)) {
    ReportSocketError(reporter_, GetLastError());
    return false;
  }
  return true;
}

bool CShellListeners::StartThread(Listener& listener, void (CShellListeners::*loop)()) {
  {
    std::lock_guard lock(listener.mutex);
    listener.stopping = false;
  }
  try {
    listener.thread = std::thread(loop, this);
  } catch (const std::system_error& error) {
    reporter_.PostSystemError(error.code().value());
    listener.socket.Close();
    return false;
  }
  return true;
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

bool CShellListeners::PauseAfterFailure(Listener& listener, int code, int& lastCode,
                                        std::chrono::milliseconds& pause) {
  // A failure that persists (no descriptors left, for one) would otherwise
  // repeat at full speed: report it once and retry ever more slowly.
  if (code != lastCode) {
    ReportSocketError(reporter_, code);
    lastCode = code;
  }
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
    sockaddr_in caller{};
    socklen_t callerLength = sizeof caller;
    if (chat_.socket.Accept(*call, reinterpret_cast<sockaddr*>(&caller), &callerLength)) {
      lastCode = 0;
      pause = backoff_.first;
      events_.ChatCallArrived(std::move(call), caller);
      continue;
    }
    const int code = GetLastError();
    if (code == WSAEINTR || chat_.socket.Interrupted()) return;
    if (!PauseAfterFailure(chat_, code, lastCode, pause)) return;
  }
}

void CShellListeners::BroadcastLoop() {
  int lastCode = 0;
  std::chrono::milliseconds pause = backoff_.first;
  std::array<char, kBroadcastBlockSize> block{};
  for (;;) {
    sockaddr_in sender{};
    const long received = broadcast_.socket.RecvFrom(block.data(), block.size(), &sender);
    if (received >= 0) {
      lastCode = 0;
      pause = backoff_.first;
      events_.BroadcastArrived(BroadcastText(block.data(), static_cast<std::size_t>(received)));
      continue;
    }
    const int code = GetLastError();
    if (code == WSAEINTR || broadcast_.socket.Interrupted()) return;
    if (!PauseAfterFailure(broadcast_, code, lastCode, pause)) return;
  }
}

}  // namespace netrove
