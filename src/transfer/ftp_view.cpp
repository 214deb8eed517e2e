#include "transfer/ftp_view.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <atomic>
#include <cerrno>

#include "base/certificate_pins.h"
#include "base/command_ids.h"
#include "base/settings_store.h"
#include "base/tool_key_values.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_local_files.h"
#include "transfer/ftp_menu_commands.h"
#include "transfer/ftp_passwords.h"
#include "transfer/ftp_prompts.h"
#include "transfer/ftp_tls_choice.h"
#include "transfer/ftp_tree_ctrl.h"
#include "transfer/ftp_window_ids.h"
#include "widgets/address_book_dialog.h"
#include "widgets/certificate_trust_dialog.h"
#include "widgets/keyring_passwords.h"
#include "widgets/message_boxes.h"
#include "widgets/recent_host_box.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

constexpr const char* kFtpKey = "FTP";
constexpr const char* kPassiveValue = "Passive";
constexpr const char* kRememberValue = "Remember Password";
constexpr const char* kImageValue = "Image Transfers";

// A yes/no value of the FTP key; `fallback` when the user never chose.
bool StoredFtpChoice(const char* name, bool fallback) {
  bool flag = fallback;
  if (const auto key = OpenToolKey(kFtpKey, false)) ReadFlag(*key, name, flag);
  return flag;
}

QGroupBox* Framed(const QString& title, QWidget* inside) {
  auto* frame = new QGroupBox(title);
  auto* layout = new QVBoxLayout(frame);
  layout->addWidget(inside);
  return frame;
}

}  // namespace

// ---- what the connection's threads report, queued onto the GUI thread ----

class CFtpView::Events : public IFtpPageNotifier, public IFtpPanes, public IFtpQuestions {
 public:
  explicit Events(CFtpView& view) : view_(view) {}

  void NotifyPage(FtpPage page, int code) override {
    post([page, code](CFtpView& view) {
      if (page == FtpPage::Login) {
        if (code == kFtpConnectionEnded) view.onLoginEnded();
      } else {
        view.onDirectoriesNotice(code);
      }
    });
  }
  void Beep() override {
    post([](CFtpView& view) { view.prompts_->beep(); });
  }

  void Release() override {
    toRemote([](CFtpTreeCtrl& tree) { tree.release(); });
  }
  // Listings belong to the remote tree, whoever asked (the login's has no
  // asker); every other outcome to the tree that asked.
  void OperationEnded(std::uint64_t id, FtpOperationKind kind, FtpOutcome outcome) override {
    if (folderJob_) {
      post([id, kind, outcome](CFtpView& view) {
        if (view.folderJob_ && view.folderJob_->OnOperationEnded(id, outcome)) return;
        view.remoteTree()->operationEnded(kind, outcome);
      });
      return;
    }
    const auto end = [kind, outcome](CFtpTreeCtrl& tree) { tree.operationEnded(kind, outcome); };
    if (kind == FtpOperationKind::OpenFolder || kind == FtpOperationKind::List) {
      toRemote(end);
    } else {
      toRequester(end);
    }
  }
  // Parsed here, on the transfer's thread: a listing of 100,000 names costs
  // the window only the insertion.
  void ListingReceived(std::string text, std::string rootLabel) override {
    if (folderJob_) {
      post([text = std::move(text)](CFtpView& view) mutable {
        if (view.folderJob_) view.folderJob_->OnListing(std::move(text));
      });
      return;
    }
    auto entries = std::make_shared<std::vector<FtpListingEntry>>(ParseListing(text));
    const QString root = QString::fromStdString(rootLabel);
    post([entries, root](CFtpView& view) {
      view.remoteTree()->listingReceived(*entries, root);
      view.updateCommandStates();
    });
  }
  void SetNewItemLabel(std::string label) override {
    const QString text = QString::fromStdString(DisplayName(label));
    toRequester([text](auto& tree) { tree.setNewItemLabel(text); });
  }
  void ClearRemoteTree() override {
    toRemote([](CFtpTreeCtrl& tree) { tree.clearRemote(); });
  }
  // Only the latest count is shown, with one queued call at a time.
  void TransferProgress(std::uint64_t bytes) override {
    bytes_.store(bytes);
    if (progressQueued_.exchange(true)) return;
    post([this](CFtpView& view) {
      progressQueued_.store(false);
      if (view.folderJob_) {
        view.folderJob_->OnTransferProgress(bytes_.load());
      } else {
        view.showProgress(bytes_.load());
      }
    });
  }

