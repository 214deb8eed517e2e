#include "news/nntp_capabilities.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/text_lines.h"

namespace netrove {

namespace {

// The line's blank-separated words, in upper case.
std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t start = line.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
    std::string word(line.substr(start, end - start));
    for (char& c : word) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    words.push_back(std::move(word));
    at = end;
  }
  return words;
}

}  // namespace

NntpCapabilities ParseNntpCapabilities(std::string_view list) {
  NntpCapabilities capabilities;
  capabilities.overview = OverviewOffered(list);
  while (!list.empty()) {
    const std::vector<std::string> words = Words(TakeLine(list));
    if (words.empty()) continue;
    const std::string& keyword = words.front();
    if (keyword == "READER") capabilities.reader = true;
    if (keyword == "STARTTLS") capabilities.startTls = true;
    if (keyword == "AUTHINFO") {
      for (std::size_t i = 1; i < words.size(); ++i) {
        if (words[i] == "USER") capabilities.userSignIn = true;
      }
    }
  }
  return capabilities;
}

}  // namespace netrove
