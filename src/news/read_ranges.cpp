#include "news/read_ranges.h"

#include <iterator>

namespace netrove {
namespace {
std::uint64_t Span(long lo, long hi) { return static_cast<std::uint64_t>(hi - lo) + 1; }
}  // namespace

void CReadRanges::Insert(long lo, long hi) {
  if (hi < lo) return;
  auto next = ranges_.upper_bound(lo);
  // A range starting at or before lo that reaches lo - 1 absorbs the new one.
  if (next != ranges_.begin()) {
    auto before = std::prev(next);
    if (before->second >= lo - 1) {
      if (before->second >= hi) return;
      lo = before->first;
      count_ -= Span(before->first, before->second);
      ranges_.erase(before);
    }
  }
  // Ranges starting inside lo..hi + 1 are swallowed.
  while (next != ranges_.end() && next->first <= hi + 1) {
    if (next->second > hi) hi = next->second;
    count_ -= Span(next->first, next->second);
    next = ranges_.erase(next);
  }
  ranges_.emplace(lo, hi);
  count_ += Span(lo, hi);
}

bool CReadRanges::Contains(long number) const {
  auto next = ranges_.upper_bound(number);
  return next != ranges_.begin() && std::prev(next)->second >= number;
}

void CReadRanges::Clear() {
  ranges_.clear();
  count_ = 0;
}

}  // namespace netrove
