#include "transfer/ftp_listing.h"

#include <algorithm>
#include <cctype>

namespace netrove {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Removes the text up to the next blank and the blank(s) after it.
bool SkipField(std::string_view& rest, bool allBlanks) {
  const std::size_t blank = rest.find(' ');
  if (blank == std::string_view::npos) return false;
  rest.remove_prefix(blank + 1);
  if (allBlanks) {
    const std::size_t nonBlank = rest.find_first_not_of(' ');
    rest.remove_prefix(nonBlank == std::string_view::npos ? rest.size() : nonBlank);
  }
  return true;
}

std::string CaseFolded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

// Sorted without regard to case, then by bytes; the keys are folded once, so
// each comparison is a plain byte comparison.
void SortByName(std::vector<FtpListingEntry>& entries) {
  std::vector<std::string> keys;
  keys.reserve(entries.size());
  for (const auto& entry : entries) keys.push_back(CaseFolded(entry.name));
  std::vector<std::size_t> order(entries.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const int byKey = keys[a].compare(keys[b]);
    return byKey != 0 ? byKey < 0 : entries[a].name < entries[b].name;
  });
  std::vector<FtpListingEntry> sorted;
  sorted.reserve(entries.size());
  for (const std::size_t index : order) sorted.push_back(std::move(entries[index]));
  entries = std::move(sorted);
}

// MLSD's first word is a run of "fact=value;" pairs; a Unix line starts
// with its permissions and a DOS line with a date, neither holding "=".
bool LooksLikeFacts(std::string_view line) {
  const std::string_view first = line.substr(0, line.find(' '));
  return first.ends_with(';') && first.find('=') != std::string_view::npos;
}

}  // namespace

std::optional<std::string_view> ListedName(std::string_view line) {
  for (int field = 0; field < 8; ++field) {
    if (!SkipField(line, field < 7)) return std::nullopt;
  }
  return line;
}

std::optional<FtpListingEntry> ParseUnixLine(std::string_view line) {
  if (line.empty() || (line[0] != 'd' && line[0] != '-')) return std::nullopt;
  const auto name = ListedName(line);
  if (!name || name->empty()) return std::nullopt;
  FtpListingEntry entry;
  entry.name = std::string(*name);
  entry.label = DisplayName(*name);
  entry.isFolder = line[0] == 'd';
  return entry;
}

std::vector<FtpListingEntry> ParseListing(std::string_view text) {
  std::vector<FtpListingEntry> entries;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) break;  // a last piece without CR LF is not read
    const std::string_view line = text.substr(start, end - start);
    start = end + 2;
    std::optional<FtpListingEntry> entry;
    if (LooksLikeFacts(line)) {
      entry = ParseFactsLine(line);
    } else if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) {
      entry = ParseDosLine(line);
    } else {
      entry = ParseUnixLine(line);
    }
    if (!entry || (entry->isFolder && (entry->name == "." || entry->name == ".."))) continue;
    entries.push_back(std::move(*entry));
  }
  SortByName(entries);
  return entries;
}

bool IsSafeLocalName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(),
                      [](unsigned char c) { return c == '/' || IsControl(c); });
}

std::optional<std::filesystem::path> LocalPathForListedName(const std::filesystem::path& folder,
                                                            std::string_view name) {
  if (!IsSafeLocalName(name)) return std::nullopt;
  return folder / std::string(name);
}

std::string UnsafeNameMessage(std::string_view name) {
  return "The server's name '" + DisplayName(name) +
         "' cannot be used as a local file name; it was not downloaded.";
}

std::string DisplayName(std::string_view name) {
  std::string shown(name);
  std::replace_if(
      shown.begin(), shown.end(), [](char c) { return IsControl(static_cast<unsigned char>(c)); },
      '?');
  return shown;
}

}  // namespace netrove
