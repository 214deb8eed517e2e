#pragma once
// The bytes a news server sends, framed into status replies and data blocks.
// Fed whatever each receive returned; every byte is examined once, so a
// 10 MB article costs linear time, and a line that never ends is refused at
// a bound instead of growing the buffer for ever.
#include <cstddef>
#include <string>
#include <string_view>

namespace netrove {

enum class FrameResult { Complete, Incomplete, TooLong };

class CNntpReceiveBuffer {
 public:
  // Longer than any header or body line a server sends; a status reply of
  // several lines may be this long in all.
  static constexpr std::size_t kDefaultMaxLine = std::size_t{1} << 20;

  explicit CNntpReceiveBuffer(std::size_t maxLine = kDefaultMaxLine) : maxLine_(maxLine) {}

  void Append(std::string_view bytes);

  // The next status reply, without its final line end. A line that does not
  // begin with three digits is skipped. A reply whose code is followed by "-"
  // goes on to the line that starts with the same code and a blank.
  FrameResult NextStatus(std::string& reply);

  // The data block that follows a status reply: its lines with their line
  // ends, a leading dot removed, up to the line that is exactly "." and its
  // line end (which is consumed, not delivered). `lines` counts the lines.
  FrameResult NextBlock(std::string& block, long& lines);

  std::size_t Buffered() const { return buffer_.size() - begin_; }
  // The bytes of the data block taken so far.
  std::size_t BlockBytes() const { return block_.size(); }

 private:
  // The end (one past LF) of the line starting at `from`, or npos.
  std::size_t LineEnd(std::size_t from) const;
  FrameResult FrameMultiLine(std::string_view code, std::string& reply);
  void Consume(std::size_t end);

  std::size_t maxLine_;
  std::string buffer_;
  std::size_t begin_ = 0;     // first byte not yet consumed
  std::size_t searched_ = 0;  // how far a multi-line status reply was searched
  std::string block_;         // the block taken so far, unstuffed
  long blockLines_ = 0;
};

}  // namespace netrove
