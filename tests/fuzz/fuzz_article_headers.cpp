// Feeds arbitrary header blocks (as a HEAD reply delivers them) to the
// threading and the Xref reader, and arbitrary texts to rot13: every key
// filed must be found again by its number, a thread key must be a prefix of
// its article keys, and rot13 twice must give the text back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "news/article_save.h"
#include "news/article_threads.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  netrove::ThreadTable table;
  const auto filed = netrove::FileHeaderBlock(table, text, static_cast<long>(size));
  if (filed.articleKey.compare(0, filed.threadKey.size(), filed.threadKey) != 0) std::abort();
  const auto thread = netrove::ThreadOfNumber(table, static_cast<long>(size));
  if (thread == table.end() || thread->first != filed.threadKey) std::abort();
  for (const auto& [group, number] : netrove::XrefEntries(text)) {
    if (group.empty() || number <= 0) std::abort();
  }
  std::string rotated(text);
  const auto range = netrove::Rot13Range(rotated, true, size / 3, size / 2);
  netrove::Rot13(rotated, range.begin, range.end);
  netrove::Rot13(rotated, range.begin, range.end);
  if (rotated != text) std::abort();
  return 0;
}
