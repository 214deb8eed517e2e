#pragma once
// One group of a news server as the newsrc keeps it: its range text (the
// marker ":" subscribed or "!" not, then the read ranges) exactly as read,
// expanded into read ranges only when the group is opened, and rebuilt from
// them only when something was marked read since.
#include <cstdint>
#include <string>
#include <string_view>

#include "news/article_threads.h"
#include "news/read_ranges.h"

namespace netrove {

inline constexpr char kSubscribedMarker = ':';
inline constexpr char kUnsubscribedMarker = '!';

// Article numbers beyond this are refused wherever they come from.
inline constexpr long kHighestArticleNumber = 0x7FFFFFFF;

class CNewsgroup {
 public:
  CNewsgroup() = default;
  explicit CNewsgroup(std::string rangeText) : rangeText_(std::move(rangeText)) {}

  // Fills the read ranges from the range text, once: a group whose ranges
  // are already filled is left alone. A text with anything but numbers,
  // ranges, commas and blanks fills nothing and is kept as it is.
  void Expand();
  // Adds the reads of another copy of this group's line (the file as
  // another program left it).
  void MergeRead(std::string_view otherRangeText);
  void MarkRead(long number) { read_.Insert(number); }
  // Marks first..last read (the figures of the group's last selection).
  void CatchUp(long first, long last) { read_.Insert(first, last); }
  void SetSubscribed(bool subscribed);
  bool Subscribed() const { return !rangeText_.empty() && rangeText_[0] == kSubscribedMarker; }

  // The range text for the newsrc: rebuilt from the read ranges when they
  // changed since the expansion or the last rebuild. The ranges stay, so
  // the session goes on reading them.
  const std::string& Rebuild();
  bool Unreadable() const { return unreadable_; }

  const std::string& RangeText() const { return rangeText_; }
  // The article headers fetched while the server's entry lives; never
  // written to the newsrc.
  ArticleTable& Articles() { return articles_; }
  const CReadRanges& Read() const { return read_; }
  std::uint64_t ExpandedCount() const { return expandedCount_; }

 private:
  std::uint64_t expandedCount_ = 0;
  bool unreadable_ = false;
  std::string rangeText_{kUnsubscribedMarker};
  CReadRanges read_;
  ArticleTable articles_;
};

}  // namespace netrove
