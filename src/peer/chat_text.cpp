#include "peer/chat_text.h"

#include <utility>

#include "base/transcript_text.h"

namespace netrove {
namespace {

bool IsControl(char32_t codePoint) {
  return codePoint < 0x20 || codePoint == 0x7F || (codePoint >= 0x80 && codePoint < 0xA0);
}

}  // namespace

std::string CChatIncomingText::Append(std::string_view bytes) {
  std::string all = std::exchange(pending_, {});
  all.append(bytes);
  std::string shown;
  shown.reserve(all.size() + all.size() / lineLimit_ + 1);
  for (std::size_t index = 0; index < all.size();) {
    if (IsIncompleteUtf8Sequence(all, index)) {
      pending_ = all.substr(index);
      break;
    }
    const DecodedChar decoded = DecodeTranscriptChar(all, index);
    index += decoded.length;
    AppendCharacter(shown, decoded.codePoint);
  }
  return shown;
}

void CChatIncomingText::AppendCharacter(std::string& shown, char32_t codePoint) {
  if (codePoint == '\r') return;  // CR LF is one line break; a bare CR goes
  if (codePoint == '\n') {
    shown += '\n';
    column_ = 0;
    return;
  }
  if (column_ == lineLimit_) {
    shown += '\n';
    column_ = 0;
  }
  const bool control = codePoint != '\t' && IsControl(codePoint);
  AppendUtf8(shown, control ? char32_t{0xFFFD} : DisplayCodePoint(codePoint));
  ++column_;
}

}  // namespace netrove
