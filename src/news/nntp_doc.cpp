#include "news/nntp_doc.h"

#include <QAction>
#include <QApplication>
#include <QSplitter>
#include <QVBoxLayout>

#include "base/command_ids.h"
#include "news/news_settings.h"
#include "news/nntp_article_view.h"
#include "news/nntp_group_view.h"
#include "news/nntp_thread_view.h"

namespace netrove {
namespace {

// A label's accelerator ("...\tCtrl+F") as a key sequence.
QKeySequence Accelerator(const QString& label) {
  const qsizetype tab = label.indexOf(QLatin1Char('\t'));
  return tab < 0 ? QKeySequence() : QKeySequence(label.mid(tab + 1));
}

}  // namespace

CNNTPDoc::CNNTPDoc(CToolServices& services, INewsDialogs& dialogs, QWidget* parent)
    : CToolView(services, parent),
      dialogs_(dialogs),
      groups_(new CNNTPGroupView(*this)),
      articles_(new CNNTPArticleView(*this)),
      text_(new CNNTPThreadView(*this)),
      menuBar_(new QMenuBar(this)) {
  setObjectName(QStringLiteral("newsreader"));
  buildPanes();
  buildMenus();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setMenuBar(menuBar_);
  layout->addWidget(outer_);
  setDocumentTitle(QStringLiteral("Newsreader"));
  focusWatch_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    for (NewsPane which : {NewsPane::Groups, NewsPane::Articles, NewsPane::Text}) {
      QWidget* candidate = pane(which);
      if (now != nullptr && (now == candidate || candidate->isAncestorOf(now))) {
        setActivePane(which);
      }
    }
  });
  updateCommands();
}

CNNTPDoc::~CNNTPDoc() {
  disconnect(focusWatch_);
  savePaneSizes();
  // The panes reach one another and this window while they close: they go
  // first, the list pane (and with it the connection) before the others.
  actions_.clear();
  delete groups_;
  delete articles_;
  delete text_;
}

int CNNTPDoc::helpContext() const { return CommandHelpContext(kCmdNewsreader); }

QWidget* CNNTPDoc::pane(NewsPane which) const {
  switch (which) {
    case NewsPane::Groups:
      return groups_;
    case NewsPane::Articles:
      return articles_;
    case NewsPane::Text:
      return text_;
  }
  return groups_;
}

void CNNTPDoc::buildPanes() {
  const NewsSettings settings = ReadNewsSettings();
  arrangement_ = ArrangePanes(settings.wndLayoutLayout, settings.wndLayoutContents);
  savesSizes_ = settings.wndLayoutSizeAndPosition;
  std::uint32_t first = kNewsDefaultPaneSize;
  std::uint32_t split = kNewsDefaultSplitSize;
  if (savesSizes_) {
    const auto [firstName, splitName] = NewsLayoutSizeNames(arrangement_.layout);
    first = ReadNewsNumber(firstName, first);
    split = ReadNewsNumber(splitName, split);
  }
  outer_ = new QSplitter(arrangement_.outerSideBySide ? Qt::Horizontal : Qt::Vertical, this);
  inner_ = new QSplitter(arrangement_.innerSideBySide ? Qt::Horizontal : Qt::Vertical);
  inner_->addWidget(pane(arrangement_.first));
  inner_->addWidget(pane(arrangement_.second));
  if (arrangement_.paneThreeFirst) {
    outer_->addWidget(pane(arrangement_.third));
    outer_->addWidget(inner_);
  } else {
    outer_->addWidget(inner_);
    outer_->addWidget(pane(arrangement_.third));
  }
  // The first cell keeps its size; the second takes what the window adds.
  for (QSplitter* splitter : {outer_, inner_}) {
    splitter->setChildrenCollapsible(false);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
  }
  outer_->setSizes({static_cast<int>(first), 10000});
  inner_->setSizes({static_cast<int>(split), 10000});
}

void CNNTPDoc::savePaneSizes() {
  if (!savesSizes_) return;
  const auto [firstName, splitName] = NewsLayoutSizeNames(arrangement_.layout);
  WriteNewsNumber(firstName, static_cast<std::uint32_t>(outer_->sizes().value(0)));
  WriteNewsNumber(splitName, static_cast<std::uint32_t>(inner_->sizes().value(0)));
}

QAction* CNNTPDoc::addCommand(QMenu* menu, NewsCommand command, const QString& label,
                              const QString& prompt) {
  auto* action = new QAction(label, this);
  action->setStatusTip(prompt.section(QLatin1Char('\n'), 0, 0));
  const QKeySequence keys = Accelerator(label);
  // Ctrl+P is the main window's Print as well; the menu shows it only.
  if (!keys.isEmpty() && command != NewsCommand::Print) {
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
  }
  connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
  menu->addAction(action);
  actions_[command] = action;
  return action;
}

