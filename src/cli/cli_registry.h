#pragma once
// Subcommands of netrove-cli. Each tool's file defines one static
// CommandRegistrar; the dispatcher finds commands by name.
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace netrove::cli {

struct CliStreams {
  std::ostream& out;
  std::ostream& err;
};

// Arguments after the subcommand name. Returns the process exit status.
using CommandFunction = int (*)(std::span<const std::string> args, CliStreams& io);

struct Command {
  std::string_view name;
  std::string_view usage;    // e.g. "ping [--count N] HOST"
  std::string_view summary;  // one line for --help
  CommandFunction run;
};

class CommandRegistrar {
 public:
  explicit CommandRegistrar(const Command& command);
};

const std::vector<Command>& RegisteredCommands();
const Command* FindCommand(std::string_view name);

// Exit status for a command line that could not be understood.
inline constexpr int kUsageError = 2;

}  // namespace netrove::cli