  // Set on the GUI thread while a folder job runs: its results go to it.
  std::atomic<bool> folderJob_{false};

  // On the GUI thread, from the operation that is about to overwrite.
  bool ConfirmReplace(std::string_view fileName) override {
    return view_.prompts_->askYesNo(&view_, QString::fromStdString(ConfirmReplaceText(fileName)));
  }

 private:
  template <typename Action>
  void post(Action action) {
    QMetaObject::invokeMethod(
        &view_, [view = &view_, action = std::move(action)]() mutable { action(*view); },
        Qt::QueuedConnection);
  }
  template <typename Action>
  void toRemote(Action action) {
    post([action = std::move(action)](CFtpView& view) mutable { action(*view.remoteTree()); });
  }
  template <typename Action>
  void toRequester(Action action) {
    post([action = std::move(action)](CFtpView& view) mutable {
      action(*view.tabs_->directoriesPage()->requester());
    });
  }

  CFtpView& view_;
  std::atomic<std::uint64_t> bytes_{0};
  std::atomic<bool> progressQueued_{false};
};

// ---- the pages ----

CFtpLoginPage::CFtpLoginPage(QWidget* parent)
    : QWidget(parent),
      host_(new CRecentHostBox(kFtpKey)),
      user_(new QLineEdit),
      password_(new QLineEdit),
      account_(new QLineEdit),
      remember_(new QCheckBox(QStringLiteral("Remember password"))),
      passive_(new QCheckBox(QStringLiteral("Passive (the client opens data connections)"))),
      tls_(new CFtpTlsChoice(nullptr)),
      address_(new QPushButton(QStringLiteral("Address..."))),
      connect_(new QPushButton(QStringLiteral("Connect"))),
      quit_(new QPushButton(QStringLiteral("Quit"))) {
  password_->setEchoMode(QLineEdit::Password);
  account_->setEchoMode(QLineEdit::Password);
  auto* layout = new QGridLayout(this);
  // The host is typed into the line edit of its drop-down.
  struct Field {
    const char* label;
    QWidget* control;
    QLineEdit* edit;
  };
  const Field fields[] = {{"Host Name:", host_, hostEdit()},
                          {"User Name:", user_, user_},
                          {"Password:", password_, password_},
                          {"Account:", account_, account_}};
  int row = 0;
  for (const auto& [label, control, edit] : fields) {
    layout->addWidget(new QLabel(QString::fromLatin1(label)), row, 0);
    layout->addWidget(control, row, 1);
    connect(edit, &QLineEdit::returnPressed, this, &CFtpLoginPage::connectWanted);
    ++row;
  }
  layout->addWidget(address_, 0, 2);
  remember_->setChecked(StoredFtpChoice(kRememberValue, false));
  layout->addWidget(remember_, row++, 1);
  passive_->setChecked(StoredFtpChoice(kPassiveValue, true));
  layout->addWidget(passive_, row++, 1);
  layout->addWidget(new QLabel(QStringLiteral("Security:")), row, 0);
  layout->addWidget(tls_, row++, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(connect_);
  buttons->addWidget(quit_);
  layout->addLayout(buttons, row, 0, 1, 3);
  layout->setRowStretch(row + 1, 1);
  connect_->setDefault(true);
  quit_->setEnabled(false);
  const FtpLogin defaults;
  user_->setText(QString::fromStdString(defaults.userName));
  password_->setText(QString::fromStdString(defaults.password));
  connect(connect_, &QPushButton::clicked, this, &CFtpLoginPage::connectWanted);
  connect(quit_, &QPushButton::clicked, this, &CFtpLoginPage::quitWanted);
  connect(address_, &QPushButton::clicked, this, &CFtpLoginPage::addressWanted);
  connect(passive_, &QCheckBox::toggled, this,
          [](bool on) { (void)WriteToolValue(kFtpKey, kPassiveValue, on ? 1 : 0); });
  connect(remember_, &QCheckBox::toggled, this,
          [](bool on) { (void)WriteToolValue(kFtpKey, kRememberValue, on ? 1 : 0); });
}

QLineEdit* CFtpLoginPage::hostEdit() const { return host_->lineEdit(); }

void CFtpLoginPage::setLoginControlsEnabled(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{
           host_, user_, password_, account_, remember_, passive_, tls_, address_, connect_})
    control->setEnabled(enabled);
  quit_->setEnabled(!enabled);
}

