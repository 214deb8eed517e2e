#include "query/query_reply_filter.h"

namespace netrove {
namespace {

constexpr unsigned char kDelete = 0x7F;

bool ShownAsItIs(unsigned char c) { return c == '\r' || c == '\t' || (c >= 0x20 && c != kDelete); }

}  // namespace

std::string CReplyTextFilter::Convert(std::string_view received) {
  std::string text;
  text.reserve(received.size() + received.size() / 8 + 2);
  for (const char byte : received) {
    const auto c = static_cast<unsigned char>(byte);
    if (c == '\n') {
      if (!afterCarriageReturn_) text += '\r';
      text += '\n';
    } else if (ShownAsItIs(c)) {
      text += byte;
    } else {
      text += '^';
      text += c == kDelete ? '?' : static_cast<char>(c + 0x40);
    }
    afterCarriageReturn_ = c == '\r';
  }
  return text;
}

}  // namespace netrove
