// netrove-cli finger: one Finger query, written the way finger(1) users write
// it, printing the answer as the Finger window shows it. Ctrl+C interrupts
// the query the way the window's Interrupt button does.
#include <ostream>
#include <string>

#include "base/host_port.h"
#include "cli/cli_command.h"
#include "cli/cli_family.h"
#include "cli/cli_run.h"
#include "query/finger_settings.h"
#include "query/query_engine.h"
#include "query/query_request.h"

namespace netrove::cli {
namespace {

// finger(1) asks for the long form with -l.
constexpr Option kOptions[] = {
    {"verbose", 'l', {}, "send the \"/W\" token: ask for the long answer"},
    kIPv4Option,
    kIPv6Option,
};

// "QUERY@HOST[:PORT]" split at its last "@", so "user@relay@host" asks host
// about "user@relay". Without "@" the whole is the query and the server
// stays the stored one.
bool ParseTarget(const std::string& target, std::string& query, std::string& server,
                 std::uint16_t& port) {
  const std::size_t at = target.rfind('@');
  if (at == std::string::npos) {
    query = target;
    return true;
  }
  query = target.substr(0, at);
  return SplitServerAndPort(std::string_view(target).substr(at + 1), server, port);
}

int RunFinger(const CommandLine& line, CliStreams& io) {
  const FingerSettings settings = ReadFingerSettings();
  std::string query;
  std::string server = settings.serverLocation;
  std::uint16_t port = kFingerPort;
  if (!line.operands().empty() && !ParseTarget(line.operands()[0], query, server, port)) {
    io.err << "netrove-cli finger: '" << line.operands()[0] << "' names no HOST[:PORT]\n";
    return kUsageError;
  }
  if (server.empty() || server.size() > static_cast<std::size_t>(kServerTextLimit) ||
      query.size() > static_cast<std::size_t>(kFingerQueryLimit)) {
    io.err << "netrove-cli finger: give @HOST (up to " << kServerTextLimit
           << " characters) and a query of up to " << kFingerQueryLimit << " characters\n";
    return kUsageError;
  }
  if (!IsSafeQueryText(query)) {
    io.err << "netrove-cli finger: the query holds a CR, LF or NUL\n";
    return kUsageError;
  }
  const bool verbose = line.Has("verbose") || settings.queryToken;
  const auto network = NetworkSettingsFrom(line, io);
  if (!network) return kUsageError;
  return RunTranscriptEngine<CQueryEngine>(
      QueryRequest{server, port, FingerRequestLine(query, verbose), kAnswerLimit, *network}, io,
      [](const CQueryEngine& engine) { return engine.Outcome() == QueryOutcome::Answered; });
}

const CommandRegistrar registrar(
    {"finger", "[QUERY]@HOST[:PORT]", "Ask a Finger server about a user or about its users.",
     kOptions, RunFinger, 0, 1,
     "QUERY is a user name, or nothing (\"@HOST\") to list the users of HOST. Without\n"
     "@HOST the server of the Finger page of Customize is asked; that page's\n"
     "\"/W Query Token.\" box, when checked, turns --verbose on. The port defaults to 79.\n"
     "Exit status 0 when the server answered and closed the connection.\n"});

}  // namespace
}  // namespace netrove::cli
