#pragma once
// The receiving side of an SMTP dialogue: takes the bytes each receive
// brings, frames them into replies, shows every complete reply in the
// transcript and only then hands its code to the conversation, which may
// answer it. A line that is no reply is shown as it came and answered by
// nothing. Fed untrusted bytes in any split.
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

  // The server accepted the test message (250 to DATA).
  bool Delivered() const { return delivered_; }

 private:
  void HandleReply(const Reply& reply);
  void SkipMalformedLine();

  ITranscriptSink& transcript_;
  CSmtpConversation& conversation_;
  CReplyFramer framer_;
  bool delivered_ = false;
};

}  // namespace netrove
