// netrove-cli ping: one run of the ping engine with the stored defaults,
// printing the transcript as the Ping window shows it. Ctrl+C interrupts the
// run the way the window's Interrupt button does.
#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_registry.h"
#include "cli/cli_reporter.h"
#include "diagnostics/ping_engine.h"
#include "shell/transcript_sink.h"

namespace netrove::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: netrove-cli ping [--count N | --continuous] [--size BYTES] [--timeout SECONDS]\n"
    "                        [--resolve] [--ttl N] [--dont-route] HOST\n"
    "Options not given keep the defaults of the Ping page of Customize.\n";

// The engine's own end is signalled to the waiting main thread with this.
constexpr int kFinishedSignal = SIGUSR1;

class StreamSink : public ITranscriptSink {
 public:
  explicit StreamSink(std::ostream& out) : out_(out) {}
  void AppendTranscript(std::string_view text) override {
    std::lock_guard lock(mutex_);
    out_ << text << std::flush;
  }

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

class WakeMainThread : public IRunFinishedListener {
 public:
  WakeMainThread() : thread_(pthread_self()) {}
  void PostRunFinished(int) override { pthread_kill(thread_, kFinishedSignal); }

 private:
  pthread_t thread_;
};

std::optional<std::int32_t> ParseCount(const std::string& text) {
  std::int32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// Applies the command line to the stored defaults; false on a bad line.
bool ParseArguments(std::span<const std::string> args, PingSettings& settings, std::string& host) {
  bool countGiven = false;
  bool continuousGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto number = [&](std::int32_t& into) {
      if (i + 1 >= args.size()) return false;
      const auto value = ParseCount(args[++i]);
      if (value) into = *value;
      return value.has_value();
    };
    if (arg == "--count") {
      if (!number(settings.packetsToSend)) return false;
      settings.specifyLimit = true;
      countGiven = true;
    } else if (arg == "--continuous") {
      settings.specifyLimit = false;
      continuousGiven = true;
    } else if (arg == "--size") {
      if (!number(settings.packetSize)) return false;
    } else if (arg == "--timeout") {
      if (!number(settings.replyTimeOutSeconds)) return false;
    } else if (arg == "--ttl") {
      if (!number(settings.timeToLive)) return false;
      settings.setTimeToLive = true;
    } else if (arg == "--resolve") {
      settings.resolveAddress = true;
    } else if (arg == "--dont-route") {
      settings.dontRoute = true;
    } else if (arg.starts_with("-") || !host.empty()) {
      return false;
    } else {
      host = arg;
    }
  }
  return !host.empty() && !(countGiven && continuousGiven);
}

// Runs the engine until it finishes, turning SIGINT into Interrupt. The
// signals are blocked before the engine's threads exist, so only this
// thread ever takes them.
void RunUntilFinished(CPingEngine& engine, const PingRequest& request) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, kFinishedSignal);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &signals, &previous);
  if (engine.Start(request)) {
    int signal = 0;
    while (sigwait(&signals, &signal) == 0 && signal == SIGINT) engine.Interrupt();
    engine.Join();
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

int RunPing(std::span<const std::string> args, CliStreams& io) {
  PingSettings settings = ReadPingSettings();
  std::string host;
  if (!ParseArguments(args, settings, host)) {
    io.err << kUsage;
    return kUsageError;
  }
  StreamSink sink(io.out);
  CliReporter reporter(io.err);
  WakeMainThread finished;
  CPingEngine engine(sink, reporter, finished);
  RunUntilFinished(engine, PingRequestFromSettings(settings, host));
  return engine.RepliesReceived() > 0 ? 0 : 1;
}

const CommandRegistrar registrar(
    {"ping",
     "ping [--count N | --continuous] [--size BYTES] [--timeout SECONDS] "
     "[--resolve] [--ttl N] [--dont-route] HOST",
     "Send ICMP echo requests and list the replies and statistics.", RunPing});

}  // namespace
}  // namespace netrove::cli
