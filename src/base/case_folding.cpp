#include "base/case_folding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

namespace netrove {
namespace {

struct FoldRange {
  char32_t first;
  char32_t last;
  std::int32_t delta;
  std::uint32_t step;
};

struct FoldExpansion {
  char32_t code;
  std::array<char32_t, 3> folded;  // unused places hold 0
};

#include "base/case_folding_table.inc"

// Strict UTF-8 (no overlong forms, surrogates or values beyond U+10FFFF).
bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t least = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      least = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// Reads a text's code points one by one and hands out their foldings,
// without allocating: sorting a large book compares names many times.
class FoldedCodePoints {
 public:
  explicit FoldedCodePoints(std::string_view text) : text_(text), utf8_(IsValidUtf8(text)) {}

  // The next folded code point; false at the end.
  bool Next(char32_t& out) {
    if (pendingAt_ < pending_.size() && pending_[pendingAt_] != 0) {
      out = pending_[pendingAt_++];
      return true;
    }
    if (position_ >= text_.size()) return false;
    const char32_t code = ReadCodePoint();
    if (const FoldExpansion* expansion = FindExpansion(code)) {
      pending_ = expansion->folded;
      pendingAt_ = 1;
      out = pending_[0];
      return true;
    }
    out = FoldSingle(code);
    return true;
  }

 private:
  char32_t ReadCodePoint() {
    const auto lead = static_cast<unsigned char>(text_[position_++]);
    if (!utf8_ || lead < 0x80) return lead;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      code = (code << 6) | (static_cast<unsigned char>(text_[position_++]) & 0x3F);
    }
    return code;
  }

  static const FoldExpansion* FindExpansion(char32_t code) {
    const auto found = std::lower_bound(
        std::begin(kFoldExpansions), std::end(kFoldExpansions), code,
        [](const FoldExpansion& entry, char32_t value) { return entry.code < value; });
    return found != std::end(kFoldExpansions) && found->code == code ? &*found : nullptr;
  }

  static char32_t FoldSingle(char32_t code) {
    if (code < 0x41) return code;
    const auto after = std::upper_bound(
        std::begin(kFoldRanges), std::end(kFoldRanges), code,
        [](char32_t value, const FoldRange& range) { return value < range.first; });
    if (after == std::begin(kFoldRanges)) return code;
    const FoldRange& range = *std::prev(after);
    if (code > range.last || (code - range.first) % range.step != 0) return code;
    return static_cast<char32_t>(static_cast<std::int64_t>(code) + range.delta);
  }

  std::string_view text_;
  bool utf8_;
  std::size_t position_ = 0;
  std::array<char32_t, 3> pending_{};
  std::size_t pendingAt_ = pending_.size();
};

}  // namespace

int CompareFoldedText(std::string_view left, std::string_view right) {
  FoldedCodePoints a(left);
  FoldedCodePoints b(right);
  for (;;) {
    char32_t x = 0;
    char32_t y = 0;
    const bool moreLeft = a.Next(x);
    const bool moreRight = b.Next(y);
    if (!moreLeft || !moreRight) return moreLeft ? 1 : (moreRight ? -1 : 0);
    if (x != y) return x < y ? -1 : 1;
  }
}

}  // namespace netrove
