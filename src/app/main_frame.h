#pragma once
// The main window: menus, toolbar and status bar around the MDI client area
// (CClockWnd) that hosts the tool windows. It launches the tools of its
// catalog, hosts their windows and refuses to close while one of them is
// busy.
#include <netinet/in.h>

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>
#include <vector>

#include "widgets/shell_context.h"
#include "widgets/tool_view.h"

class QAction;
class QLabel;
class QMenu;
class QMdiSubWindow;

namespace netrove {

class CClockWnd;
class CHelpWindow;
class ILockKeyReader;
class CMyMDIChildWnd;
class CNetSocket;
class SocketAddress;
class IMessageBoxes;
struct ToolCatalog;

class CMainFrame : public QMainWindow, public IShellContext, public CToolServices {
  Q_OBJECT

 public:
  CMainFrame(const ToolCatalog& catalog, IMainWindowReporter& reporter, IMessageBoxes& boxes,
             QWidget* parent = nullptr);
  ~CMainFrame() override;

  // Applies AlwaysOnTop, Clock and the saved placement (or the first-start
  // geometry) and shows the window.
  void restoreSettings();
  // Saves the placement and stops the clock: the last thing before the
  // window goes, and what a session's end does.
  void saveSettings();
  void setTftpServer(ITftpServer* server) { tftpServer_ = server; }

  // A later start of the program asked this copy to come to the front.
  void bringToFront();
  // What the listeners received, on the GUI thread.
  void handleChatCall(std::unique_ptr<CNetSocket> socket, const SocketAddress& caller);
  // A flood of datagrams must not stack boxes without end: beyond
  // kMaxOpenBroadcastBoxes they are dropped, with one notice.
  void handleBroadcast(const QString& text);
  static constexpr int kMaxOpenBroadcastBoxes = 5;

  // IShellContext
  QWidget* mainWindow() override { return this; }
  CToolServices& toolServices() override { return *this; }
  CToolView* openTool(int commandId) override;
  void openToolWindow(CToolView* view, const QString& typeName) override;
  ITftpServer* tftpServer() override { return tftpServer_; }
  void setAlwaysOnTop(bool on) override;
  void setClockShown(bool on) override;
  void changeListenerChoice() override { emit listenerChoiceChanged(); }

  // CToolServices
  IMainWindowReporter& reporter() override { return reporter_; }
  void showHelp(int contextId) override;

  QAction* commandAction(int commandId) const;
  // The Window menu, which lists the open tool windows after its commands.
  QMenu* windowMenu() const { return windowMenu_; }
  CClockWnd* clockWnd() const { return clock_; }
  // The open-window count: tool windows open now, the most recently active
  // last.
  int openWindowCount() const { return static_cast<int>(windows_.size()); }
  const std::vector<CMyMDIChildWnd*>& toolWindows() const { return windows_; }
  CMyMDIChildWnd* activeToolWindow() const;
  CHelpWindow* helpWindow();
  bool isAlwaysOnTop() const;

 signals:
  // The window accepted its close: every tool window is gone.
  void closed();
  // The General page changed whether or where the listeners accept.
  void listenerChoiceChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void createActions();
  void createMenus();
  void createToolBar();
  void createStatusBar();
  void updateLockPanes();
  QAction* addCommand(int commandId);
  void runCommand(int commandId);
  bool runWindowCommand(int commandId);
  void tileToolWindows(Qt::Orientation stacking);
  bool runHelpCommand(int commandId);
  void toggleAlwaysOnTop();
  void deleteFromRegistry();
  void customize();
  void about();
  // File > Print or Print Preview of the active tool window's printable view.
  void printActiveView(int commandId);
  // File > Save As... of the active tool window's transcript.
  void saveActiveTranscript();
  void editFocusWidget(const char* operation);
  bool closeToolWindows();
  void toolWindowClosing(CMyMDIChildWnd* window);
  void toolWindowActivated(QMdiSubWindow* window);
  void updateCommandStates();
  void updateTitle();
  void updateWindowList();
  void yieldShortcutsTo(CMyMDIChildWnd* active);
  int activeHelpContext() const;

  const ToolCatalog& catalog_;
  IMainWindowReporter& reporter_;
  IMessageBoxes& boxes_;
  ITftpServer* tftpServer_ = nullptr;
  CClockWnd* clock_;
  std::map<int, QAction*> actions_;
  // The keys of the main window's commands, some of which an active tool
  // window may take over for a while.
  std::map<QAction*, QList<QKeySequence>> ownShortcuts_;
  QMenu* windowMenu_ = nullptr;
  std::vector<QAction*> windowListActions_;  // the separator and one per tool window
  std::vector<CMyMDIChildWnd*> windows_;
  bool closingToolWindows_ = false;
  // Broadcast boxes open now (each runs modally, one on top of the other),
  // and whether a datagram was dropped since the count was last below the
  // limit.
  int openBroadcastBoxes_ = 0;
  bool broadcastsDropped_ = false;
  QPointer<CHelpWindow> help_;
  std::unique_ptr<ILockKeyReader> lockKeys_;  // null where the state cannot be read
  std::vector<QLabel*> lockPanes_;            // CAP, NUM, SCRL
};

}  // namespace netrove
