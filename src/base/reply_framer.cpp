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
    case ReplyStatus::PlainLine:
      return "plain line";
    case ReplyStatus::Incomplete:
      return "incomplete";
    case ReplyStatus::LineTooLong:
      return "reply line too long";
    case ReplyStatus::ReplyTooLong:
      return "reply too long";
  }
  return "unknown";
}

CReplyFramer::CReplyFramer(NonReplyLines nonReplyLines, std::size_t maxLine, std::size_t maxReply)
    : nonReplyLines_(nonReplyLines), maxLine_(maxLine), maxReply_(maxReply) {}

void CReplyFramer::Feed(std::string_view bytes) {
  Compact();
  buffer_.append(bytes);
}

ReplyStatus CReplyFramer::Next(Reply& reply) {
  if (failure_ != ReplyStatus::Incomplete) return failure_;
  inBlock_ = false;
  while (true) {
    std::string_view line;
    std::size_t next = 0;
    const LineEnd found = TakeLine(line, next);
    if (found == LineEnd::NotYet) return ReplyStatus::Incomplete;
    if (found == LineEnd::TooLong) return failure_ = ReplyStatus::LineTooLong;
    if (next - begin_ > maxReply_) return failure_ = ReplyStatus::ReplyTooLong;
    const ReplyStatus status = FrameLine(line, next, reply);
    if (status != ReplyStatus::Incomplete) return status;
  }
}

// Takes the line at lineStart_ when its end has arrived: `line` without its
// line end, `next` the first byte after it.
CReplyFramer::LineEnd CReplyFramer::TakeLine(std::string_view& line, std::size_t& next) {
  std::size_t lineEnd = 0;
  const LineEnd found = FindLineEnd(lineEnd);
  if (found != LineEnd::Found) return found;
  line = std::string_view(buffer_.data() + lineStart_, lineEnd - lineStart_);
  if (line.ends_with('\r')) line.remove_suffix(1);
  next = lineStart_ = searched_ = lineEnd + 1;
  return LineEnd::Found;
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

CReplyFramer::LineKind CReplyFramer::KindOf(std::string_view line) const {
  if (!StartsWithCode(line)) return LineKind::NotAReply;
  const char separator = SeparatorOf(line);
  if (separator == ' ' || separator == '\0') return LineKind::Reply;
  if (separator == '-') return LineKind::FirstOfMany;
  return nonReplyLines_ == NonReplyLines::KeepWithReply ? LineKind::NotAReply : LineKind::Reply;
}

// Adds one line to the reply being framed; Incomplete while it goes on.
ReplyStatus CReplyFramer::FrameLine(std::string_view line, std::size_t next, Reply& reply) {
  if (!pendingHasCode_) return FrameFirstLine(line, next, reply);
  pending_.lines.emplace_back(line);
  const bool ends = StartsWithCode(line) && CodeOf(line) == pending_.code &&
                    (SeparatorOf(line) == ' ' || SeparatorOf(line) == '\0');
  return ends ? Finish(next, reply) : ReplyStatus::Incomplete;
}

ReplyStatus CReplyFramer::FrameFirstLine(std::string_view line, std::size_t next, Reply& reply) {
  const LineKind kind = KindOf(line);
  if (kind == LineKind::NotAReply) {
    switch (nonReplyLines_) {
      case NonReplyLines::Show:
        begin_ = next;
        reply.code = 0;
        reply.lines.assign(1, std::string(line));
        return ReplyStatus::PlainLine;
      case NonReplyLines::Skip:
        begin_ = next;
        return ReplyStatus::Incomplete;
      case NonReplyLines::KeepWithReply:
        pending_.lines.emplace_back(line);
        return ReplyStatus::Incomplete;
    }
  }
  pending_.code = CodeOf(line);
  pending_.lines.emplace_back(line);
  pendingHasCode_ = true;
  return kind == LineKind::Reply ? Finish(next, reply) : ReplyStatus::Incomplete;
}

ReplyStatus CReplyFramer::Finish(std::size_t next, Reply& reply) {
  begin_ = next;
  reply = std::exchange(pending_, {});
  pendingHasCode_ = false;
  return ReplyStatus::Complete;
}

void CReplyFramer::StartBlock(std::size_t maxBytes) {
  lineStart_ = searched_ = begin_;
  pending_ = {};
  pendingHasCode_ = false;
  inBlock_ = true;
  blockTooLarge_ = false;
  blockBytes_ = 0;
  blockMax_ = maxBytes;
}

BlockStatus CReplyFramer::NextBlockLine(std::string_view& line) {
  if (failure_ != ReplyStatus::Incomplete) return BlockStatus::LineTooLong;
  if (!inBlock_) return BlockStatus::End;
  while (true) {
    std::size_t next = 0;
    const LineEnd found = TakeLine(line, next);
    if (found == LineEnd::NotYet) return BlockStatus::Incomplete;
    if (found == LineEnd::TooLong) {
      failure_ = ReplyStatus::LineTooLong;
      return BlockStatus::LineTooLong;
    }
    blockBytes_ += next - begin_;
    begin_ = next;
    if (line == ".") {
      inBlock_ = false;
      return BlockStatus::End;
    }
    if (blockTooLarge_) continue;
    if (blockBytes_ > blockMax_) {
      blockTooLarge_ = true;
      return BlockStatus::TooLarge;
    }
    // A line of the text that starts with a dot was sent with a second one.
    if (line.starts_with('.')) line.remove_prefix(1);
    return BlockStatus::Line;
  }
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
  pendingHasCode_ = false;
  failure_ = ReplyStatus::Incomplete;
  inBlock_ = blockTooLarge_ = false;
  blockBytes_ = blockMax_ = 0;
}

// Drops the bytes of replies and block lines already taken once they are the
// larger part of the buffer, so many small replies in one receive cost linear
// time and a block streams through a buffer of about one receive.
void CReplyFramer::Compact() {
  if (begin_ == 0 || begin_ < buffer_.size() / 2) return;
  buffer_.erase(0, begin_);
  lineStart_ -= begin_;
  searched_ -= begin_;
  begin_ = 0;
}

}  // namespace netrove
