#pragma once
// A diagnostics engine wired to recorders: the transcript it writes, what it
// reports to the main window and its finished notices.
#include "base/net_socket.h"
#include "support/engine_recorders.h"
#include "support/recording_reporter.h"

namespace netrove::test {

// `Engine` wired to recorders, looking names up with `resolver`.
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
