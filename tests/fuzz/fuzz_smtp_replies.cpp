// Feeds arbitrary server bytes, split at arbitrary points, to the mail
// tester's reply reader and conversation, as a hostile server would send
// them. Whatever arrives, the client only ever sends its own command lines
// and the test message, and never queues more than it may.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/transcript_sink.h"
#include "query/smtp_conversation.h"
#include "query/smtp_reply_reader.h"

namespace {

constexpr std::string_view kMessage = "TEST - SMTP\r\n.\r\n";

class CheckingWire : public netrove::ISmtpWire {
 public:
  bool SendAll(std::string_view bytes) override {
    using netrove::SmtpCommand;
    static const std::string allowed[] = {
        FormatSmtpCommand(SmtpCommand::Ehlo, "mail.example.test"),
        FormatSmtpCommand(SmtpCommand::Helo, "mail.example.test"),
        FormatSmtpCommand(SmtpCommand::Mail, "alice@example.test"),
        FormatSmtpCommand(SmtpCommand::Rcpt, "bob@example.test"),
        FormatSmtpCommand(SmtpCommand::Data, ""),
        FormatSmtpCommand(SmtpCommand::Quit, ""),
        std::string(kMessage)};
    for (const std::string& line : allowed) {
      if (bytes == line) return true;
    }
    __builtin_trap();
  }
};

class DiscardingSink : public netrove::ITranscriptSink {
 public:
  void AppendTranscript(std::string_view text) override { size += text.size(); }
  std::size_t size = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace netrove;
  if (size == 0) return 0;
  // The first byte sets the size of each receive.
  const std::size_t chunk = data[0] % 16 + 1;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
  CheckingWire wire;
  CSmtpConversation conversation(wire);
  conversation.Begin(
      {"mail.example.test", "alice@example.test", "bob@example.test", std::string(kMessage)});
  DiscardingSink sink;
  CSmtpReplyReader reader(sink, conversation);
  for (std::size_t at = 0; at < stream.size(); at += chunk) reader.Feed(stream.substr(at, chunk));
  reader.Finish();
  if (conversation.QueuedCount() > CSmtpConversation::kQueueLimit) __builtin_trap();
  return 0;
}
