#include "query/smtp_reply_reader.h"

#include <string>
#include <utility>

#include "base/transcript_sink.h"
#include "query/smtp_conversation.h"

namespace netrove {
namespace {

constexpr std::string_view kDialogueEnd = "\r\n\r\n\r\n";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWithCode(std::string_view line) {
  return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
}

int CodeOf(std::string_view line) {
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

// The line without its line end.
std::string_view Bare(std::string_view line) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

// "250 text", "250-text" or "250": a line the framer takes as a reply's first.
bool BeginsReply(std::string_view line) {
  line = Bare(line);
  return StartsWithCode(line) && (line.size() == 3 || line[3] == ' ' || line[3] == '-');
}

// The last line of a multi-line reply with `code`: "250 text" or "250".
bool EndsReply(std::string_view line, int code) {
  line = Bare(line);
  return StartsWithCode(line) && CodeOf(line) == code && (line.size() == 3 || line[3] == ' ');
}

}  // namespace

void CSmtpReplyReader::Feed(std::string_view received) {
  std::string resumed;
  std::string_view bytes = received;
  for (;;) {
    // After the go-ahead to STARTTLS nothing more is framed: what came with
    // it waits, for the dialogue to discard.
    if (conversation_.UpgradeDue()) {
      framer_.Feed(bytes);
      return;
    }
    if (skipping_ != Skipping::None) {
      resumed = SkipLines(bytes);
      if (skipping_ != Skipping::None) return;
      bytes = resumed;
    }
    framer_.Feed(bytes);
    const ReplyStatus status = FrameReplies();
    if (status == ReplyStatus::Incomplete) return;
    const std::string held = framer_.TakeBuffered();
    StartSkipping(status, held);
    resumed = held;
    bytes = resumed;
  }
}

void CSmtpReplyReader::Finish() {
  shown_ += std::exchange(line_, {});
  ShowSkipped();
  const std::string unfinished = framer_.TakeBuffered();
  if (!unfinished.empty()) transcript_.AppendTranscript(unfinished);
  transcript_.AppendTranscript(kDialogueEnd);
}

ReplyStatus CSmtpReplyReader::FrameReplies() {
  Reply reply;
  ReplyStatus status = ReplyStatus::Incomplete;
  while (!conversation_.UpgradeDue() && (status = framer_.Next(reply)) == ReplyStatus::Complete)
    HandleReply(reply);
  if (conversation_.UpgradeDue()) return ReplyStatus::Incomplete;
  return status;
}

void CSmtpReplyReader::HandleReply(const Reply& reply) {
  std::string text;
  for (const std::string& line : reply.lines) {
    text += line;
    text += "\r\n";
  }
  // The reply is in the transcript before anything it leads to is sent.
  transcript_.AppendTranscript(text);
  ++replies_;
  conversation_.OnReply(reply.code, reply.lines);
}

std::size_t CSmtpReplyReader::DiscardUnread() {
  const std::size_t unread = framer_.TakeBuffered().size() + line_.size();
  line_.clear();
  lineCut_ = false;
  skipping_ = Skipping::None;
  return unread;
}

// `held` is what the framer had from the refused line (or reply) on.
void CSmtpReplyReader::StartSkipping(ReplyStatus failure, std::string_view held) {
  switch (failure) {
    case ReplyStatus::ReplyTooLong:
      // Lines kept for the reply that never came are shown as non-replies.
      if (!BeginsReply(held)) {
        skipping_ = Skipping::NonReplies;
        break;
      }
      skipping_ = Skipping::OverlongReply;
      overlongCode_ = CodeOf(held);
      break;
    case ReplyStatus::LineTooLong:
      skipping_ = Skipping::OverlongLine;
      break;
    default:
      skipping_ = Skipping::NonReplies;
      break;
  }
}

std::string CSmtpReplyReader::SkipLines(std::string_view bytes) {
  std::string resume;
  while (!bytes.empty()) {
    const auto lineEnd = bytes.find('\n');
    if (lineEnd == std::string_view::npos) {
      // Only a line's first bytes decide anything: the rest of a long one is
      // shown as it comes, never stored.
      if (line_.size() + bytes.size() > CReplyFramer::kDefaultMaxLine) {
        shown_ += std::exchange(line_, {});
        shown_ += bytes;
        lineCut_ = true;
      } else {
        line_.append(bytes);
      }
      break;
    }
    line_.append(bytes.substr(0, lineEnd + 1));
    bytes.remove_prefix(lineEnd + 1);
    if (SkipLine(std::exchange(line_, {}), resume)) {
      resume.append(bytes);
      break;
    }
  }
  ShowSkipped();
  return resume;
}

bool CSmtpReplyReader::SkipLine(std::string_view line, std::string& resume) {
  const Skipping skipping = skipping_;
  const bool whole = !std::exchange(lineCut_, false);
  if (skipping == Skipping::NonReplies && whole && BeginsReply(line)) {
    skipping_ = Skipping::None;
    resume.assign(line);
    return true;
  }
  shown_ += line;
  if (skipping == Skipping::NonReplies) return false;
  if (skipping == Skipping::OverlongReply && !(whole && EndsReply(line, overlongCode_))) {
    return false;
  }
  skipping_ = Skipping::None;
  // The reply was shown as it came; its code is answered as any reply's,
  // after the text is in the transcript.
  if (skipping == Skipping::OverlongReply) {
    ShowSkipped();
    ++replies_;
    conversation_.OnReply(overlongCode_);
  }
  return true;
}

// Skipped lines reach the transcript in one piece per receive, not one per
// line: a window's transcript takes each piece on its own thread.
void CSmtpReplyReader::ShowSkipped() {
  if (!shown_.empty()) transcript_.AppendTranscript(std::exchange(shown_, {}));
}

}  // namespace netrove
