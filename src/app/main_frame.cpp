#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "app/about_dlg.h"
#include "app/clock_wnd.h"
#include "app/customize.h"
#include "app/help_window.h"
#include "app/lock_key_state.h"
#include "app/mdi_child_wnd.h"
#include "app/placement_windows.h"
#include "app/shell_commands.h"
#include "app/shell_settings.h"
#include "app/shell_strings.h"
#include "app/toolbar_icons.h"
#include "base/command_ids.h"
#include "base/net_socket.h"
#include "base/product.h"
#include "base/settings_store.h"
#include "widgets/message_boxes.h"
#include "widgets/tool_catalog.h"
#include "widgets/tool_view.h"
#include "widgets/transcript_printer.h"
#include "widgets/transcript_saver.h"

namespace netrove {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString ProductTitle() { return Text(kProductTitle); }

// The program's icon: the client area's fan of lines in small.
QIcon ProgramIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(QColor(0, 255, 255));
  QPainter painter(&pixmap);
  painter.setPen(QColor(255, 64, 0));
  for (int x = 0; x < 32; x += 4) painter.drawLine(0, 0, x, 31);
  return QIcon(pixmap);
}

constexpr int kToolbarCommands[] = {kCmdFileNew,   kCmdFileOpen, kCmdFileSave,   0,
                                    kCmdEditCut,   kCmdEditCopy, kCmdEditPaste,  0,
                                    kCmdFilePrint, kCmdAbout,    kCmdContextHelp};

}  // namespace

CMainFrame::CMainFrame(const ToolCatalog& catalog, IMainWindowReporter& reporter,
                       IMessageBoxes& boxes, QWidget* parent)
    : QMainWindow(parent),
      catalog_(catalog),
      reporter_(reporter),
      boxes_(boxes),
      clock_(new CClockWnd(this)) {
  setObjectName(QStringLiteral("NetroveMainFrame"));
  setWindowTitle(ProductTitle());
  // The installed icon, as the menu entry shows it; the drawn one elsewhere.
  setWindowIcon(QIcon::fromTheme(QStringLiteral("org.netrove.Netrove"), ProgramIcon()));
  setCentralWidget(clock_);
  createActions();
  createMenus();
  createToolBar();
  createStatusBar();
  connect(clock_, &QMdiArea::subWindowActivated, this, &CMainFrame::toolWindowActivated);
  connect(clock_, &CClockWnd::helpRequested, this, [this] { showHelp(kHelpMainWindow); });
  auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(helpKey, &QShortcut::activated, this, [this] { showHelp(activeHelpContext()); });
  updateCommandStates();
}

CMainFrame::~CMainFrame() {
  // The help window is a top-level window of its own; it goes with us.
  delete help_;
  // Tool windows report their end to this object: end them while it is
  // still whole, not in the base class's destructor.
  delete clock_;
}

// --- menus, toolbar, status bar -------------------------------------------

QAction* CMainFrame::addCommand(int commandId) {
  const ShellCommand* command = FindShellCommand(commandId);
  auto* action = new QAction(this);
  if (command != nullptr) {
    action->setText(Text(command->label));
    action->setStatusTip(Text(PromptStatusText(command->prompt)));
    const std::string_view tip = PromptToolTip(command->prompt);
    if (!tip.empty()) action->setToolTip(Text(tip));
  }
  action->setData(commandId);
  action->setObjectName(QStringLiteral("command-%1").arg(commandId));
  connect(action, &QAction::triggered, this, [this, commandId] { runCommand(commandId); });
  actions_[commandId] = action;
  return action;
}