void CNNTPDoc::buildMenus() {
  using enum NewsCommand;
  QMenu* server = menuBar_->addMenu(QStringLiteral("&Server"));
  addCommand(server, Connect, QStringLiteral("&Connect..."),
             QStringLiteral("Connect to news server."));
  addCommand(server, Disconnect, QStringLiteral("&Disconnect"),
             QStringLiteral("Disconnect from news server."));

  QMenu* groups = menuBar_->addMenu(QStringLiteral("&Newsgroups"));
  addCommand(groups, Find, QStringLiteral("&Find...\tCtrl+F"),
             QStringLiteral("Search for the specified text."));
  addCommand(groups, FindNext, QStringLiteral("Find Ne&xt...\tF3"),
             QStringLiteral("Repeat the last find operation."));
  groups->addSeparator();
  displayMenu_ = groups->addMenu(QStringLiteral("&Display"));
  addCommand(displayMenu_, DisplayAll, QStringLiteral("A&ll\tCtrl+L"),
             QStringLiteral("Display all newsgroups."));
  addCommand(displayMenu_, DisplaySubscribed, QStringLiteral("Su&bscribe\tCtrl+B"),
             QStringLiteral("Display only subscribe newsgroups."));
  addCommand(displayMenu_, DisplayUnsubscribed, QStringLiteral("U&nsubscribe\tCtrl+M"),
             QStringLiteral("Display only unsubscribe newsgroups."));
  addCommand(groups, RefreshGroupList, QStringLiteral("&Refresh Group List..."),
             QStringLiteral("To list and subscribe to any newly added newsgroups on the server."));
  addCommand(groups, ToggleSubscription, QStringLiteral("S&ubscribe/Unsubscribe\tCtrl+U"),
             QStringLiteral("Toggle the subscription status of the selected newsgroup(s)."));
  groups->addSeparator();
  addCommand(groups, CatchUp, QStringLiteral("&Catching Up\tCtrl+K"),
             QStringLiteral("Mark all unread articles in this newsgroup as read."));
  addCommand(groups, CatchUpThread, QStringLiteral("Catc&hing Up - Thread\tCtrl+J"),
             QStringLiteral("Mark all unread articles as read in the current thread."));
  addCommand(groups, ThreadUnthread, QStringLiteral("&Thread/Unthread\tCtrl+T"),
             QStringLiteral("Toggle the thread status for reading."));
  addCommand(groups, NextThread, QStringLiteral("&Next Thread\tCtrl+W"),
             QStringLiteral("Move to the next thread, if any."));
  addCommand(groups, PreviousThread, QStringLiteral("&Previous Thread\tCtrl+Q"),
             QStringLiteral("Move to the previous thread, if any."));
  addCommand(groups, RetrievePrevious, QStringLiteral("Retrieve Pre&vious Articles"),
             QStringLiteral("Retrieves previous articles, if any."));
  addCommand(groups, RetrieveNew, QStringLiteral("Retrieve Ne&w Articles"),
             QStringLiteral("Retrieves new articles, if any."));
  groups->addSeparator();
  addCommand(groups, NewArticle, QStringLiteral("New &Article\tCtrl+R"),
             QStringLiteral("Post a new article to the selected newsgroup."));
  groups->addSeparator();
  addCommand(groups, FullRowSelection, QStringLiteral("Full Row &Selection"),
             QStringLiteral("Display information about each item using the full row."))
      ->setCheckable(true);

  QMenu* text = menuBar_->addMenu(QStringLiteral("Article &View"));
  addCommand(text, SaveArticle, QStringLiteral("&Save Article"),
             QStringLiteral("Save the article."));
  addCommand(text, Print, QStringLiteral("&Print...\tCtrl+P"),
             QStringLiteral("Print the active document.\nPrint"));
  addCommand(text, Rot13, QStringLiteral("&rot13"),
             QStringLiteral("Decrypt an article posted in rot13."));
  replyMenu_ = text->addMenu(QStringLiteral("R&eply to Newsgroup"));
  addCommand(replyMenu_, IncludeArticle, QStringLiteral("Include Article"),
             QStringLiteral("Post a reply to the current article via Newsgroup. Include the "
                            "original article."));
  addCommand(replyMenu_, ExcludeArticle, QStringLiteral("Do not Include Article"),
             QStringLiteral("Post a reply to the current article via Newsgroup. Do not include "
                            "the original article."));
  addCommand(text, CancelArticle, QStringLiteral("&Cancel Article"),
             QStringLiteral("Cancel the article."));
  text->addSeparator();
  addCommand(text, SetFont, QStringLiteral("Set &Font..."),
             QStringLiteral("Select font for the Article View window."));
  for (QMenu* menu : {server, groups, text}) {
    connect(menu, &QMenu::aboutToShow, this, &CNNTPDoc::updateCommands);
  }
  for (NewsCommand checkable : {DisplayAll, DisplaySubscribed, DisplayUnsubscribed}) {
    actions_[checkable]->setCheckable(true);
  }
}

