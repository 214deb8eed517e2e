#pragma once
// What a netrove-cli command needs to run a tool engine the way its window
// does: a transcript sink that prints, and a main thread that waits for the
// engine's finished notice while Ctrl+C interrupts the run.
#include <pthread.h>

#include <functional>
#include <iosfwd>
#include <mutex>
#include <utility>

#include "base/run_finished.h"
#include "base/transcript_sink.h"
#include "cli/cli_command.h"
#include "cli/cli_reporter.h"

namespace netrove::cli {

// Prints the transcript as it grows, in the order of the appends.
class StreamSink : public ITranscriptSink {
 public:
  explicit StreamSink(std::ostream& out) : out_(out) {}
  void AppendTranscript(std::string_view text) override;

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

// The finished notice for RunUntilFinished; construct it on the thread
// that will call RunUntilFinished.
class FinishedSignal : public IRunFinishedListener {
 public:
  FinishedSignal();
  void PostRunFinished(int commandId) override;

 private:
  pthread_t thread_;
};

// Calls `start` and, when it started a run, waits for the finished notice,
// calling `interrupt` for every SIGINT meanwhile; then `join`. The signals
// are blocked before `start` creates any thread, so only this thread ever
// takes them.
void RunUntilFinished(const std::function<bool()>& start, const std::function<void()>& interrupt,
                      const std::function<void()>& join);

// One run of `engine` with `request`, as above.
template <class Engine, class Request>
void RunUntilFinished(Engine& engine, const Request& request) {
  RunUntilFinished([&] { return engine.Start(request); }, [&] { engine.Interrupt(); },
                   [&] { engine.Join(); });
}

// The run of a tool engine that reports to a transcript, as its window runs
// it: the transcript printed to io.out, message boxes to io.err, Ctrl+C as
// the Interrupt button. The engine is built from the sink, the reporter, the
// finished notice and `engineArgs` (such as the resolver). Exit status 0
// when `succeeded(engine)` holds after the run, else 1.
template <class Engine, class Request, class Succeeded, class... EngineArgs>
int RunTranscriptEngine(const Request& request, CliStreams& io, Succeeded succeeded,
                        EngineArgs&&... engineArgs) {
  StreamSink sink(io.out);
  CliReporter reporter(io.err);
  FinishedSignal finished;
  Engine engine(sink, reporter, finished, std::forward<EngineArgs>(engineArgs)...);
  RunUntilFinished(engine, request);
  return succeeded(std::as_const(engine)) ? 0 : 1;
}

}  // namespace netrove::cli
