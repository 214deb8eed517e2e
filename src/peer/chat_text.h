#pragma once
// Received chat bytes as text to look at. The peer sends 8-bit text with no
// declared character set: bytes are read as UTF-8, and a byte outside a
// valid sequence is its Latin-1 character, the transcript's rule. Control
// characters other than line breaks and tabs become U+FFFD, CR LF is one
// line break, and a line longer than the display's limit is broken, so a
// peer sending megabytes without a break costs each append only what it
// adds.
#include <cstddef>
#include <string>
#include <string_view>

namespace netrove {

// Characters on one display line before it is broken.
inline constexpr std::size_t kChatDisplayLineLimit = 4096;

class CChatIncomingText {
 public:
  explicit CChatIncomingText(std::size_t lineLimit = kChatDisplayLineLimit)
      : lineLimit_(lineLimit) {}

  // The UTF-8 text the display gains from `bytes`; a UTF-8 sequence split
  // between two receives shows once complete.
  std::string Append(std::string_view bytes);
  // Characters on the display's last line so far.
  std::size_t Column() const { return column_; }
  // The program appended a notice of its own to the display's last line.
  void NoticeAppended(std::size_t characters) { column_ += characters; }

 private:
  void AppendCharacter(std::string& shown, char32_t codePoint);

  const std::size_t lineLimit_;
  std::string pending_;  // an incomplete UTF-8 sequence at the end
  std::size_t column_ = 0;
};

}  // namespace netrove
