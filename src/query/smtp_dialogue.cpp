#include "query/smtp_dialogue.h"

#include <sys/socket.h>

#include <ctime>

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

SmtpServerAddress ParseSmtpServer(std::string_view text) {
  SmtpServerAddress address;
  // Not HOST[:PORT]: the whole text is the name, which the look-up then refuses.
  if (!SplitServerAndPort(text, address.host, address.port)) return {std::string(text), kSmtpPort};
  return address;
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
  SmtpServerAddress server = ParseSmtpServer(request.server);
  // HELO names us, not the server: the name is known once connected.
  conversation_.Begin({{},
                       request.sender,
                       request.recipient,
                       FormatSmtpTestMessage(request.sender, FormatSmtpDate(std::time(nullptr)))});
  delivered_ = false;
  ApplyConnectSettings(socket_, request.network);
  return lifecycle_.Start([this, server = std::move(server), replyMs = request.network.replyMs](
                              std::stop_token) { Converse(server, replyMs); },
                          {&socket_});
}

// Wakes a blocked connect or receive; the lifecycle closes the socket on the
// worker once the dialogue has ended.
void CSmtpDialogue::HangUp() { lifecycle_.Interrupt(); }

void CSmtpDialogue::Join() { lifecycle_.Join(); }

void CSmtpDialogue::Converse(const SmtpServerAddress& server, int replyTimeoutMs) {
  if (!Connect(server)) return;
  conversation_.SetHeloName(OurAddressLiteral());
  ReceiveReplies(replyTimeoutMs);
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
    received = socket_.Recv(buffer.data(), buffer.size());
    if (!received || received.bytes == 0) break;
    reader.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(received.bytes)));
  }
  reader.Finish();
  delivered_ = conversation_.Delivered();
  if (!received) ReportUnlessHungUp(received.status());
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