void CMainFrame::createActions() {
  for (ShellMenu menu : {ShellMenu::File, ShellMenu::Internet, ShellMenu::Tools, ShellMenu::Window,
                         ShellMenu::Help}) {
    for (const ShellCommand& command : MenuCommands(menu)) {
      if (command.id != 0) addCommand(command.id);
    }
  }
  for (int commandId : kToolbarCommands) {
    if (commandId != 0 && actions_.count(commandId) == 0) addCommand(commandId);
  }
  actions_[kCmdAlwaysOnTop]->setCheckable(true);
  // Ctrl+Q on every platform (the platform's Quit key is none on some).
  actions_[kCmdExit]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  actions_[kCmdFilePrint]->setShortcut(QKeySequence::Print);
  actions_[kCmdNextWindow]->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_F6), QKeySequence(Qt::CTRL | Qt::Key_Tab)});
  actions_[kCmdPreviousWindow]->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6),
       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)});
  for (const auto& [commandId, action] : actions_) {
    if (!action->shortcuts().isEmpty()) ownShortcuts_[action] = action->shortcuts();
  }
  for (int commandId : kToolbarCommands) {
    if (commandId != 0) actions_[commandId]->setIcon(ToolbarIcon(*style(), commandId));
  }
  // The document commands have no handler in this program.
  for (int commandId : {kCmdFileNew, kCmdFileOpen, kCmdFileSave}) {
    actions_[commandId]->setEnabled(false);
  }
}

void CMainFrame::createMenus() {
  const std::pair<ShellMenu, const char*> menus[] = {{ShellMenu::File, "&File"},
                                                     {ShellMenu::Internet, "&Internet"},
                                                     {ShellMenu::Tools, "&Tools"},
                                                     {ShellMenu::Window, "&Window"},
                                                     {ShellMenu::Help, "&Help"}};
  for (const auto& [which, title] : menus) {
    QMenu* menu = menuBar()->addMenu(QString::fromLatin1(title));
    if (which == ShellMenu::Window) windowMenu_ = menu;
    for (const ShellCommand& command : MenuCommands(which)) {
      if (command.id == 0) {
        menu->addSeparator();
      } else {
        menu->addAction(actions_.at(command.id));
      }
    }
  }
}

void CMainFrame::createToolBar() {
  QToolBar* bar = addToolBar(QStringLiteral("Standard"));
  bar->setObjectName(QStringLiteral("StandardToolBar"));
  bar->setMovable(false);
  // Icons only; each button names its command in its tooltip.
  bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  for (int commandId : kToolbarCommands) {
    if (commandId == 0) {
      bar->addSeparator();
    } else {
      bar->addAction(actions_.at(commandId));
    }
  }
}

void CMainFrame::createStatusBar() {
  statusBar()->addWidget(new QLabel(QStringLiteral("Ready"), this), 1);
  // The lock keys' panes are shown only where the window system tells
  // their state; dead indicators would mislead.
  lockKeys_ = SystemLockKeyReader();
  if (lockKeys_ == nullptr) return;
  for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
    auto* pane = new QLabel(QString::fromLatin1(indicator), this);
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addPermanentWidget(pane);
    lockPanes_.push_back(pane);
  }
  // A lock key may change in any window, so the state is read a few times
  // a second rather than from our own key events.
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, &CMainFrame::updateLockPanes);
  timer->start(250);
  updateLockPanes();
}

void CMainFrame::updateLockPanes() {
  const LockKeyStates states = lockKeys_->read();
  const bool on[] = {states.caps, states.num, states.scroll};
  for (std::size_t i = 0; i < lockPanes_.size(); ++i) lockPanes_[i]->setEnabled(on[i]);
}

QAction* CMainFrame::commandAction(int commandId) const {
  const auto found = actions_.find(commandId);
  return found == actions_.end() ? nullptr : found->second;
}

// --- commands ---------------------------------------------------------------

void CMainFrame::runCommand(int commandId) {
  if (catalog_.findByCommand(commandId) != nullptr) {
    openTool(commandId);
    return;
  }
  if (const auto handler = catalog_.commands.find(commandId); handler != catalog_.commands.end()) {
    if (handler->second) handler->second(*this);
    return;
  }
  if (runWindowCommand(commandId) || runHelpCommand(commandId)) return;
  switch (commandId) {
    case kCmdExit:
      close();
      break;
    case kCmdCustomize:
      customize();
      break;
    case kCmdFilePrint:
    case kCmdFilePrintPreview:
      printActiveView(commandId);
      break;
    case kCmdFilePrintSetup:
      PrintSetup(this);
      break;
    case kCmdFileSaveAs:
      saveActiveTranscript();
      break;
    case kCmdEditCut:
      editFocusWidget("cut");
      break;
    case kCmdEditCopy:
      editFocusWidget("copy");
      break;
    case kCmdEditPaste:
      editFocusWidget("paste");
      break;
    default:
      break;
  }
}

