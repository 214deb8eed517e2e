#pragma once
// The articles of a group marked read, kept as disjoint closed ranges: a
// group numbered 1..50,000,000 caught up is one range, not fifty million
// numbers. Count() is what the set of single numbers would hold.
#include <cstdint>
#include <map>

namespace netrove {

class CReadRanges {
 public:
  // Adds lo..hi (both included; nothing when hi < lo), merging neighbours.
  void Insert(long lo, long hi);
  void Insert(long number) { Insert(number, number); }
  bool Contains(long number) const;
  std::uint64_t Count() const { return count_; }
  bool Empty() const { return ranges_.empty(); }
  void Clear();
  // lo → hi, ascending, never touching one another.
  const std::map<long, long>& Ranges() const { return ranges_; }

 private:
  std::map<long, long> ranges_;
  std::uint64_t count_ = 0;
};

}  // namespace netrove
