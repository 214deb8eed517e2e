// netrove-cli whois: one WhoIs request, printing the answer as the
// NicName/WhoIs window shows it. Ctrl+C interrupts the request the way the
// window's Interrupt button does.
#include <cstdint>
#include <ostream>
#include <string>

#include "base/host_port.h"
#include "cli/cli_command.h"
#include "cli/cli_family.h"
#include "cli/cli_run.h"
#include "query/nicname_settings.h"
#include "query/query_engine.h"
#include "query/query_request.h"

namespace netrove::cli {
namespace {

// whois(1) names the server with -h, which here asks for the help.
constexpr Option kOptions[] = {
    {"server", '\0', "HOST[:PORT]", "ask this server (port 43 unless given)"},
    {"alternative", '\0', {}, "ask the alternative built-in server, whois.arin.net"},
    {"help-request", '\0', {}, "ask the server for its help text (\"?\")"},
    kIPv4Option,
    kIPv6Option,
    {"no-referrals",
     '\0',
     {},
     "show the first server's answer only (default: the NicName/WhoIs page's)"},
};

// Several words make one command line, joined with blanks.
std::string JoinedOperands(const CommandLine& line) {
  std::string joined;
  for (const std::string& word : line.operands()) {
    if (!joined.empty()) joined += ' ';
    joined += word;
  }
  return joined;
}

// The request line, or an empty text (with the reason printed) when the
// command line cannot be sent.
std::string RequestLine(const CommandLine& line, CliStreams& io) {
  const std::string command = JoinedOperands(line);
  if (line.Has("help-request")) {
    if (command.empty()) return std::string(kWhoIsHelpRequest);
    io.err << "netrove-cli whois: --help-request takes no COMMAND\n";
    return {};
  }
  if (command.empty() || command.size() > static_cast<std::size_t>(kWhoIsCommandLimit)) {
    io.err << "netrove-cli whois: COMMAND must be 1 to " << kWhoIsCommandLimit << " characters\n";
    return {};
  }
  if (!IsSafeQueryText(command)) {
    io.err << "netrove-cli whois: COMMAND holds a CR, LF or NUL\n";
    return {};
  }
  return WhoIsRequestLine(command);
}

int RunWhoIs(const CommandLine& line, CliStreams& io) {
  const NicNameSettings settings = ReadNicNameSettings();
  std::string server = WhoIsServerHost(settings.choice, settings.otherServer);
  std::uint16_t port = kWhoIsPort;
  if (line.Has("server") && line.Has("alternative")) {
    io.err << "netrove-cli whois: --server and --alternative exclude each other\n";
    return kUsageError;
  }
  if (line.Has("alternative")) server = std::string(kAlternativeWhoIsServer.host);
  if (const auto given = line.Text("server"); given && !SplitServerAndPort(*given, server, port)) {
    io.err << "netrove-cli whois: '" << *given << "' is not HOST or HOST:PORT\n";
    return kUsageError;
  }
  if (server.empty() || server.size() > static_cast<std::size_t>(kServerTextLimit)) {
    io.err << "netrove-cli whois: no server (choose one on the NicName/WhoIs page or give "
              "--server)\n";
    return kUsageError;
  }
  std::string request = RequestLine(line, io);
  if (request.empty()) return kUsageError;
  const auto network = NetworkSettingsFrom(line, io);
  if (!network) return kUsageError;
  const bool follow =
      settings.followReferrals && !line.Has("no-referrals") && !line.Has("help-request");
  return RunTranscriptEngine<CQueryEngine>(
      QueryRequest{server, port, std::move(request), kAnswerLimit, *network, follow}, io,
      [](const CQueryEngine& engine) { return engine.Outcome() == QueryOutcome::Answered; });
}

const CommandRegistrar registrar(
    {"whois", "COMMAND... | --help-request",
     "Send a command line to a WhoIs (NicName) directory server.", kOptions, RunWhoIs, 0,
     kWhoIsCommandLimit,
     "Without --server or --alternative the server of the NicName/WhoIs page of\n"
     "Customize is asked (by default whois.iana.org).\n"
     "A server's answer that refers to another server (\"refer:\", \"whois:\",\n"
     "\"Registrar WHOIS Server:\") is followed, at most 3 servers in all, each answer\n"
     "under a heading [SERVER]; --no-referrals shows the first answer only.\n"
     "Exit status 0 when the last server asked answered and closed the connection.\n"});

}  // namespace
}  // namespace netrove::cli
