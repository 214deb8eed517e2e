#pragma once
// What a netrove-cli command needs to run a tool engine the way its window
// does: a transcript sink that prints, and a main thread that waits for the
// engine's finished notice while Ctrl+C interrupts the run.
#include <pthread.h>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "base/run_finished.h"
#include "base/transcript_sink.h"

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

// The whole of `text` as a decimal number; nothing otherwise.
std::optional<std::int32_t> ParseNumber(const std::string& text);

// Reads the value of the option at args[i] into `into` and moves i onto
// it. False when the value is missing or not a number.
bool TakeNumber(std::span<const std::string> args, std::size_t& i, std::int32_t& into);

}  // namespace netrove::cli