bool CMainFrame::runWindowCommand(int commandId) {
  switch (commandId) {
    case kCmdNextWindow:
      clock_->activateNextSubWindow();
      return true;
    case kCmdPreviousWindow:
      clock_->activatePreviousSubWindow();
      return true;
    case kCmdCascade:
      clock_->cascadeSubWindows();
      return true;
    case kCmdTileHorizontally:
    case kCmdTileVertically:
      tileToolWindows(commandId == kCmdTileHorizontally ? Qt::Vertical : Qt::Horizontal);
      return true;
    case kCmdArrangeIcons: {
      // Minimised windows line up along the bottom edge.
      int left = 0;
      for (QMdiSubWindow* window : clock_->subWindowList()) {
        if (!window->isMinimized()) continue;
        const QSize size = window->size();
        window->move(left, clock_->viewport()->height() - size.height());
        left += size.width();
      }
      return true;
    }
    case kCmdAlwaysOnTop:
      toggleAlwaysOnTop();
      return true;
    default:
      return false;
  }
}

// One row (stacked top to bottom) or one column (side by side) of windows
// across the client area, each taking an equal share, so that every window
// is in view; a window smaller than its content scrolls inside itself.
// Minimised windows stay where they are.
void CMainFrame::tileToolWindows(Qt::Orientation stacking) {
  QList<QMdiSubWindow*> list;
  for (QMdiSubWindow* window : clock_->subWindowList(QMdiArea::CreationOrder)) {
    if (!window->isHidden() && !window->isMinimized()) list.append(window);
  }
  if (list.isEmpty()) return;
  const QSize area = clock_->viewport()->size();
  const auto count = static_cast<int>(list.size());
  int next = 0;
  for (int index = 0; index < count; ++index) {
    QMdiSubWindow* window = list[index];
    if (window->isMaximized()) window->showNormal();
    // The last window takes what the division leaves over.
    const int extent = stacking == Qt::Vertical ? area.height() : area.width();
    const int end = index + 1 == count ? extent : extent * (index + 1) / count;
    const QRect tile = stacking == Qt::Vertical ? QRect(0, next, area.width(), end - next)
                                                : QRect(next, 0, end - next, area.height());
    window->setGeometry(tile);
    next = end;
  }
}

bool CMainFrame::runHelpCommand(int commandId) {
  switch (commandId) {
    case kCmdHelpTopics:
      helpWindow()->showContents();
      return true;
    case kCmdHelpIndex:
      helpWindow()->showIndex();
      return true;
    case kCmdUsingHelp:
      helpWindow()->showUsingHelp();
      return true;
    case kCmdContextHelp:
      showHelp(activeHelpContext());
      return true;
    case kCmdDeleteFromRegistry:
      deleteFromRegistry();
      return true;
    case kCmdAbout:
      about();
      return true;
    default:
      return false;
  }
}

CToolView* CMainFrame::openTool(int commandId) {
  const ToolTemplate* found = catalog_.findByCommand(commandId);
  if (found == nullptr || !found->create) return nullptr;
  const bool slow = found->opensSlowly;
  if (slow) QApplication::setOverrideCursor(Qt::WaitCursor);
  CToolView* view = found->create(*this);
  if (view != nullptr) {
    view->setDocumentTitle(found->windowTitle);
    openToolWindow(view, found->typeName);
  }
  if (slow) QApplication::restoreOverrideCursor();
  return view;
}

void CMainFrame::openToolWindow(CToolView* view, const QString& typeName) {
  auto* window = new CMyMDIChildWnd(view, typeName);
  window->setWindowIcon(windowIcon());
  clock_->addSubWindow(window);
  windows_.push_back(window);
  connect(window, &CMyMDIChildWnd::closing, this, &CMainFrame::toolWindowClosing);
  connect(window, &QObject::destroyed, this, [this, window] { toolWindowClosing(window); });
  connect(view, &CToolView::documentTitleChanged, this, &CMainFrame::updateTitle);
  connect(view, &CToolView::printEnabledChanged, this, &CMainFrame::updateCommandStates);
  window->show();
  clock_->setActiveSubWindow(window);
  updateCommandStates();
  updateTitle();
  yieldShortcutsTo(activeToolWindow());
}

