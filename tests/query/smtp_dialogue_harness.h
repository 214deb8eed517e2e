#pragma once
// Runs the SMTP dialogue object with its transcript, reports and finished
// notice recorded, for the dialogue and command-line tests.
#include "query/smtp_dialogue.h"
#include "support/engine_recorders.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"

namespace netrove::test {

struct DialogueHarness {
  ScopedHome home;
  RecordingSink transcript;
  RecordingReporter reporter;
  FinishedRecorder finished;
  CSmtpDialogue dialogue{transcript, reporter, finished};

  // Runs one dialogue to its end (the server closing, or a deadline that
  // hangs up); false when it did not start or had to be hung up.
  bool RunToEnd(const SmtpRequest& request) {
    if (!dialogue.Start(request)) return false;
    const bool ended = WaitUntil([&] { return finished.Count() > 0; });
    if (!ended) dialogue.HangUp();
    dialogue.Join();
    return ended;
  }
};

}  // namespace netrove::test
