// netrove-cli ping: one run of the ping engine with the stored defaults,
// printing the transcript as the Ping window shows it. Ctrl+C interrupts the
// run the way the window's Interrupt button does.
#include <ostream>
#include <string>

#include "cli/cli_registry.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "diagnostics/ping_engine.h"

namespace netrove::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: netrove-cli ping [--count N | --continuous] [--size BYTES] [--timeout SECONDS]\n"
    "                        [--resolve] [--ttl N] [--dont-route] HOST\n"
    "Options not given keep the defaults of the Ping page of Customize.\n";

// Applies the command line to the stored defaults; false on a bad line.
bool ParseArguments(std::span<const std::string> args, PingSettings& settings, std::string& host) {
  bool countGiven = false;
  bool continuousGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--count") {
      if (!TakeNumber(args, i, settings.packetsToSend)) return false;
      settings.specifyLimit = true;
      countGiven = true;
    } else if (arg == "--continuous") {
      settings.specifyLimit = false;
      continuousGiven = true;
    } else if (arg == "--size") {
      if (!TakeNumber(args, i, settings.packetSize)) return false;
    } else if (arg == "--timeout") {
      if (!TakeNumber(args, i, settings.replyTimeOutSeconds)) return false;
    } else if (arg == "--ttl") {
      if (!TakeNumber(args, i, settings.timeToLive)) return false;
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

int RunPing(std::span<const std::string> args, CliStreams& io) {
  PingSettings settings = ReadPingSettings();
  std::string host;
  if (!ParseArguments(args, settings, host)) {
    io.err << kUsage;
    return kUsageError;
  }
  StreamSink sink(io.out);
  CliReporter reporter(io.err);
  FinishedSignal finished;
  CPingEngine engine(sink, reporter, finished, SystemResolver());
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
