// netrove-cli finger: one Finger query, written the way finger(1) users write
// it, printing the answer as the Finger window shows it. Ctrl+C interrupts
// the query the way the window's Interrupt button does.
#include <ostream>
#include <string>

#include "cli/cli_registry.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "query/finger_settings.h"
#include "query/query_engine.h"
#include "query/query_request.h"

namespace netrove::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: netrove-cli finger [--verbose] [QUERY]@HOST[:PORT]\n"
    "       netrove-cli finger [--verbose] [QUERY]\n"
    "QUERY is a user name, or nothing to list the users of HOST. Without @HOST the\n"
    "server of the Finger page of Customize is asked. --verbose sends the \"/W\" token\n"
    "(the default is the page's \"/W Query Token.\" box). The port defaults to 79.\n";

struct FingerCommand {
  std::string query;
  std::string server;
  std::uint16_t port = kFingerPort;
  bool verbose = false;
};

// Splits "QUERY@HOST[:PORT]" at its last "@", so "user@relay@host" asks host
// about "user@relay".
bool ParseTarget(const std::string& target, FingerCommand& command) {
  const std::size_t at = target.rfind('@');
  if (at == std::string::npos) {
    command.query = target;
    return true;
  }
  command.query = target.substr(0, at);
  return SplitServerAndPort(std::string_view(target).substr(at + 1), command.server, command.port);
}

bool ParseArguments(std::span<const std::string> args, FingerCommand& command) {
  bool targetSeen = false;
  for (const std::string& arg : args) {
    if (arg == "--verbose" || arg == "-l") {
      command.verbose = true;
    } else if (arg.starts_with("-") || targetSeen) {
      return false;
    } else {
      targetSeen = true;
      if (!ParseTarget(arg, command)) return false;
    }
  }
  return !command.server.empty() &&
         command.server.size() <= static_cast<std::size_t>(kServerTextLimit) &&
         command.query.size() <= static_cast<std::size_t>(kFingerQueryLimit);
}

int RunFinger(std::span<const std::string> args, CliStreams& io) {
  if (args.size() == 1 && args[0] == "--help") {
    io.out << kUsage;
    return 0;
  }
  const FingerSettings settings = ReadFingerSettings();
  FingerCommand command{{}, settings.serverLocation, kFingerPort, settings.queryToken};
  if (!ParseArguments(args, command)) {
    io.err << kUsage;
    return kUsageError;
  }
  StreamSink sink(io.out);
  CliReporter reporter(io.err);
  FinishedSignal finished;
  CQueryEngine engine(sink, reporter, finished);
  RunUntilFinished(engine, QueryRequest{command.server, command.port,
                                        FingerRequestLine(command.query, command.verbose)});
  return engine.Outcome() == QueryOutcome::Answered ? 0 : 1;
}

const CommandRegistrar registrar({"finger", "finger [--verbose] [QUERY]@HOST[:PORT]",
                                  "Ask a Finger server about a user or about its users.",
                                  RunFinger});

}  // namespace
}  // namespace netrove::cli
