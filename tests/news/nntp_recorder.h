#pragma once
// The connection's events as a test sees them: each recorded in order, on
// whichever thread raised it, and waited for without a sleep.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "news/nntp_events.h"
#include "support/wait_until.h"

namespace netrove::test {

struct RecordedPost {
  NntpWindow window = 0;
  NntpPostOutcome outcome = NntpPostOutcome::Unanswered;
  std::string reply;
};

struct RecordedRefusal {
  int command = 0;
  std::string reply;
};

struct RecordedNntp {
  std::vector<bool> busy;
  std::vector<bool> greetings;
  std::vector<std::string> lists;
  std::vector<NntpGroupCounts> groups;
  std::vector<bool> refreshed;
  std::vector<NntpGroupProblem> problems;
  std::vector<NntpHeaderBlock> headers;
  std::vector<int> headerSteps;  // one per batch
  std::vector<std::optional<std::string>> articles;
  std::vector<RecordedPost> posts;
  std::vector<RecordedRefusal> refusals;
  std::vector<TlsHandshakeReport> untrusted;
  bool closed = false;
  NntpEnd end = NntpEnd::Asked;

  // Numbers of the headers in the order they came.
  std::vector<long> HeaderNumbers() const {
    std::vector<long> numbers;
    for (const NntpHeaderBlock& header : headers) numbers.push_back(header.number);
    return numbers;
  }
  std::size_t IdleCount() const {
    std::size_t idle = 0;
    for (const bool state : busy) idle += !state;
    return idle;
  }
};

class NntpRecorder : public INntpEvents {
 public:
  void BusyChanged(bool busy) override {
    Change([&](RecordedNntp& r) { r.busy.push_back(busy); });
  }
  void Greeted(bool postingAllowed) override {
    Change([&](RecordedNntp& r) { r.greetings.push_back(postingAllowed); });
  }
  void GroupListArrived(std::string list) override {
    Change([&](RecordedNntp& r) { r.lists.push_back(std::move(list)); });
  }
  void GroupSelected(const NntpGroupCounts& counts, bool refreshed) override {
    Change([&](RecordedNntp& r) {
      r.groups.push_back(counts);
      r.refreshed.push_back(refreshed);
    });
  }
  void GroupUnavailable(NntpGroupProblem problem) override {
    Change([&](RecordedNntp& r) { r.problems.push_back(problem); });
  }
  void HeadersArrived(std::vector<NntpHeaderBlock> headers, int step) override {
    Change([&](RecordedNntp& r) {
      for (NntpHeaderBlock& header : headers) r.headers.push_back(std::move(header));
      r.headerSteps.push_back(step);
    });
  }
  void ArticleArrived(std::optional<std::string> text) override {
    Change([&](RecordedNntp& r) { r.articles.push_back(std::move(text)); });
  }
  void PostEnded(NntpWindow window, NntpPostOutcome outcome, const std::string& reply) override {
    Change([&](RecordedNntp& r) { r.posts.push_back({window, outcome, reply}); });
  }
  void CommandRefused(int command, const std::string& reply) override {
    Change([&](RecordedNntp& r) { r.refusals.push_back({command, reply}); });
  }
  void CertificateNotTrusted(const TlsHandshakeReport& report) override {
    Change([&](RecordedNntp& r) { r.untrusted.push_back(report); });
  }
  void Closed(NntpEnd end) override {
    Change([&](RecordedNntp& r) {
      r.closed = true;
      r.end = end;
    });
  }

  RecordedNntp Seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  template <class Condition>
  bool WaitFor(Condition condition) const {
    return WaitUntil([&] { return condition(Seen()); });
  }
  bool WaitClosed() const {
    return WaitFor([](const RecordedNntp& r) { return r.closed; });
  }
  // The connection went idle `times` times and is idle now.
  bool WaitIdle(std::size_t times = 1) const {
    return WaitFor([&](const RecordedNntp& r) {
      return r.IdleCount() >= times && !r.busy.empty() && !r.busy.back();
    });
  }

 private:
  template <class Work>
  void Change(Work work) {
    std::lock_guard lock(mutex_);
    work(seen_);
  }

  mutable std::mutex mutex_;
  RecordedNntp seen_;
};

}  // namespace netrove::test
