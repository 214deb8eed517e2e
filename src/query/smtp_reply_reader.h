#pragma once
// The receiving side of an SMTP dialogue: takes the bytes each receive
// brings, frames them into replies, shows every complete reply in the
// transcript and only then hands its code to the conversation, which may
// answer it. A line that is no reply is shown with the reply that follows
// it and answered by nothing. Fed untrusted bytes in any split.
//
// Lines the framer refuses (a line or a reply over its bound, or lines kept
// for a reply that does not come within it) are shown and passed over here,
// line by line, each byte looked at once: handing them back to the framer
// one line at a time would frame an over-long reply again from each of its
// lines.
#include <string>
#include <string_view>

#include "base/reply_framer.h"

namespace netrove {

class CSmtpConversation;
class ITranscriptSink;

class CSmtpReplyReader {
 public:
  CSmtpReplyReader(ITranscriptSink& transcript, CSmtpConversation& conversation)
      : transcript_(transcript), conversation_(conversation) {}

  void Feed(std::string_view received);
  // The connection has ended: shows the bytes of a reply the server never
  // finished, then the blank lines that close the dialogue's part of the
  // transcript.
  void Finish();
  // Forgets the bytes not yet framed; how many there were.
  std::size_t DiscardUnread();
  // Replies framed and answered so far.
  std::size_t RepliesHandled() const { return replies_; }

 private:
  // What the lines being passed over are.
  enum class Skipping {
    None,
    NonReplies,     // until a line that can begin a reply
    OverlongLine,   // to the end of the line
    OverlongReply,  // to the reply's last line, whose code is then answered
  };

  // Frames and answers the replies the framer holds; the status that ended
  // framing (Incomplete when it simply needs more bytes).
  ReplyStatus FrameReplies();
  void HandleReply(const Reply& reply);
  void StartSkipping(ReplyStatus failure, std::string_view held);
  // Passes over lines of `bytes`; what is left for the framer once skipping
  // has ended (nothing while it goes on).
  std::string SkipLines(std::string_view bytes);
  // Handles one whole skipped line; true when skipping ends with it. A line
  // that begins a reply is kept in `resume` for the framer.
  bool SkipLine(std::string_view line, std::string& resume);
  void ShowSkipped();

  ITranscriptSink& transcript_;
  CSmtpConversation& conversation_;
  CReplyFramer framer_{NonReplyLines::KeepWithReply};
  Skipping skipping_ = Skipping::None;
  int overlongCode_ = 0;
  std::string line_;      // the start of a skipped line not yet ended
  bool lineCut_ = false;  // line_ lost its start: it can begin or end no reply
  std::size_t replies_ = 0;
  std::string shown_;  // skipped text not yet in the transcript
};

}  // namespace netrove
