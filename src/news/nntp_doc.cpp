#include "news/nntp_doc.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QResizeEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include "base/certificate_pins.h"
#include "base/command_ids.h"
#include "base/host_port.h"
#include "news/news_post_window.h"
#include "news/news_server.h"
#include "news/news_settings.h"
#include "news/nntp_article_view.h"
#include "news/nntp_connection.h"
#include "news/nntp_event_queue.h"
#include "news/nntp_group_view.h"
#include "news/nntp_thread_view.h"
#include "widgets/keyring_passwords.h"
#include "widgets/shell_context.h"

namespace netrove {
namespace {

// A label's accelerator ("...\tCtrl+F") as a key sequence.
QKeySequence Accelerator(const QString& label) {
  const qsizetype tab = label.indexOf(QLatin1Char('\t'));
  return tab < 0 ? QKeySequence() : QKeySequence(label.mid(tab + 1));
}

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FromBytes(const std::string& text) { return QString::fromUtf8(text); }

// newsgroupsRetrieveTheList.
constexpr std::uint32_t kRetrieveListYes = 0;
constexpr std::uint32_t kRetrieveListAsk = 2;

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
  saveMarks_.setSingleShot(true);
  saveMarks_.setInterval(kSaveMarksDelay);
  connect(&saveMarks_, &QTimer::timeout, this, [this] {
    if (connection_) NewsServers().Save(state_, reporter());
  });
  updateCommands();
}

CNNTPDoc::~CNNTPDoc() {
  QObject::disconnect(focusWatch_);
  savePaneSizes();
  if (connection_ || dropped_) {
    closeConnection();
    NewsServers().Leave(state_, windowId(), reporter());
  }
  // The panes reach this window while they close: they go first.
  actions_.clear();
  delete groups_;
  delete articles_;
  delete text_;
}

int CNNTPDoc::helpContext() const { return CommandHelpContext(kCmdNewsreader); }

bool CNNTPDoc::canPrint() const { return text_->hasArticle(); }

int CNNTPDoc::printTo(QPrinter& printer) const { return text_->printTo(printer); }

void CNNTPDoc::saveBeforeExit() {
  if (!connection_ && !dropped_) return;
  saveMarks_.stop();
  NewsServers().Save(state_, reporter());
}

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
  for (QSplitter* splitter : {outer_, inner_}) {
    connect(splitter, &QSplitter::splitterMoved, this, [this] { panesMoved_ = true; });
  }
  // The group names, once listed, widen the group list's pane.
  connect(groups_->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
    if (column == 0) shareOutPanes();
  });
}

void CNNTPDoc::resizeEvent(QResizeEvent* event) {
  CToolView::resizeEvent(event);
  shareOutPanes();
}

void CNNTPDoc::shareOutPanes() {
  if (savesSizes_ || panesMoved_ || outer_->width() <= 0 || outer_->height() <= 0) return;
  const PaneSizeWish wish{static_cast<int>(kNewsDefaultPaneSize),
                          static_cast<int>(kNewsDefaultSplitSize), groups_->columnsWidth()};
  const PaneSizes sizes =
      ShareOutPanes(arrangement_, wish, outer_->width(), outer_->height(), outer_->handleWidth());
  outer_->setSizes({sizes.outerFirst, sizes.outerSecond});
  inner_->setSizes({sizes.innerFirst, sizes.innerSecond});
}

void CNNTPDoc::savePaneSizes() {
  if (!savesSizes_) return;
  const auto [firstName, splitName] = NewsLayoutSizeNames(arrangement_.layout);
  WriteNewsNumber(firstName, static_cast<std::uint32_t>(outer_->sizes().value(0)));
  WriteNewsNumber(splitName, static_cast<std::uint32_t>(inner_->sizes().value(0)));
}

void CNNTPDoc::buildMenu(QMenu* menu, NewsMenu which) {
  for (const NewsMenuEntry& entry : NewsMenuEntries(which)) {
    if (entry.kind == NewsMenuEntry::Kind::Separator) {
      menu->addSeparator();
      continue;
    }
    const QString label = FromView(entry.label);
    if (entry.kind == NewsMenuEntry::Kind::Submenu) {
      QMenu* submenu = menu->addMenu(label);
      submenus_[entry.submenu] = submenu;
      buildMenu(submenu, entry.submenu);
      continue;
    }
    auto* action = new QAction(label, this);
    action->setStatusTip(FromView(entry.prompt).section(QLatin1Char('\n'), 0, 0));
    action->setCheckable(entry.checkable);
    const QKeySequence keys = Accelerator(label);
    // Ctrl+P is the main window's Print as well; the menu shows it only.
    if (!keys.isEmpty() && entry.command != NewsCommand::Print) {
      action->setShortcut(keys);
      action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
      addAction(action);
    }
    const NewsCommand command = entry.command;
    connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    menu->addAction(action);
    actions_[command] = action;
  }
}

