#pragma once
// Runs the SMTP dialogue object with its transcript, reports and finished
// notice recorded, for the dialogue and command-line tests.
#include <atomic>
#include <mutex>
#include <string>

#include "base/run_finished.h"
#include "base/transcript_sink.h"
#include "query/smtp_dialogue.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
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

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

class FinishedCount : public IRunFinishedListener {
 public:
  void PostRunFinished(int commandId) override {
    lastCommand = commandId;
    ++count;
  }
  std::atomic<int> count{0};
  std::atomic<int> lastCommand{0};
};

struct DialogueHarness {
  ScopedHome home;
  RecordingTranscript transcript;
  RecordingReporter reporter;
  FinishedCount finished;
  CSmtpDialogue dialogue{transcript, reporter, finished};

  // Runs one dialogue to its end (the server closing, or a deadline that
  // hangs up); false when it did not start or had to be hung up.
  bool RunToEnd(const SmtpRequest& request) {
    if (!dialogue.Start(request)) return false;
    const bool ended = WaitUntil([&] { return finished.count.load() > 0; });
    if (!ended) dialogue.HangUp();
    dialogue.Join();
    return ended;
  }
};

}  // namespace netrove::test
