// Feeds arbitrary server answers to the Finger/WhoIs reply filter, cut into
// pieces where the first byte says, and checks what the transcript must
// always be: the same text however the answer was cut, no bare LF, and no
// control byte but CR, LF and TAB.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "query/query_reply_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t step = data[0] % 7 + 1;
  const std::string_view answer(reinterpret_cast<const char*>(data + 1), size - 1);
  netrove::CReplyTextFilter whole;
  const std::string expected = whole.Convert(answer);
  netrove::CReplyTextFilter pieces;
  std::string text;
  for (std::size_t at = 0; at < answer.size(); at += step) {
    text += pieces.Convert(answer.substr(at, step));
  }
  if (text != expected) std::abort();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n' && (i == 0 || text[i - 1] != '\r')) std::abort();
    if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7F) std::abort();
  }
  return 0;
}
