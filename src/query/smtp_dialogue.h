#pragma once
// The SMTP dialogue object of a Mail window: one dialogue at a time, on one
// worker thread that connects to the server, receives and frames its
// replies, shows each complete reply in the transcript and answers it
// through the conversation. It ends when the server closes the connection,
// a receive fails, or the owner hangs up. The engine touches no window: it
// writes to a transcript sink, reports socket errors to the main window and
// says when the dialogue has ended.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/net_socket.h"
#include "base/network_settings.h"
#include "base/run_lifecycle.h"
#include "query/smtp_commands.h"
#include "query/smtp_conversation.h"

namespace netrove {

class IMainWindowReporter;
class IRunFinishedListener;
class ITranscriptSink;

// The notice a Mail window receives when its dialogue has ended: the Mail
// command's own number, since the system gives the dialogue none.
inline constexpr int kMailFinishedCommand = 32841;

// Where to connect: the server text may name a port after a colon
// ("mail.example.test:2525"); without one the SMTP port is used.
struct SmtpServerAddress {
  std::string host;
  std::uint16_t port = kSmtpPort;
};
SmtpServerAddress ParseSmtpServer(std::string_view text);

struct SmtpRequest {
  std::string server;  // the "Outgoing Mail" text, a port may follow
  std::string sender;
  std::string recipient;
  // The connect time-out, and how long each reply may take to arrive whole.
  NetworkSettings network{};
};

// Which text of a request cannot go into a command; None when all can.
// An empty sender would become MAIL FROM:<>, the null sender of a bounce.
enum class SmtpRequestFault { None, Recipient, Sender, Server, NoSender };
SmtpRequestFault CheckSmtpRequest(const SmtpRequest& request);

class CSmtpDialogue {
 public:
  CSmtpDialogue(ITranscriptSink& transcript, IMainWindowReporter& reporter,
                IRunFinishedListener& finished);
  // Hangs up a dialogue in progress and waits for its worker.
  ~CSmtpDialogue();
  CSmtpDialogue(const CSmtpDialogue&) = delete;
  CSmtpDialogue& operator=(const CSmtpDialogue&) = delete;

  // Starts a dialogue on its own thread. False, with nothing started, while
  // the previous dialogue's worker has not been joined, or when a text of
  // the request cannot go into a command (CheckSmtpRequest).
  bool Start(const SmtpRequest& request);
  // Ends the dialogue: a blocked connect or receive returns at once and the
  // worker finishes without reporting it. Safe from any thread, any number
  // of times.
  void HangUp();
  // Waits for the ended dialogue's worker. Call from the owner's thread
  // after the finished notice, never from the notice.
  void Join();

  bool IsRunning() const { return lifecycle_.IsRunning(); }
  // The server accepted the test message in the last dialogue (354 to DATA,
  // then 250 to the message).
  bool Delivered() const { return delivered_.load(); }
  // What the conversation has in flight (tests watch the dialogue wait).
  SmtpCommand InFlight() const { return conversation_.InFlight(); }

 private:
  class SocketWire;

  void Converse(const SmtpServerAddress& server, int replyTimeoutMs);
  std::string OurAddressLiteral() const;
  bool Connect(const SmtpServerAddress& server);
  using Clock = std::chrono::steady_clock;
  void ReceiveReplies(int replyTimeoutMs);
  // Waits for the next bytes until `deadline`; false with `failure` set (a
  // time-out or the wait's own failure) when none came.
  bool AwaitReply(Clock::time_point deadline, SocketCount& failure);
  void ReportUnlessHungUp(SocketStatus status);

  ITranscriptSink& transcript_;
  IMainWindowReporter& reporter_;

  // The worker uses these: they outlive the lifecycle, which joins it.
  CNetSocket socket_;
  std::unique_ptr<SocketWire> wire_;
  CSmtpConversation conversation_;
  std::atomic<bool> delivered_{false};
  CRunLifecycle lifecycle_;
};

}  // namespace netrove
