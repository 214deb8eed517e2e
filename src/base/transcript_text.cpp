#include "base/transcript_text.h"

namespace netrove {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the UTF-8 sequence a lead byte starts, 0 for a byte that cannot
// start one.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The second byte's range excludes overlong forms, surrogates and code
// points above U+10FFFF.
bool ValidSecondByte(unsigned char lead, unsigned char second) {
  switch (lead) {
    case 0xE0:
      return second >= 0xA0 && second <= 0xBF;
    case 0xED:
      return second >= 0x80 && second <= 0x9F;
    case 0xF0:
      return second >= 0x90 && second <= 0xBF;
    case 0xF4:
      return second >= 0x80 && second <= 0x8F;
    default:
      return IsContinuation(second);
  }
}

}  // namespace

bool IsIncompleteUtf8Sequence(std::string_view text, std::size_t index) {
  const auto lead = static_cast<unsigned char>(text[index]);
  const std::size_t length = SequenceLength(lead);
  const std::size_t available = text.size() - index;
  if (length <= 1 || available >= length) return false;
  for (std::size_t k = 1; k < available; ++k) {
    const auto byte = static_cast<unsigned char>(text[index + k]);
    if (k == 1 ? !ValidSecondByte(lead, byte) : !IsContinuation(byte)) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

DecodedChar DecodeTranscriptChar(std::string_view text, std::size_t index) {
  const auto lead = static_cast<unsigned char>(text[index]);
  const std::size_t length = SequenceLength(lead);
  if (length == 1) return {lead, 1};
  if (length == 0 || text.size() - index < length) return {lead, 1};
  char32_t cp = lead & (0xFF >> (length + 1));
  for (std::size_t k = 1; k < length; ++k) {
    const auto byte = static_cast<unsigned char>(text[index + k]);
    if (k == 1 ? !ValidSecondByte(lead, byte) : !IsContinuation(byte)) return {lead, 1};
    cp = (cp << 6) | (byte & 0x3F);
  }
  return {cp, length};
}

char32_t DisplayCodePoint(char32_t codePoint) {
  switch (codePoint) {
    case 0x0000:  // would end the text in a C string
    case 0x2029:  // paragraph separator
    case 0xFDD0:  // frame marks
    case 0xFDD1:
    case 0xFFFC:  // object replacement
      return 0xFFFD;
    default:
      return codePoint;
  }
}

std::string TranscriptFileText(std::string_view bytes, std::string_view lineEnd) {
  std::string file;
  file.reserve(bytes.size() + bytes.size() / 8);
  std::size_t index = 0;
  while (index < bytes.size()) {
    const char byte = bytes[index];
    if (byte == '\r' || byte == '\n') {
      file += lineEnd;
      const bool crLf = byte == '\r' && index + 1 < bytes.size() && bytes[index + 1] == '\n';
      index += crLf ? 2 : 1;
      continue;
    }
    const DecodedChar decoded = DecodeTranscriptChar(bytes, index);
    AppendUtf8(file, DisplayCodePoint(decoded.codePoint));
    index += decoded.length;
  }
  return file;
}

std::string CTranscriptText::Append(std::string_view bytes) {
  std::size_t index = DisplayedEnd();
  text_.append(bytes);
  std::string shown;
  shown.reserve(bytes.size() + pendingBytes_);
  pendingBytes_ = 0;
  const std::string_view all = text_;
  while (index < all.size()) {
    const char byte = all[index];
    if (byte == '\r' || byte == '\n') {
      const bool secondHalfOfCrLf = byte == '\n' && endsWithCr_;
      endsWithCr_ = byte == '\r';
      ++index;
      if (secondHalfOfCrLf) {
        lineStarts_.back() = index;
      } else {
        shown += '\n';
        lineStarts_.push_back(index);
      }
      continue;
    }
    if (IsIncompleteUtf8Sequence(all, index)) {
      pendingBytes_ = all.size() - index;
      break;
    }
    endsWithCr_ = false;
    const DecodedChar decoded = DecodeTranscriptChar(all, index);
    AppendUtf8(shown, DisplayCodePoint(decoded.codePoint));
    index += decoded.length;
  }
  return shown;
}

std::string TranscriptUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t index = 0; index < bytes.size();) {
    const DecodedChar decoded = DecodeTranscriptChar(bytes, index);
    AppendUtf8(text, decoded.codePoint);
    index += decoded.length;
  }
  return text;
}

std::size_t CTranscriptText::ByteOffset(std::size_t line, std::size_t utf16Column) const {
  const std::size_t end = DisplayedEnd();
  if (line >= lineStarts_.size()) return end;
  const std::string_view all = text_;
  std::size_t index = lineStarts_[line];
  std::size_t column = 0;
  while (index < end && column < utf16Column && all[index] != '\r' && all[index] != '\n') {
    const DecodedChar decoded = DecodeTranscriptChar(all.substr(0, end), index);
    column += Utf16Length(DisplayCodePoint(decoded.codePoint));
    index += decoded.length;
  }
  return index;
}

}  // namespace netrove
