#pragma once
// The panes of a newsreader window as a test sees them: every message the
// connection delivers, in order, with its text copied; Send answers with a
// function the test chooses.
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "news/nntp_messages.h"
#include "support/wait_until.h"

namespace netrove::test {

struct RecordedNntp {
  std::optional<NntpPane> pane;  // nothing: posted to a posting window
  NntpWindow window = 0;
  unsigned id = 0;
  long wParam = 0;
  long lParam = 0;
  std::optional<std::string> text;
  int stepCommand = 0;
  int articleNumber = 0;
};

class NntpRecorder : public INntpWindows {
 public:
  std::function<long(const NntpMessage&)> answer = [](const NntpMessage&) { return 0L; };

  long Send(NntpPane pane, const NntpMessage& message) override {
    Record(pane, 0, message);
    return answer(message);
  }
  void Post(NntpPane pane, const NntpMessage& message) override { Record(pane, 0, message); }
  void PostTo(NntpWindow window, const NntpMessage& message) override {
    Record(std::nullopt, window, message);
  }

  std::vector<RecordedNntp> All() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::vector<RecordedNntp> Of(unsigned id) const {
    std::vector<RecordedNntp> found;
    for (const RecordedNntp& message : All()) {
      if (message.id == id) found.push_back(message);
    }
    return found;
  }
  bool WaitFor(unsigned id, long wParam) const {
    return WaitUntil([&] {
      for (const RecordedNntp& message : All()) {
        if (message.id == id && message.wParam == wParam) return true;
      }
      return false;
    });
  }
  // The connection has gone idle (again) after `busyCount` busy notices.
  bool WaitIdle(std::size_t times = 1) const {
    return WaitUntil([&] {
      std::size_t idle = 0;
      for (const RecordedNntp& message : All()) {
        idle += message.id == WM_NNTP_BUSY && message.wParam == 0;
      }
      return idle >= times;
    });
  }

 private:
  void Record(std::optional<NntpPane> pane, NntpWindow window, const NntpMessage& message) {
    RecordedNntp recorded{pane,           window,       message.id,          message.wParam,
                          message.lParam, std::nullopt, message.stepCommand, message.articleNumber};
    if (message.hasText) recorded.text = std::string(message.text);
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(recorded));
  }

  mutable std::mutex mutex_;
  std::vector<RecordedNntp> messages_;
};

}  // namespace netrove::test
