#include "query/smtp_dialogue.h"

#include <sys/socket.h>

#include <ctime>

#include "base/certificate_pins.h"
#include "base/host_port.h"
#include "base/run_finished.h"
#include "base/tool_message.h"
#include "base/transcript_sink.h"
#include "query/smtp_reply_reader.h"

namespace netrove {
namespace {

// What one receive takes at most; replies are framed across receives.
constexpr std::size_t kReceiveSize = 6144;

}  // namespace

SmtpServerAddress ParseSmtpServer(std::string_view text, std::uint16_t defaultPort) {
  SmtpServerAddress address{{}, defaultPort};
  // Not HOST[:PORT]: the whole text is the name, which the look-up then refuses.
  if (!SplitServerAndPort(text, address.host, address.port))
    return {std::string(text), defaultPort};
  return address;
}

std::uint16_t DefaultSmtpPort(TlsMode tls) {
  return tls == TlsMode::Implicit ? kSmtpsPort : kSmtpPort;
}

std::string SmtpStopText(SmtpStop stop) {
  switch (stop) {
    case SmtpStop::None:
      break;
    case SmtpStop::TlsNotOffered:
      return "The mail server does not offer STARTTLS, and a secure connection is required. "
             "Nothing was sent in clear text.";
    case SmtpStop::TlsRefused:
      return "The mail server refused STARTTLS, and a secure connection is required. Nothing "
             "was sent in clear text.";
    case SmtpStop::PasswordNeedsTls:
      return "The connection to the mail server is not secure, so the password was not sent. "
             "Choose TLS \"off\" to send it in clear text anyway.";
    case SmtpStop::AuthNotOffered:
      return "The mail server offers no sign-in this program knows (AUTH PLAIN or LOGIN).";
    case SmtpStop::AuthRefused:
      return "The mail server refused the user name or password.";
  }
  return {};
}

SmtpRequestFault CheckSmtpRequest(const SmtpRequest& request) {
  if (!IsSafeSmtpArgument(request.recipient)) return SmtpRequestFault::Recipient;
  if (!IsSafeSmtpArgument(request.sender)) return SmtpRequestFault::Sender;
  if (!IsSafeSmtpArgument(request.server)) return SmtpRequestFault::Server;
  if (request.sender.empty()) return SmtpRequestFault::NoSender;
  return SmtpRequestFault::None;
}

// The conversation's lines go out on the dialogue's socket; a failed send
// is reported unless the dialogue was hung up.
class CSmtpDialogue::SocketWire : public ISmtpWire {
 public:
  explicit SocketWire(CSmtpDialogue& dialogue) : dialogue_(dialogue) {}
  bool SendAll(std::string_view bytes) override {
    while (!bytes.empty()) {
      const SocketCount sent = dialogue_.socket_.Send(bytes.data(), bytes.size());
      if (!sent) {
        dialogue_.ReportUnlessHungUp(sent.status());
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent.bytes));
    }
    return true;
  }

 private:
  CSmtpDialogue& dialogue_;
};

CSmtpDialogue::CSmtpDialogue(ITranscriptSink& transcript, IMainWindowReporter& reporter,
                             IRunFinishedListener& finished)
    : transcript_(transcript),
      reporter_(reporter),
      wire_(std::make_unique<SocketWire>(*this)),
      conversation_(*wire_),
      lifecycle_(finished, kMailFinishedCommand) {}

CSmtpDialogue::~CSmtpDialogue() = default;

bool CSmtpDialogue::Start(const SmtpRequest& request) {
  if (lifecycle_.IsRunning()) return false;
  if (CheckSmtpRequest(request) != SmtpRequestFault::None) return false;
  lifecycle_.Join();
  server_ = ParseSmtpServer(request.server, DefaultSmtpPort(request.tls));
  if (request.port != 0) server_.port = request.port;
  tls_ = request.tls;
  tlsOptions_ = request.tlsOptions;
  {
    std::lock_guard lock(trustMutex_);
    trustFailure_.reset();
  }
  // EHLO names us, not the server: the name is known once connected.
  conversation_.Begin({{},
                       request.sender,
                       request.recipient,
                       FormatSmtpTestMessage(request.sender, FormatSmtpDate(std::time(nullptr))),
                       request.tls,
                       request.user,
                       request.password});
  delivered_ = false;
  ApplyConnectSettings(socket_, request.network);
  return lifecycle_.Start(
      [this, replyMs = request.network.replyMs](std::stop_token) { Converse(replyMs); },
      {&socket_});
}

// Wakes a blocked connect or receive; the lifecycle closes the socket on the
// worker once the dialogue has ended.
void CSmtpDialogue::HangUp() { lifecycle_.Interrupt(); }

void CSmtpDialogue::Join() { lifecycle_.Join(); }

std::optional<TlsHandshakeReport> CSmtpDialogue::TrustFailure() const {
  std::lock_guard lock(trustMutex_);
  return trustFailure_;
}

