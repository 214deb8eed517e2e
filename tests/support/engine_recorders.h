#pragma once
// Recorders for an engine's outputs, safe to fill from its worker thread and
// read from the test: the transcript it writes and its finished notices.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>

#include "base/run_finished.h"
#include "base/transcript_sink.h"
#include "support/wait_until.h"

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
  // Waits until the transcript holds `expected` somewhere.
  bool WaitForText(const std::string& expected) const {
    return WaitUntil([&] { return Text().find(expected) != std::string::npos; });
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

}  // namespace netrove::test
