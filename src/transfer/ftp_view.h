#pragma once
// The FTP window: a tab control with the Login, Status and Directories
// pages over one FTP connection, the "FTP &Commands" menu, and a status bar
// that shows how far the running transfer has come. The connection's
// threads never touch a widget: everything they report is queued onto the
// GUI thread first.
#include <QString>
#include <QTabWidget>
#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include "base/password_store.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_folder_job.h"
#include "transfer/ftp_prompts.h"
#include "transfer/ftp_tree_ctrl.h"
#include "widgets/tool_view.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace netrove {

class CRecentHostBox;
class CTranscriptSink;
class CTranscriptView;
class CFtpTlsChoice;

class CFtpLoginPage : public QWidget {
  Q_OBJECT

 public:
  explicit CFtpLoginPage(QWidget* parent = nullptr);
  // The servers last connected to from an FTP window, most recent first.
  CRecentHostBox* hostBox() const { return host_; }
  QLineEdit* hostEdit() const;
  QLineEdit* userEdit() const { return user_; }
  QLineEdit* passwordEdit() const { return password_; }
  QLineEdit* accountEdit() const { return account_; }
  // Passive data connections: the user's stored choice, on for a new user.
  QCheckBox* passiveBox() const { return passive_; }
  // Keep the typed password in the keyring; an empty Password field then
  // takes the kept one. The user's stored choice, off for a new user.
  QCheckBox* rememberBox() const { return remember_; }
  // Plain, TLS if offered, TLS required or implicit: the stored choice.
  CFtpTlsChoice* tlsChoice() const { return tls_; }
  QPushButton* addressButton() const { return address_; }
  QPushButton* connectButton() const { return connect_; }
  QPushButton* quitButton() const { return quit_; }
  // Connected: the fields are locked, Quit is offered.
  void lock();
  // The connection ended: fields back, with the connection's user and password.
  void unlock(const FtpLogin& reset);
  QWidget* firstControl() const;

 signals:
  void connectWanted();
  void quitWanted();
  void addressWanted();

 private:
  // Everything but Quit, which takes the opposite state.
  void setLoginControlsEnabled(bool enabled);

  CRecentHostBox* host_;
  QLineEdit* user_;
  QLineEdit* password_;
  QLineEdit* account_;
  QCheckBox* remember_;
  QCheckBox* passive_;
  CFtpTlsChoice* tls_;
  QPushButton* address_;
  QPushButton* connect_;
  QPushButton* quit_;
};

class CFtpStatusPage : public QWidget {
  Q_OBJECT

 public:
  explicit CFtpStatusPage(QWidget* parent = nullptr);
  CTranscriptView* transcript() const { return transcript_; }

 private:
  CTranscriptView* transcript_;
};

class CFtpDirectoriesPage : public QWidget {
  Q_OBJECT

 public:
  CFtpDirectoriesPage(CFtpPrompts& prompts, IMainWindowReporter& reporter,
                      QWidget* parent = nullptr);
  CFtpTreeCtrl* remoteTree() const { return remote_; }
  CFtpTreeCtrl* localTree() const { return local_; }
  // The tree that asked last: the results of its operation go to it.
  CFtpTreeCtrl* requester() const { return requester_; }
  void setRequester(CFtpTreeCtrl* tree) { requester_ = tree; }

 signals:
  void operationRequested(CFtpTreeCtrl* tree, const netrove::FtpRequest& request);
  void localEditWanted(const QString& path);

 private:
  CFtpTreeCtrl* remote_;
  CFtpTreeCtrl* local_;
  CFtpTreeCtrl* requester_;
};

// The three pages; selecting one moves the focus to its first control.
class CFtpTabCtrl : public QTabWidget {
  Q_OBJECT

 public:
  CFtpTabCtrl(CFtpPrompts& prompts, IMainWindowReporter& reporter, QWidget* parent = nullptr);
  CFtpLoginPage* loginPage() const { return login_; }
  CFtpStatusPage* statusPage() const { return status_; }
  CFtpDirectoriesPage* directoriesPage() const { return directories_; }

 private:
  void focusPage(int index);

