#pragma once
// The article headers of a group, filed into threads. An article's key is
// its References chain, a blank and its own message-id, so within a thread
// (keyed by the chain's first message-id) a parent sorts before its replies.
// Article numbers are kept as numbers: the flat list and the starting points
// of the header walks are ordered numerically, so 1000 comes after 999.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace netrove {

struct ArticleRecord {
  std::string subject;
  std::string from;
  std::string lines;
  std::string date;
  long number = 0;
  std::string depth;  // one ">" per "<" in References
  std::string xref;
};

using ArticleThread = std::map<std::string, ArticleRecord>;  // article key -> record
using ThreadTable = std::map<std::string, ArticleThread>;    // thread key -> thread

struct FiledArticle {
  std::string threadKey;
  std::string articleKey;
  bool added = false;  // false: the article was filed before
};

// Files one header block (the article number from its "221" line). Fields
// other than Subject, From, Lines, Date, Message-ID, References and Xref are
// ignored; a later field replaces an earlier one.
FiledArticle FileHeaderBlock(ThreadTable& table, std::string_view block, long number);

// The thread key of an article key: up to and including its first ">".
std::string ThreadKeyOf(std::string_view articleKey);
// The article's own message-id: its key from the last "<" on.
std::string MessageIdOf(std::string_view articleKey);

// Every article, greatest number first.
std::vector<const ArticleRecord*> FlatOrder(const ThreadTable& table);
// Smallest and greatest article number filed; nothing when none is.
std::optional<long> LowestNumber(const ThreadTable& table);
std::optional<long> HighestNumber(const ThreadTable& table);
// The thread holding article `number`; table.end() when none does.
ThreadTable::const_iterator ThreadOfNumber(const ThreadTable& table, long number);
// The article key of article `number` in `thread`; nothing when absent.
std::optional<std::string> ArticleKeyOfNumber(const ArticleThread& thread, long number);

// The items of an Xref value after its first word ("host g1:12 g2:7").
std::vector<std::pair<std::string, long>> XrefEntries(std::string_view xref);

// Whether `from` is the user's own address in one of its two composed
// forms, compared without regard to case.
bool IsOwnArticle(std::string_view from, std::string_view address, std::string_view fullName);

}  // namespace netrove
