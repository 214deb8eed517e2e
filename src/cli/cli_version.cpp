#include <ostream>

#include "base/product.h"
#include "cli/cli_registry.h"

namespace netrove::cli {
namespace {

int RunVersion(std::span<const std::string> args, CliStreams& io) {
  if (!args.empty()) {
    io.err << "Usage: netrove-cli version\n";
    return kUsageError;
  }
  io.out << kVersionLine << "\n";
  return 0;
}

const CommandRegistrar registrar({"version", "version", "Print the program's version line.",
                                  RunVersion});

}  // namespace
}  // namespace netrove::cli
