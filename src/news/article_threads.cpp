#include "news/article_threads.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <climits>
#include <functional>

#include "base/text_lines.h"
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

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

struct HeaderFields {
  std::string subject, from, lines, date, messageId, references, inReplyTo, xref, newsgroups,
      followupTo;
};

// The field a header line starts, or nullptr for one this does not keep.
std::string* FieldOf(std::string_view line, HeaderFields& fields, std::size_t& nameLength) {
  const std::pair<std::string_view, std::string*> names[] = {
      {"Subject:", &fields.subject},       {"From:", &fields.from},
      {"Lines:", &fields.lines},           {"Date:", &fields.date},
      {"Message-ID:", &fields.messageId},  {"References:", &fields.references},
      {"In-Reply-To:", &fields.inReplyTo}, {"Xref:", &fields.xref},
      {"Newsgroups:", &fields.newsgroups}, {"Followup-To:", &fields.followupTo}};
  for (const auto& [name, value] : names) {
    if (StartsWithNoCase(line, name)) {
      nameLength = name.size();
      return value;
    }
  }
  return nullptr;
}

// The fields of a header block, unfolded: a continuation line is appended
// to its field with its leading blank (the line end is what folding added).
HeaderFields ReadFields(std::string_view block) {
  HeaderFields fields;
  std::string* current = nullptr;
  while (!block.empty()) {
    std::string_view line = TakeLine(block);
    if (line.empty()) break;
    if (IsBlank(line.front())) {
      if (current != nullptr) current->append(line);
      continue;
    }
    std::size_t nameLength = 0;
    current = FieldOf(line, fields, nameLength);
    if (current == nullptr) continue;
    line.remove_prefix(nameLength);
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    current->assign(line);
  }
  return fields;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

std::optional<long> Number(std::string_view text) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "+hhmm", "-hhmm" or an obsolete zone name, in seconds east of UTC.
std::optional<long> ZoneOffset(std::string_view zone) {
  if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-')) {
    const auto digits = Number(zone.substr(1));
    if (!digits) return std::nullopt;
    const long seconds = (*digits / 100) * 3600 + (*digits % 100) * 60;
    return zone[0] == '-' ? -seconds : seconds;
  }
  constexpr std::pair<std::string_view, long> kNames[] = {
      {"UT", 0},          {"UTC", 0},         {"GMT", 0},         {"Z", 0},
      {"EST", -5 * 3600}, {"EDT", -4 * 3600}, {"CST", -6 * 3600}, {"CDT", -5 * 3600},
      {"MST", -7 * 3600}, {"MDT", -6 * 3600}, {"PST", -8 * 3600}, {"PDT", -7 * 3600}};
  for (const auto& [name, offset] : kNames) {
    if (EqualNoCase(zone, name)) return offset;
  }
  return std::nullopt;
}

std::optional<unsigned> MonthOf(std::string_view name) {
  constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (unsigned month = 0; month < kMonths.size(); ++month) {
    if (EqualNoCase(name, kMonths[month])) return month + 1;
  }
  return std::nullopt;
}

std::vector<std::string_view> DateWords(std::string_view value) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < value.size()) {
    if (value[at] == '(') break;  // a comment ends what is read
    if (IsBlank(value[at]) || value[at] == ',') {
      ++at;
      continue;
    }
    const std::size_t end = value.find_first_of(" \t,(", at);
    words.push_back(value.substr(at, end == std::string_view::npos ? value.size() - at : end - at));
    at = end == std::string_view::npos ? value.size() : end;
  }
  return words;
}

// Whether `ancestor` is `id` or above it.
bool IsAncestorOrSelf(const std::map<std::string, std::string>& parents,
                      const std::string& ancestor, std::string id) {
  for (std::size_t guard = 0; guard <= parents.size() && !id.empty(); ++guard) {
    if (id == ancestor) return true;
    const auto up = parents.find(id);
    if (up == parents.end()) return false;
    id = up->second;
  }
  return false;
}

// Who is whose parent: an article's own References (or In-Reply-To) first;
// then the chains of References give a parent to the placeholders and to
// articles that name none. A link that would close a loop is left out.
std::map<std::string, std::string> ParentsOf(const ArticleTable& table) {
  std::map<std::string, std::string> parents;
  const auto link = [&](const std::string& child, const std::string& parent) {
    if (parents.count(child) != 0 || IsAncestorOrSelf(parents, child, parent)) return;
    parents.emplace(child, parent);
  };
  for (const auto& [id, record] : table) {
    if (!record.references.empty()) link(id, record.references.back());
  }
  for (const auto& [id, record] : table) {
    const auto& chain = record.references;
    for (std::size_t at = 1; at < chain.size(); ++at) {
      const auto named = table.find(chain[at]);
      if (named == table.end() || named->second.references.empty()) link(chain[at], chain[at - 1]);
    }
  }
  return parents;
}

}  // namespace

std::vector<std::string> MessageIds(std::string_view value) {
  std::vector<std::string> ids;
  std::size_t at = 0;
  while ((at = value.find('<', at)) != std::string_view::npos) {
    const std::size_t close = value.find_first_of("<> \t\r\n", at + 1);
    if (close == std::string_view::npos) break;
    if (value[close] == '>' && close > at + 1) ids.emplace_back(value.substr(at, close - at + 1));
    at = value[close] == '<' ? close : close + 1;
  }
  return ids;
}

