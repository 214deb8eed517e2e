// netrove-cli: runs a tool's engine without a window and prints the text the
// window would show.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  netrove::cli::CliStreams io{std::cout, std::cerr};
  return netrove::cli::RunCommandLine(args, io);
}