  CFtpLoginPage* login_;
  CFtpStatusPage* status_;
  CFtpDirectoriesPage* directories_;
};

class CFtpView : public CToolView {
  Q_OBJECT

 public:
  // `prompts` answers the window's questions (nullptr: the real dialogs).
  explicit CFtpView(CToolServices& services, std::unique_ptr<CFtpPrompts> prompts = nullptr,
                    QWidget* parent = nullptr);
  ~CFtpView() override;

  int helpContext() const override;

  CFtpTabCtrl* tabs() const { return tabs_; }
  CFtpLoginPage* loginPage() const { return tabs_->loginPage(); }
  CFtpTreeCtrl* remoteTree() const;
  CFtpTreeCtrl* localTree() const;
  CTranscriptView* transcript() const;
  CTranscriptView* printableTranscript() const override { return transcript(); }
  QString printTitle() const override;
  CFtpConnection& connection() { return *connection_; }
  QMenu* commandsMenu() const { return menu_; }
  QAction* commandAction(int id) const;
  QLabel* progressLabel() const { return progress_; }
  QPushButton* closeButton() const { return close_; }

  // 32826 (ASCII) or 32827 (Image): the user's stored choice, Image for a
  // new user (a binary file sent as text arrives corrupted).
  int transferMode() const { return transferMode_; }
  // Applies the enable rules to the menu's items.
  void updateCommandStates();
  // Asks whether to trust a certificate that could not be verified (a seam
  // for the tests); yes pins it and connects again.
  using TrustQuestion = std::function<bool(const TlsHandshakeReport&, const std::string& host)>;
  void setTrustQuestion(TrustQuestion question) { trustQuestion_ = std::move(question); }
  // Where remembered passwords are kept: the desktop keyring unless a test
  // gives a store of its own.
  void setPasswordStore(IPasswordStore& store) { passwords_ = &store; }

 private:
  class Events;
  friend class Events;
  class FolderSink;
  friend class FolderSink;

  void buildMenu();
  void runCommand(int id);
  void queueWithBusyRule(FtpCommand command, std::optional<QString> argument = std::nullopt);
  void changeToParent();
  void showContextMenu(CFtpTreeCtrl* tree, const QPoint& global);
  CFtpTreeCtrl* focusedTree() const;

  void connectToServer();
  void startConnection(const FtpLogin& login);
  bool takePasswords(FtpLogin& login);
  bool takeProxyPassword(FtpLogin& login);
  IPasswordStore& passwords();
  void askTrust(const TlsHandshakeReport& report);
  void quit();
  void pickHost();
  void onLoginEnded();
  void forgetRefusedPassword();
  void onDirectoriesNotice(int code);
  void startOperation(CFtpTreeCtrl* tree, FtpRequest request);
  void startFolderJob(CFtpTreeCtrl* tree, FtpFolderJobPlan plan);
  void endFolderJob(CFtpTreeCtrl* tree, const FtpFolderSummary& summary);
  std::string chosenEditor();
  void editLocalFile(const QString& path);
  FtpTransferType transferType() const;
  void setTransferMode(int id);
  void startProgress();
  void showProgress(std::uint64_t bytes);

  std::unique_ptr<CFtpPrompts> prompts_;
  CFtpTabCtrl* tabs_;
  QPushButton* close_;
  QPushButton* help_;
  QMenu* menu_ = nullptr;
  std::map<int, QAction*> actions_;
  std::vector<QMenu*> connectionMenus_;
  QLabel* progress_;
  int transferMode_;
  std::chrono::steady_clock::time_point progressStart_;

  std::unique_ptr<Events> events_;
  // The folder job running (at most one: the remote tree is busy with it).
  std::unique_ptr<FolderSink> folderSink_;
  std::unique_ptr<CFtpFolderJob> folderJob_;
  std::unique_ptr<CTranscriptSink> sink_;
  std::unique_ptr<CFtpConnection> connection_;
  FtpLogin lastLogin_;  // what the last Connect used, for connecting again once trusted
  TrustQuestion trustQuestion_;
  IPasswordStore* passwords_ = nullptr;  // DesktopPasswords() unless a test gave one
};

}  // namespace netrove
