#pragma once
// The article headers of a group and the threads they form. Header fields
// are unfolded (a line that starts with a blank continues the one before)
// and message-ids are whatever stands between angle brackets, however they
// are separated. An article's parent is the last well-formed id of its
// References, else of its In-Reply-To; a parent the server no longer has
// stays as a placeholder, so its replies keep their place; siblings are in
// date order. Article numbers are kept as numbers: the flat list and the
// starting points of the header walks are ordered numerically.
#include <cstdint>
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
  std::string messageId;
  // The ids the article names as its ancestors, oldest first.
  std::vector<std::string> references;
  std::string xref;
  std::string newsgroups;
  std::string followupTo;
  std::int64_t time = 0;  // Date in seconds since 1970 (UTC); 0 when unreadable
};

// Message-id -> record. An article without a Message-ID is keyed
// "<#number>", so it never passes for a duplicate of another without.
using ArticleTable = std::map<std::string, ArticleRecord>;

struct FiledArticle {
  std::string id;
  bool added = false;  // false: the article was filed before
};

// Files one header block (the article number from its "221" line). Fields
// other than Subject, From, Lines, Date, Message-ID, References,
// In-Reply-To and Xref are ignored; a later field replaces an earlier one.
FiledArticle FileHeaderBlock(ArticleTable& table, std::string_view block, long number);

// One row of a thread: an article, or a placeholder for one that is not in
// the table.
struct ThreadedArticle {
  const ArticleRecord* record = nullptr;  // nullptr: a placeholder
  std::string id;
  std::string parent;  // "" for the thread's root
  int depth = 0;
};

struct ArticleThread {
  std::string root;
  std::vector<ThreadedArticle> rows;  // each parent before its replies
};

// Every thread, in the date order of their roots.
std::vector<ArticleThread> BuildThreads(const ArticleTable& table);
// The thread holding article `id`; threads.size() when none does.
std::size_t ThreadIndexOf(const std::vector<ArticleThread>& threads, std::string_view id);

// The message-ids of a header value, in order.
std::vector<std::string> MessageIds(std::string_view value);
// A Date value (RFC 5322, obsolete forms included) as seconds since 1970.
std::optional<std::int64_t> ParseArticleDate(std::string_view value);
// The References of a follow-up to `record`: its own and its id.
std::string FollowUpReferences(const ArticleRecord& record);

// Every article, greatest number first.
std::vector<const ArticleRecord*> FlatOrder(const ArticleTable& table);
// Smallest and greatest article number filed; nothing when none is.
std::optional<long> LowestNumber(const ArticleTable& table);
std::optional<long> HighestNumber(const ArticleTable& table);
// The article numbered `number`; nullptr when none is.
const ArticleRecord* FindNumber(const ArticleTable& table, long number);

// The items of an Xref value after its first word ("host g1:12 g2:7").
std::vector<std::pair<std::string, long>> XrefEntries(std::string_view xref);

// Whether `from` is the user's own address in one of its two composed
// forms, compared without regard to case.
bool IsOwnArticle(std::string_view from, std::string_view address, std::string_view fullName);

}  // namespace netrove