void CFtpLoginPage::lock() {
  setLoginControlsEnabled(false);
  quit_->setFocus();
}

void CFtpLoginPage::unlock(const FtpLogin& reset) {
  setLoginControlsEnabled(true);
  connect_->setDefault(true);
  user_->setText(QString::fromStdString(reset.userName));
  password_->setText(QString::fromStdString(reset.password));
  account_->clear();
  host_->setFocus();
}

QWidget* CFtpLoginPage::firstControl() const {
  return host_->isEnabled() ? static_cast<QWidget*>(host_) : static_cast<QWidget*>(quit_);
}

CFtpStatusPage::CFtpStatusPage(QWidget* parent)
    : QWidget(parent), transcript_(new CTranscriptView) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Framed(QStringLiteral("Command/Reply Dialog"), transcript_));
}

CFtpDirectoriesPage::CFtpDirectoriesPage(CFtpPrompts& prompts, IMainWindowReporter& reporter,
                                         QWidget* parent)
    : QWidget(parent),
      remote_(new CFtpTreeCtrl(CFtpTreeCtrl::Side::Remote, prompts, reporter)),
      local_(new CFtpTreeCtrl(CFtpTreeCtrl::Side::Local, prompts, reporter)),
      requester_(remote_) {
  remote_->setPartner(local_);
  local_->setPartner(remote_);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(Framed(QStringLiteral("Remote"), remote_));
  layout->addWidget(Framed(QStringLiteral("Local"), local_));
  for (CFtpTreeCtrl* tree : {remote_, local_}) {
    connect(tree, &CFtpTreeCtrl::operationRequested, this,
            [this, tree](const FtpRequest& request) { emit operationRequested(tree, request); });
    connect(tree, &CFtpTreeCtrl::localEditWanted, this, &CFtpDirectoriesPage::localEditWanted);
  }
  local_->prepare();
}

CFtpTabCtrl::CFtpTabCtrl(CFtpPrompts& prompts, IMainWindowReporter& reporter, QWidget* parent)
    : QTabWidget(parent),
      login_(new CFtpLoginPage),
      status_(new CFtpStatusPage),
      directories_(new CFtpDirectoriesPage(prompts, reporter)) {
  addTab(login_, QStringLiteral("Login"));
  addTab(status_, QStringLiteral("Status"));
  addTab(directories_, QStringLiteral("Directories"));
  connect(this, &QTabWidget::currentChanged, this, &CFtpTabCtrl::focusPage);
}

void CFtpTabCtrl::focusPage(int index) {
  if (tabBar()->hasFocus()) return;
  QWidget* first = index == 0   ? login_->firstControl()
                   : index == 1 ? static_cast<QWidget*>(status_->transcript())
                                : static_cast<QWidget*>(directories_->localTree());
  first->setFocus();
}

// ---- the view ----

