#include "news/nntp_receive_buffer.h"

#include <algorithm>

namespace netrove {
namespace {

bool StartsWithCode(std::string_view line) {
  return line.size() >= 3 &&
         std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

void CNntpReceiveBuffer::Append(std::string_view bytes) {
  // Drop what was consumed once it is the larger part, so the copy is paid
  // for by the bytes already framed.
  if (begin_ > 0 && begin_ >= buffer_.size() / 2) {
    buffer_.erase(0, begin_);
    searched_ -= std::min(searched_, begin_);
    begin_ = 0;
  }
  buffer_.append(bytes);
}

std::size_t CNntpReceiveBuffer::LineEnd(std::size_t from) const {
  const std::size_t lf = buffer_.find('\n', from);
  return lf == std::string::npos ? lf : lf + 1;
}

void CNntpReceiveBuffer::Consume(std::size_t end) {
  begin_ = end;
  searched_ = end;
}

FrameResult CNntpReceiveBuffer::NextStatus(std::string& reply) {
  for (;;) {
    const std::size_t end = LineEnd(begin_);
    if (end == std::string::npos) {
      return Buffered() > maxLine_ ? FrameResult::TooLong : FrameResult::Incomplete;
    }
    const std::string_view line(buffer_.data() + begin_, end - begin_);
    if (!StartsWithCode(line)) {
      Consume(end);
      continue;
    }
    if (line.size() > 3 && line[3] == '-') return FrameMultiLine(line.substr(0, 3), reply);
    reply.assign(WithoutLineEnd(line));
    Consume(end);
    return FrameResult::Complete;
  }
}

FrameResult CNntpReceiveBuffer::FrameMultiLine(std::string_view code, std::string& reply) {
  std::size_t at = std::max(searched_, LineEnd(begin_));
  for (;;) {
    const std::size_t end = LineEnd(at);
    if (end == std::string::npos) {
      searched_ = at;
      return buffer_.size() - begin_ > maxLine_ ? FrameResult::TooLong : FrameResult::Incomplete;
    }
    const std::string_view line(buffer_.data() + at, end - at);
    if (line.size() > 3 && line.substr(0, 3) == code && line[3] == ' ') {
      reply.assign(WithoutLineEnd(std::string_view(buffer_.data() + begin_, end - begin_)));
      Consume(end);
      return FrameResult::Complete;
    }
    at = end;
  }
}

FrameResult CNntpReceiveBuffer::NextBlock(std::string& block, long& lines) {
  for (;;) {
    const std::size_t end = LineEnd(begin_);
    if (end == std::string::npos) {
      return Buffered() > maxLine_ ? FrameResult::TooLong : FrameResult::Incomplete;
    }
    std::string_view line(buffer_.data() + begin_, end - begin_);
    Consume(end);
    if (!line.empty() && line.front() == '.') {
      if (WithoutLineEnd(line).size() == 1) {
        block.swap(block_);
        block_.clear();
        lines = blockLines_;
        blockLines_ = 0;
        return FrameResult::Complete;
      }
      line.remove_prefix(1);
    }
    block_.append(line);
    ++blockLines_;
  }
}

}  // namespace netrove
