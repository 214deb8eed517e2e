#include "app/netrove_app.h"

#include <QApplication>
#include <QMetaObject>
#include <algorithm>

#include "app/main_frame.h"
#include "app/mdi_child_wnd.h"
#include "app/queued_listener_events.h"
#include "app/shell_settings.h"
#include "app/single_instance.h"
#include "app/splash_wnd.h"
#include "app/tftp_server_hook.h"
#include "base/settings_store.h"
#include "widgets/main_window_reporter.h"
#include "widgets/message_boxes.h"
#include "widgets/tool_message_box.h"
#include "widgets/tool_view.h"

namespace netrove {
namespace {

ListenScope ScopeOf(const ListenerChoice& choice) {
  return choice.loopbackOnly ? ListenScope::Loopback : ListenScope::AllInterfaces;
}

}  // namespace

CNetroveApp::CNetroveApp(AppOptions options, ToolCatalog catalog, IMessageBoxes& boxes,
                         QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      catalog_(std::move(catalog)),
      boxes_(boxes),
      messageBox_(std::make_unique<CToolMessageBox>(boxes)),
      reporter_(std::make_unique<CMainWindowReporter>(*messageBox_)) {}

CNetroveApp::~CNetroveApp() {
  ExitInstance();
  splash_.reset();
  frame_.reset();
}

void CNetroveApp::StoreDamaged(const std::string& keptAs) {
  if (damageShown_.exchange(true)) return;
  const QString text = QStringLiteral(
                           "The settings file was damaged. It has been kept as %1 and Netrove "
                           "uses its default settings.")
                           .arg(QString::fromStdString(keptAs));
  // Queued to this object: dropped if the program is already gone.
  QMetaObject::invokeMethod(
      this, [this, text] { messageBox_->showNotice(text); }, Qt::QueuedConnection);
}

IMainWindowReporter& CNetroveApp::reporter() { return *reporter_; }

CNetroveApp::StartResult CNetroveApp::InitInstance() {
  const QString name =
      options_.instanceName.isEmpty() ? SingleInstanceName() : options_.instanceName;
  instance_ = std::make_unique<CSingleInstance>(name);
  switch (instance_->claim()) {
    case CSingleInstance::Claim::AlreadyRunning:
      return StartResult::AlreadyRunning;
    case CSingleInstance::Claim::Failed:
      messageBox_->showNotice(instance_->problem());
      return StartResult::Failed;
    case CSingleInstance::Claim::First:
      break;
  }

  frame_ = std::make_unique<CMainFrame>(catalog_, *reporter_, boxes_);
  messageBox_->setMainWindow(frame_.get());
  connect(instance_.get(), &CSingleInstance::raiseRequested, frame_.get(),
          &CMainFrame::bringToFront);
  connect(frame_.get(), &CMainFrame::closed, this, &CNetroveApp::finished);
  connect(qApp, &QGuiApplication::commitDataRequest, frame_.get(), &CMainFrame::saveSettings);

  frame_->restoreSettings();
  frame_->repaint();
  if (options_.showSplash && !frame_->isMinimized()) showSplash();

  if (!startListenersAndServer()) {
    // The failure's box is queued like any worker's message: show it before
    // the program ends.
    QCoreApplication::sendPostedEvents(reporter_.get(), QEvent::MetaCall);
    return StartResult::Failed;
  }
  return StartResult::Running;
}

void CNetroveApp::showSplash() {
  splash_ = std::make_unique<CSplashWnd>();
  connect(splash_.get(), &CSplashWnd::dismissed, frame_.get(), qOverload<>(&QWidget::update));
  splash_->showFor(frame_.get(), options_.splashMilliseconds);
}

bool CNetroveApp::startListenersAndServer() {
  events_ = std::make_unique<CQueuedListenerEvents>(*frame_);
  listeners_ = std::make_unique<CShellListeners>(*reporter_, *events_);
  connect(frame_.get(), &CMainFrame::listenerChoiceChanged, this,
          &CNetroveApp::ApplyListenerChoice);
  const ListenerChoice choice = ReadListenerChoice();
  if (choice.answer && !listeners_->StartChat(options_.chatPort, ScopeOf(choice))) return false;
  if (catalog_.tftpServer) {
    tftpServer_ = catalog_.tftpServer(*reporter_);
    frame_->setTftpServer(tftpServer_.get());
    if (tftpServer_ != nullptr) StartTftpServerWhenEnabled(*tftpServer_);
  }
  return !choice.answer || listeners_->StartBroadcast(options_.broadcastPort, ScopeOf(choice));
}

void CNetroveApp::ApplyListenerChoice() {
  if (listeners_ == nullptr) return;
  listeners_->StopChat();
  listeners_->StopBroadcast();
  const ListenerChoice choice = ReadListenerChoice();
  // A failure to reopen has been reported as the start-up's would be.
  if (choice.answer && listeners_->StartChat(options_.chatPort, ScopeOf(choice)))
    static_cast<void>(listeners_->StartBroadcast(options_.broadcastPort, ScopeOf(choice)));
}

void CNetroveApp::EndOnRequest() {
  if (frame_ == nullptr) return;
  const std::vector<CMyMDIChildWnd*>& windows = frame_->toolWindows();
  const bool busy = std::any_of(windows.begin(), windows.end(), [](const CMyMDIChildWnd* window) {
    return window->toolView() != nullptr && window->toolView()->isBusy();
  });
  if (!busy && frame_->close()) return;  // the frame's closed() ends the program
  for (CMyMDIChildWnd* window : frame_->toolWindows()) {
    if (window->toolView() != nullptr) window->toolView()->saveBeforeExit();
  }
  frame_->saveSettings();
  emit finished();
}

void CNetroveApp::ExitInstance() {
  if (listeners_ != nullptr) listeners_->StopChat();
  if (tftpServer_ != nullptr) {
    tftpServer_->Stop();
    if (frame_ != nullptr) frame_->setTftpServer(nullptr);
    tftpServer_.reset();
  }
  if (listeners_ != nullptr) listeners_->StopBroadcast();
  listeners_.reset();
  events_.reset();
}

}  // namespace netrove
