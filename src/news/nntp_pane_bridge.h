#pragma once
// Carries the connection's messages from its reader thread to the panes on
// the GUI thread. A sent message waits for the pane's answer, unless the
// bridge is closing: then it returns 0 at once, so the owner can wait for
// the reader thread without a deadlock. Texts are copied before they cross,
// so a message abandoned by a closing bridge never reads the reader's buffer.
#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

#include "news/nntp_messages.h"

namespace netrove {

class CNntpPaneBridge : public QObject, public INntpWindows {
  Q_OBJECT

 public:
  using PaneHandler = std::function<long(NntpPane, const NntpMessage&)>;
  using WindowHandler = std::function<void(NntpWindow, const NntpMessage&)>;

  CNntpPaneBridge(PaneHandler panes, WindowHandler windows, QObject* parent = nullptr);

  // From now on nothing is delivered and every waiting Send returns 0.
  void close();

  long Send(NntpPane pane, const NntpMessage& message) override;
  void Post(NntpPane pane, const NntpMessage& message) override;
  void PostTo(NntpWindow window, const NntpMessage& message) override;

 private:
  struct Delivery;
  void deliver(std::shared_ptr<Delivery> delivery);

  PaneHandler panes_;
  WindowHandler windows_;
  std::mutex mutex_;
  std::condition_variable answered_;
  bool closed_ = false;
};

}  // namespace netrove