std::optional<std::int64_t> ParseArticleDate(std::string_view value) {
  std::vector<std::string_view> words = DateWords(value);
  if (!words.empty() && !Number(words.front())) words.erase(words.begin());  // day of week
  if (words.size() < 4) return std::nullopt;
  const auto day = Number(words[0]);
  const auto month = MonthOf(words[1]);
  auto year = Number(words[2]);
  if (!day || !month || !year || *day < 1 || *day > 31) return std::nullopt;
  if (*year < 50) *year += 2000;
  if (*year < 1000) *year += 1900;
  long clock[3] = {0, 0, 0};
  std::string_view time = words[3];
  for (long& part : clock) {
    const std::size_t colon = time.find(':');
    const auto number = Number(time.substr(0, colon));
    if (!number) return std::nullopt;
    part = *number;
    if (colon == std::string_view::npos) break;
    time.remove_prefix(colon + 1);
  }
  const long offset = words.size() > 4 ? ZoneOffset(words[4]).value_or(0) : 0;
  return DaysFromCivil(*year, *month, static_cast<unsigned>(*day)) * 86400 + clock[0] * 3600 +
         clock[1] * 60 + clock[2] - offset;
}

FiledArticle FileHeaderBlock(ArticleTable& table, std::string_view block, long number) {
  const HeaderFields fields = ReadFields(block);
  ArticleRecord record;
  record.subject = fields.subject;
  record.from = fields.from;
  record.lines = fields.lines;
  record.date = fields.date;
  record.number = number;
  record.xref = fields.xref;
  record.newsgroups = fields.newsgroups;
  record.followupTo = fields.followupTo;
  record.time = ParseArticleDate(fields.date).value_or(0);
  const auto ownIds = MessageIds(fields.messageId);
  record.messageId = ownIds.empty() ? "<#" + std::to_string(number) + ">" : ownIds.front();
  record.references = MessageIds(fields.references);
  if (record.references.empty()) {
    const auto replyTo = MessageIds(fields.inReplyTo);
    if (!replyTo.empty()) record.references.push_back(replyTo.back());
  }
  // An article naming itself as its ancestor names nothing useful.
  std::erase(record.references, record.messageId);
  FiledArticle filed;
  filed.id = record.messageId;
  filed.added = table.try_emplace(filed.id, std::move(record)).second;
  return filed;
}

std::vector<ArticleThread> BuildThreads(const ArticleTable& table) {
  const std::map<std::string, std::string> parents = ParentsOf(table);
  std::map<std::string, std::vector<std::string>> children;
  std::vector<std::string> roots;
  std::map<std::string, int> known;  // every id: article or placeholder
  for (const auto& [id, record] : table) known[id];
  for (const auto& [child, parent] : parents) {
    children[parent].push_back(child);
    known[parent];
  }
  for (const auto& [id, unused] : known) {
    if (parents.count(id) == 0) roots.push_back(id);
  }
  // A placeholder sorts by its earliest reply.
  std::map<std::string, std::pair<std::int64_t, long>> order;
  const std::function<std::pair<std::int64_t, long>(const std::string&)> orderOf =
      [&](const std::string& id) {
        if (const auto found = order.find(id); found != order.end()) return found->second;
        std::pair<std::int64_t, long> key{INT64_MAX, LONG_MAX};
        if (const auto article = table.find(id); article != table.end()) {
          key = {article->second.time, article->second.number};
        } else {
          order[id] = key;  // a guard while its replies are looked at
          for (const std::string& child : children[id]) key = std::min(key, orderOf(child));
        }
        order[id] = key;
        return key;
      };
  const auto byDate = [&](const std::string& a, const std::string& b) {
    return std::make_pair(orderOf(a), a) < std::make_pair(orderOf(b), b);
  };
  std::sort(roots.begin(), roots.end(), byDate);
  std::vector<ArticleThread> threads;
  for (const std::string& root : roots) {
    ArticleThread thread;
    thread.root = root;
    std::vector<std::pair<std::string, int>> pending{{root, 0}};
    while (!pending.empty()) {
      auto [id, depth] = pending.back();
      pending.pop_back();
      const auto article = table.find(id);
      const auto parent = parents.find(id);
      thread.rows.push_back({article == table.end() ? nullptr : &article->second, id,
                             parent == parents.end() ? std::string() : parent->second, depth});
      std::vector<std::string>& replies = children[id];
      std::sort(replies.begin(), replies.end(), byDate);
      for (auto reply = replies.rbegin(); reply != replies.rend(); ++reply) {
        pending.emplace_back(*reply, depth + 1);
      }
    }
    threads.push_back(std::move(thread));
  }
  return threads;
}

std::size_t ThreadIndexOf(const std::vector<ArticleThread>& threads, std::string_view id) {
  for (std::size_t index = 0; index < threads.size(); ++index) {
    for (const ThreadedArticle& row : threads[index].rows) {
      if (row.id == id) return index;
    }
  }
  return threads.size();
}

std::string FollowUpReferences(const ArticleRecord& record) {
  std::string references;
  for (const std::string& id : record.references) references += id + " ";
  return references + record.messageId;
}

std::vector<const ArticleRecord*> FlatOrder(const ArticleTable& table) {
  std::vector<const ArticleRecord*> articles;
  for (const auto& [id, record] : table) articles.push_back(&record);
  std::stable_sort(
      articles.begin(), articles.end(),
      [](const ArticleRecord* a, const ArticleRecord* b) { return a->number > b->number; });
  return articles;
}

std::optional<long> LowestNumber(const ArticleTable& table) {
  std::optional<long> lowest;
  for (const auto& [id, record] : table) {
    if (!lowest || record.number < *lowest) lowest = record.number;
  }
  return lowest;
}

std::optional<long> HighestNumber(const ArticleTable& table) {
  std::optional<long> highest;
  for (const auto& [id, record] : table) {
    if (!highest || record.number > *highest) highest = record.number;
  }
  return highest;
}

const ArticleRecord* FindNumber(const ArticleTable& table, long number) {
  for (const auto& [id, record] : table) {
    if (record.number == number) return &record;
  }
  return nullptr;
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
