#pragma once
// A newsreader window: the newsgroup list, the article list and the article
// text in two splitters arranged as the layout settings say, and the
// "Server", "Newsgroups" and "Article View" menus, whose commands act on the
// pane that last had the focus. The window owns the connection: it queues
// the commands, takes the connection's events on the GUI thread and hands
// each to the pane it concerns.
#include <QMenuBar>
#include <QTimer>
#include <chrono>
#include <map>
#include <memory>

#include "base/password_store.h"
#include "news/news_commands.h"
#include "news/news_dialogs.h"
#include "news/news_pane_host.h"
#include "news/nntp_connection.h"
#include "news/nntp_events.h"
#include "news/pane_layout.h"
#include "widgets/tool_view.h"

class QAction;
class QSplitter;

namespace netrove {

class CNNTPArticleView;
class CNNTPConnection;
class CNNTPGroupView;
class CNNTPThreadView;
class CNntpEventQueue;

class CNNTPDoc : public CToolView, public INewsPaneHost, private INntpEvents {
  Q_OBJECT

 public:
  explicit CNNTPDoc(CToolServices& services, INewsDialogs& dialogs = RealNewsDialogs(),
                    QWidget* parent = nullptr);
  ~CNNTPDoc() override;

  int helpContext() const override;
  // File > Print of the main window and Article View > Print print the
  // article shown.
  bool canPrint() const override;
  QString printTitle() const override { return QStringLiteral("Newsreader"); }
  int printTo(QPrinter& printer) const override;
  // Writes the read marks now, as leaving the server would.
  void saveBeforeExit() override;

  CNNTPGroupView& groupView() const { return *groups_; }
  CNNTPArticleView& articleView() const { return *articles_; }
  CNNTPThreadView& threadView() const { return *text_; }

  QAction* action(NewsCommand command) const { return actions_.at(command); }
  QMenuBar* menus() const { return menuBar_; }
  QSplitter* outerSplitter() const { return outer_; }
  QSplitter* innerSplitter() const { return inner_; }
  const PaneArrangement& arrangement() const { return arrangement_; }
  NewsPane activePane() const { return active_; }
  void setActivePane(NewsPane pane);

  // How long after a change the read marks are written.
  static constexpr std::chrono::milliseconds kSaveMarksDelay{2000};

  // Server menu.
  bool canConnect() const { return !connection_ && !dropped_; }
  bool canDisconnect() const { return connection_ != nullptr || dropped_; }
  void connectToServer();
  // The password of the user the settings name at `server_`: asked once per
  // session. False when the user cancelled.
  bool takePassword();
  // Where passwords are kept: the desktop keyring unless a test gives a
  // store.
  void setPasswordStore(IPasswordStore& store) { passwords_ = &store; }
  void disconnect();

  // INewsPaneHost
  INewsDialogs& dialogs() const override { return dialogs_; }
  IMainWindowReporter& reporter() override { return services().reporter(); }
  CToolServices& toolServices() override { return services(); }
  // Re-evaluates every command's enabled and checked state.
  void updateCommands() override;
  // Also while the server has dropped the connection: the next command
  // connects again.
  bool connected() const override { return connection_ != nullptr || dropped_; }
  bool clientBusy() const override;
  const std::string& serverName() const override { return state_; }
  bool queueGroupList() override;
  void openGroup(const std::string& group) override;
  void walk(NntpWalk walk) override;
  void fetch(const std::string& id, bool bodyOnly) override;
  void openPostWindow(NewsPostMode mode, const NewsPostArticle& article,
                      const std::string& newsgroups) override;
  void setGroupCount(const std::string& group, long count) override;
  void lowerGroupCount(const std::string& group, long by) override;
  void readMarksChanged() override;
  void groupDisplayChanged() override;
  void articleRequested(bool own, bool headerIncluded) override;
  void articleShown(bool available) override;
  void compose(std::optional<std::string> text, bool cancel) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Queues POST for posting window `window`; false when nothing was queued.
  bool queuePost(std::string article, NntpWindow window);
  // INntpEvents, on the GUI thread.
  void BusyChanged(bool busy) override;
  void Greeted(bool postingAllowed) override;
  void GroupListArrived(std::string list) override;
  void GroupSelected(const NntpGroupCounts& counts, bool refreshed) override;
  void GroupUnavailable(NntpGroupProblem problem) override;
  void HeadersArrived(std::vector<NntpHeaderBlock> headers, int step) override;
  void ArticleArrived(std::optional<std::string> text) override;
  void PostEnded(NntpWindow window, NntpPostOutcome outcome, const std::string& reply) override;
  void CommandRefused(int command, const std::string& reply) override;
  void CertificateNotTrusted(const TlsHandshakeReport& report) override;
  void Closed(NntpEnd end) override;

  void buildPanes();
  // Without stored pane sizes, the defaults with the article list's share,
  // until the user moves a splitter.
  void shareOutPanes();
  void buildMenus();
  void buildMenu(QMenu* menu, NewsMenu which);
  void runCommand(NewsCommand command);
  bool commandEnabled(NewsCommand command) const;
  bool commandChecked(NewsCommand command) const;
  QWidget* pane(NewsPane which) const;
  void savePaneSizes();
  void endConnection();
  bool startConnection();
  void openServer();
  void closeConnection();
  void keepAfterDrop();
  // The connection, made again after a drop; nullptr when there is none.
  CNNTPConnection* link();
  NntpWindow windowId() const { return reinterpret_cast<NntpWindow>(this); }

  INewsDialogs& dialogs_;
  CNNTPGroupView* groups_;
  CNNTPArticleView* articles_;
  CNNTPThreadView* text_;
  QMenuBar* menuBar_;
  QSplitter* outer_ = nullptr;
  QSplitter* inner_ = nullptr;
  PaneArrangement arrangement_;
  bool savesSizes_ = false;
  bool panesMoved_ = false;
  NewsPane active_ = NewsPane::Groups;
  std::map<NewsCommand, QAction*> actions_;
  std::map<NewsMenu, QMenu*> submenus_;
  QMetaObject::Connection focusWatch_;

  CNntpEventQueue* events_ = nullptr;
  std::unique_ptr<CNNTPConnection> connection_;
  std::string server_;
  std::string state_;  // the name the server's group state goes by
  std::uint16_t port_ = 0;
  NntpSecurity security_;
  IPasswordStore& passwords();
  IPasswordStore* passwords_ = nullptr;
  PasswordKey passwordKey_;
  bool retryTrusted_ = false;  // the user trusted the certificate: connect again
  bool retrieveList_ = false;
  bool dropped_ = false;  // the server closed; the window keeps what it shows
  bool printable_ = false;
  QTimer saveMarks_;
};

}  // namespace netrove
