#include "news/article_threads.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "news/newsgroup.h"

namespace netrove {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

struct HeaderFields {
  std::string subject, from, lines, date, messageId, references, xref;
};

// The value after "Name:" and the one blank that follows it.
std::string ValueAfter(std::string_view line, std::size_t nameLength) {
  line.remove_prefix(nameLength);
  if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  return std::string(line);
}

void ReadField(std::string_view line, HeaderFields& fields) {
  const std::pair<std::string_view, std::string*> names[] = {{"Subject:", &fields.subject},
                                                             {"From:", &fields.from},
                                                             {"Lines:", &fields.lines},
                                                             {"Date:", &fields.date},
                                                             {"Message-ID:", &fields.messageId},
                                                             {"References:", &fields.references},
                                                             {"Xref:", &fields.xref}};
  for (const auto& [name, value] : names) {
    if (StartsWithNoCase(line, name)) {
      *value = ValueAfter(line, name.size());
      return;
    }
  }
}

HeaderFields ReadFields(std::string_view block) {
  HeaderFields fields;
  while (!block.empty()) {
    const std::size_t lf = block.find('\n');
    std::string_view line = block.substr(0, lf);
    block.remove_prefix(lf == std::string_view::npos ? block.size() : lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    ReadField(line, fields);
  }
  return fields;
}

std::string ArticleKeyOf(const HeaderFields& fields, long number) {
  // An article without a Message-ID still needs a key of its own, or it
  // would pass for a duplicate of the next one without.
  std::string id =
      fields.messageId.empty() ? "<#" + std::to_string(number) + ">" : fields.messageId;
  if (fields.references.empty()) return id;
  return fields.references + " " + id;
}

}  // namespace

std::string ThreadKeyOf(std::string_view articleKey) {
  const std::size_t close = articleKey.find('>');
  return std::string(close == std::string_view::npos ? articleKey
                                                     : articleKey.substr(0, close + 1));
}

std::string MessageIdOf(std::string_view articleKey) {
  const std::size_t open = articleKey.rfind('<');
  return std::string(open == std::string_view::npos ? articleKey : articleKey.substr(open));
}

FiledArticle FileHeaderBlock(ThreadTable& table, std::string_view block, long number) {
  const HeaderFields fields = ReadFields(block);
  ArticleRecord record;
  record.subject = fields.subject;
  record.from = fields.from;
  record.lines = fields.lines;
  record.date = fields.date;
  record.number = number;
  record.depth.assign(
      static_cast<std::size_t>(std::count(fields.references.begin(), fields.references.end(), '<')),
      '>');
  record.xref = fields.xref;
  FiledArticle filed;
  filed.articleKey = ArticleKeyOf(fields, number);
  filed.threadKey = ThreadKeyOf(filed.articleKey);
  filed.added = table[filed.threadKey].try_emplace(filed.articleKey, std::move(record)).second;
  return filed;
}

std::vector<const ArticleRecord*> FlatOrder(const ThreadTable& table) {
  std::vector<const ArticleRecord*> articles;
  for (const auto& [threadKey, thread] : table) {
    for (const auto& [articleKey, record] : thread) articles.push_back(&record);
  }
  std::stable_sort(
      articles.begin(), articles.end(),
      [](const ArticleRecord* a, const ArticleRecord* b) { return a->number > b->number; });
  return articles;
}

std::optional<long> LowestNumber(const ThreadTable& table) {
  std::optional<long> lowest;
  for (const auto& [threadKey, thread] : table) {
    for (const auto& [articleKey, record] : thread) {
      if (!lowest || record.number < *lowest) lowest = record.number;
    }
  }
  return lowest;
}

std::optional<long> HighestNumber(const ThreadTable& table) {
  std::optional<long> highest;
  for (const auto& [threadKey, thread] : table) {
    for (const auto& [articleKey, record] : thread) {
      if (!highest || record.number > *highest) highest = record.number;
    }
  }
  return highest;
}

ThreadTable::const_iterator ThreadOfNumber(const ThreadTable& table, long number) {
  for (auto thread = table.begin(); thread != table.end(); ++thread) {
    if (ArticleKeyOfNumber(thread->second, number)) return thread;
  }
  return table.end();
}

std::optional<std::string> ArticleKeyOfNumber(const ArticleThread& thread, long number) {
  for (const auto& [articleKey, record] : thread) {
    if (record.number == number) return articleKey;
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, long>> XrefEntries(std::string_view xref) {
  std::vector<std::pair<std::string, long>> entries;
  bool hostSkipped = false;
  while (!xref.empty()) {
    while (!xref.empty() && (xref.front() == ' ' || xref.front() == '\t')) xref.remove_prefix(1);
    const std::size_t end = std::min(xref.find_first_of(" \t"), xref.size());
    const std::string_view item = xref.substr(0, end);
    xref.remove_prefix(end);
    if (item.empty()) break;
    if (!hostSkipped) {
      hostSkipped = true;
      continue;
    }
    const std::size_t colon = item.rfind(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    long number = 0;
    const std::string_view digits = item.substr(colon + 1);
    const auto [at, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || at != digits.data() + digits.size() || number <= 0 ||
        number > kHighestArticleNumber) {
      continue;
    }
    entries.emplace_back(std::string(item.substr(0, colon)), number);
  }
  return entries;
}

bool IsOwnArticle(std::string_view from, std::string_view address, std::string_view fullName) {
  if (address.empty()) return false;
  const std::string commented = std::string(address) + " (" + std::string(fullName) + ")";
  const std::string angled = std::string(fullName) + " <" + std::string(address) + ">";
  return EqualNoCase(from, commented) || EqualNoCase(from, angled);
}

}  // namespace netrove
