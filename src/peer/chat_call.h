#pragma once
// The called side of a chat: every copy listens for calls from anyone on the
// network, so a call is answered with one question at a time, and calls that
// arrive while it is asked are hung up at once. The caller's name is looked
// up off the interface thread, for at most a limited time.
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "base/net_socket.h"
#include "base/run_lifecycle.h"

namespace netrove {

class IShellContext;

// How long the called side waits for the caller's name before it asks
// about an "Unknown Host".
inline constexpr std::chrono::milliseconds kCallerLookUpLimit{5000};

// Finds the caller's name (a reverse look-up in production); may block.
using CallerLookUp = std::function<SocketStatus(const SocketAddress& caller, std::string& name)>;
SocketStatus ReverseLookUp(const SocketAddress& caller, std::string& name);

// Opens a chat window titled "Chatting with <name>" on a connected socket.
void OpenChatWindow(IShellContext& shell, std::shared_ptr<CNetSocket> socket, const QString& name);

class CChatCallAnswerer {
 public:
  explicit CChatCallAnswerer(CallerLookUp lookUp = ReverseLookUp,
                             std::chrono::milliseconds limit = kCallerLookUpLimit,
                             IThreadLauncher& launcher = SystemThreads())
      : lookUp_(std::move(lookUp)), limit_(limit), launcher_(launcher) {}

  // Asks the user (on the interface thread) whether to chat with the caller
  // and opens the chat window on Yes; the socket is hung up on No and for a
  // call that arrives while a question is asked.
  void Answer(IShellContext& shell, std::unique_ptr<CNetSocket> socket,
              const SocketAddress& caller);

 private:
  QString CallerName(IShellContext& shell, const SocketAddress& caller);

  CallerLookUp lookUp_;
  std::chrono::milliseconds limit_;
  IThreadLauncher& launcher_;
  bool asking_ = false;
};

}  // namespace netrove
