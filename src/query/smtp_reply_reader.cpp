#include "query/smtp_reply_reader.h"

#include <string>

#include "base/transcript_sink.h"
#include "query/smtp_conversation.h"

namespace netrove {
namespace {

constexpr std::string_view kDialogueEnd = "\r\n\r\n\r\n";

}  // namespace

void CSmtpReplyReader::Feed(std::string_view received) {
  framer_.Feed(received);
  Reply reply;
  for (;;) {
    const ReplyStatus status = framer_.Next(reply);
    if (status == ReplyStatus::Incomplete) return;
    if (status == ReplyStatus::Complete) {
      HandleReply(reply);
    } else {
      SkipMalformedLine();
    }
  }
}

void CSmtpReplyReader::Finish() {
  const std::string unfinished = framer_.TakeBuffered();
  if (!unfinished.empty()) transcript_.AppendTranscript(unfinished);
  transcript_.AppendTranscript(kDialogueEnd);
}

void CSmtpReplyReader::HandleReply(const Reply& reply) {
  std::string text;
  for (const std::string& line : reply.lines) {
    text += line;
    text += "\r\n";
  }
  // The reply is in the transcript before anything it leads to is sent.
  transcript_.AppendTranscript(text);
  if (reply.code == 250 && conversation_.InFlight() == SmtpCommand::Data) delivered_ = true;
  conversation_.OnReply(reply.code);
}

// Framing starts again behind the offending line (or behind everything
// buffered, when no line end is in sight).
void CSmtpReplyReader::SkipMalformedLine() {
  const std::string rest = framer_.TakeBuffered();
  const auto lineEnd = rest.find('\n');
  const std::size_t shown = lineEnd == std::string::npos ? rest.size() : lineEnd + 1;
  transcript_.AppendTranscript(std::string_view(rest).substr(0, shown));
  framer_.Feed(std::string_view(rest).substr(shown));
}

}  // namespace netrove
