// netrove-cli: runs a tool's engine without a window and prints the text the
// window would show.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/cli_terminal_output.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  // Every command's output goes through these, so none can pass a server's
  // control characters on to a terminal.
  netrove::cli::CTerminalOutput out(std::cout, STDOUT_FILENO);
  netrove::cli::CTerminalOutput err(std::cerr, STDERR_FILENO);
  netrove::cli::CliStreams io{out.stream(), err.stream()};
  return netrove::cli::RunCommandLine(args, io);
}