void CSmtpDialogue::Converse(int replyTimeoutMs) {
  if (!Connect(server_)) return;
  conversation_.SetHeloName(OurAddressLiteral());
  if (tls_ == TlsMode::Implicit && !Secure()) return;
  ReceiveReplies(replyTimeoutMs);
}

bool CSmtpDialogue::Secure() {
  TlsClientOptions options = tlsOptions_;
  options.host = server_.host;
  options.port = server_.port;
  if (options.pinnedSha256.empty() && !options.insecure)
    options.pinnedSha256 =
        FindPinnedCertificate(PinnedCertificatesFile(), server_.host, server_.port).value_or("");
  TlsHandshakeReport report;
  if (socket_.StartTls(options, report)) {
    transcript_.AppendTranscript(SecuredConnectionNote(report, options.insecure));
    conversation_.OnSecured();
    return true;
  }
  if (socket_.Interrupted()) return false;
  if (AsksForTrust(report)) {
    std::lock_guard lock(trustMutex_);
    trustFailure_ = report;
    return false;
  }
  reporter_.PostToolMessage(kSourceWinSock, HandshakeFailureText(report));
  return false;
}

// How a client names itself in HELO when it has no name the server could
// check: its own address as a literal, "[192.0.2.1]" (RFC 5321, 4.1.3).
std::string CSmtpDialogue::OurAddressLiteral() const {
  SocketAddress local;
  if (!socket_.LocalAddress(local)) return "[127.0.0.1]";
  std::string literal = local.isIPv4() ? "[" : "[IPv6:";
  // A link-local scope ("%eth0") is no part of an address literal.
  const std::string text = local.text();
  literal += text.substr(0, text.find('%'));
  literal += ']';
  return literal;
}

bool CSmtpDialogue::Connect(const SmtpServerAddress& server) {
  const SocketStatus status = socket_.Connect(server.host, server.port);
  if (!status && !socket_.Interrupted()) ReportConnectError(reporter_, status, socket_);
  return static_cast<bool>(status);
}

// Each reply is awaited for `replyTimeoutMs` at most (0: no bound), from the
// connection or the reply before it, so a server that trickles an endless
// reply is cut off as well as a silent one.
void CSmtpDialogue::ReceiveReplies(int replyTimeoutMs) {
  CSmtpReplyReader reader(transcript_, conversation_);
  std::string buffer(kReceiveSize, '\0');
  SocketCount received;
  std::size_t repliesSeen = 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(replyTimeoutMs);
  // Once QUIT is answered the dialogue closes the connection itself.
  while (!conversation_.Ended()) {
    if (reader.RepliesHandled() != repliesSeen) {
      repliesSeen = reader.RepliesHandled();
      deadline = Clock::now() + std::chrono::milliseconds(replyTimeoutMs);
    }
    if (replyTimeoutMs > 0 && !AwaitReply(deadline, received)) break;
    // Readable bytes may be only part of a TLS record: without a whole one
    // the wait for the reply goes on, bounded as before.
    received = socket_.Recv(buffer.data(), buffer.size(), replyTimeoutMs > 0 ? MSG_DONTWAIT : 0);
    if (received.error == WSAEWOULDBLOCK) continue;
    if (!received || received.bytes == 0) break;
    reader.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(received.bytes)));
    if (conversation_.UpgradeDue() && !Upgrade(reader)) break;
  }
  reader.Finish();
  delivered_ = conversation_.Delivered();
  if (!received) ReportUnlessHungUp(received.status());
  if (const std::string stop = SmtpStopText(conversation_.Stop()); !stop.empty())
    reporter_.PostToolMessage(kSourceWinSock, stop);
}

// Bytes that came after the go-ahead but before the handshake were sent in
// clear text by someone: taking them as the secure server's replies would
// let a third party answer for it, so the dialogue ends instead.
bool CSmtpDialogue::Upgrade(CSmtpReplyReader& reader) {
  if (reader.DiscardUnread() > 0) {
    if (!socket_.Interrupted())
      reporter_.PostToolMessage(kSourceWinSock,
                                "The mail server sent more text after agreeing to STARTTLS; "
                                "the connection was ended before securing it.");
    return false;
  }
  return Secure();
}

bool CSmtpDialogue::AwaitReply(Clock::time_point deadline, SocketCount& failure) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  bool ready = false;
  SocketStatus status;
  if (left > 0) status = socket_.WaitReadable(static_cast<int>(left), ready);
  if (ready) return true;
  failure = SocketCount{-1, status ? WSAETIMEDOUT : status.error};
  return false;
}

void CSmtpDialogue::ReportUnlessHungUp(SocketStatus status) {
  // The user's own interrupt is never reported (ReportSocketError knows its
  // codes); a call that failed otherwise just as Hang Up came is not either.
  if (socket_.Interrupted()) return;
  ReportSocketError(reporter_, status);
}

}  // namespace netrove
