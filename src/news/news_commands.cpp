#include "news/news_commands.h"

#include <array>

namespace netrove {
namespace {

using Kind = NewsMenuEntry::Kind;

constexpr NewsMenuEntry Command(NewsCommand command, std::string_view label,
                                std::string_view prompt, bool checkable = false) {
  return {Kind::Command, command, label, prompt, checkable, {}};
}
constexpr NewsMenuEntry Submenu(NewsMenu menu, std::string_view label) {
  return {Kind::Submenu, {}, label, {}, false, menu};
}
constexpr NewsMenuEntry kSeparator{};

using enum NewsCommand;

constexpr std::array kServer{
    Command(Connect, "&Connect...", "Connect to news server."),
    Command(Disconnect, "&Disconnect", "Disconnect from news server."),
};

constexpr std::array kNewsgroups{
    Command(Find, "&Find...\tCtrl+F", "Search for the specified text."),
    Command(FindNext, "Find Ne&xt...\tF3", "Repeat the last find operation."),
    kSeparator,
    Submenu(NewsMenu::Display, "&Display"),
    Command(RefreshGroupList, "&Refresh Group List...",
            "To list and subscribe to any newly added newsgroups on the server."),
    Command(ToggleSubscription, "S&ubscribe/Unsubscribe\tCtrl+U",
            "Toggle the subscription status of the selected newsgroup(s)."),
    kSeparator,
    Command(CatchUp, "&Catching Up\tCtrl+K", "Mark all unread articles in this newsgroup as read."),
    Command(CatchUpThread, "Catc&hing Up - Thread\tCtrl+J",
            "Mark all unread articles as read in the current thread."),
    Command(ThreadUnthread, "&Thread/Unthread\tCtrl+T", "Toggle the thread status for reading."),
    Command(NextThread, "&Next Thread\tCtrl+W", "Move to the next thread, if any."),
    Command(PreviousThread, "&Previous Thread\tCtrl+Q", "Move to the previous thread, if any."),
    Command(RetrievePrevious, "Retrieve Pre&vious Articles",
            "Retrieves previous articles, if any."),
    Command(RetrieveNew, "Retrieve Ne&w Articles", "Retrieves new articles, if any."),
    kSeparator,
    Command(NewArticle, "New &Article\tCtrl+R", "Post a new article to the selected newsgroup."),
    kSeparator,
    Command(FullRowSelection, "Full Row &Selection",
            "Display information about each item using the full row.", true),
};

constexpr std::array kDisplay{
    Command(DisplayAll, "A&ll\tCtrl+L", "Display all newsgroups.", true),
    Command(DisplaySubscribed, "Su&bscribe\tCtrl+B", "Display only subscribe newsgroups.", true),
    Command(DisplayUnsubscribed, "U&nsubscribe\tCtrl+M", "Display only unsubscribe newsgroups.",
            true),
};

constexpr std::array kArticleView{
    Command(SaveArticle, "&Save Article", "Save the article."),
    Command(Print, "&Print...\tCtrl+P", "Print the active document.\nPrint"),
    Command(Rot13, "&rot13", "Decrypt an article posted in rot13."),
    Submenu(NewsMenu::Reply, "R&eply to Newsgroup"),
    Command(CancelArticle, "&Cancel Article", "Cancel the article."),
    kSeparator,
    Command(SetFont, "Set &Font...", "Select font for the Article View window."),
};

constexpr std::array kReply{
    Command(IncludeArticle, "Include Article",
            "Post a reply to the current article via Newsgroup. Include the original article."),
    Command(ExcludeArticle, "Do not Include Article",
            "Post a reply to the current article via Newsgroup. Do not include the original "
            "article."),
};

}  // namespace

std::string_view NewsMenuTitle(NewsMenu menu) {
  switch (menu) {
    case NewsMenu::Server:
      return "&Server";
    case NewsMenu::Newsgroups:
      return "&Newsgroups";
    case NewsMenu::Display:
      return "&Display";
    case NewsMenu::ArticleView:
      return "Article &View";
    case NewsMenu::Reply:
      return "R&eply to Newsgroup";
  }
  return {};
}

std::span<const NewsMenuEntry> NewsMenuEntries(NewsMenu menu) {
  switch (menu) {
    case NewsMenu::Server:
      return kServer;
    case NewsMenu::Newsgroups:
      return kNewsgroups;
    case NewsMenu::Display:
      return kDisplay;
    case NewsMenu::ArticleView:
      return kArticleView;
    case NewsMenu::Reply:
      return kReply;
  }
  return {};
}

}  // namespace netrove
