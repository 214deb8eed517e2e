// netrove-cli daytime and qotd: one Daytime or Quote of the Day query,
// printing the server's answer as the window's box shows it.
#include <algorithm>
#include <ostream>
#include <string>

#include "base/host_port.h"
#include "base/net_socket.h"
#include "base/tool_message.h"
#include "cli/cli_answer.h"
#include "cli/cli_command.h"
#include "cli/cli_family.h"
#include "peer/service_query.h"

namespace netrove::cli {
namespace {

constexpr Option kOptions[] = {
    {"wait", 'w', "SECONDS",
     "give up when the connection or the answer has not ended after SECONDS",
     NumberRange{1, kServiceAnswerWaitMs / 1000}},
    kIPv4Option,
    kIPv6Option,
};

int RunQuery(const CommandLine& line, CliStreams& io, std::string_view command,
             ServiceQuery query) {
  std::uint16_t port = 0;
  const bool portGiven = line.operands()[0].rfind(':') != std::string::npos;
  if (!SplitServerAndPort(line.operands()[0], query.host, port)) {
    io.err << "netrove-cli " << command << ": '" << line.operands()[0]
           << "' names no HOST[:PORT]\n";
    return kUsageError;
  }
  if (portGiven) query.port = port;
  const auto families = FamilyFrom(line, io, query.families);
  if (!families) return kUsageError;
  query.families = *families;
  std::int32_t seconds = kServiceAnswerWaitMs / 1000;
  // A given wait bounds the connection attempt too: the user asked for an
  // answer within it.
  if (line.Take("wait", seconds)) {
    query.connectTimeoutMs = std::min(query.connectTimeoutMs, seconds * 1000);
  }
  AnswerReporter reporter(query.source, io);
  CNetSocket socket;
  return RunServiceQuery(query, socket, reporter, SystemResolver(), seconds * 1000) ? 0 : 1;
}

int RunDaytime(const CommandLine& line, CliStreams& io) {
  return RunQuery(line, io, "daytime", DaytimeQuery({}));
}

int RunQuoteOfTheDay(const CommandLine& line, CliStreams& io) {
  return RunQuery(line, io, "qotd", QuoteOfTheDayQuery({}));
}

const CommandRegistrar daytime(
    {"daytime", "HOST[:PORT]", "Ask a Daytime server for its date and time.", kOptions, RunDaytime,
     1, 1,
     "The port defaults to the \"daytime\" service of the services table (13). At most\n"
     "256 bytes of the answer are printed. Exit status 0 when an answer came.\n"});

const CommandRegistrar qotd({"qotd", "HOST[:PORT]", "Ask a Quote of the Day server for a quote.",
                             kOptions, RunQuoteOfTheDay, 1, 1,
                             "The port defaults to 17. At most 512 bytes of the answer are "
                             "printed.\nExit status 0 when an answer came.\n"});

}  // namespace
}  // namespace netrove::cli
