#pragma once
// The two listeners every running copy keeps open from start-up to shutdown:
// the chat accept loop (TCP) and the broadcast receive loop (UDP), each on a
// thread of its own. What they receive is handed to IListenerEvents on the
// listener's thread; errors go to the main window as socket error texts.
#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/net_socket.h"

namespace netrove {

class IMainWindowReporter;

inline constexpr std::uint16_t kChatPort = 17321;
inline constexpr std::uint16_t kBroadcastPort = 17322;
inline constexpr int kChatBacklog = 5;
// A received broadcast is at most this long, its zero terminator included.
inline constexpr std::size_t kBroadcastBlockSize = 512;

class IListenerEvents {
 public:
  virtual ~IListenerEvents() = default;
  // A chat call was accepted; the connected socket now belongs to the callee.
  // Called on the listener's thread.
  virtual void ChatCallArrived(std::unique_ptr<CNetSocket> socket, const SocketAddress& caller) = 0;
  // A broadcast's text (up to its first zero byte). Listener's thread.
  virtual void BroadcastArrived(std::string text) = 0;
};

// Where the listeners accept: every interface (peers on the network can call
// and broadcast) or this computer only.
enum class ListenScope { AllInterfaces, Loopback };

// How long a listener waits before it tries again after a failure: the first
// pause, doubled after each further failure up to the longest.
struct ListenerBackoff {
  std::chrono::milliseconds first{100};
  std::chrono::milliseconds longest{2000};
};

// The text of a received broadcast block: its bytes up to the first zero,
// never beyond what was received.
std::string BroadcastText(const char* block, std::size_t received);

class CShellListeners {
 public:
  CShellListeners(IMainWindowReporter& reporter, IListenerEvents& events,
                  ListenerBackoff backoff = {});
  ~CShellListeners();
  CShellListeners(const CShellListeners&) = delete;
  CShellListeners& operator=(const CShellListeners&) = delete;

  // Each opens its socket and starts its thread. On failure the error has
  // been reported (socket errors as WinSock texts, a thread that cannot start
  // as a system error) and false is returned.
  bool StartChat(std::uint16_t port = kChatPort, ListenScope scope = ListenScope::AllInterfaces);
  bool StartBroadcast(std::uint16_t port = kBroadcastPort,
                      ListenScope scope = ListenScope::AllInterfaces);

  // Each wakes its thread, waits for it to end and closes the socket.
  void StopChat();
  void StopBroadcast();

 private:
  // One socket, its thread and the stop signal its retry pauses wait on.
  struct Listener {
    CNetSocket socket;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
  };

  bool OpenChatSocket(std::uint16_t port, ListenScope scope);
  bool OpenBroadcastSocket(std::uint16_t port, ListenScope scope);
  bool StartThread(Listener& listener, void (CShellListeners::*loop)());
  void Stop(Listener& listener);
  // Reports `code` unless it repeats the failure before it; then pauses.
  // False when the listener is being stopped.
  // Reports `code` unless it is `lastCode`, the failure reported before.
  void ReportUnlessRepeated(int code, int& lastCode);
  bool PauseAfterFailure(Listener& listener, int code, int& lastCode,
                         std::chrono::milliseconds& pause);
  void ChatLoop();
  void BroadcastLoop();

  IMainWindowReporter& reporter_;
  IListenerEvents& events_;
  ListenerBackoff backoff_;
  Listener chat_;
  Listener broadcast_;
};

}  // namespace netrove
