// Feeds arbitrary bytes to the reader of a news server's CAPABILITIES list,
// as a hostile server would send them. Whatever arrives, reading the same
// bytes again gives the same answer, and STARTTLS is only ever seen where
// the bytes hold the word.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "news/nntp_capabilities.h"

namespace {

bool HoldsWord(std::string_view text, std::string_view lowerWord) {
  for (std::size_t at = 0; at + lowerWord.size() <= text.size(); ++at) {
    bool match = true;
    for (std::size_t i = 0; i < lowerWord.size() && match; ++i) {
      match = (text[at + i] | 0x20) == lowerWord[i];
    }
    if (match) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view list(reinterpret_cast<const char*>(data), size);
  const netrove::NntpCapabilities first = netrove::ParseNntpCapabilities(list);
  const netrove::NntpCapabilities again = netrove::ParseNntpCapabilities(list);
  if (first.reader != again.reader || first.startTls != again.startTls ||
      first.userSignIn != again.userSignIn || first.overview != again.overview) {
    std::abort();
  }
  if (first.startTls && !HoldsWord(list, "starttls")) std::abort();
  if (first.userSignIn && !HoldsWord(list, "authinfo")) std::abort();
  return 0;
}
