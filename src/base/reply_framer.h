#pragma once
// Frames what SMTP, FTP and NNTP servers send on their command connection:
// replies (three digits, a hyphen or a blank, text, CR LF; a reply whose
// first line has a hyphen after the code goes on until a line that starts
// with the same code followed by a blank or by the line end, and every line
// between belongs to it), lines that belong to no reply, and the
// dot-terminated data blocks NNTP sends after some replies.
//
// The framer owns no socket. A protocol engine feeds it what each receive
// returned and takes what is complete:
//
//   CReplyFramer framer(NonReplyLines::Show);
//   Reply reply;
//   for (;;) {
//     switch (framer.Next(reply)) {
//       case ReplyStatus::Complete:  Handle(reply); continue;  // reply.code, reply.lines
//       case ReplyStatus::PlainLine: Show(reply.lines[0]); continue;
//       case ReplyStatus::Incomplete: break;                   // receive, Feed, call Next again
//       default: return ProtocolError();                       // a bound was passed
//     }
//     ...
//   }
//
// After a reply that announces a data block (NNTP's lists and articles) the
// engine calls StartBlock and takes the block's lines one at a time with
// NextBlockLine until BlockStatus::End, then goes back to Next. Lines are
// handed out as they arrive, so a large article is held once, by whoever
// keeps it, and not a second time here.
//
// Call Next or NextBlockLine after every Feed: stored bytes are bounded only
// by framing them. Line ends may be CR LF or a bare LF: some servers send
// the latter.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

struct Reply {
  int code = 0;                    // 0-999, from the first line with a code
  std::vector<std::string> lines;  // every line, code included, line end removed
};

// What becomes of a line outside any reply (one that does not start with
// three digits followed by a blank, a hyphen or the line end).
enum class NonReplyLines {
  // Handed out on its own as ReplyStatus::PlainLine, in order with the
  // replies (FTP shows a banner continuation without a code). A line with a
  // code and any other fourth character is a one-line reply.
  Show,
  // Kept as the first lines of the reply that follows, so they are shown
  // with it; such a reply and what precedes it stays within the reply bound
  // (SMTP). A line with a code and any other fourth character is kept too.
  KeepWithReply,
  // Dropped (NNTP). A line with a code and any other fourth character is a
  // one-line reply.
  Skip,
};

enum class ReplyStatus {
  Complete,      // a reply was framed and its bytes consumed
  PlainLine,     // NonReplyLines::Show: reply.lines holds one line outside any reply
  Incomplete,    // the buffered bytes end inside a line or reply: feed more
  LineTooLong,   // a line exceeds the line bound without ending
  ReplyTooLong,  // a multi-line reply exceeds the reply bound without ending
};

enum class BlockStatus {
  Line,         // one line of the block, a stuffed leading dot removed
  End,          // the line holding only a dot: the block is over
  Incomplete,   // feed more
  TooLarge,     // the block passed its byte bound (reported once; see NextBlockLine)
  LineTooLong,  // a line exceeds the line bound without ending (final)
};

// The text a status names, for logs and test messages.
std::string_view ReplyStatusName(ReplyStatus status);

class CReplyFramer {
 public:
  static constexpr std::size_t kDefaultMaxLine = 64 * 1024;
  static constexpr std::size_t kDefaultMaxReply = 4 * 1024 * 1024;

  explicit CReplyFramer(NonReplyLines nonReplyLines, std::size_t maxLine = kDefaultMaxLine,
                        std::size_t maxReply = kDefaultMaxReply);

  // Stores received bytes; any split of the stream is fine.
  void Feed(std::string_view bytes);

  // Frames the next reply (or plain line) from the stored bytes. The error
  // statuses are final: the stream cannot be trusted past them, and every
  // later call returns the same status until Reset. Abandons an open block.
  ReplyStatus Next(Reply& reply);

  // Opens a dot-terminated data block starting at the first byte not yet
  // framed. `maxBytes` bounds the block's bytes, line ends included.
  void StartBlock(std::size_t maxBytes);
  bool InBlock() const { return inBlock_; }

  // Takes the next line of the open block. On Line, `line` views it without
  // its line end and with a leading dot of a stuffed line removed; the view
  // holds until the next call on the framer. When the block passes its bound
  // TooLarge is returned once; the caller may stop there, or call on: the
  // rest of the block is then consumed without being handed out, up to End,
  // so the connection stays usable.
  BlockStatus NextBlockLine(std::string_view& line);

  // Hands over the bytes stored after the last complete reply or block line,
  // including any part of a reply not yet complete, and starts afresh as
  // after Reset.
  std::string TakeBuffered();
  std::size_t BufferedSize() const { return buffer_.size() - begin_; }

  // Forgets everything, including a final error and an open block: a fresh
  // connection.
  void Reset();

 private:
  enum class LineEnd { Found, NotYet, TooLong };
  enum class LineKind { Reply, FirstOfMany, NotAReply };
  LineEnd FindLineEnd(std::size_t& lineEnd);
  LineEnd TakeLine(std::string_view& line, std::size_t& next);
  LineKind KindOf(std::string_view line) const;
  ReplyStatus FrameLine(std::string_view line, std::size_t next, Reply& reply);
  ReplyStatus FrameFirstLine(std::string_view line, std::size_t next, Reply& reply);
  ReplyStatus Finish(std::size_t next, Reply& reply);
  void Compact();

  NonReplyLines nonReplyLines_;
  std::size_t maxLine_;
  std::size_t maxReply_;
  std::string buffer_;
  std::size_t begin_ = 0;                          // first byte of the reply being framed
  std::size_t lineStart_ = 0;                      // first byte of the next line to frame
  std::size_t searched_ = 0;                       // where the search for that line's end goes on
  Reply pending_;                                  // the lines of the reply being framed
  bool pendingHasCode_ = false;                    // pending_ holds the reply's first line
  ReplyStatus failure_ = ReplyStatus::Incomplete;  // Incomplete: none yet
  bool inBlock_ = false;
  bool blockTooLarge_ = false;  // the bound was passed: the rest is consumed unseen
  std::size_t blockBytes_ = 0;
  std::size_t blockMax_ = 0;
};

}  // namespace netrove
