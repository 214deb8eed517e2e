#include "news/newsgroup.h"

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

void CNewsgroup::Expand() {
  if (!read_.Empty()) return;
  expandedCount_ = 0;
  const std::string_view text(rangeText_);
  std::size_t at = 1;
  if (at < text.size() && text[at] == ' ') ++at;
  while (at < text.size()) {
    long lo = 0;
    if (!ReadNumber(text, at, lo)) return;
    long hi = lo;
    if (at + 1 < text.size() && text[at] == '-' && IsDigit(text[at + 1])) {
      ++at;
      if (!ReadNumber(text, at, hi)) return;
    }
    if (at == text.size()) {
      read_.Insert(lo, hi);
      break;
    }
    if (text[at] != ',' || at + 1 == text.size()) return;
    read_.Insert(lo, hi);
    ++at;
  }
  expandedCount_ = read_.Count();
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
  const bool unchanged = read_.Count() == expandedCount_;
  expandedCount_ = 0;
  if (read_.Empty() || unchanged) {
    read_.Clear();
    return rangeText_;
  }
  rangeText_.resize(1);
  for (const auto& [lo, hi] : read_.Ranges()) {
    rangeText_ += rangeText_.size() == 1 ? ' ' : ',';
    rangeText_ += std::to_string(lo);
    if (hi != lo) rangeText_ += '-' + std::to_string(hi);
  }
  read_.Clear();
  return rangeText_;
}

}  // namespace netrove
