// netrove-cli traceroute: one run of the traceroute engine with the stored
// defaults, printing the transcript as the traceroute window shows it.
// Ctrl+C interrupts the run the way the window's Interrupt button does.
#include <ostream>
#include <string>

#include "cli/cli_registry.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "diagnostics/traceroute_engine.h"

namespace netrove::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: netrove-cli traceroute [--probes N] [--timeout SECONDS] [--first-ttl N] [--max-ttl N]\n"
    "                              [--size BYTES] [--port P] [--resolve] [--dont-route] "
    "[--verbose] HOST\n"
    "Options not given keep the defaults of the traceroute page of Customize.\n"
    "Exit status 0 when the destination answered.\n";

// Applies the command line to the stored defaults; false on a bad line.
bool ParseArguments(std::span<const std::string> args, TraceRouteSettings& settings,
                    std::string& host) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool ok = true;
    if (arg == "--probes") {
      ok = TakeNumber(args, i, settings.probesToSend);
    } else if (arg == "--timeout") {
      ok = TakeNumber(args, i, settings.replyTimeOutSeconds);
    } else if (arg == "--first-ttl") {
      ok = TakeNumber(args, i, settings.initialTtl);
    } else if (arg == "--max-ttl") {
      ok = TakeNumber(args, i, settings.maximumTtl);
    } else if (arg == "--size") {
      ok = TakeNumber(args, i, settings.packetSize);
    } else if (arg == "--port") {
      ok = TakeNumber(args, i, settings.initialDestPort) &&
           settings.initialDestPort >= kDestinationPortRange.minimum &&
           settings.initialDestPort <= kDestinationPortRange.maximum;
    } else if (arg == "--resolve") {
      settings.resolveAddress = true;
    } else if (arg == "--dont-route") {
      settings.dontRoute = true;
    } else if (arg == "--verbose") {
      settings.verbose = true;
    } else if (arg.starts_with("-") || !host.empty()) {
      ok = false;
    } else {
      host = arg;
    }
    if (!ok) return false;
  }
  return !host.empty();
}

int RunTraceRoute(std::span<const std::string> args, CliStreams& io) {
  TraceRouteSettings settings = ReadTraceRouteSettings();
  std::string host;
  if (!ParseArguments(args, settings, host)) {
    io.err << kUsage;
    return kUsageError;
  }
  StreamSink sink(io.out);
  CliReporter reporter(io.err);
  FinishedSignal finished;
  CTraceRouteEngine engine(sink, reporter, finished, SystemResolver());
  RunUntilFinished(engine, TraceRouteRequestFromSettings(settings, host));
  return engine.DestinationReached() ? 0 : 1;
}

const CommandRegistrar registrar(
    {"traceroute",
     "traceroute [--probes N] [--timeout SECONDS] [--first-ttl N] [--max-ttl N] "
     "[--size BYTES] [--port P] [--resolve] [--dont-route] [--verbose] HOST",
     "List the routers on the way to a host, hop by hop.", RunTraceRoute});

}  // namespace
}  // namespace netrove::cli
