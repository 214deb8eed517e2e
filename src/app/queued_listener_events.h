#pragma once
// Hands what the listener threads receive to the main window on the GUI
// thread. An event still queued when the program ends is dropped and its
// socket closed.
#include <QObject>
#include <QPointer>

#include "app/shell_listeners.h"

namespace netrove {

class CMainFrame;

class CQueuedListenerEvents : public QObject, public IListenerEvents {
  Q_OBJECT

 public:
  explicit CQueuedListenerEvents(CMainFrame& frame, QObject* parent = nullptr);

  void ChatCallArrived(std::unique_ptr<CNetSocket> socket, const SocketAddress& caller) override;
  void BroadcastArrived(std::string text) override;

 private:
  QPointer<CMainFrame> frame_;
};

}  // namespace netrove
