// netrove-cli whoami: the Who am I? report of the account, computer and host.
#include "base/net_socket.h"
#include "base/tool_message.h"
#include "cli/cli_answer.h"
#include "cli/cli_command.h"
#include "peer/who_am_i.h"

namespace netrove::cli {
namespace {

int RunWhoAmI(const CommandLine&, CliStreams& io) {
  AnswerReporter reporter(kSourceWhoAmI, io);
  reporter.PostToolMessage(kSourceWhoAmI, WhoAmIText(SystemAccountNames(), SystemResolver()));
  return 0;
}

const CommandRegistrar registrar({"whoami",
                                  "",
                                  "Report the user, computer and host names.",
                                  {},
                                  RunWhoAmI,
                                  0,
                                  0,
                                  "Every name that cannot be found reads \"Unknown\".\n"});

}  // namespace
}  // namespace netrove::cli
