// Feeds arbitrary header blocks (as a HEAD reply delivers them) to the
// threading and the Xref reader, arbitrary overview blocks to the overview
// reader, and arbitrary texts to rot13: an article filed must be found
// again by its number and in exactly one thread, with no loop; a header
// block made from the overview holds no line end or NUL but its CR LF
// line ends and files without harm; and rot13 twice must give the text back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "news/article_save.h"
#include "news/article_threads.h"
#include "news/nntp_overview.h"

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
  netrove::ArticleTable overview;
  for (const auto& header : netrove::OverviewHeaders(text, 1, 1'000'000)) {
    std::string_view rest = header.text;
    while (!rest.empty()) {
      const std::size_t end = rest.find("\r\n");
      if (end == std::string_view::npos) std::abort();
      if (rest.substr(0, end).find_first_of(std::string_view("\r\n\0", 3)) !=
          std::string_view::npos) {
        std::abort();
      }
      rest.remove_prefix(end + 2);
    }
    netrove::FileHeaderBlock(overview, header.text, header.number);
  }
  std::string rotated(text);
  const auto range = netrove::Rot13Range(rotated, true, size / 3, size / 2);
  netrove::Rot13(rotated, range.begin, range.end);
  netrove::Rot13(rotated, range.begin, range.end);
  if (rotated != text) std::abort();
  return 0;
}
