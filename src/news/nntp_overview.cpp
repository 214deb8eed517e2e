#include "news/nntp_overview.h"

#include <array>
#include <charconv>
#include <climits>
#include <set>

#include "base/text_lines.h"

namespace netrove {

namespace {

// The fixed fields after the number, in the order every server sends them;
// the last two (":bytes", ":lines") may be missing on old servers.
constexpr std::array<std::string_view, 7> kFields = {"Subject",    "From",  "Date", "Message-ID",
                                                     "References", "Bytes", "Lines"};
constexpr std::size_t kRequiredFields = 5;

// The number and the fixed fields of one line; a line has at most that
// many, the rest (extra fields) is not used.
std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  while (fields.size() < kFields.size() + 1) {
    const std::size_t tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) break;
    line.remove_prefix(tab + 1);
  }
  return fields;
}

bool SameWord(std::string_view line, std::string_view word) {
  if (line.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char c = line[i];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c) != word[i]) return false;
  }
  return true;
}

void AppendHeader(std::string& block, std::string_view name, std::string_view value) {
  if (value.empty()) return;
  block.append(name).append(": ");
  for (const char c : value) block.push_back(c == '\r' || c == '\n' || c == '\0' ? ' ' : c);
  block.append("\r\n");
}

}  // namespace

NntpOverview OverviewOffered(std::string_view capabilities) {
  NntpOverview offered = NntpOverview::None;
  while (!capabilities.empty()) {
    std::string_view line = TakeLine(capabilities);
    const std::string_view keyword = line.substr(0, line.find_first_of(" \t"));
    if (SameWord(keyword, "OVER")) return NntpOverview::Over;
    if (SameWord(keyword, "XOVER")) offered = NntpOverview::Xover;
  }
  return offered;
}

std::vector<NntpHeaderBlock> OverviewHeaders(std::string_view block, long low, long high) {
  std::vector<NntpHeaderBlock> headers;
  std::set<long> taken;
  while (!block.empty()) {
    const std::vector<std::string_view> fields = SplitFields(TakeLine(block));
    const std::string_view digits = fields.front();
    long number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || number < low ||
        number > high || number > INT_MAX || fields.size() < kRequiredFields + 1 ||
        !taken.insert(number).second) {
      continue;
    }
    NntpHeaderBlock header{number, {}};
    for (std::size_t i = 1; i < fields.size(); ++i) {
      AppendHeader(header.text, kFields[i - 1], fields[i]);
    }
    headers.push_back(std::move(header));
  }
  return headers;
}

}  // namespace netrove
