#pragma once
// Moves the connection's events from its reader thread onto the GUI thread,
// in order, to the newsreader window. Nothing waits: after close() the
// events still queued are dropped, so a connection that has been replaced
// never reaches the window.
#include <QObject>
#include <atomic>

#include "news/nntp_events.h"

namespace netrove {

class CNntpEventQueue : public QObject, public INntpEvents {
  Q_OBJECT

 public:
  CNntpEventQueue(INntpEvents& target, QObject* parent = nullptr);

  // From the GUI thread: nothing more is delivered.
  void close() { closed_.store(true); }

  void BusyChanged(bool busy) override;
  void Greeted(bool postingAllowed) override;
  void GroupListArrived(std::string list) override;
  void GroupSelected(const NntpGroupCounts& counts, bool refreshed) override;
  void GroupUnavailable(NntpGroupProblem problem) override;
  void HeadersArrived(std::vector<NntpHeaderBlock> headers, int step) override;
  void ArticleArrived(std::optional<std::string> text) override;
  void PostEnded(NntpWindow window, NntpPostOutcome outcome, const std::string& reply) override;
  void CommandRefused(int command, const std::string& reply) override;
  void CertificateNotTrusted(const TlsHandshakeReport& report) override;
  void Closed(NntpEnd end) override;

 private:
  template <class Event>
  void deliver(Event event);

  INntpEvents& target_;
  std::atomic<bool> closed_{false};
};

}  // namespace netrove
