#pragma once
// A ping engine wired to recorders: the transcript it writes, what it
// reports to the main window and its finished notices.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "diagnostics/ping_engine.h"
#include "shell/transcript_sink.h"
#include "support/recording_reporter.h"

namespace netrove::test {

class RecordingSink : public ITranscriptSink {
 public:
  void AppendTranscript(std::string_view text) override {
    std::lock_guard lock(mutex_);
    text_ += text;
  }
  std::string Text() const {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

class FinishedRecorder : public IRunFinishedListener {
 public:
  void PostRunFinished(int commandId) override {
    std::lock_guard lock(mutex_);
    lastCommand_ = commandId;
    ++count_;
    changed_.notify_all();
  }
  // Waits for the n-th notice; false when it does not come in time.
  bool WaitFor(int n, std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return count_ >= n; });
  }
  int Count() const {
    std::lock_guard lock(mutex_);
    return count_;
  }
  int LastCommand() const {
    std::lock_guard lock(mutex_);
    return lastCommand_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
  int lastCommand_ = 0;
};

struct PingHarness {
  RecordingSink sink;
  RecordingReporter reporter;
  FinishedRecorder finished;
  CPingEngine engine{sink, reporter, finished};

  // Starts a run and waits for its end; false when it did not end in time.
  bool Run(const PingRequest& request) {
    const int before = finished.Count();
    if (!engine.Start(request)) return false;
    const bool ended = finished.WaitFor(before + 1);
    engine.Join();
    return ended;
  }
};

inline PingRequest LoopbackRequest(int count, int size = 64) {
  PingRequest request;
  request.host = "127.0.0.1";
  request.requestLimit = count;
  request.packetSize = size;
  return request;
}

// Number of occurrences of `needle` in `text`.
inline int CountOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
    ++count;
  return count;
}

}  // namespace netrove::test
