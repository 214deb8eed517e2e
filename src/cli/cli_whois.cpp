// netrove-cli whois: one WhoIs request, printing the answer as the
// NicName/WhoIs window shows it. Ctrl+C interrupts the request the way the
// window's Interrupt button does.
#include <ostream>
#include <string>

#include "cli/cli_registry.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "query/nicname_settings.h"
#include "query/query_engine.h"
#include "query/query_request.h"

namespace netrove::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: netrove-cli whois [--server HOST[:PORT] | --alternative] COMMAND...\n"
    "       netrove-cli whois --help-request [--server HOST[:PORT] | --alternative]\n"
    "Sends the command line (1 to 256 characters; several words are joined with\n"
    "blanks) to the server of the NicName/WhoIs page of Customize, to the\n"
    "alternative built-in server, or to HOST (port 43 unless given).\n"
    "--help-request asks the server for its help text (\"?\").\n";

struct WhoIsCommand {
  std::string commandLine;
  std::string server;
  std::uint16_t port = kWhoIsPort;
  bool helpRequest = false;
};

bool ParseArguments(std::span<const std::string> args, WhoIsCommand& command) {
  bool serverGiven = false;
  bool alternative = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--server" && i + 1 < args.size()) {
      if (!SplitServerAndPort(args[++i], command.server, command.port)) return false;
      serverGiven = true;
    } else if (arg == "--alternative") {
      command.server = std::string(kAlternativeWhoIsServer.host);
      alternative = true;
    } else if (arg == "--help-request") {
      command.helpRequest = true;
    } else if (arg.starts_with("-")) {
      return false;
    } else {
      if (!command.commandLine.empty()) command.commandLine += ' ';
      command.commandLine += arg;
    }
  }
  if ((serverGiven && alternative) || command.server.empty() ||
      command.server.size() > static_cast<std::size_t>(kServerTextLimit)) {
    return false;
  }
  if (command.helpRequest) return command.commandLine.empty();
  return !command.commandLine.empty() &&
         command.commandLine.size() <= static_cast<std::size_t>(kWhoIsCommandLimit);
}

int RunWhoIs(std::span<const std::string> args, CliStreams& io) {
  if (args.size() == 1 && args[0] == "--help") {
    io.out << kUsage;
    return 0;
  }
  const NicNameSettings settings = ReadNicNameSettings();
  WhoIsCommand command;
  command.server = WhoIsServerHost(settings.choice, settings.otherServer);
  if (!ParseArguments(args, command)) {
    io.err << kUsage;
    return kUsageError;
  }
  StreamSink sink(io.out);
  CliReporter reporter(io.err);
  FinishedSignal finished;
  CQueryEngine engine(sink, reporter, finished);
  RunUntilFinished(engine,
                   QueryRequest{command.server, command.port,
                                command.helpRequest ? std::string(kWhoIsHelpRequest)
                                                    : WhoIsRequestLine(command.commandLine)});
  return engine.Outcome() == QueryOutcome::Answered ? 0 : 1;
}

const CommandRegistrar registrar(
    {"whois", "whois [--server HOST[:PORT] | --alternative] COMMAND | --help-request",
     "Send a command line to a WhoIs (NicName) directory server.", RunWhoIs});

}  // namespace
}  // namespace netrove::cli
