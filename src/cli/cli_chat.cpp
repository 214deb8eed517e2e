// netrove-cli chat: a conversation with a copy of Netrove on the terminal.
// Each line typed goes out as one message, as the window's SEND sends its
// box; what the other side sends is printed as it arrives. End of input (or
// Ctrl+D) hangs up; the command ends when both sides have finished.
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include "base/host_port.h"
#include "base/net_socket.h"
#include "base/run_lifecycle.h"
#include "base/tool_message.h"
#include "cli/cli_command.h"
#include "cli/cli_family.h"
#include "cli/cli_reporter.h"
#include "peer/chat_session.h"

namespace netrove::cli {
namespace {

constexpr Option kOptions[] = {
    {"grace", 'g', "SECONDS", "cut the connection when hanging up takes longer",
     NumberRange{1, 600}},
    kIPv4Option,
    kIPv6Option,
};

class TerminalChat : public IChatEvents {
 public:
  explicit TerminalChat(std::ostream& out) : out_(out) {}
  // Printed as soon as it arrives, so taken at once.
  void Follow(CChatSession& session) { session_ = &session; }
  void ChatReceived(std::string bytes) override {
    Print(bytes);
    session_->Consumed(bytes.size());
  }
  void ChatPeerClosed() override { Print(std::string(kChatShutDownNotice).append("\r\n")); }
  void ChatHangingUp() override {}
  void ChatEnded() override {
    std::lock_guard lock(mutex_);
    ended_ = true;
    endedChanged_.notify_all();
  }
  void WaitForEnd() {
    std::unique_lock lock(mutex_);
    endedChanged_.wait(lock, [this] { return ended_; });
  }

 private:
  void Print(const std::string& text) {
    std::lock_guard lock(mutex_);
    out_ << text << std::flush;
  }

  std::ostream& out_;
  CChatSession* session_ = nullptr;
  std::mutex mutex_;
  std::condition_variable endedChanged_;
  bool ended_ = false;
};

int RunChat(const CommandLine& line, CliStreams& io) {
  std::string host;
  std::uint16_t port = kChatServicePort;
  if (!SplitServerAndPort(line.operands()[0], host, port)) {
    io.err << "netrove-cli chat: '" << line.operands()[0] << "' names no HOST[:PORT]\n";
    return kUsageError;
  }
  std::int32_t grace = kChatHangUpGrace.count() / 1000;
  line.Take("grace", grace);
  const auto network = NetworkSettingsFrom(line, io);
  if (!network) return kUsageError;
  CliReporter reporter(io.err);
  auto socket = std::make_unique<CNetSocket>();
  ApplyConnectSettings(*socket, *network);
  if (const SocketStatus status = socket->Connect(host, port); !status) {
    ReportConnectError(reporter, status, *socket);
    return 1;
  }
  TerminalChat events(io.out);
  auto session = std::make_shared<CChatSession>(std::move(socket), events, reporter,
                                                std::chrono::seconds(grace));
  events.Follow(*session);
  if (!session->Start()) return 1;
  // The terminal is read on a thread of its own that may stay blocked in
  // its read after the conversation ended; it holds the session alive.
  const bool reading = LaunchDetached(SystemThreads(), [session] {
    for (std::string typed; std::getline(std::cin, typed);) {
      if (!session->Send(typed) && session->HungUp()) return;
    }
    session->HangUp();
  });
  if (!reading) {
    reporter.PostToolMessage(kSourceSystemMessage, kNoThreadText);
    session->HangUp();
  }
  events.WaitForEnd();
  return reading ? 0 : 1;
}

const CommandRegistrar registrar(
    {"chat", "HOST[:PORT]", "Chat with a copy of Netrove on HOST.", kOptions, RunChat, 1, 1,
     "Each line typed is sent as one message (followed by an empty line, as the\n"
     "window sends it); end of input hangs up. The port defaults to 17321.\n"
     "Exit status 0 when the conversation ended, 1 when the call failed.\n"});

}  // namespace
}  // namespace netrove::cli
