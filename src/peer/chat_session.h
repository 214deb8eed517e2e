#pragma once
// One chat conversation over a connected TCP socket: a sending thread that
// writes queued messages in pieces of at most one segment, a receiving thread
// that hands over whatever bytes arrive, and a watcher that completes the
// hang-up once both have ended. Every decision is taken here, on the
// engine's own state: the window only shows what the events tell it.
//
// Hanging up has two phases. The first (the user's HANG UP, the peer's end
// of stream, a receive failure) happens once: the sending thread sends what
// is queued and then ends this side's sending. The second happens once, on
// the watcher, when both threads have ended; if they have not ended within
// the grace period (a peer that never stops sending or never reads), the
// socket is shut down both ways so that they do.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "base/net_socket.h"
#include "base/run_lifecycle.h"

namespace netrove {

class IMainWindowReporter;

inline constexpr std::uint16_t kChatServicePort = 17321;
// One Ethernet TCP segment: the most a single send call writes.
inline constexpr std::size_t kChatSendPiece = 1460;
inline constexpr int kChatSocketBuffer = 16384;
inline constexpr std::chrono::milliseconds kChatHangUpGrace{10000};
// Received bytes handed over but not yet taken (Consumed) by whoever shows
// them: at this many the receiving thread stops reading, so a peer sending
// faster than the display keeps up waits in TCP's flow control instead of
// in memory.
inline constexpr std::size_t kChatReceiveBacklog = 256 * 1024;
inline constexpr std::string_view kChatShutDownNotice =
    " : The remote host has shut down the connection!";

// A message as it goes on the wire: the text with every line break as CR LF,
// then CR LF CR LF. No terminating zero.
std::string ChatWireMessage(std::string_view text);

// What a conversation reports; called on the engine's threads.
class IChatEvents {
 public:
  virtual ~IChatEvents() = default;
  // Receiving thread: bytes as they arrived. They count against the
  // receive backlog until CChatSession::Consumed is told about them.
  virtual void ChatReceived(std::string bytes) = 0;
  // Receiving thread: the peer ended its sending (show the shut-down notice).
  virtual void ChatPeerClosed() = 0;
  // The first hang-up phase began (once), on whichever thread caused it,
  // with the session's lock held: it must not call back into the session.
  virtual void ChatHangingUp() = 0;
  // Watcher: both threads ended and the socket is closed (once).
  virtual void ChatEnded() = 0;
};

class CChatSession {
 public:
  CChatSession(std::shared_ptr<CNetSocket> socket, IChatEvents& events,
               IMainWindowReporter& reporter, std::chrono::milliseconds grace = kChatHangUpGrace,
               IThreadLauncher& launcher = SystemThreads());
  // A conversation still going is cut (its socket shut down) and its threads
  // joined.
  ~CChatSession();
  CChatSession(const CChatSession&) = delete;
  CChatSession& operator=(const CChatSession&) = delete;

  // Asks for the buffers and starts the three threads. When one of them
  // cannot start, the failure is reported, the conversation is cut and both
  // hang-up phases are told before it returns false.
  bool Start();
  // Queues a message (ChatWireMessage of `text`); false, sending nothing, for
  // an empty text or once hanging up.
  bool Send(std::string_view text);
  // `bytes` of what ChatReceived handed over have been shown; any thread.
  void Consumed(std::size_t bytes);
  // The first phase; ignored once it has begun.
  void HangUp();
  bool HungUp() const;
  bool Ended() const;

 private:
  void SendLoop();
  void SendAll(const std::string& message);
  void ReceiveLoop();
  bool WaitForBacklogRoom();
  void WatchLoop();
  void BeginHangUp(std::unique_lock<std::mutex>& lock);
  void ThreadEnded(bool& flag);
  void AbandonStart();

  std::shared_ptr<CNetSocket> socket_;
  IChatEvents& events_;
  IMainWindowReporter& reporter_;
  const std::chrono::milliseconds grace_;
  IThreadLauncher& launcher_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> queue_;
  bool hangingUp_ = false;
  std::chrono::steady_clock::time_point hangUpAt_;
  bool sendEnded_ = false;
  bool receiveEnded_ = false;
  bool ended_ = false;
  bool closing_ = false;  // the destructor cuts the conversation
  bool cut_ = false;      // the watcher cut it after the grace period
  std::size_t backlog_ = 0;

  LaunchedThread sender_;
  LaunchedThread receiver_;
  LaunchedThread watcher_;
};

// The attention signal of received chat text, coalesced: one signal, then
// none until `quiet` has passed, however many chunks arrive meanwhile.
class CAttentionGate {
 public:
  explicit CAttentionGate(std::chrono::milliseconds quiet) : quiet_(quiet) {}
  // True when a signal should be given at `now` (and starts the quiet time).
  bool Allow(std::chrono::steady_clock::time_point now);

 private:
  std::chrono::milliseconds quiet_;
  bool signalled_ = false;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace netrove
