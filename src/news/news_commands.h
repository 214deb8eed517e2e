#pragma once
// The commands of the newsreader window's menus: where each sits, its label
// (with its accelerator after a tab) and the prompt the status bar shows.
// The window builds its menus from this table.
#include <span>
#include <string_view>

namespace netrove {

enum class NewsCommand {
  Connect,
  Disconnect,
  Find,
  FindNext,
  DisplayAll,
  DisplaySubscribed,
  DisplayUnsubscribed,
  RefreshGroupList,
  ToggleSubscription,
  FullRowSelection,
  CatchUp,
  CatchUpThread,
  ThreadUnthread,
  NextThread,
  PreviousThread,
  RetrievePrevious,
  RetrieveNew,
  NewArticle,
  SaveArticle,
  Print,
  Rot13,
  IncludeArticle,
  ExcludeArticle,
  CancelArticle,
  SetFont,
};
inline constexpr int kNewsCommandCount = static_cast<int>(NewsCommand::SetFont) + 1;

enum class NewsMenu { Server, Newsgroups, Display, ArticleView, Reply };

struct NewsMenuEntry {
  enum class Kind { Command, Separator, Submenu };
  Kind kind = Kind::Separator;
  NewsCommand command{};
  std::string_view label;
  std::string_view prompt;
  bool checkable = false;
  NewsMenu submenu{};
};

// The menus of the window's menu bar, in order.
inline constexpr NewsMenu kNewsMenuBar[] = {NewsMenu::Server, NewsMenu::Newsgroups,
                                            NewsMenu::ArticleView};

std::string_view NewsMenuTitle(NewsMenu menu);
std::span<const NewsMenuEntry> NewsMenuEntries(NewsMenu menu);

}  // namespace netrove