void CMainFrame::toolWindowClosing(CMyMDIChildWnd* window) {
  const auto found = std::find(windows_.begin(), windows_.end(), window);
  if (found == windows_.end()) return;
  windows_.erase(found);
  updateCommandStates();
  updateTitle();
  yieldShortcutsTo(activeToolWindow());
}

CMyMDIChildWnd* CMainFrame::activeToolWindow() const {
  // The list runs from the least to the most recently active window, which
  // also tells the next active one when the active window closes.
  return windows_.empty() ? nullptr : windows_.back();
}

void CMainFrame::toolWindowActivated(QMdiSubWindow* window) {
  // While the main window closes its tool windows, the next one to close is
  // the one active before, whatever the MDI area activates meanwhile.
  if (closingToolWindows_) return;
  const auto found = std::find(windows_.begin(), windows_.end(), window);
  if (found != windows_.end()) std::rotate(found, found + 1, windows_.end());
  updateTitle();
  updateCommandStates();
  yieldShortcutsTo(activeToolWindow());
}

namespace {

// The keys a tool window's own commands use.
QList<QKeySequence> KeysClaimedBy(const CToolView* view) {
  QList<QKeySequence> keys;
  if (view == nullptr) return keys;
  QList<QAction*> actions = view->actions();
  actions += view->findChildren<QAction*>();
  for (const QWidget* child : view->findChildren<QWidget*>()) actions += child->actions();
  for (const QAction* action : actions) {
    for (const QKeySequence& key : action->shortcuts()) {
      if (!keys.contains(key)) keys.append(key);
    }
  }
  for (const QShortcut* shortcut : view->findChildren<QShortcut*>()) {
    for (const QKeySequence& key : shortcut->keys()) {
      if (!keys.contains(key)) keys.append(key);
    }
  }
  return keys;
}

QList<QKeySequence> Without(QList<QKeySequence> keys, const QList<QKeySequence>& claimed) {
  keys.removeIf([&claimed](const QKeySequence& key) { return claimed.contains(key); });
  return keys;
}

}  // namespace

// A key the active tool window uses for a command of its own (the
// newsreader's Ctrl+Q and Ctrl+W) is that window's while it is active: the
// main window's commands and the tool window frame's own keys give it up,
// and take it back when another window, or none, is active. Two shortcuts
// on one key would otherwise cancel each other out.
void CMainFrame::yieldShortcutsTo(CMyMDIChildWnd* active) {
  const QList<QKeySequence> claimed =
      KeysClaimedBy(active != nullptr ? active->toolView() : nullptr);
  for (const auto& [action, keys] : ownShortcuts_) action->setShortcuts(Without(keys, claimed));
  if (active == nullptr) return;
  if (QMenu* frameMenu = active->systemMenu()) {
    for (QAction* action : frameMenu->actions()) {
      action->setShortcuts(Without(action->shortcuts(), claimed));
    }
  }
}

void CMainFrame::updateCommandStates() {
  for (const ToolTemplate& tool : catalog_.templates) {
    QAction* action = commandAction(tool.commandId);
    if (action == nullptr) continue;
    action->setEnabled(bool(tool.create));
    if (tool.hiddenUntilBuilt) action->setVisible(bool(tool.create));
  }
  // The launcher's other commands run a dialog or a thread of a tool; the
  // main window's own (Exit, Customize) are always there.
  for (ShellMenu menu : {ShellMenu::Internet, ShellMenu::Tools}) {
    for (const ShellCommand& command : MenuCommands(menu)) {
      if (command.id == 0 || command.id == kCmdExit || command.id == kCmdCustomize ||
          catalog_.findByCommand(command.id) != nullptr) {
        continue;
      }
      const auto handler = catalog_.commands.find(command.id);
      actions_.at(command.id)->setEnabled(handler != catalog_.commands.end() && handler->second);
    }
  }

  const bool several = openWindowCount() >= 2;
  actions_.at(kCmdNextWindow)->setEnabled(several);
  actions_.at(kCmdPreviousWindow)->setEnabled(several);

  const CMyMDIChildWnd* active = activeToolWindow();
  const bool printable = active != nullptr && active->toolView()->canPrint();
  actions_.at(kCmdFilePrint)->setEnabled(printable);
  // A snapshot can be saved even while a run is writing.
  actions_.at(kCmdFileSaveAs)
      ->setEnabled(active != nullptr && active->toolView()->printableTranscript() != nullptr);
  actions_.at(kCmdFilePrintPreview)->setEnabled(printable);
}

