#include "news/newsgroup.h"

#include <algorithm>
#include <charconv>

namespace netrove {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number at `at`, 0..kHighestArticleNumber; `at` moves past it.
bool ReadNumber(std::string_view text, std::size_t& at, long& value) {
  const char* begin = text.data() + at;
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || value < 0 || value > kHighestArticleNumber) return false;
  at += static_cast<std::size_t>(end - begin);
  return true;
}

}  // namespace

// Reads every range list other newsreaders write: items separated by
// commas and blanks in any number (",2-4", "1-3, 7"), ranges in either
// direction, overlapping. Anything else makes the line unreadable: it is
// then kept exactly as it was rather than rewritten from a part of it.
void CNewsgroup::Expand() {
  if (!read_.Empty() || unreadable_) return;
  expandedCount_ = 0;
  const std::string_view text(rangeText_);
  CReadRanges parsed;
  std::size_t at = 1;
  while (at < text.size()) {
    if (text[at] == ',' || text[at] == ' ' || text[at] == '\t') {
      ++at;
      continue;
    }
    long lo = 0;
    long hi = 0;
    if (!ReadNumber(text, at, lo)) {
      unreadable_ = true;
      return;
    }
    hi = lo;
    if (at < text.size() && text[at] == '-') {
      ++at;
      if (at >= text.size() || !IsDigit(text[at]) || !ReadNumber(text, at, hi)) {
        unreadable_ = true;
        return;
      }
    }
    parsed.Insert(std::min(lo, hi), std::max(lo, hi));
  }
  for (const auto& [lo, hi] : parsed.Ranges()) read_.Insert(lo, hi);
  expandedCount_ = read_.Count();
}

void CNewsgroup::MergeRead(std::string_view otherRangeText) {
  if (otherRangeText == rangeText_ || otherRangeText.empty()) return;
  CNewsgroup other{std::string(otherRangeText)};
  other.Expand();
  if (other.read_.Empty()) return;
  Expand();
  if (unreadable_) return;
  for (const auto& [lo, hi] : other.read_.Ranges()) read_.Insert(lo, hi);
}

void CNewsgroup::SetSubscribed(bool subscribed) {
  const char marker = subscribed ? kSubscribedMarker : kUnsubscribedMarker;
  if (rangeText_.empty()) {
    rangeText_.assign(1, marker);
  } else {
    rangeText_[0] = marker;
  }
}

const std::string& CNewsgroup::Rebuild() {
  if (unreadable_ || read_.Empty() || read_.Count() == expandedCount_) return rangeText_;
  rangeText_.resize(1);
  for (const auto& [lo, hi] : read_.Ranges()) {
    rangeText_ += rangeText_.size() == 1 ? ' ' : ',';
    rangeText_ += std::to_string(lo);
    if (hi != lo) rangeText_ += '-' + std::to_string(hi);
  }
  expandedCount_ = read_.Count();
  return rangeText_;
}

}  // namespace netrove
