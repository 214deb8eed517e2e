#include "news/nntp_event_queue.h"

#include <utility>

namespace netrove {

CNntpEventQueue::CNntpEventQueue(INntpEvents& target, QObject* parent)
    : QObject(parent), target_(target) {}

template <class Event>
void CNntpEventQueue::deliver(Event event) {
  QMetaObject::invokeMethod(
      this,
      [this, event = std::move(event)]() mutable {
        if (!closed_.load()) event(target_);
      },
      Qt::QueuedConnection);
}

void CNntpEventQueue::BusyChanged(bool busy) {
  deliver([busy](INntpEvents& target) { target.BusyChanged(busy); });
}

void CNntpEventQueue::Greeted(bool postingAllowed) {
  deliver([postingAllowed](INntpEvents& target) { target.Greeted(postingAllowed); });
}

void CNntpEventQueue::GroupListArrived(std::string list) {
  deliver([list = std::move(list)](INntpEvents& target) mutable {
    target.GroupListArrived(std::move(list));
  });
}

void CNntpEventQueue::GroupSelected(const NntpGroupCounts& counts, bool refreshed) {
  deliver([counts, refreshed](INntpEvents& target) { target.GroupSelected(counts, refreshed); });
}

void CNntpEventQueue::GroupUnavailable(NntpGroupProblem problem) {
  deliver([problem](INntpEvents& target) { target.GroupUnavailable(problem); });
}

void CNntpEventQueue::HeadersArrived(std::vector<NntpHeaderBlock> headers, int step) {
  deliver([headers = std::move(headers), step](INntpEvents& target) mutable {
    target.HeadersArrived(std::move(headers), step);
  });
}

void CNntpEventQueue::ArticleArrived(std::optional<std::string> text) {
  deliver([text = std::move(text)](INntpEvents& target) mutable {
    target.ArticleArrived(std::move(text));
  });
}

void CNntpEventQueue::PostEnded(NntpWindow window, NntpPostOutcome outcome,
                                const std::string& reply) {
  deliver(
      [window, outcome, reply](INntpEvents& target) { target.PostEnded(window, outcome, reply); });
}

void CNntpEventQueue::CommandRefused(int command, const std::string& reply) {
  deliver([command, reply](INntpEvents& target) { target.CommandRefused(command, reply); });
}

void CNntpEventQueue::CertificateNotTrusted(const TlsHandshakeReport& report) {
  deliver([report](INntpEvents& target) { target.CertificateNotTrusted(report); });
}

void CNntpEventQueue::Closed(NntpEnd end) {
  deliver([end](INntpEvents& target) { target.Closed(end); });
}

}  // namespace netrove