void CMainFrame::updateTitle() {
  const CMyMDIChildWnd* active = activeToolWindow();
  const QString document = active != nullptr ? active->toolView()->documentTitle() : QString();
  setWindowTitle(document.isEmpty() ? ProductTitle()
                                    : ProductTitle() + QStringLiteral(" - ") + document);
  updateWindowList();
}

// The Window menu ends with the open tool windows in the order they were
// opened, numbered as every MDI program numbers them, the active one checked.
void CMainFrame::updateWindowList() {
  for (QAction* action : windowListActions_) {
    windowMenu_->removeAction(action);
    // One of them may be the action being triggered right now.
    action->deleteLater();
  }
  windowListActions_.clear();
  const QList<QMdiSubWindow*> windows = clock_->subWindowList(QMdiArea::CreationOrder);
  std::vector<CMyMDIChildWnd*> listed;
  for (QMdiSubWindow* window : windows) {
    auto* tool = qobject_cast<CMyMDIChildWnd*>(window);
    if (tool != nullptr && std::find(windows_.begin(), windows_.end(), tool) != windows_.end()) {
      listed.push_back(tool);
    }
  }
  if (listed.empty()) return;
  windowListActions_.push_back(windowMenu_->addSeparator());
  const CMyMDIChildWnd* active = activeToolWindow();
  int number = 0;
  for (CMyMDIChildWnd* window : listed) {
    ++number;
    // Ampersands of the title are shown, not taken as mnemonics.
    QString title = window->toolView()->documentTitle();
    title.replace(QLatin1Char('&'), QStringLiteral("&&"));
    const QString label = number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(title)
                                      : QStringLiteral("%1 %2").arg(number).arg(title);
    QAction* action = windowMenu_->addAction(label);
    action->setCheckable(true);
    action->setChecked(window == active);
    QPointer<CMyMDIChildWnd> target(window);
    connect(action, &QAction::triggered, this, [this, target] {
      if (target == nullptr) return;
      if (target->isMinimized()) target->showNormal();
      clock_->setActiveSubWindow(target);
    });
    windowListActions_.push_back(action);
  }
}

// --- switches and settings ----------------------------------------------------

bool CMainFrame::isAlwaysOnTop() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

void CMainFrame::setAlwaysOnTop(bool on) {
  actions_.at(kCmdAlwaysOnTop)->setChecked(on);
  if (isAlwaysOnTop() == on) return;
  const Qt::WindowFlags flags =
      on ? windowFlags() | Qt::WindowStaysOnTopHint : windowFlags() & ~Qt::WindowStaysOnTopHint;
  if (QWindow* handle = windowHandle()) {
    // Changing the native window's flags keeps it where it is, mapped and
    // inactive; recreating the widget's window would hide it.
    overrideWindowFlags(flags);
    handle->setFlags(flags);
  } else {
    setWindowFlags(flags);
  }
}

void CMainFrame::toggleAlwaysOnTop() {
  const bool on = !isAlwaysOnTop();
  if (!WriteShellSwitch(kValueAlwaysOnTop, on)) {
    actions_.at(kCmdAlwaysOnTop)->setChecked(!on);
    return;
  }
  setAlwaysOnTop(on);
}

void CMainFrame::setClockShown(bool on) { clock_->setClockShown(on); }

void CMainFrame::restoreSettings() {
  const ShellSwitches switches = ReadShellSwitches();
  setAlwaysOnTop(switches.alwaysOnTop);
  setClockShown(switches.clock);
  CMainWindowPlacement placement(*this);
  if (!RestoreWindowPlacement(placement, std::string(kShellKeyName))) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen != nullptr ? screen->geometry().size() : QSize(1024, 768);
    const WindowGeometry geometry = DefaultMainWindowGeometry(size.width(), size.height());
    setGeometry(geometry.x, geometry.y, geometry.width, geometry.height);
  }
  if (!isVisible()) show();
}

void CMainFrame::saveSettings() {
  const CMainWindowPlacement placement(*this);
  SaveWindowPlacement(placement, std::string(kShellKeyName));
  if (clock_->isClockShown()) clock_->setClockShown(false);
}

