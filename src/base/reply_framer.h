#pragma once
// Frames the replies that SMTP, FTP and NNTP servers send on their command
// connection: three digits, a hyphen or a blank, text, CR LF. A reply whose
// first line has a hyphen after the code goes on until a line that starts with
// the same code followed by a blank (or by the line end); every line between
// belongs to it, whatever it starts with.
//
// The framer owns no socket. A protocol engine feeds it what each receive
// returned and takes the replies that are complete:
//
//   CReplyFramer framer;
//   Reply reply;
//   ReplyStatus status;
//   while ((status = framer.Next(reply)) == ReplyStatus::Incomplete) {
//     std::string_view received = ReceiveSome();   // what one receive returned
//     if (received.empty()) return ConnectionClosed();
//     framer.Feed(received);
//   }
//   if (status != ReplyStatus::Complete) return ProtocolError(status);
//   Handle(reply);   // reply.code, reply.lines; call Next again for the next one
//
// Call Next after every Feed: stored bytes are bounded only by framing them.
//
// Framing is lazy: Feed only stores bytes, and each Next frames one reply. So
// after a reply that announces a data block on the same connection (NNTP's
// dot-terminated lists and articles), the engine takes the bytes that follow
// it with TakeBuffered and reads the block itself, without the framer taking
// block lines for replies. Line ends may be CR LF or a bare LF: some servers
// send the latter.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

struct Reply {
  int code = 0;                    // 0-999, from the first line
  std::vector<std::string> lines;  // every line, code included, line end removed
};

enum class ReplyStatus {
  Complete,      // a reply was framed and its bytes consumed
  Incomplete,    // the buffered bytes end inside a reply: feed more
  Malformed,     // a reply's first line does not start with three digits and a blank or hyphen
  LineTooLong,   // a line exceeds the line bound without ending
  ReplyTooLong,  // a multi-line reply exceeds the reply bound without ending
};

// The text a status names, for logs and test messages.
std::string_view ReplyStatusName(ReplyStatus status);

class CReplyFramer {
 public:
  static constexpr std::size_t kDefaultMaxLine = 64 * 1024;
  static constexpr std::size_t kDefaultMaxReply = 4 * 1024 * 1024;

  explicit CReplyFramer(std::size_t maxLine = kDefaultMaxLine,
                        std::size_t maxReply = kDefaultMaxReply);

  // Stores received bytes; any split of the stream is fine.
  void Feed(std::string_view bytes);

  // Frames the next reply from the stored bytes. On Complete `reply` holds it.
  // The error statuses are final: the stream cannot be trusted past them, and
  // every later call returns the same status until Reset.
  ReplyStatus Next(Reply& reply);

  // Hands over the bytes stored after the last complete reply, including any
  // part of a reply not yet complete, and starts afresh as after Reset.
  std::string TakeBuffered();
  std::size_t BufferedSize() const { return buffer_.size() - begin_; }

  // Forgets everything, including a final error: a fresh connection.
  void Reset();

 private:
  enum class LineEnd { Found, NotYet, TooLong };
  LineEnd FindLineEnd(std::size_t& lineEnd);
  ReplyStatus FrameLine(std::string_view line);
  void Compact();

  std::size_t maxLine_;
  std::size_t maxReply_;
  std::string buffer_;
  std::size_t begin_ = 0;                          // first byte of the reply being framed
  std::size_t lineStart_ = 0;                      // first byte of the next line to frame
  std::size_t searched_ = 0;                       // where the search for that line's end goes on
  Reply pending_;                                  // the lines of the reply being framed
  ReplyStatus failure_ = ReplyStatus::Incomplete;  // Incomplete: none yet
};

}  // namespace netrove