CFtpView::CFtpView(CToolServices& services, std::unique_ptr<CFtpPrompts> prompts, QWidget* parent)
    : CToolView(services, parent),
      prompts_(prompts ? std::move(prompts) : std::make_unique<CFtpPrompts>()),
      tabs_(new CFtpTabCtrl(*prompts_, services.reporter())),
      close_(new QPushButton(QStringLiteral("Close"))),
      help_(new QPushButton(QStringLiteral("Help"))),
      progress_(new QLabel),
      transferMode_(StoredFtpChoice(kImageValue, true) ? kCmdFtpImage : kCmdFtpAscii),
      events_(std::make_unique<Events>(*this)),
      sink_(std::make_unique<CTranscriptSink>(*transcript())),
      connection_(std::make_unique<CFtpConnection>(*sink_, services.reporter(), *events_, *events_,
                                                   *events_, SystemResolver())) {
  setDocumentTitle(QStringLiteral("File Transfer Protocol (FTP)"));
  progress_->setTextFormat(Qt::PlainText);
  auto* statusBar = new QStatusBar;
  statusBar->setSizeGripEnabled(false);
  statusBar->addWidget(progress_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(close_);
  buttons->addWidget(help_);
  auto* layout = new QVBoxLayout(this);
  buildMenu();
  layout->setMenuBar(menu_->parentWidget());
  layout->addWidget(tabs_, 1);
  layout->addLayout(buttons);
  layout->addWidget(statusBar);

  CFtpLoginPage* login = loginPage();
  connect(login, &CFtpLoginPage::connectWanted, this, &CFtpView::connectToServer);
  connect(login, &CFtpLoginPage::quitWanted, this, &CFtpView::quit);
  connect(login, &CFtpLoginPage::addressWanted, this, &CFtpView::pickHost);
  trustQuestion_ = [this](const TlsHandshakeReport& report, const std::string& host) {
    return AskToTrustCertificate(this, report, host);
  };
  connect(close_, &QPushButton::clicked, this, [this] {
    if (isCloseEnabled()) emit closeRequested();
  });
  connect(help_, &QPushButton::clicked, this, [this] { this->services().showHelp(helpContext()); });
  CFtpDirectoriesPage* directories = tabs_->directoriesPage();
  connect(directories, &CFtpDirectoriesPage::operationRequested, this, &CFtpView::startOperation);
  for (CFtpTreeCtrl* tree : {remoteTree(), localTree()}) {
    connect(tree, &CFtpTreeCtrl::folderJobRequested, this,
            [this, tree](const FtpFolderJobPlan& plan) { startFolderJob(tree, plan); });
  }
  connect(directories, &CFtpDirectoriesPage::localEditWanted, this, &CFtpView::editLocalFile);
  for (CFtpTreeCtrl* tree : {remoteTree(), localTree()}) {
    connect(tree, &CFtpTreeCtrl::contextMenuWanted, this,
            [this, tree](const QPoint& global) { showContextMenu(tree, global); });
  }
  connect(tabs_, &QTabWidget::currentChanged, this, &CFtpView::updateCommandStates);
  connect(qApp, &QApplication::focusChanged, this, &CFtpView::updateCommandStates);
  updateCommandStates();
}

CFtpView::~CFtpView() {
  // Focus moves while the children go; the menu is not to be updated then.
  disconnect(qApp, nullptr, this, nullptr);
  // The reader may be waiting for the transcript: let it go before the
  // connection waits for it.
  sink_->detach();
  connection_.reset();
}

int CFtpView::helpContext() const { return CommandHelpContext(kCmdFtp); }

CFtpTreeCtrl* CFtpView::remoteTree() const { return tabs_->directoriesPage()->remoteTree(); }
CFtpTreeCtrl* CFtpView::localTree() const { return tabs_->directoriesPage()->localTree(); }
CTranscriptView* CFtpView::transcript() const { return tabs_->statusPage()->transcript(); }
QString CFtpView::printTitle() const { return documentTitle(); }

QAction* CFtpView::commandAction(int id) const {
  const auto found = actions_.find(id);
  return found == actions_.end() ? nullptr : found->second;
}

// ---- the menu ----

void CFtpView::buildMenu() {
  auto* bar = new QMenuBar(this);
  menu_ = bar->addMenu(QStringLiteral("FTP &Commands"));
  QMenu* submenu = nullptr;
  std::string_view submenuLabel;
  for (const FtpMenuCommand& command : kFtpMenuCommands) {
    if (command.id == 0) {
      menu_->addSeparator();
      continue;
    }
    if (command.submenu.empty()) {
      submenu = nullptr;
    } else if (submenu == nullptr || command.submenu != submenuLabel) {
      submenuLabel = command.submenu;
      submenu = menu_->addMenu(QString::fromUtf8(command.submenu.data(),
                                                 static_cast<qsizetype>(command.submenu.size())));
      connectionMenus_.push_back(submenu);
    }
    QMenu* into = submenu != nullptr ? submenu : menu_;
    QAction* action = into->addAction(
        QString::fromUtf8(command.label.data(), static_cast<qsizetype>(command.label.size())));
    action->setCheckable(command.checkable);
    actions_[command.id] = action;
    connect(action, &QAction::triggered, this, [this, id = command.id] { runCommand(id); });
  }
  connect(menu_, &QMenu::aboutToShow, this, &CFtpView::updateCommandStates);
}

CFtpTreeCtrl* CFtpView::focusedTree() const {
  if (tabs_->currentWidget() != tabs_->directoriesPage()) return nullptr;
  if (localTree()->hasFocus()) return localTree();
  if (remoteTree()->hasFocus()) return remoteTree();
  return nullptr;
}

void CFtpView::updateCommandStates() {
  if (menu_ == nullptr) return;
  const bool connectionItems =
      tabs_->currentWidget() != tabs_->loginPage() && remoteTree()->isEnabled();
  const bool treeItems = focusedTree() != nullptr;
  for (const FtpMenuCommand& command : kFtpMenuCommands) {
    if (command.id == 0) continue;
    actions_[command.id]->setEnabled(
        command.needs == FtpCommandNeeds::FocusedTree ? treeItems : connectionItems);
  }
  for (QMenu* submenu : connectionMenus_) submenu->setEnabled(connectionItems);
  actions_[kCmdFtpAscii]->setChecked(transferMode_ == kCmdFtpAscii);
  actions_[kCmdFtpImage]->setChecked(transferMode_ == kCmdFtpImage);
  const FtpStoreMode store = localTree()->storeMode();
  actions_[kCmdFtpAppend]->setChecked(store == FtpStoreMode::Append);
  actions_[kCmdFtpStoreUnique]->setChecked(store == FtpStoreMode::Unique);
}

// Right click in a focused tree on the Directories page; elsewhere, help.
void CFtpView::showContextMenu(CFtpTreeCtrl* tree, const QPoint& global) {
  if (focusedTree() != tree) {
    services().showHelp(helpContext());
    return;
  }
  updateCommandStates();
  menu_->popup(global);
}

// One command at a time: a command while the remote tree waits for a
// reply only beeps.
void CFtpView::queueWithBusyRule(FtpCommand command, std::optional<QString> argument) {
  CFtpTreeCtrl* remote = remoteTree();
  tabs_->directoriesPage()->setRequester(remote);
  remote->markBusy();
  std::optional<std::string> text;
  if (argument) text = argument->toStdString();
  if (!connection_->QueueCommand(command, std::move(text))) remote->release();
}

void CFtpView::runCommand(int id) {
  CFtpTreeCtrl* remote = remoteTree();
  const auto queued = [&](FtpCommand command) {
    if (!remote->isIdle()) {
      prompts_->beep();
      return;
    }
    queueWithBusyRule(command);
  };
  const auto withArgument = [&](FtpCommand command, std::optional<QString> argument) {
    if (argument) queueWithBusyRule(command, argument);
  };
  const bool idle = remote->isIdle();
  switch (id) {
    case kCmdFtpNewFolder:
    case kCmdFtpDelete:
    case kCmdFtpRename:
    case kCmdFtpRefresh: {
      CFtpTreeCtrl* tree = focusedTree();
      if (tree == nullptr) {
        prompts_->beep();
      } else if (id == kCmdFtpNewFolder) {
        tree->newFolder();
      } else if (id == kCmdFtpDelete) {
        tree->deleteSelected();
      } else if (id == kCmdFtpRename) {
        tree->renameSelected();
      } else {
        tree->refresh();
      }
      break;
    }
    case kCmdFtpAbort:
      if (folderJob_) folderJob_->Cancel();
      connection_->QueueCommand(FtpCommand::Abor);
      break;
    case kCmdFtpNoop:
      queued(FtpCommand::Noop);
      break;
    case kCmdFtpPrintDirectory:
      queued(FtpCommand::Pwd);
      break;
    case kCmdFtpSystem:
      queued(FtpCommand::Syst);
      break;
    case kCmdFtpStatus:
      queued(FtpCommand::Stat);
      break;
    case kCmdFtpHelp:
      queued(FtpCommand::Help);
      break;
    case kCmdFtpParent:
      if (!idle) {
        prompts_->beep();
      } else {
        changeToParent();
      }
      break;
    case kCmdFtpSite:
    case kCmdFtpStatusWithArgument:
    case kCmdFtpHelpWithArgument:
      if (!idle) {
        prompts_->beep();
      } else if (id == kCmdFtpSite) {
        withArgument(FtpCommand::Site,
                     prompts_->askArgument(this, QStringLiteral("FTP Site Command")));
      } else if (id == kCmdFtpStatusWithArgument) {
        withArgument(FtpCommand::Stat,
                     prompts_->askArgument(this, QStringLiteral("FTP Status Command")));
      } else {
        withArgument(FtpCommand::Help, prompts_->askHelpKeyword(this));
      }
      break;
    case kCmdFtpAscii:
    case kCmdFtpImage:
      setTransferMode(id);
      break;
    case kCmdFtpAppend:
    case kCmdFtpStoreUnique: {
      const FtpStoreMode chosen = id == kCmdFtpAppend ? FtpStoreMode::Append : FtpStoreMode::Unique;
      // A second click on the checked option goes back to replacing.
      localTree()->setStoreMode(localTree()->storeMode() == chosen ? FtpStoreMode::Replace
                                                                   : chosen);
      break;
    }
    default:
      break;
  }
  updateCommandStates();
}

// CWD to the selected folder first, so that CDUP leaves the folder the user
// is looking at; the reply to CDUP lists the new folder.
void CFtpView::changeToParent() {
  CFtpTreeCtrl* remote = remoteTree();
  const QModelIndex selected = remote->currentIndex();
  const QModelIndex folder = selected.isValid() ? remote->treeModel()->folderOf(selected)
                                                : remote->treeModel()->index(0, 0);
  tabs_->directoriesPage()->setRequester(remote);
  remote->markBusy();
  if (folder.isValid() &&
      !connection_->QueueCommand(FtpCommand::Cwd,
                                 remote->treeModel()->fullPath(folder).toStdString())) {
    remote->release();
    return;
  }
  if (!connection_->QueueCommand(FtpCommand::Cdup)) remote->release();
}

// ---- login ----

void CFtpView::connectToServer() {
  CFtpLoginPage* login = loginPage();
  for (QLineEdit* edit : {login->hostEdit(), login->userEdit()}) {
    if (edit->text().isEmpty()) {
      edit->setFocus();
      return;
    }
  }
  FtpLogin settings;
  settings.host = login->hostEdit()->text().toStdString();
  settings.userName = login->userEdit()->text().toStdString();
  settings.account = login->accountEdit()->text().toStdString();
  if (!ReadFtpSettings(settings, services().reporter())) return;
  if (login->passiveBox()->isChecked()) settings.mode |= kFtpModePassive;
  settings.tls = login->tlsChoice()->mode();
  // TLS from the first byte has a port of its own.
  if (settings.tls == TlsMode::Implicit && settings.serverPort == 21) settings.serverPort = 990;
  if (!takePasswords(settings)) return;
  startConnection(settings);
  // Busy means the connection is under way: only then is the host kept.
  if (isBusy()) login->hostBox()->rememberCurrentHost();
}

// The typed password, or else the one kept for this user at this server;
// one typed with "Remember password" on is kept for the next time.
bool CFtpView::takePasswords(FtpLogin& login) {
  QLineEdit* typed = loginPage()->passwordEdit();
  const PasswordKey key = FtpUserPasswordKey(login);
  if (!typed->text().isEmpty()) {
    login.password = typed->text().toStdString();
    if (loginPage()->rememberBox()->isChecked()) passwords().Remember(key, login.password);
  } else if (auto kept = passwords().Find(key)) {
    login.password = std::move(*kept);
  } else {
    typed->setFocus();
    return false;
  }
  return takeProxyPassword(login);
}

// A firewall that takes a login needs its password: kept, or asked once.
bool CFtpView::takeProxyPassword(FtpLogin& login) {
  if (!LogsInToFirewall(login.mode)) return true;
  if (auto kept = RecallFtpProxyPassword(login, passwords())) {
    login.proxyPassword = std::move(*kept);
    return true;
  }
  const auto typed = prompts_->askPassword(
      this,
      QStringLiteral("Password for %1 at the firewall %2:")
          .arg(QString::fromStdString(login.proxyUser), QString::fromStdString(login.proxyHost)));
  if (!typed) return false;
  login.proxyPassword = typed->toStdString();
  KeepFtpProxyPassword(login, login.proxyPassword, passwords());
  return true;
}

// The keyring is looked for only once a password is needed.
IPasswordStore& CFtpView::passwords() {
  if (passwords_ == nullptr) passwords_ = &DesktopPasswords();
  return *passwords_;
}

void CFtpView::startConnection(const FtpLogin& login) {
  if (!connection_->Connect(login)) return;
  lastLogin_ = login;
  loginPage()->lock();
  setBusy(true);
  setCloseEnabled(false);
  close_->setEnabled(false);
}

void CFtpView::quit() {
  loginPage()->quitButton()->setEnabled(false);
  connection_->Quit();
}

void CFtpView::pickHost() {
  const auto address =
      PickAddressFromBook(this, [this](int contextId) { services().showHelp(contextId); });
  if (address) loginPage()->hostEdit()->setText(*address);
}

void CFtpView::onLoginEnded() {
  loginPage()->unlock(FtpLogin{});
  setBusy(false);
  setCloseEnabled(true);
  close_->setEnabled(true);
  forgetRefusedPassword();
  if (const auto untrusted = connection_->TrustFailure()) askTrust(*untrusted);
}

// A refused password is asked for (or typed) again next time, not offered.
void CFtpView::forgetRefusedPassword() {
  switch (connection_->PasswordRefused()) {
    case CFtpConnection::RefusedPassword::User:
      passwords().Forget(FtpUserPasswordKey(lastLogin_));
      break;
    case CFtpConnection::RefusedPassword::Firewall:
      passwords().Forget(FtpProxyPasswordKey(lastLogin_));
      break;
    case CFtpConnection::RefusedPassword::None:
      break;
  }
}

// As the Mail window does: why, the certificate, Cancel or trust it for this
// server; trusted, it is pinned and the same login runs again.
void CFtpView::askTrust(const TlsHandshakeReport& report) {
  const FtpTlsServer server = TlsServerOf(lastLogin_);
  if (!trustQuestion_(report, server.host)) return;
  const std::string problem =
      PinCertificate(PinnedCertificatesFile(), server.host, server.port, report.certificate.sha256);
  if (!problem.empty()) {
    ShowPlainError(this, QStringLiteral("Netrove: FTP"), QString::fromStdString(problem));
    return;
  }
  connection_->WaitUntilEnded();
  startConnection(lastLogin_);
}

void CFtpView::onDirectoriesNotice(int code) {
  CFtpTreeCtrl* remote = remoteTree();
  if (code == kFtpConnected) {
    remote->prepare();
    localTree()->prepare();
    return;
  }
  if (code != kFtpConnectionEnded) return;
  if (folderJob_) folderJob_->Cancel();
  remote->clearRemote();
  remote->setEnabled(false);
  remote->release();
  tabs_->directoriesPage()->setRequester(remote);
  localTree()->setStoreMode(FtpStoreMode::Replace);
  updateCommandStates();
}

// ---- the trees' requests ----

void CFtpView::setTransferMode(int id) {
  transferMode_ = id;
  if (!WriteToolValue(kFtpKey, kImageValue, id == kCmdFtpImage ? 1 : 0))
    services().reporter().PostSystemError(errno);
}

FtpTransferType CFtpView::transferType() const {
  return transferMode_ == kCmdFtpImage ? FtpTransferType::Image : FtpTransferType::Ascii;
}

// The tree's request goes on as it is, with what only the window knows: the
// transfer mode and the editor.
void CFtpView::startOperation(CFtpTreeCtrl* tree, FtpRequest request) {
  tabs_->directoriesPage()->setRequester(tree);
  switch (request.kind) {
    case FtpOperationKind::Download:
    case FtpOperationKind::Upload:
      request.type = transferType();
      startProgress();
      break;
    case FtpOperationKind::OpenFolder:
      startProgress();
      break;
    case FtpOperationKind::EditDownload:
      // The engine ends a request without an editor as failed.
      request.editor = chosenEditor();
      startProgress();
      break;
    default:
      break;
  }
  connection_->Start(request);
}

// ---- folder jobs ----

// The job's reports arrive on the GUI thread (the job is driven from it);
// its end is acted on once the job has let go.
class CFtpView::FolderSink : public IFtpFolderJobSink {
 public:
  FolderSink(CFtpView& view, CFtpTreeCtrl* tree) : view_(view), tree_(tree) {}
  void FolderProgress(const FtpFolderProgress& progress) override {
    view_.progress_->setText(QString::fromStdString(FormatFolderProgress(progress)));
  }
  void FolderItemFailed(const std::string&) override {}
  void FolderJobEnded(const FtpFolderSummary& summary) override {
    QMetaObject::invokeMethod(
        &view_, [view = &view_, tree = tree_, summary] { view->endFolderJob(tree, summary); },
        Qt::QueuedConnection);
  }

 private:
  CFtpView& view_;
  QPointer<CFtpTreeCtrl> tree_;
};

void CFtpView::startFolderJob(CFtpTreeCtrl* tree, FtpFolderJobPlan plan) {
  plan.type = transferType();
  plan.stopAtFailure = StoredFtpChoice(kFtpFolderStopValue, false);
  tabs_->directoriesPage()->setRequester(tree);
  startProgress();
  folderSink_ = std::make_unique<FolderSink>(*this, tree);
  folderJob_ = std::make_unique<CFtpFolderJob>(
      std::move(plan), [this](const FtpRequest& request) { return connection_->Start(request); },
      *folderSink_);
  events_->folderJob_ = true;
  folderJob_->Start();
}

// One summary: on the status line, and in a box that names what failed.
void CFtpView::endFolderJob(CFtpTreeCtrl* tree, const FtpFolderSummary& summary) {
  const FtpFolderDirection direction = folderJob_->plan().direction;
  events_->folderJob_ = false;
  folderJob_.reset();
  folderSink_.reset();
  const std::string text = FormatFolderSummary(direction, summary);
  progress_->setText(QString::fromStdString(text));
  if (summary.failed > 0) {
    std::string failures = text + "\n\nNot transferred:";
    const std::size_t shown = std::min<std::size_t>(summary.failures.size(), 10);
    for (std::size_t index = 0; index < shown; ++index) {
      failures += '\n';
      failures += DisplayName(summary.failures[index]);
    }
    if (summary.failures.size() > shown) failures += "\n...";
    services().reporter().PostToolMessage(kSourceFtp, failures);
  }
  if (tree) tree->folderJobEnded();
}

// The editor of the settings, or one chosen for this request only.
std::string CFtpView::chosenEditor() {
  std::string editor;
  if (const auto key = OpenToolKey("FTP", false)) key->ReadText("Editor", editor);
  if (editor.empty()) editor = prompts_->chooseEditor(this).toStdString();
  return editor;
}

void CFtpView::editLocalFile(const QString& path) {
  const std::string editor = chosenEditor();
  if (editor.empty()) return;
  if (const int error = StartDetachedProgram(editor, path.toStdString()))
    services().reporter().PostSystemError(error);
}

// ---- progress on the status bar ----

void CFtpView::startProgress() {
  progressStart_ = std::chrono::steady_clock::now();
  progress_->clear();
}

void CFtpView::showProgress(std::uint64_t bytes) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - progressStart_)
                           .count();
  const QLocale locale;
  QString text = QStringLiteral("%1 bytes transferred").arg(locale.toString(qulonglong(bytes)));
  if (elapsed > 0) {
    const double rate = static_cast<double>(bytes) * 1000.0 / static_cast<double>(elapsed);
    text += QStringLiteral(", %1 KB/s").arg(locale.toString(rate / 1024.0, 'f', 1));
  }
  progress_->setText(text);
}

}  // namespace netrove