void CMainFrame::deleteFromRegistry() {
  QString question = Text(kDeleteQuestion);
  question.replace(QStringLiteral("%s"), Text(kRegistryEntryName));
  if (!boxes_.askYesNo(this, ProductTitle(), question)) return;
  DeleteProgramKeys();
  setAlwaysOnTop(false);
}

// --- dialogs, help, printing --------------------------------------------------

void CMainFrame::customize() {
  CCustomize sheet(*this, catalog_.customizePages, this);
  sheet.exec();
}

void CMainFrame::about() {
  CAboutDlg box(this);
  box.exec();
}

CHelpWindow* CMainFrame::helpWindow() {
  if (help_ == nullptr) {
    help_ = new CHelpWindow(HelpFolder());
    help_->setAttribute(Qt::WA_QuitOnClose, false);
  }
  return help_;
}

void CMainFrame::showHelp(int contextId) { helpWindow()->showContext(contextId); }

int CMainFrame::activeHelpContext() const {
  const CMyMDIChildWnd* active = activeToolWindow();
  return active != nullptr ? active->toolView()->helpContext() : kHelpMainWindow;
}

void CMainFrame::printActiveView(int commandId) {
  CMyMDIChildWnd* active = activeToolWindow();
  if (active == nullptr || !active->toolView()->canPrint()) return;
  const CToolView& view = *active->toolView();
  if (commandId == kCmdFilePrintPreview) {
    view.printPreview(this);
  } else {
    view.print(this);
  }
}

void CMainFrame::saveActiveTranscript() {
  const CMyMDIChildWnd* active = activeToolWindow();
  if (active == nullptr) return;
  const CToolView& view = *active->toolView();
  if (const CTranscriptView* transcript = view.printableTranscript()) {
    SaveTranscriptAs(*transcript, view.printTitle(), ProductTitle(), boxes_, this);
  }
}

void CMainFrame::editFocusWidget(const char* operation) {
  // Text widgets have cut(), copy() and paste() slots; others ignore it.
  if (QWidget* focus = QApplication::focusWidget()) QMetaObject::invokeMethod(focus, operation);
}

// --- listeners, raising, closing ------------------------------------------------

void CMainFrame::bringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  if (QWidget* popup = QApplication::activeModalWidget(); popup != nullptr && popup != this) {
    popup->raise();
    popup->activateWindow();
  }
}

void CMainFrame::handleChatCall(std::unique_ptr<CNetSocket> socket, const SocketAddress& caller) {
  if (catalog_.chatCall) {
    catalog_.chatCall(*this, std::move(socket), caller);
    return;
  }
  // Without a chat window to take it, the call is hung up at once.
  socket->Interrupt();
  socket->Close();
}

void CMainFrame::handleBroadcast(const QString& text) {
  if (openBroadcastBoxes_ >= kMaxOpenBroadcastBoxes) {
    if (!std::exchange(broadcastsDropped_, true)) {
      boxes_.information(this, ProductTitle(), Text(kBroadcastsDropped));
    }
    return;
  }
  ++openBroadcastBoxes_;
  if (catalog_.broadcast) {
    catalog_.broadcast(*this, text);
  } else {
    boxes_.information(this, QStringLiteral("Broadcast"), text);
  }
  --openBroadcastBoxes_;
  broadcastsDropped_ = false;
}

bool CMainFrame::closeToolWindows() {
  closingToolWindows_ = true;
  bool closedAll = true;
  while (CMyMDIChildWnd* active = activeToolWindow()) {
    clock_->setActiveSubWindow(active);
    if (active->toolView()->isBusy()) {
      boxes_.information(this, ProductTitle(), Text(kCloseWhileBusy));
      closedAll = false;
      break;
    }
    // A window that refuses (its Close is greyed) stops the close silently.
    if (!active->close()) {
      closedAll = false;
      break;
    }
    toolWindowClosing(active);
  }
  closingToolWindows_ = false;
  return closedAll;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!closeToolWindows()) {
    event->ignore();
    return;
  }
  saveSettings();
  if (help_ != nullptr) help_->close();
  event->accept();
  emit closed();
}

}  // namespace netrove
