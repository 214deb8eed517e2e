#pragma once
// The help pages behind the help context ids: each page is a short HTML file
// named "<page>.html" in the help folder.
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace netrove {

struct HelpTopic {
  int contextId = 0;
  std::string_view page;
  std::string_view title;
};

// Pages without a context id of their own.
inline constexpr std::string_view kHelpContentsPage = "contents";
inline constexpr std::string_view kUsingHelpPage = "using-help";

// Every topic with a context id, in the order of the help index.
std::span<const HelpTopic> HelpTopics();
// The page of a context id; empty when no topic has that id.
std::string_view HelpPageForContext(int contextId);

// The text of a topic's page without its markup; nothing when the page is
// not at hand (the tools not built have none).
using HelpPageText = std::function<std::optional<std::string>(std::string_view page)>;

// The keyword index: links to every available topic whose title or page
// text contains `key` (case-insensitive; an empty key lists all), as an
// HTML page.
std::string HelpIndexHtml(
    std::string_view key,
    const HelpPageText& pageText = [](std::string_view) { return std::string(); });

}  // namespace netrove
