#pragma once
// The link between a newsreader window and the posting windows it opened:
// what a posting window needs to post through the newsreader window's
// connection, and the article a follow-up or cancel is about.
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace netrove {

enum class NewsPostMode { New = 0, Cancel = 1, FollowUp = 2 };

// What the newsreader window offers a posting window it opened.
class INewsPostTarget {
 public:
  virtual ~INewsPostTarget() = default;
  // Queues `article` (complete wire form, ending "\r\n.\r\n") as a POST. True when it was
  // queued: `finished` is then called exactly once, on the GUI thread, with 240 (posted),
  // 440/441 (refused; the newsreader window has shown the box) or 0 (no outcome: a fault
  // reply, the send failed, the connection ended or the newsreader window closed).
  // False when nothing was queued (not connected): `finished` is never called.
  virtual bool QueuePost(std::string article, std::function<void(long status)> finished) = 0;
};

struct NewsPostContext {
  std::string group;                      // Newsgroups field and the title "Posting to: <group>"
  std::string followUpSubject;            // follow-up: subject with "Re: " already applied
  std::string references;                 // follow-up: References value (article key)
  std::string from;                       // follow-up: the article's From value (attribution)
  std::optional<std::string> quotedText;  // follow-up "Include Article": the text to quote
  std::string messageId;                  // cancel: the own article's message-id
  std::weak_ptr<INewsPostTarget> target;  // expires when the newsreader window closes
};

}  // namespace netrove
