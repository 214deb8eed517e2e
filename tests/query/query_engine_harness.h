#pragma once
// Runs the query engine as a window would, with the transcript, the main
// window's messages and the finished notice recorded.
#include "base/net_socket.h"
#include "query/query_engine.h"
#include "support/engine_recorders.h"
#include "support/recording_reporter.h"

namespace netrove::test {

struct QueryHarness {
  explicit QueryHarness(IResolver& resolver = SystemResolver())
      : engine(transcript, reporter, finished, resolver) {}

  RecordingSink transcript;
  RecordingReporter reporter;
  FinishedRecorder finished;
  CQueryEngine engine;

  // Runs one query to its end; false when it did not end in time.
  bool Run(const QueryRequest& request) {
    if (!engine.Start(request) || !finished.WaitFor(1)) return false;
    engine.Join();
    return true;
  }
};

}  // namespace netrove::test
