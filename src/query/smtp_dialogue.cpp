#include "query/smtp_dialogue.h"

#include <sys/socket.h>

#include <charconv>
#include <ctime>

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
  SmtpServerAddress address{std::string(text), kSmtpPort};
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos) return address;
  const std::string_view digits = text.substr(colon + 1);
  unsigned port = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (error != std::errc() || end != digits.data() + digits.size() || port == 0 || port > 65535) {
    return address;
  }
  address.host = std::string(text.substr(0, colon));
  address.port = static_cast<std::uint16_t>(port);
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
  return lifecycle_.Start([this, server = std::move(server)](std::stop_token) { Converse(server); },
                          {&socket_});
}

// Wakes a blocked connect or receive; the lifecycle closes the socket on the
// worker once the dialogue has ended.
void CSmtpDialogue::HangUp() { lifecycle_.Interrupt(); }

void CSmtpDialogue::Join() { lifecycle_.Join(); }

void CSmtpDialogue::Converse(const SmtpServerAddress& server) {
  if (!Connect(server)) return;
  conversation_.SetHeloName(OurAddressLiteral());
  ReceiveReplies();
}

// How a client names itself in HELO when it has no name the server could
// check: its own address as a literal, "[192.0.2.1]" (RFC 5321, 4.1.3).
std::string CSmtpDialogue::OurAddressLiteral() const {
  SocketAddress local;
  if (!socket_.LocalAddress(local)) return "[127.0.0.1]";
  return local.isIPv4() ? "[" + local.text() + "]" : "[IPv6:" + local.text() + "]";
}

bool CSmtpDialogue::Connect(const SmtpServerAddress& server) {
  SocketStatus status = socket_.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (status) status = socket_.Connect(server.host, server.port);
  if (!status) ReportUnlessHungUp(status);
  return static_cast<bool>(status);
}

void CSmtpDialogue::ReceiveReplies() {
  CSmtpReplyReader reader(transcript_, conversation_);
  std::string buffer(kReceiveSize, '\0');
  SocketCount received;
  // Once QUIT is answered the dialogue closes the connection itself.
  while (!conversation_.Ended() && (received = socket_.Recv(buffer.data(), buffer.size())) &&
         received.bytes > 0) {
    reader.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(received.bytes)));
  }
  reader.Finish();
  delivered_ = conversation_.Delivered();
  if (!received) ReportUnlessHungUp(received.status());
}

void CSmtpDialogue::ReportUnlessHungUp(SocketStatus status) {
  // The user's own interrupt is never reported (ReportSocketError knows its
  // codes); a call that failed otherwise just as Hang Up came is not either.
  if (socket_.Interrupted()) return;
  ReportSocketError(reporter_, status);
}

}  // namespace netrove
