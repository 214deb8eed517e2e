#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "app/about_dlg.h"
#include "app/clock_wnd.h"
#include "app/customize.h"
#include "app/help_window.h"
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
  actions_[kCmdExit]->setShortcut(QKeySequence::Quit);
  actions_[kCmdFilePrint]->setShortcut(QKeySequence::Print);
  actions_[kCmdNextWindow]->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_F6), QKeySequence(Qt::CTRL | Qt::Key_Tab)});
  actions_[kCmdPreviousWindow]->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6),
       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)});
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
  // The keyboard lock states are not visible to a Qt program; the panes
  // keep their places greyed out.
  for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
    auto* pane = new QLabel(QString::fromLatin1(indicator), this);
    pane->setEnabled(false);
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addPermanentWidget(pane);
  }
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
      printActiveTranscript(commandId);
      break;
    case kCmdFilePrintSetup:
      PrintSetup(this);
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
// across the client area, each taking an equal share but never less than its
// minimum size, so that no control is squeezed away; the client area scrolls
// to windows beyond its edge. Minimised windows stay where they are.
void CMainFrame::tileToolWindows(Qt::Orientation stacking) {
  QList<QMdiSubWindow*> list;
  for (QMdiSubWindow* window : clock_->subWindowList(QMdiArea::CreationOrder)) {
    if (!window->isHidden() && !window->isMinimized()) list.append(window);
  }
  if (list.isEmpty()) return;
  QSize area = clock_->viewport()->size();
  const auto count = static_cast<int>(list.size());
  // Where the windows need more room than there is, the area's scroll bar
  // takes its share of the other direction.
  int needed = 0;
  for (const QMdiSubWindow* window : list) {
    const QSize least = window->minimumSizeHint();
    needed += stacking == Qt::Vertical ? least.height() : least.width();
  }
  const int scrollBar = clock_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  if (stacking == Qt::Vertical && needed > area.height()) area.rwidth() -= scrollBar;
  if (stacking == Qt::Horizontal && needed > area.width()) area.rheight() -= scrollBar;
  const QSize share = stacking == Qt::Vertical ? QSize(area.width(), area.height() / count)
                                               : QSize(area.width() / count, area.height());
  QPoint next(0, 0);
  for (QMdiSubWindow* window : list) {
    if (window->isMaximized()) window->showNormal();
    const QSize size = share.expandedTo(window->minimumSizeHint());
    window->setGeometry(QRect(next, size));
    next += stacking == Qt::Vertical ? QPoint(0, size.height()) : QPoint(size.width(), 0);
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
}

void CMainFrame::toolWindowClosing(CMyMDIChildWnd* window) {
  const auto found = std::find(windows_.begin(), windows_.end(), window);
  if (found == windows_.end()) return;
  windows_.erase(found);
  updateCommandStates();
  updateTitle();
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
  actions_.at(kCmdFilePrintPreview)->setEnabled(printable);
}

void CMainFrame::updateTitle() {
  const CMyMDIChildWnd* active = activeToolWindow();
  const QString document = active != nullptr ? active->toolView()->documentTitle() : QString();
  setWindowTitle(document.isEmpty() ? ProductTitle()
                                    : ProductTitle() + QStringLiteral(" - ") + document);
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

void CMainFrame::printActiveTranscript(int commandId) {
  CMyMDIChildWnd* active = activeToolWindow();
  if (active == nullptr || !active->toolView()->canPrint()) return;
  CToolView& view = *active->toolView();
  CTranscriptView* transcript = view.printableTranscript();
  if (transcript == nullptr) return;
  if (commandId == kCmdFilePrintPreview) {
    PrintPreviewTranscript(*transcript, view.printTitle(), this);
  } else {
    PrintTranscript(*transcript, view.printTitle(), this);
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
