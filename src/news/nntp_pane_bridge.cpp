#include "news/nntp_pane_bridge.h"

#include <memory>
#include <string>

namespace netrove {

struct CNntpPaneBridge::Delivery {
  NntpMessage message;
  std::string text;  // the message's own copy
  NntpPane pane = NntpPane::List;
  std::optional<NntpWindow> window;
  bool answered = false;
  long result = 0;
};

CNntpPaneBridge::CNntpPaneBridge(PaneHandler panes, WindowHandler windows, QObject* parent)
    : QObject(parent), panes_(std::move(panes)), windows_(std::move(windows)) {}

void CNntpPaneBridge::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  answered_.notify_all();
}

namespace {

template <class Delivery>
std::shared_ptr<Delivery> Copy(const NntpMessage& message) {
  auto delivery = std::make_shared<Delivery>();
  delivery->message = message;
  delivery->text.assign(message.text);
  delivery->message.text = delivery->text;
  return delivery;
}

}  // namespace

long CNntpPaneBridge::Send(NntpPane pane, const NntpMessage& message) {
  auto delivery = Copy<Delivery>(message);
  delivery->pane = pane;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return 0;
  }
  QMetaObject::invokeMethod(
      this, [this, delivery] { deliver(delivery); }, Qt::QueuedConnection);
  std::unique_lock lock(mutex_);
  answered_.wait(lock, [&] { return delivery->answered || closed_; });
  return delivery->answered ? delivery->result : 0;
}

void CNntpPaneBridge::Post(NntpPane pane, const NntpMessage& message) {
  auto delivery = Copy<Delivery>(message);
  delivery->pane = pane;
  QMetaObject::invokeMethod(
      this, [this, delivery] { deliver(delivery); }, Qt::QueuedConnection);
}

void CNntpPaneBridge::PostTo(NntpWindow window, const NntpMessage& message) {
  auto delivery = Copy<Delivery>(message);
  delivery->window = window;
  QMetaObject::invokeMethod(
      this, [this, delivery] { deliver(delivery); }, Qt::QueuedConnection);
}

void CNntpPaneBridge::deliver(std::shared_ptr<Delivery> delivery) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
  }
  long result = 0;
  if (delivery->window) {
    windows_(*delivery->window, delivery->message);
  } else {
    result = panes_(delivery->pane, delivery->message);
  }
  std::lock_guard lock(mutex_);
  delivery->result = result;
  delivery->answered = true;
  answered_.notify_all();
}

}  // namespace netrove
