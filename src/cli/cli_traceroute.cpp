// netrove-cli traceroute: one run of the traceroute engine with the stored
// defaults, printing the transcript as the traceroute window shows it.
// Ctrl+C interrupts the run the way the window's Interrupt button does.
#include <ostream>

#include "base/net_socket.h"
#include "cli/cli_command.h"
#include "cli/cli_family.h"
#include "cli/cli_run.h"
#include "diagnostics/traceroute_engine.h"

namespace netrove::cli {
namespace {

// The letters are Debian traceroute's where the meaning is the same.
constexpr Option kOptions[] = {
    {"probes", 'q', "N", "probes sent to each hop", RangeOf(kProbesToSendRange)},
    {"timeout", 'w', "SECONDS", "wait this long for each answer", RangeOf(kTraceTimeOutRange)},
    {"first-ttl", 'f', "N", "time-to-live of the first hop", RangeOf(kTraceTtlRange)},
    {"max-ttl", 'm', "N", "time-to-live of the last hop tried", RangeOf(kTraceTtlRange)},
    {"size", '\0', "BYTES", "size of each probe, header included", RangeOf(kProbeSizeRange)},
    {"port", 'p', "PORT", "destination port of the first probe", RangeOf(kDestinationPortRange)},
    {"resolve", '\0', {}, "show the routers' names as well as their addresses"},
    {"dont-route", 'r', {}, "bypass the routing table"},
    kIPv4Option,
    kIPv6Option,
    {"verbose", '\0', {}, "list every answer, also those the trace does not use"},
};

// The first and last time-to-live keep the page's rule that the last is
// never below the first: the one given moves the stored other along; both
// given the wrong way round is a mistake.
bool ApplyTtls(const CommandLine& line, TraceRouteSettings& settings, CliStreams& io) {
  const bool first = line.Take("first-ttl", settings.initialTtl);
  const bool last = line.Take("max-ttl", settings.maximumTtl);
  if (first && last && settings.initialTtl > settings.maximumTtl) {
    io.err << "netrove-cli traceroute: --first-ttl must not be above --max-ttl\n";
    return false;
  }
  if (first) settings.maximumTtl = KeptMaximumTtl(settings.maximumTtl, settings.initialTtl);
  if (last) settings.initialTtl = KeptInitialTtl(settings.initialTtl, settings.maximumTtl);
  return true;
}

int RunTraceRoute(const CommandLine& line, CliStreams& io) {
  TraceRouteSettings settings = ReadTraceRouteSettings();
  if (!ApplyTtls(line, settings, io)) return kUsageError;
  const std::optional<FamilyChoice> family = FamilyFrom(line, io, FamilyChoice::Both);
  if (!family) return kUsageError;
  line.Take("probes", settings.probesToSend);
  line.Take("timeout", settings.replyTimeOutSeconds);
  line.Take("size", settings.packetSize);
  line.Take("port", settings.initialDestPort);
  if (line.Has("resolve")) settings.resolveAddress = true;
  if (line.Has("dont-route")) settings.dontRoute = true;
  if (line.Has("verbose")) settings.verbose = true;
  TraceRouteRequest request = TraceRouteRequestFromSettings(settings, line.operands()[0]);
  request.family = *family;
  return RunTranscriptEngine<CTraceRouteEngine>(
      request, io, [](const CTraceRouteEngine& engine) { return engine.DestinationReached(); },
      SystemResolver());
}

const CommandRegistrar registrar({"traceroute", "HOST",
                                  "List the routers on the way to a host, hop by hop.", kOptions,
                                  RunTraceRoute, 1, 1,
                                  "Options not given keep the defaults of the traceroute page of "
                                  "Customize.\nExit status 0 when the destination answered.\n"});

}  // namespace
}  // namespace netrove::cli
