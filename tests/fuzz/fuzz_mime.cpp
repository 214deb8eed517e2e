// Feeds arbitrary bytes to the MIME decoders as a header value, a body and
// a whole article, and to the converter under a character set named by the
// input: none may crash, a decoded header value holds no line end the input
// did not have, and a UTF-8 value encoded for posting decodes back to
// itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "news/mime_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto lineEnds = [](std::string_view s) {
    return std::count_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; });
  };
  if (lineEnds(netrove::DecodeEncodedWords(text)) > lineEnds(text)) std::abort();
  netrove::DecodeQuotedPrintable(text);
  netrove::DecodeBase64(text);
  netrove::ArticleForDisplay(text, true);
  const std::size_t split = text.find('|');
  if (split != std::string_view::npos) {
    netrove::ConvertToUtf8(text.substr(split + 1), text.substr(0, split));
  }
  const bool plainValue =
      netrove::ConvertToUtf8(text, "UTF-8").has_value() &&
      text.find("=?") == std::string_view::npos &&
      text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
  if (plainValue && netrove::DecodeEncodedWords(netrove::EncodedHeaderValue(text)) != text) {
    std::abort();
  }
  return 0;
}