void CNNTPDoc::buildMenus() {
  for (const NewsMenu which : kNewsMenuBar) {
    QMenu* menu = menuBar_->addMenu(FromView(NewsMenuTitle(which)));
    buildMenu(menu, which);
    connect(menu, &QMenu::aboutToShow, this, &CNNTPDoc::updateCommands);
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
  const bool listing = connected() && !groups_->refreshing();
  switch (command) {
    case Connect:
      return canConnect();
    case Disconnect:
      return canDisconnect();
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
  submenus_.at(NewsMenu::Display)->setEnabled(active_ != NewsPane::Articles);
  submenus_.at(NewsMenu::Reply)->setEnabled(active_ != NewsPane::Groups && text_->hasArticle());
  if (printable_ != canPrint()) {
    printable_ = canPrint();
    emit printEnabledChanged();
  }
}

void CNNTPDoc::runCommand(NewsCommand command) {
  updateCommands();
  if (!commandEnabled(command)) return;
  using enum NewsCommand;
  switch (command) {
    case Connect:
      connectToServer();
      break;
    case Disconnect:
      disconnect();
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
      print(this);
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

// --- the connection ---------------------------------------------------------

void CNNTPDoc::connectToServer() {
  if (!canConnect()) return;
  const NewsSettings settings = ReadNewsSettings();
  std::uint16_t port = settings.portNumber == 0 || settings.portNumber > 65535
                           ? kNewsDefaultPort
                           : static_cast<std::uint16_t>(settings.portNumber);
  const auto entered = dialogs_.askServer(this, FromBytes(settings.serverLocation));
  if (!entered || entered->trimmed().isEmpty()) return;
  // The prompt takes HOST[:PORT] as the command line does; a port given
  // there wins over the setting.
  const std::string text = entered->trimmed().toStdString();
  std::string server;
  if (!SplitServerAndPort(text, server, port)) {
    reporter().PostToolMessage(kSourceNewsreader,
                               "\"" + text + "\" names no host, or a port outside 1 to 65535.");
    return;
  }
  server_ = server;
  port_ = port;
  security_ = NntpSecurity{};
  security_.mode = settings.tlsMode;
  security_.user = settings.signInUser;
  security_.plainSignInAllowed = settings.plainSignIn;
  if (!takePassword()) return;
  retrieveList_ = settings.newsgroupsRetrieveTheList == kRetrieveListYes;
  if (settings.newsgroupsRetrieveTheList == kRetrieveListAsk) {
    retrieveList_ = dialogs_.askRefreshList(this);
  }
  openServer();
}

// The keyring is looked for only once a password is needed: a window
// without a user name never talks to it.
IPasswordStore& CNNTPDoc::passwords() {
  if (passwords_ == nullptr) passwords_ = &DesktopPasswords();
  return *passwords_;
}

bool CNNTPDoc::takePassword() {
  if (security_.user.empty()) return true;
  passwordKey_ = {"nntp", server_, port_, security_.user};
  if (auto known = passwords().Find(passwordKey_)) {
    security_.password = std::move(*known);
    return true;
  }
  const auto typed = dialogs_.askPassword(this, FromBytes(security_.user), FromBytes(server_));
  if (!typed) return false;
  security_.password = typed->toStdString();
  passwords().Remember(passwordKey_, security_.password);
  return true;
}

void CNNTPDoc::openServer() {
  // A certificate the user pinned is taken whatever its issuer.
  security_.tls.pinnedSha256 =
      FindPinnedCertificate(PinnedCertificatesFile(), server_, port_).value_or(std::string());
  if (!startConnection()) return;
  state_ = NewsServerName(server_, port_);
  setBusy(true);
  setDocumentTitle(QStringLiteral("Newsreader (%1)").arg(FromBytes(server_)));
  articles_->startCheckTimer();
  text_->setServerName(server_);
  NewsServers().Join(state_, windowId(), NewsrcPath(ReadNewsSettings().newsgroupsFolder, state_),
                     reporter());
  groups_->startListing(retrieveList_);
  updateCommands();
}

bool CNNTPDoc::startConnection() {
  events_ = new CNntpEventQueue(static_cast<INntpEvents&>(*this), this);
  connection_ = std::make_unique<CNNTPConnection>(port_, *events_, reporter(), server_);
  connection_->SetReplyTimeout(std::chrono::seconds(ReadNewsSettings().replyTimeout));
  connection_->SetConnectSettings(ReadNetworkSettings());
  connection_->SetSecurity(security_);
  if (connection_->Start()) return true;
  connection_.reset();
  events_->deleteLater();
  events_ = nullptr;
  return false;
}

void CNNTPDoc::closeConnection() {
  if (!connection_) return;
  events_->close();
  connection_->Close();
  connection_.reset();
  events_->deleteLater();
  events_ = nullptr;
}

CNNTPConnection* CNNTPDoc::link() {
  if (dropped_) {
    dropped_ = false;
    if (!startConnection()) {
      endConnection();
      return nullptr;
    }
    setBusy(true);
    // The open group is selected again first, so the command finds it.
    if (articles_->groupOpen()) {
      NntpWalk select;
      select.group = articles_->groupName();
      connection_->QueueWalk(std::move(select));
    }
  }
  return connection_.get();
}

void CNNTPDoc::disconnect() {
  if (dropped_) {
    endConnection();
  } else if (connection_) {
    connection_->Disconnect();
  }
}

bool CNNTPDoc::clientBusy() const { return connection_ && !connection_->IsIdle(); }

bool CNNTPDoc::queueGroupList() {
  CNNTPConnection* connection = link();
  return connection && connection->QueueCommand(kNntpList) == QueueOutcome::Queued;
}

void CNNTPDoc::openGroup(const std::string& group) {
  if (!link()) return;
  if (articles_->openGroup(group, state_)) {
    text_->openGroup(group);
    setDocumentTitle(
        QStringLiteral("Newsreader (%1 - %2)").arg(FromBytes(server_), FromBytes(group)));
  }
  connection_->QueueCommand(kNntpGroup, group);
  updateCommands();
}

void CNNTPDoc::walk(NntpWalk walk) {
  if (CNNTPConnection* connection = link()) connection->QueueWalk(std::move(walk));
}

void CNNTPDoc::fetch(const std::string& id, bool bodyOnly) {
  if (CNNTPConnection* connection = link()) {
    connection->QueueCommand(bodyOnly ? kNntpBody : kNntpArticle, id);
  }
}

// The posting window waits on this window: once it is gone, nothing can be
// sent and the posting window keeps its text.
void CNNTPDoc::openPostWindow(NewsPostMode mode, const NewsPostArticle& article,
                              const std::string& newsgroups) {
  auto* shell = dynamic_cast<IShellContext*>(&toolServices());
  if (shell == nullptr) return;
  OpenNewsPostWindow(
      *shell, this,
      [this](std::string wire, NntpWindow window) { return queuePost(std::move(wire), window); },
      mode, newsgroups, article);
}

bool CNNTPDoc::queuePost(std::string article, NntpWindow window) {
  CNNTPConnection* connection = link();
  if (!connection || connection->Ended()) return false;
  return connection->QueueCommand(kNntpPost, std::move(article), {window, windowId()}) ==
         QueueOutcome::Queued;
}

void CNNTPDoc::setGroupCount(const std::string& group, long count) {
  groups_->setCount(group, count);
}

void CNNTPDoc::lowerGroupCount(const std::string& group, long by) {
  groups_->lowerCount(group, by);
}

void CNNTPDoc::readMarksChanged() {
  if (!saveMarks_.isActive()) saveMarks_.start();
}

void CNNTPDoc::groupDisplayChanged() {
  articles_->connectionClosed(false);
  text_->clearArticle();
  setDocumentTitle(QStringLiteral("Newsreader (%1)").arg(FromBytes(server_)));
  updateCommands();
}

void CNNTPDoc::articleRequested(bool own, bool headerIncluded) {
  text_->articleRequested(own, headerIncluded);
}

void CNNTPDoc::articleShown(bool available) { articles_->articleArrived(available); }

void CNNTPDoc::compose(std::optional<std::string> text, bool cancel) {
  articles_->compose(std::move(text), cancel);
}

// --- what the connection says ------------------------------------------------

void CNNTPDoc::BusyChanged(bool busy) {
  groups_->setBusyCursor(busy);
  updateCommands();
}

void CNNTPDoc::Greeted(bool postingAllowed) {
  articles_->setPostingAllowed(postingAllowed);
  updateCommands();
}

void CNNTPDoc::GroupListArrived(std::string list) {
  articles_->clear();
  groups_->groupListArrived(list);
}

void CNNTPDoc::GroupSelected(const NntpGroupCounts& counts, bool refreshed) {
  articles_->groupSelected(counts, refreshed);
  updateCommands();
}

void CNNTPDoc::GroupUnavailable(NntpGroupProblem problem) {
  articles_->groupUnavailable(problem);
  updateCommands();
}

void CNNTPDoc::HeadersArrived(std::vector<NntpHeaderBlock> headers, int step) {
  articles_->fileHeaders(headers, step);
}

void CNNTPDoc::ArticleArrived(std::optional<std::string> text) {
  text_->articleArrived(text);
  updateCommands();
}

void CNNTPDoc::PostEnded(NntpWindow window, NntpPostOutcome outcome, const std::string& reply) {
  if (window != windowId()) {
    DeliverNewsPostOutcome(window, outcome);
    return;
  }
  const std::string because = reply.empty() ? std::string() : "\r\n" + reply;
  switch (outcome) {
    case NntpPostOutcome::Posted:
      reporter().PostToolMessage(kSourceNewsreader, "Article posted OK.");
      break;
    case NntpPostOutcome::NotAllowed:
      reporter().PostToolMessage(kSourceNewsreader,
                                 "Command: POST\r\nPosting not allowed." + because);
      break;
    case NntpPostOutcome::Failed:
      reporter().PostToolMessage(kSourceNewsreader, "Command: POST\r\nPosting failed." + because);
      break;
    case NntpPostOutcome::Unanswered:
      break;
  }
}

void CNNTPDoc::CommandRefused(int command, const std::string& reply) {
  // A refused password is asked again next time, not offered again.
  if (command == kNntpAuthUser || command == kNntpAuthPass) passwords().Forget(passwordKey_);
  const std::string keyword(NntpKeyword(command));
  std::string text = "Command: " + keyword + "\r\n";
  if (reply.starts_with("502")) {
    text += "Access restriction or permission denied.";
  } else if (reply.starts_with("503")) {
    text += "Program fault - command not performed.";
  } else {
    text += reply;
  }
  reporter().PostToolMessage(kSourceNewsreader, text);
  if (command == kNntpList) groups_->groupListRefused();
  updateCommands();
}

// Trusted by the user, the certificate is pinned for this server and the
// window connects again once this connection has ended.
void CNNTPDoc::CertificateNotTrusted(const TlsHandshakeReport& report) {
  if (!dialogs_.askTrust(this, report, FromBytes(server_))) return;
  const std::string failure =
      PinCertificate(PinnedCertificatesFile(), server_, port_, report.certificate.sha256);
  if (!failure.empty()) {
    reporter().PostToolMessage(kSourceNewsreader, "The certificate was not pinned: " + failure);
    return;
  }
  retryTrusted_ = true;
}

// A server that drops an idle connection (INN does after a while) leaves
// the window as it is: the next command connects again.
void CNNTPDoc::Closed(NntpEnd end) {
  if (end == NntpEnd::ByServer && connection_) {
    reporter().PostToolMessage(kSourceNewsreader,
                               "The server closed the connection. The next command connects "
                               "again.");
    keepAfterDrop();
    return;
  }
  endConnection();
  if (std::exchange(retryTrusted_, false)) openServer();
}

void CNNTPDoc::keepAfterDrop() {
  closeConnection();
  dropped_ = true;
  NewsServers().Save(state_, reporter());
  groups_->setBusyCursor(false);
  setBusy(false);
  updateCommands();
}

void CNNTPDoc::endConnection() {
  if (!connection_ && !dropped_) return;
  closeConnection();
  dropped_ = false;
  saveMarks_.stop();
  NewsServers().Leave(state_, windowId(), reporter());
  groups_->connectionEnded();
  articles_->connectionClosed(true);
  text_->clearArticle();
  setDocumentTitle(QStringLiteral("Newsreader"));
  setBusy(false);
  updateCommands();
}

}  // namespace netrove
