#include "cli/cli_registry.h"

#include <algorithm>

namespace netrove::cli {
namespace {
// Function-local so registrars in other translation units may run first.
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}
}  // namespace

CommandRegistrar::CommandRegistrar(const Command& command) {
  auto& commands = Registry();
  auto at = std::lower_bound(commands.begin(), commands.end(), command.name,
                             [](const Command& c, std::string_view n) { return c.name < n; });
  commands.insert(at, command);
}

const std::vector<Command>& RegisteredCommands() { return Registry(); }

const Command* FindCommand(std::string_view name) {
  for (const auto& command : Registry()) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

}  // namespace netrove::cli
