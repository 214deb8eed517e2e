#pragma once
// The text of a transcript as appended (raw bytes, CR LF line ends) and its
// line-by-line form for display. Bytes are read as UTF-8; a byte that is not
// part of a valid UTF-8 sequence stands for the Latin-1 character of the same
// value, so text from any server shows without loss.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

// The character starting at text[index] (index < text.size()) and the number
// of bytes it takes (at least 1).
struct DecodedChar {
  char32_t codePoint;
  std::size_t length;
};
DecodedChar DecodeTranscriptChar(std::string_view text, std::size_t index);

// Whether text[index..] is the valid beginning of a UTF-8 sequence longer
// than the bytes present: what a stream keeps until the rest arrives.
bool IsIncompleteUtf8Sequence(std::string_view text, std::size_t index);

// Appends a code point's UTF-8 form.
void AppendUtf8(std::string& out, char32_t codePoint);

// Bytes as UTF-8 text by the rule above: valid sequences as they are, every
// other byte as its Latin-1 character.
std::string TranscriptUtf8(std::string_view bytes);

// The character a display shows for a code point: characters that a text
// widget would take as structure (NUL, paragraph separator, object and frame
// marks) become U+FFFD so that one character stays one character.
char32_t DisplayCodePoint(char32_t codePoint);

// Number of UTF-16 units a code point takes.
inline std::size_t Utf16Length(char32_t codePoint) { return codePoint >= 0x10000 ? 2 : 1; }

// A transcript as a text file: UTF-8 as the display reads the bytes (a
// stray byte as its Latin-1 character, NUL as U+FFFD), every line end (CR LF,
// a lone CR or a lone LF) written as `lineEnd`.
std::string TranscriptFileText(std::string_view bytes, std::string_view lineEnd);

class CTranscriptText {
 public:
  // Appends raw bytes and returns what the display gains: UTF-8 text whose
  // line ends ('\n') stand for CR LF, a lone CR or a lone LF. A CR LF split
  // between two appends makes one line end; a UTF-8 sequence split between
  // two appends shows once complete. Costs time in proportion to `bytes`.
  std::string Append(std::string_view bytes);

  const std::string& text() const { return text_; }
  // Lines of the display (a final line without a line end counts).
  std::size_t lineCount() const { return lineStarts_.size(); }
  // Byte offset in text() of a display position given by its line and its
  // column in UTF-16 units (positions past the line's end give its end).
  std::size_t ByteOffset(std::size_t line, std::size_t utf16Column) const;

 private:
  std::size_t DisplayedEnd() const { return text_.size() - pendingBytes_; }

  std::string text_;
  std::vector<std::size_t> lineStarts_{0};
  std::size_t pendingBytes_ = 0;  // incomplete UTF-8 sequence at the end
  bool endsWithCr_ = false;       // the display's last line end was a CR
};

}  // namespace netrove
