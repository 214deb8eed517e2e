#include "app/queued_listener_events.h"

#include "app/main_frame.h"

namespace netrove {

CQueuedListenerEvents::CQueuedListenerEvents(CMainFrame& frame, QObject* parent)
    : QObject(parent), frame_(&frame) {}

void CQueuedListenerEvents::ChatCallArrived(std::unique_ptr<CNetSocket> socket,
                                            const SocketAddress& caller) {
  // The socket travels inside the queued call; a call never delivered is
  // destroyed with it, closing the socket.
  QMetaObject::invokeMethod(
      this,
      [this, call = std::move(socket), caller]() mutable {
        if (frame_ != nullptr) frame_->handleChatCall(std::move(call), caller);
      },
      Qt::QueuedConnection);
}

void CQueuedListenerEvents::BroadcastArrived(std::string text) {
  QMetaObject::invokeMethod(
      this,
      [this, text = QString::fromStdString(text)] {
        if (frame_ != nullptr) frame_->handleBroadcast(text);
      },
      Qt::QueuedConnection);
}

}  // namespace netrove
