#include "cli/cli_terminal_output.h"

#include <unistd.h>

#include <utility>

#include "base/transcript_text.h"

namespace netrove::cli {
namespace {

// cat -v's caret notation of a C0 control or DEL.
void AppendCaret(std::string& out, unsigned char control) {
  out += '^';
  out += control == 0x7F ? '?' : static_cast<char>(control + 0x40);
}

// Appends the character starting at all[index] and returns its length.
std::size_t AppendVisible(std::string& out, std::string_view all, std::size_t index) {
  const auto byte = static_cast<unsigned char>(all[index]);
  if (byte == '\n' || byte == '\t') {
    out += static_cast<char>(byte);
    return 1;
  }
  if (byte < 0x20 || byte == 0x7F) {
    AppendCaret(out, byte);
    return 1;
  }
  if (byte < 0x80) {
    out += static_cast<char>(byte);
    return 1;
  }
  const DecodedChar decoded = DecodeTranscriptChar(all, index);
  if (decoded.codePoint < 0xA0) {
    // A C1 control, as a byte of its own or in UTF-8 form.
    out += "M-";
    AppendCaret(out, static_cast<unsigned char>(decoded.codePoint - 0x80));
  } else if (decoded.length == 1) {
    AppendUtf8(out, decoded.codePoint);
  } else {
    out.append(all.substr(index, decoded.length));
  }
  return decoded.length;
}

}  // namespace

std::string CVisibleControls::Convert(std::string_view bytes) {
  std::string all = std::exchange(held_, {});
  all.append(bytes);
  std::string out;
  out.reserve(all.size());
  for (std::size_t index = 0; index < all.size();) {
    if (all[index] == '\r') {
      if (index + 1 == all.size()) {
        held_.assign(1, '\r');
        break;
      }
      // A CR ending a line moves the cursor where the LF takes it anyway.
      const bool lineEnd = all[index + 1] == '\n';
      out += lineEnd ? "\r\n" : "^M";
      index += lineEnd ? 2 : 1;
      continue;
    }
    if (IsIncompleteUtf8Sequence(all, index)) {
      held_ = all.substr(index);
      break;
    }
    index += AppendVisible(out, all, index);
  }
  return out;
}

std::string CVisibleControls::Finish() {
  std::string out;
  const std::string held = std::exchange(held_, {});
  for (std::size_t index = 0; index < held.size();) {
    if (held[index] == '\r') {
      out += "^M";
      ++index;
      continue;
    }
    // An incomplete sequence at the very end: each byte on its own.
    index += AppendVisible(out, std::string_view(held).substr(index, 1), 0);
  }
  return out;
}

CVisibleControlsBuffer::~CVisibleControlsBuffer() {
  const std::string rest = controls_.Finish();
  target_.sputn(rest.data(), static_cast<std::streamsize>(rest.size()));
  target_.pubsync();
}

std::streamsize CVisibleControlsBuffer::xsputn(const char* bytes, std::streamsize count) {
  std::lock_guard lock(mutex_);
  const std::string out =
      controls_.Convert(std::string_view(bytes, static_cast<std::size_t>(count)));
  const auto size = static_cast<std::streamsize>(out.size());
  return target_.sputn(out.data(), size) == size ? count : 0;
}

CVisibleControlsBuffer::int_type CVisibleControlsBuffer::overflow(int_type byte) {
  if (traits_type::eq_int_type(byte, traits_type::eof())) return traits_type::not_eof(byte);
  const char one = traits_type::to_char_type(byte);
  return xsputn(&one, 1) == 1 ? byte : traits_type::eof();
}

int CVisibleControlsBuffer::sync() {
  std::lock_guard lock(mutex_);
  return target_.pubsync();
}

CTerminalOutput::CTerminalOutput(std::ostream& stream, int descriptor) : plain_(stream) {
  if (::isatty(descriptor) == 0 || stream.rdbuf() == nullptr) return;
  buffer_ = std::make_unique<CVisibleControlsBuffer>(*stream.rdbuf());
  visible_ = std::make_unique<std::ostream>(buffer_.get());
}

CTerminalOutput::~CTerminalOutput() {
  if (visible_) visible_->flush();
  visible_.reset();
  buffer_.reset();
}

}  // namespace netrove::cli
