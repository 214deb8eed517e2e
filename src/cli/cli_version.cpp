#include <ostream>

#include "base/product.h"
#include "cli/cli_command.h"

namespace netrove::cli {
namespace {

int RunVersion(const CommandLine&, CliStreams& io) {
  io.out << kVersionLine << "\n";
  return 0;
}

const CommandRegistrar registrar(
    {"version", "", "Print the program's version line.", {}, RunVersion});

}  // namespace
}  // namespace netrove::cli
