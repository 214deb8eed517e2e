#pragma once
// Runs the query engine as a window would, with the transcript, the main
// window's messages and the finished notice recorded.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "base/net_socket.h"
#include "base/transcript_sink.h"
#include "query/query_engine.h"
#include "support/recording_reporter.h"
#include "support/wait_until.h"

namespace netrove::test {

class RecordingTranscript : public ITranscriptSink {
 public:
  void AppendTranscript(std::string_view text) override {
    std::lock_guard lock(mutex_);
    text_ += text;
  }
  std::string Text() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  // Waits until the transcript holds `expected` somewhere.
  bool WaitForText(const std::string& expected) const {
    return WaitUntil([&] { return Text().find(expected) != std::string::npos; });
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

class RecordingFinished : public IRunFinishedListener {
 public:
  void PostRunFinished(int) override {
    std::lock_guard lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  bool WaitForNotice() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return count_ > 0; });
  }
  int Count() const {
    std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

struct QueryHarness {
  explicit QueryHarness(IResolver& resolver = SystemResolver())
      : engine(transcript, reporter, finished, resolver) {}

  RecordingTranscript transcript;
  RecordingReporter reporter;
  RecordingFinished finished;
  CQueryEngine engine;

  // Runs one query to its end; false when it did not end in time.
  bool Run(const QueryRequest& request) {
    if (!engine.Start(request) || !finished.WaitForNotice()) return false;
    engine.Join();
    return true;
  }
};

}  // namespace netrove::test
