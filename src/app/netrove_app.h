#pragma once
// The application object: start-up in its fixed order (one copy per user,
// the main window and its settings, the splash window, the listeners and the
// TFTP server) and shutdown in the reverse of it.
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>

#include "app/shell_listeners.h"
#include "base/settings_store.h"
#include "widgets/tool_catalog.h"

namespace netrove {

class CMainFrame;
class CMainWindowReporter;
class CQueuedListenerEvents;
class CSingleInstance;
class CSplashWnd;
class CToolMessageBox;
class IMessageBoxes;
class ITftpServer;

struct AppOptions {
  QString instanceName;  // empty: SingleInstanceName()
  std::uint16_t chatPort = kChatPort;
  std::uint16_t broadcastPort = kBroadcastPort;
  bool showSplash = true;
  int splashMilliseconds = 5000;
};

class CNetroveApp : public QObject, private IDamagedStoreObserver {
  Q_OBJECT

 public:
  enum class StartResult { Running, AlreadyRunning, Failed };

  CNetroveApp(AppOptions options, ToolCatalog catalog, IMessageBoxes& boxes,
              QObject* parent = nullptr);
  ~CNetroveApp() override;

  StartResult InitInstance();
  // Closes the listeners and the TFTP server and waits for their threads.
  void ExitInstance();
  // A request from outside to end (SIGTERM, SIGINT): ends the program as
  // Exit does. Where Exit would stop at a busy tool and wait for the user,
  // nobody is there to answer: the tool windows save what closing them would
  // (the newsreader's read marks), the shell's placement is saved and the
  // program ends all the same; closing the tool windows then interrupts
  // their workers and waits for them.
  void EndOnRequest();
  // Opens or closes the chat and broadcast listeners as the General page
  // says: closing takes effect at once, a new address closes and reopens.
  void ApplyListenerChoice();

  CMainFrame* mainFrame() const { return frame_.get(); }
  CSplashWnd* splashWindow() const { return splash_.get(); }
  IMainWindowReporter& reporter();

 signals:
  // The main window closed: time to leave the event loop.
  void finished();

 private:
  bool startListenersAndServer();
  void showSplash();
  // From whatever thread found the damage; the box is shown once, on the GUI
  // thread.
  void StoreDamaged(const std::string& keptAs) override;

  AppOptions options_;
  ToolCatalog catalog_;
  IMessageBoxes& boxes_;
  std::unique_ptr<CToolMessageBox> messageBox_;
  std::unique_ptr<CMainWindowReporter> reporter_;
  std::atomic<bool> damageShown_{false};
  CDamagedStoreSubscription damageSubscription_{*this};
  std::unique_ptr<CSingleInstance> instance_;
  std::unique_ptr<CMainFrame> frame_;
  std::unique_ptr<CSplashWnd> splash_;
  std::unique_ptr<CQueuedListenerEvents> events_;
  std::unique_ptr<CShellListeners> listeners_;
  std::unique_ptr<ITftpServer> tftpServer_;
};

}  // namespace netrove
