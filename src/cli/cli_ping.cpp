// netrove-cli ping: one run of the ping engine with the stored defaults,
// printing the transcript as the Ping window shows it. Ctrl+C interrupts the
// run the way the window's Interrupt button does, and then, as every
// command-line ping does, still prints the statistics.
#include <ostream>

#include "base/net_socket.h"
#include "cli/cli_command.h"
#include "cli/cli_family.h"
#include "cli/cli_run.h"
#include "diagnostics/ping_engine.h"

namespace netrove::cli {
namespace {

// The letters are iputils ping's where the meaning is the same (its -s
// counts data bytes without the header, so the size has none).
constexpr Option kOptions[] = {
    {"count", 'c', "N", "send N requests, then stop", RangeOf(kPacketsToSendRange)},
    {"continuous", '\0', {}, "send until Ctrl+C"},
    {"size", '\0', "BYTES", "size of each request, header included", RangeOf(kPacketSizeRange)},
    {"timeout", 'W', "SECONDS", "wait this long for each reply", RangeOf(kReplyTimeOutRange)},
    {"resolve", '\0', {}, "show the host's name as well as its address"},
    {"ttl", 't', "N", "send with this time-to-live", RangeOf(kTtlRange)},
    {"dont-route", 'r', {}, "bypass the routing table"},
    kIPv4Option,
    kIPv6Option,
};

int RunPing(const CommandLine& line, CliStreams& io) {
  if (line.Has("count") && line.Has("continuous")) {
    io.err << "netrove-cli ping: --count and --continuous exclude each other\n";
    return kUsageError;
  }
  // The General page's choice is for connections; ping goes where the
  // resolver's first address leads unless told otherwise.
  const std::optional<FamilyChoice> family = FamilyFrom(line, io, FamilyChoice::Both);
  if (!family) return kUsageError;
  PingSettings settings = ReadPingSettings();
  if (line.Take("count", settings.packetsToSend)) settings.specifyLimit = true;
  if (line.Has("continuous")) settings.specifyLimit = false;
  line.Take("size", settings.packetSize);
  line.Take("timeout", settings.replyTimeOutSeconds);
  if (line.Take("ttl", settings.timeToLive)) settings.setTimeToLive = true;
  if (line.Has("resolve")) settings.resolveAddress = true;
  if (line.Has("dont-route")) settings.dontRoute = true;
  PingRequest request = PingRequestFromSettings(settings, line.operands()[0]);
  request.statisticsWhenInterrupted = true;
  request.family = *family;
  return RunTranscriptEngine<CPingEngine>(
      request, io, [](const CPingEngine& engine) { return engine.RepliesReceived() > 0; },
      SystemResolver());
}

const CommandRegistrar registrar({"ping", "HOST",
                                  "Send ICMP echo requests and list the replies and statistics.",
                                  kOptions, RunPing, 1, 1,
                                  "Options not given keep the defaults of the Ping page of "
                                  "Customize.\nExit status 0 when a reply came back.\n"});

}  // namespace
}  // namespace netrove::cli
