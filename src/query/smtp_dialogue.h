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
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/net_socket.h"
#include "base/network_settings.h"
#include "base/run_lifecycle.h"
#include "base/tls.h"
#include "query/smtp_commands.h"
#include "query/smtp_conversation.h"

namespace netrove {

class CSmtpReplyReader;
class IMainWindowReporter;
class IRunFinishedListener;
class ITranscriptSink;

// The notice a Mail window receives when its dialogue has ended: the Mail
// command's own number, since the system gives the dialogue none.
inline constexpr int kMailFinishedCommand = 32841;

// Where to connect: the server text may name a port after a colon
// ("mail.example.test:2525"); without one `defaultPort` is used.
struct SmtpServerAddress {
  std::string host;
  std::uint16_t port = kSmtpPort;
};
SmtpServerAddress ParseSmtpServer(std::string_view text, std::uint16_t defaultPort = kSmtpPort);

// The port a TLS choice uses when none is given: 465 for TLS from the
// first byte (RFC 8314), 25 otherwise.
std::uint16_t DefaultSmtpPort(TlsMode tls);

struct SmtpRequest {
  std::string server;  // the "Outgoing Mail" text, a port may follow
  std::string sender;
  std::string recipient;
  // The connect time-out, and how long each reply may take to arrive whole.
  NetworkSettings network{};
  TlsMode tls = TlsMode::Off;
  // caFile, pinnedSha256 (else the pinned-certificates file is asked),
  // insecure; host and port are the server's.
  TlsClientOptions tlsOptions{};
  std::string user{};  // empty: no AUTH
  std::string password{};
  std::uint16_t port = 0;  // 0: the server text's, else DefaultSmtpPort
};

// Why a dialogue stopped that the transcript alone does not tell; empty for
// SmtpStop::None.
std::string SmtpStopText(SmtpStop stop);

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
  // The last dialogue ended because the server's certificate was not
  // trusted (kTlsCertificateUntrusted or kTlsCertificateChanged): what to
  // show the user, who may pin it and send again. Read after Join.
  std::optional<TlsHandshakeReport> TrustFailure() const;
  // The server the last dialogue went to, as its certificate is pinned.
  const SmtpServerAddress& Server() const { return server_; }
  SmtpStop Stop() const { return conversation_.Stop(); }

 private:
  class SocketWire;

  void Converse(int replyTimeoutMs);
  // Secures the connection (implicit TLS, or after the go-ahead to
  // STARTTLS); a failure is reported, or kept for TrustFailure().
  bool Secure();
  std::string OurAddressLiteral() const;
  bool Connect(const SmtpServerAddress& server);
  using Clock = std::chrono::steady_clock;
  void ReceiveReplies(int replyTimeoutMs);
  bool Upgrade(CSmtpReplyReader& reader);
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
  SmtpServerAddress server_;
  TlsMode tls_ = TlsMode::Off;
  TlsClientOptions tlsOptions_;
  mutable std::mutex trustMutex_;
  std::optional<TlsHandshakeReport> trustFailure_;  // under trustMutex_
  CRunLifecycle lifecycle_;
};

}  // namespace netrove
