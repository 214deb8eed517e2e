// netrove-cli: runs a tool's engine without a window and prints the text the
// window would show.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_registry.h"

namespace {

void PrintHelp(std::ostream& out) {
  out << "Usage: netrove-cli COMMAND [options] [arguments]\n\n"
         "Commands:\n";
  for (const auto& command : netrove::cli::RegisteredCommands()) {
    out << "  " << command.usage << "\n      " << command.summary << "\n";
  }
  out << "\nnetrove-cli COMMAND --help shows the options of one command.\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp(args.empty() ? std::cerr : std::cout);
    return args.empty() ? netrove::cli::kUsageError : 0;
  }
  const auto* command = netrove::cli::FindCommand(args[0]);
  if (command == nullptr) {
    std::cerr << "netrove-cli: unknown command '" << args[0] << "'\n";
    PrintHelp(std::cerr);
    return netrove::cli::kUsageError;
  }
  netrove::cli::CliStreams io{std::cout, std::cerr};
  std::vector<std::string> rest(args.begin() + 1, args.end());
  return command->run(rest, io);
}
