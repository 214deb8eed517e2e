#pragma once
// The link between a newsreader window and a posting window it opened: what
// the posting window is to fill in, and how it hands the article over.
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace netrove {

enum class NewsPostMode { New = 0, Cancel = 1, FollowUp = 2 };

// What the newsreader window offers a posting window.
class INewsPostTarget {
 public:
  virtual ~INewsPostTarget() = default;
  // Queues `article` (complete wire form) as a POST. True when it was
  // queued: `finished` is then called exactly once, on the GUI thread, with
  // 240 (posted), 440 or 441 (refused; the newsreader window shows why) or
  // 0 (no outcome: a fault reply, a failed send, the connection ended or
  // the newsreader window closed). False when nothing was queued.
  virtual bool QueuePost(std::string article, std::function<void(long status)> finished) = 0;
};

struct NewsPostContext {
  std::string group;            // the Newsgroups field; title "Posting to: " and the group
  std::string followUpSubject;  // follow-up: the subject with "Re: " applied
  std::string references;       // follow-up: the References value
  std::string from;             // follow-up: the article's From value (attribution)
  std::optional<std::string> quotedText;  // follow-up with the article included
  std::string messageId;                  // cancel: the own article's message-id
  std::weak_ptr<INewsPostTarget> target;  // expires when the newsreader window closes
};

}  // namespace netrove
