#include "peer/chat_call.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <optional>

#include "base/tool_message.h"
#include "peer/chat_view.h"
#include "widgets/message_boxes.h"
#include "widgets/shell_context.h"
#include "widgets/tool_view.h"

namespace netrove {

SocketStatus ReverseLookUp(const SocketAddress& caller, std::string& name) {
  HostEntry entry;
  const SocketStatus found = GetHostByAddr(caller, entry);
  if (found) name = entry.name;
  return found;
}

void OpenChatWindow(IShellContext& shell, std::shared_ptr<CNetSocket> socket, const QString& name) {
  auto* view = new CChatView(shell.toolServices());
  view->setDocumentTitle(QStringLiteral("Chatting with ") + name);
  shell.openToolWindow(view, QStringLiteral("Chat"));
  view->attach(std::move(socket));
}

// The caller's name; "Unknown Host" when the look-up fails or takes longer
// than the limit, or when no thread could look it up. The look-up thread
// owns what it writes, so a late answer harms nothing.
QString CChatCallAnswerer::CallerName(IShellContext& shell, const SocketAddress& caller) {
  struct LookUp {
    std::mutex mutex;
    std::optional<std::string> name;
    int error = 0;
    std::atomic<bool> done{false};
  };
  auto lookUp = std::make_shared<LookUp>();
  const bool started = LaunchDetached(launcher_, [lookUp, caller, find = lookUp_] {
    std::string name;
    const SocketStatus found = find(caller, name);
    std::lock_guard lock(lookUp->mutex);
    if (found) lookUp->name = std::move(name);
    lookUp->error = found ? 0 : found.error;
    lookUp->done = true;
  });
  if (!started) {
    shell.toolServices().reporter().PostToolMessage(kSourceSystemMessage, kNoThreadText);
    return QStringLiteral("Unknown Host");
  }
  QEventLoop wait;
  QTimer poll;
  const auto deadline = std::chrono::steady_clock::now() + limit_;
  QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
    if (lookUp->done || std::chrono::steady_clock::now() > deadline) wait.quit();
  });
  poll.start(20);
  wait.exec(QEventLoop::ExcludeUserInputEvents);
  std::lock_guard lock(lookUp->mutex);
  if (lookUp->name) return QString::fromStdString(*lookUp->name);
  ReportSocketError(shell.toolServices().reporter(), lookUp->done ? lookUp->error : WSATRY_AGAIN);
  return QStringLiteral("Unknown Host");
}

void CChatCallAnswerer::Answer(IShellContext& shell, std::unique_ptr<CNetSocket> socket,
                               const SocketAddress& caller) {
  if (asking_) {
    socket->Interrupt();
    return;
  }
  asking_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const QString name = CallerName(shell, caller);
  QApplication::restoreOverrideCursor();
  const bool yes = AskPlainYesNo(shell.mainWindow(), QStringLiteral("Netrove"),
                                 QStringLiteral("Would you want to chat with %1?").arg(name));
  asking_ = false;
  if (!yes) {
    socket->Interrupt();
    return;
  }
  QWidget* frame = shell.mainWindow();
  if (frame->isMinimized()) frame->showNormal();
  OpenChatWindow(shell, std::move(socket), name);
}

}  // namespace netrove
