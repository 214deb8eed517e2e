#pragma once
// Unicode's full case folding, for comparing texts without regard to case in
// every script (Ä and ä, Σ, σ and ς, ß and SS), without Qt or a locale: the
// order must be the same on every machine and in every process.
#include <string_view>

namespace netrove {

// Compares two texts by their case-folded code points: <0, 0 or >0. A text
// that is valid UTF-8 is read as UTF-8, any other as Latin-1 (the same
// reading the windows use to show it), so the order matches what the user
// sees.
int CompareFoldedText(std::string_view left, std::string_view right);

}  // namespace netrove
