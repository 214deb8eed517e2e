// Feeds arbitrary header blocks (as a HEAD reply delivers them) to the
// threading and the Xref reader, and arbitrary texts to rot13: an article
// filed must be found again by its number and in exactly one thread, with
// no loop, and rot13 twice must give the text back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "news/article_save.h"
#include "news/article_threads.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  netrove::ArticleTable table;
  const auto filed = netrove::FileHeaderBlock(table, text, static_cast<long>(size));
  // A second article whose ancestry is the first's text as well.
  netrove::FileHeaderBlock(table, "Message-ID: <second@fuzz>\r\nReferences: " + std::string(text),
                           1);
  const auto* record = netrove::FindNumber(table, static_cast<long>(size));
  if (record == nullptr || record->messageId != filed.id) std::abort();
  std::size_t rows = 0;
  for (const auto& thread : netrove::BuildThreads(table)) rows += thread.rows.size();
  const auto threads = netrove::BuildThreads(table);
  if (netrove::ThreadIndexOf(threads, filed.id) == threads.size() || rows < table.size()) {
    std::abort();
  }
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
