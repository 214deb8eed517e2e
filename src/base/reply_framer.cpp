#include "base/reply_framer.h"

#include <utility>

namespace netrove {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWithCode(std::string_view line) {
  return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
}

int CodeOf(std::string_view line) {
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

// The separator after the code: '-', ' ', or '\0' for a line holding only the code.
char SeparatorOf(std::string_view line) { return line.size() == 3 ? '\0' : line[3]; }

}  // namespace

std::string_view ReplyStatusName(ReplyStatus status) {
  switch (status) {
    case ReplyStatus::Complete:
      return "complete";
    case ReplyStatus::Incomplete:
      return "incomplete";
    case ReplyStatus::Malformed:
      return "malformed reply";
    case ReplyStatus::LineTooLong:
      return "reply line too long";
    case ReplyStatus::ReplyTooLong:
      return "reply too long";
  }
  return "unknown";
}

CReplyFramer::CReplyFramer(std::size_t maxLine, std::size_t maxReply)
    : maxLine_(maxLine), maxReply_(maxReply) {}

void CReplyFramer::Feed(std::string_view bytes) {
  Compact();
  buffer_.append(bytes);
}

ReplyStatus CReplyFramer::Next(Reply& reply) {
  if (failure_ != ReplyStatus::Incomplete) return failure_;
  std::size_t lineEnd = 0;
  while (true) {
    const LineEnd found = FindLineEnd(lineEnd);
    if (found == LineEnd::NotYet) return ReplyStatus::Incomplete;
    if (found == LineEnd::TooLong) return failure_ = ReplyStatus::LineTooLong;
    std::string_view line(buffer_.data() + lineStart_, lineEnd - lineStart_);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::size_t next = lineEnd + 1;
    if (next - begin_ > maxReply_) return failure_ = ReplyStatus::ReplyTooLong;
    const ReplyStatus status = FrameLine(line);
    if (status == ReplyStatus::Malformed) return failure_ = status;
    lineStart_ = searched_ = next;
    if (status == ReplyStatus::Complete) {
      begin_ = next;
      reply = std::exchange(pending_, {});
      return status;
    }
  }
}

// Finds the LF ending the line at lineStart_, searching only bytes not yet
// searched, so a long reply arriving in many pieces is scanned once.
CReplyFramer::LineEnd CReplyFramer::FindLineEnd(std::size_t& lineEnd) {
  const std::size_t found = buffer_.find('\n', searched_);
  const std::size_t end = found == std::string::npos ? buffer_.size() : found;
  if (end - lineStart_ > maxLine_) return LineEnd::TooLong;
  if (found == std::string::npos) {
    searched_ = buffer_.size();
    return LineEnd::NotYet;
  }
  lineEnd = found;
  return LineEnd::Found;
}

// Adds one line to the reply being framed; Complete when it ends the reply.
ReplyStatus CReplyFramer::FrameLine(std::string_view line) {
  if (pending_.lines.empty()) {
    if (!StartsWithCode(line)) return ReplyStatus::Malformed;
    const char separator = SeparatorOf(line);
    if (separator != ' ' && separator != '-' && separator != '\0') return ReplyStatus::Malformed;
    pending_.code = CodeOf(line);
    pending_.lines.emplace_back(line);
    return separator == '-' ? ReplyStatus::Incomplete : ReplyStatus::Complete;
  }
  pending_.lines.emplace_back(line);
  const bool ends = StartsWithCode(line) && CodeOf(line) == pending_.code &&
                    (SeparatorOf(line) == ' ' || SeparatorOf(line) == '\0');
  return ends ? ReplyStatus::Complete : ReplyStatus::Incomplete;
}

std::string CReplyFramer::TakeBuffered() {
  std::string rest = buffer_.substr(begin_);
  Reset();
  return rest;
}

void CReplyFramer::Reset() {
  buffer_.clear();
  begin_ = lineStart_ = searched_ = 0;
  pending_ = {};
  failure_ = ReplyStatus::Incomplete;
}

// Drops the bytes of replies already taken once they are the larger part of
// the buffer, so many small replies in one receive cost linear time.
void CReplyFramer::Compact() {
  if (begin_ == 0 || begin_ < buffer_.size() / 2) return;
  buffer_.erase(0, begin_);
  lineStart_ -= begin_;
  searched_ -= begin_;
  begin_ = 0;
}

}  // namespace netrove
