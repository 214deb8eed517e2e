// Feeds arbitrary newsrc files to the parser, expands and rebuilds every
// group, and checks that the written file reads back to itself: nothing a
// damaged file holds may be lost or change on the second round.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "news/news_server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  netrove::CNewsServer server;
  netrove::ParseNewsrc(text, server);
  long marked = 0;
  for (auto& [name, group] : server.groups) {
    group.Expand();
    if (++marked % 2 == 0) group.MarkRead(marked);
  }
  const std::string written = netrove::FormatNewsrc(server);
  netrove::CNewsServer again;
  netrove::ParseNewsrc(written, again);
  if (netrove::FormatNewsrc(again) != written) std::abort();
  return 0;
}
