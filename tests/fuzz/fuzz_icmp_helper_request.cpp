// Feeds arbitrary messages to the ICMP helper's request and answer parsers:
// the helper reads requests from a less trusted process. A request it accepts
// must encode back to the same bytes, so nothing unexpected slips through.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "diagnostics/icmp_helper_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace netrove;
  const std::span<const std::uint8_t> bytes(data, size);
  if (const auto request = ParseIcmpHelperRequest(bytes)) {
    const IcmpHelperMessage again = EncodeIcmpHelperRequest(*request);
    if (!std::equal(again.begin(), again.end(), bytes.begin(), bytes.end())) std::abort();
  }
  if (const auto answer = ParseIcmpHelperAnswer(bytes)) {
    if (answer->granted == (answer->errnoValue != 0)) std::abort();
  }
  return 0;
}
