#pragma once
// A diagnostics engine wired to recorders: the transcript it writes, what it
// reports to the main window and its finished notices.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "base/net_socket.h"
#include "base/run_finished.h"
#include "base/transcript_sink.h"
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

// `Engine` wired to the recorders above, looking names up with `resolver`.
template <class Engine, class Request>
struct EngineHarness {
  explicit EngineHarness(IResolver& resolver = SystemResolver())
      : engine(sink, reporter, finished, resolver) {}

  RecordingSink sink;
  RecordingReporter reporter;
  FinishedRecorder finished;
  Engine engine;

  // Starts a run and waits for its end; false when it did not end in time.
  bool Run(const Request& request) {
    const int before = finished.Count();
    if (!engine.Start(request)) return false;
    const bool ended = finished.WaitFor(before + 1);
    engine.Join();
    return ended;
  }
};

}  // namespace netrove::test