void CNNTPDoc::setActivePane(NewsPane pane) {
  active_ = pane;
  updateCommands();
}

bool CNNTPDoc::commandEnabled(NewsCommand command) const {
  using enum NewsCommand;
  const bool onGroups = active_ == NewsPane::Groups;
  const bool onArticles = active_ == NewsPane::Articles;
  const bool onText = active_ == NewsPane::Text;
  const bool groupRows = groups_->groups().rowCount() > 0;
  const bool articleRows = articles_->topLevelItemCount() > 0;
  const bool listing = groups_->connected() && !groups_->refreshing();
  switch (command) {
    case Connect:
      return groups_->canConnect();
    case Disconnect:
      return groups_->canDisconnect();
    case Find:
    case FindNext:
    case ToggleSubscription:
      return onGroups && groupRows;
    case DisplayAll:
    case DisplaySubscribed:
    case DisplayUnsubscribed:
    case RefreshGroupList:
      return onGroups && listing;
    case FullRowSelection:
      return (onGroups && groupRows) || (onArticles && articleRows);
    case CatchUp:
      return onArticles && articles_->flatMode() && articleRows;
    case CatchUpThread:
    case NextThread:
    case PreviousThread:
      return onArticles && !articles_->flatMode() && articleRows;
    case ThreadUnthread:
      return onArticles && articleRows;
    case RetrievePrevious:
    case RetrieveNew:
      return onArticles && articles_->groupOpen();
    case NewArticle:
      return onArticles && articles_->groupOpen() && articles_->postingAllowed();
    case SaveArticle:
    case Print:
    case Rot13:
    case IncludeArticle:
    case ExcludeArticle:
      return onText && text_->hasArticle();
    case CancelArticle:
      return onText && text_->hasArticle() && text_->ownArticle();
    case SetFont:
      return onText;
  }
  return false;
}

bool CNNTPDoc::commandChecked(NewsCommand command) const {
  switch (command) {
    case NewsCommand::DisplayAll:
      return groups_->displayMode() == kNewsDisplayAll;
    case NewsCommand::DisplaySubscribed:
      return groups_->displayMode() == kNewsDisplaySubscribed;
    case NewsCommand::DisplayUnsubscribed:
      return groups_->displayMode() == kNewsDisplayUnsubscribed;
    case NewsCommand::FullRowSelection:
      return active_ == NewsPane::Articles ? articles_->fullRowSelection()
                                           : groups_->fullRowSelection();
    default:
      return false;
  }
}

void CNNTPDoc::updateCommands() {
  if (actions_.empty()) return;
  for (const auto& [command, action] : actions_) {
    action->setEnabled(commandEnabled(command));
    if (action->isCheckable()) action->setChecked(commandChecked(command));
  }
  displayMenu_->setEnabled(active_ != NewsPane::Articles);
  replyMenu_->setEnabled(active_ != NewsPane::Groups && text_->hasArticle());
}

void CNNTPDoc::runCommand(NewsCommand command) {
  updateCommands();
  if (!commandEnabled(command)) return;
  using enum NewsCommand;
  switch (command) {
    case Connect:
      groups_->connectToServer();
      break;
    case Disconnect:
      groups_->disconnect();
      break;
    case Find:
      groups_->find();
      break;
    case FindNext:
      groups_->findNext();
      break;
    case DisplayAll:
      groups_->showMode(kNewsDisplayAll);
      break;
    case DisplaySubscribed:
      groups_->showMode(kNewsDisplaySubscribed);
      break;
    case DisplayUnsubscribed:
      groups_->showMode(kNewsDisplayUnsubscribed);
      break;
    case RefreshGroupList:
      groups_->refreshGroupList();
      break;
    case ToggleSubscription:
      groups_->toggleSubscription();
      break;
    case FullRowSelection:
      if (active_ == NewsPane::Articles) {
        articles_->toggleFullRowSelection();
      } else {
        groups_->toggleFullRowSelection();
      }
      break;
    case CatchUp:
      articles_->catchUp();
      break;
    case CatchUpThread:
      articles_->catchUpThread();
      break;
    case ThreadUnthread:
      articles_->toggleThreaded();
      break;
    case NextThread:
      articles_->nextThread();
      break;
    case PreviousThread:
      articles_->previousThread();
      break;
    case RetrievePrevious:
      articles_->retrievePrevious();
      break;
    case RetrieveNew:
      articles_->retrieveNew();
      break;
    case NewArticle:
      articles_->newArticle();
      break;
    case SaveArticle:
      text_->saveArticle();
      break;
    case Print:
      text_->print();
      break;
    case Rot13:
      text_->rot13();
      break;
    case IncludeArticle:
      text_->includeArticle();
      break;
    case ExcludeArticle:
      text_->excludeArticle();
      break;
    case CancelArticle:
      text_->cancelArticle();
      break;
    case SetFont:
      text_->setArticleFont();
      break;
  }
  updateCommands();
}

}  // namespace netrove
