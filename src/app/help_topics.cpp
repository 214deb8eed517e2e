#include "app/help_topics.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "base/command_ids.h"

namespace netrove {
namespace {

constexpr std::array kTopics{
    HelpTopic{kHelpMainWindow, "main-window", "Main window"},
    HelpTopic{kHelpCustomize, "customize", "Customize"},
    HelpTopic{CommandHelpContext(kCmdAddressBook), "address-book", "Address Book"},
    HelpTopic{CommandHelpContext(kCmdCalendar), "calendar", "Calendar"},
    HelpTopic{CommandHelpContext(kCmdChat), "chat", "Chat"},
    HelpTopic{CommandHelpContext(kCmdDaytime), "daytime", "Daytime"},
    HelpTopic{CommandHelpContext(kCmdFinger), "finger", "Finger"},
    HelpTopic{CommandHelpContext(kCmdFtp), "ftp", "File Transfer Protocol (FTP)"},
    HelpTopic{CommandHelpContext(kCmdHardware), "hardware", "Hardware information"},
    HelpTopic{CommandHelpContext(kCmdLocalBroadcast), "local-broadcast", "Local Broadcast"},
    HelpTopic{CommandHelpContext(kCmdMail), "mail", "Mail"},
    HelpTopic{CommandHelpContext(kCmdNewsreader), "newsreader", "Newsreader"},
    HelpTopic{CommandHelpContext(kCmdNicName), "nicname", "NicName/WhoIs"},
    HelpTopic{CommandHelpContext(kCmdPing), "ping", "Ping"},
    HelpTopic{CommandHelpContext(kCmdQuoteOfTheDay), "quote-of-the-day", "Quote of the Day"},
    HelpTopic{CommandHelpContext(kCmdSoftware), "software", "Software information"},
    HelpTopic{CommandHelpContext(kCmdTftp), "tftp", "Trivial File Transfer Protocol (TFTP)"},
    HelpTopic{CommandHelpContext(kCmdTraceRoute), "traceroute", "traceroute"},
    HelpTopic{CommandHelpContext(kCmdWhoAmI), "who-am-i", "Who am I?"},
};

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::string EscapeHtml(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace

std::span<const HelpTopic> HelpTopics() { return kTopics; }

std::string_view HelpPageForContext(int contextId) {
  for (const HelpTopic& topic : kTopics) {
    if (topic.contextId == contextId) return topic.page;
  }
  return {};
}

std::string HelpIndexHtml(std::string_view key, const HelpPageText& pageText) {
  std::vector<const HelpTopic*> found;
  const std::string wanted = Lower(key);
  for (const HelpTopic& topic : kTopics) {
    const std::optional<std::string> text = pageText(topic.page);
    if (!text) continue;
    if (Lower(topic.title).find(wanted) != std::string::npos ||
        Lower(*text).find(wanted) != std::string::npos) {
      found.push_back(&topic);
    }
  }
  std::sort(found.begin(), found.end(), [](const HelpTopic* a, const HelpTopic* b) {
    return Lower(a->title) < Lower(b->title);
  });
  std::string html = "<html><body><h1>Index</h1>";
  if (found.empty()) html += "<p>No topic matches \"" + EscapeHtml(key) + "\".</p>";
  html += "<ul>";
  for (const HelpTopic* topic : found) {
    html += "<li><a href=\"" + std::string(topic->page) + ".html\">" + EscapeHtml(topic->title) +
            "</a></li>";
  }
  html += "</ul></body></html>";
  return html;
}

}  // namespace netrove
