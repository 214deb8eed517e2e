#include "peer/chat_session.h"

#include <algorithm>
#include <array>

#include "base/tool_message.h"

namespace netrove {

std::string ChatWireMessage(std::string_view text) {
  std::string wire;
  wire.reserve(text.size() + 4);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) wire += '\r';
    wire += text[i];
  }
  wire += "\r\n\r\n";
  return wire;
}

CChatSession::CChatSession(std::shared_ptr<CNetSocket> socket, IChatEvents& events,
                           IMainWindowReporter& reporter, std::chrono::milliseconds grace,
                           IThreadLauncher& launcher)
    : socket_(std::move(socket)),
      events_(events),
      reporter_(reporter),
      grace_(grace),
      launcher_(launcher) {}

CChatSession::~CChatSession() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  if (watcher_.joinable()) {
    socket_->Interrupt();
    sender_.join();
    receiver_.join();
    watcher_.join();
  }
}

bool CChatSession::Start() {
  int inForce = 0;
  // A smaller buffer than asked for only slows the conversation down.
  (void)socket_->SetBufferSize(kChatSocketBuffer, SO_SNDBUF, inForce);
  (void)socket_->SetBufferSize(kChatSocketBuffer, SO_RCVBUF, inForce);
  sender_ = launcher_.Launch([this](std::stop_token) { SendLoop(); });
  if (sender_.joinable()) receiver_ = launcher_.Launch([this](std::stop_token) { ReceiveLoop(); });
  if (receiver_.joinable()) watcher_ = launcher_.Launch([this](std::stop_token) { WatchLoop(); });
  if (watcher_.joinable()) return true;
  AbandonStart();
  return false;
}

// Without all three threads the conversation cannot be carried through its
// hang-up: cut it now, so the peer sees the end, and finish both phases here.
void CChatSession::AbandonStart() {
  reporter_.PostToolMessage(kSourceSystemMessage, kNoThreadText);
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  socket_->Interrupt();
  if (sender_.joinable()) sender_.join();
  if (receiver_.joinable()) receiver_.join();
  socket_->Close();
  std::unique_lock lock(mutex_);
  BeginHangUp(lock);
  if (!lock.owns_lock()) lock.lock();
  ended_ = true;
  lock.unlock();
  events_.ChatEnded();
}

bool CChatSession::Send(std::string_view text) {
  if (text.empty()) return false;
  {
    std::lock_guard lock(mutex_);
    if (hangingUp_) return false;
    queue_.push_back(ChatWireMessage(text));
  }
  wake_.notify_all();
  return true;
}

void CChatSession::HangUp() {
  std::unique_lock lock(mutex_);
  BeginHangUp(lock);
}

void CChatSession::BeginHangUp(std::unique_lock<std::mutex>& lock) {
  if (hangingUp_) return;
  hangingUp_ = true;
  hangUpAt_ = std::chrono::steady_clock::now();
  // Told under the lock, so the second phase (which needs it) is always told
  // after the first.
  events_.ChatHangingUp();
  lock.unlock();
  wake_.notify_all();
}

bool CChatSession::HungUp() const {
  std::lock_guard lock(mutex_);
  return hangingUp_;
}

bool CChatSession::Ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

void CChatSession::SendLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return !queue_.empty() || hangingUp_ || closing_; });
    if (queue_.empty()) break;
    const std::string message = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    SendAll(message);
    lock.lock();
  }
  lock.unlock();
  // After the conversation was cut there is nothing left to end.
  if (const SocketStatus ended = socket_->ShutdownSend(); !socket_->Interrupted()) {
    ReportSocketError(reporter_, ended);
  }
  lock.lock();
  ThreadEnded(sendEnded_);
}

// A failed piece drops the rest of its message; the conversation goes on.
void CChatSession::SendAll(const std::string& message) {
  for (std::size_t sent = 0; sent < message.size();) {
    const std::size_t piece = std::min(kChatSendPiece, message.size() - sent);
    const SocketCount count = socket_->Send(message.data() + sent, piece);
    if (!count) {
      ReportSocketError(reporter_, count);
      return;
    }
    sent += static_cast<std::size_t>(count.bytes);
  }
}

void CChatSession::Consumed(std::size_t bytes) {
  {
    std::lock_guard lock(mutex_);
    backlog_ -= std::min(bytes, backlog_);
  }
  wake_.notify_all();
}

// False when the conversation was cut while waiting.
bool CChatSession::WaitForBacklogRoom() {
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [this] { return backlog_ < kChatReceiveBacklog || closing_ || cut_; });
  return !closing_ && !cut_;
}

void CChatSession::ReceiveLoop() {
  std::array<char, kChatSocketBuffer> buffer{};
  while (WaitForBacklogRoom()) {
    const SocketCount received = socket_->Recv(buffer.data(), buffer.size());
    if (!received) {
      ReportSocketError(reporter_, received);
      break;
    }
    if (received.bytes == 0) {
      events_.ChatPeerClosed();
      break;
    }
    {
      std::lock_guard lock(mutex_);
      backlog_ += static_cast<std::size_t>(received.bytes);
    }
    events_.ChatReceived(std::string(buffer.data(), static_cast<std::size_t>(received.bytes)));
  }
  std::unique_lock lock(mutex_);
  BeginHangUp(lock);
  if (!lock.owns_lock()) lock.lock();
  ThreadEnded(receiveEnded_);
}

void CChatSession::ThreadEnded(bool& flag) {
  flag = true;
  wake_.notify_all();
}

void CChatSession::WatchLoop() {
  std::unique_lock lock(mutex_);
  const auto bothEnded = [this] { return sendEnded_ && receiveEnded_; };
  while (!bothEnded()) {
    if (!hangingUp_ || cut_) {
      wake_.wait(lock, [&] { return bothEnded() || (hangingUp_ && !cut_); });
      continue;
    }
    if (!wake_.wait_until(lock, hangUpAt_ + grace_, bothEnded)) {
      // The half-close did not end the conversation in time; a receiving
      // thread waiting for the display to catch up is woken too.
      socket_->Interrupt();
      cut_ = true;
      wake_.notify_all();
    }
  }
  lock.unlock();
  socket_->Close();
  lock.lock();
  ended_ = true;
  lock.unlock();
  events_.ChatEnded();
}

bool CAttentionGate::Allow(std::chrono::steady_clock::time_point now) {
  if (signalled_ && now - last_ < quiet_) return false;
  signalled_ = true;
  last_ = now;
  return true;
}

}  // namespace netrove
