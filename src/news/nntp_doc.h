#pragma once
// A newsreader window: the newsgroup list, the article list and the article
// text in two splitters arranged as the layout settings say, and the
// "Server", "Newsgroups" and "Article View" menus, whose commands act on the
// pane that last had the focus.
#include <QMenuBar>
#include <QPointer>
#include <map>

#include "news/news_dialogs.h"
#include "news/pane_layout.h"
#include "widgets/tool_view.h"

class QAction;
class QSplitter;

namespace netrove {

class CNNTPArticleView;
class CNNTPGroupView;
class CNNTPThreadView;

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

class CNNTPDoc : public CToolView {
  Q_OBJECT

 public:
  explicit CNNTPDoc(CToolServices& services, INewsDialogs& dialogs = RealNewsDialogs(),
                    QWidget* parent = nullptr);
  ~CNNTPDoc() override;

  int helpContext() const override;

  CNNTPGroupView& groupView() const { return *groups_; }
  CNNTPArticleView& articleView() const { return *articles_; }
  CNNTPThreadView& threadView() const { return *text_; }
  INewsDialogs& dialogs() const { return dialogs_; }
  IMainWindowReporter& reporter() { return toolServices().reporter(); }
  CToolServices& toolServices() { return services(); }

  QAction* action(NewsCommand command) const { return actions_.at(command); }
  QMenuBar* menus() const { return menuBar_; }
  QSplitter* outerSplitter() const { return outer_; }
  QSplitter* innerSplitter() const { return inner_; }
  const PaneArrangement& arrangement() const { return arrangement_; }
  NewsPane activePane() const { return active_; }
  void setActivePane(NewsPane pane);

  // Re-evaluates every command's enabled and checked state.
  void updateCommands();

 private:
  void buildPanes();
  void buildMenus();
  QAction* addCommand(QMenu* menu, NewsCommand command, const QString& label,
                      const QString& prompt);
  void runCommand(NewsCommand command);
  bool commandEnabled(NewsCommand command) const;
  bool commandChecked(NewsCommand command) const;
  QWidget* pane(NewsPane which) const;
  void savePaneSizes();

  INewsDialogs& dialogs_;
  CNNTPGroupView* groups_;
  CNNTPArticleView* articles_;
  CNNTPThreadView* text_;
  QMenuBar* menuBar_;
  QSplitter* outer_ = nullptr;
  QSplitter* inner_ = nullptr;
  PaneArrangement arrangement_;
  bool savesSizes_ = false;
  NewsPane active_ = NewsPane::Groups;
  std::map<NewsCommand, QAction*> actions_;
  QMenu* displayMenu_ = nullptr;
  QMenu* replyMenu_ = nullptr;
  QMetaObject::Connection focusWatch_;
};

}  // namespace netrove
