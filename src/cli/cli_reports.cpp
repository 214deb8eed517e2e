#include <ostream>

#include "cli/cli_registry.h"
#include "desktop/system_facts.h"
#include "desktop/system_report.h"

namespace netrove::cli {
namespace {

int RunHardware(std::span<const std::string> args, CliStreams& io) {
  if (!args.empty()) {
    io.err << "Usage: netrove-cli hardware\n";
    return kUsageError;
  }
  io.out << HardwareReport(ReadMachineFacts()) << "\n";
  return 0;
}

int RunSoftware(std::span<const std::string> args, CliStreams& io) {
  if (!args.empty()) {
    io.err << "Usage: netrove-cli software\n";
    return kUsageError;
  }
  io.out << SoftwareReport(ReadSoftwareFacts()) << "\n";
  return 0;
}

const CommandRegistrar hardwareRegistrar({"hardware", "hardware",
                                          "Print the hardware report (processors, memory, drives).",
                                          RunHardware});
const CommandRegistrar softwareRegistrar({"software", "software",
                                          "Print the software report (program and system version).",
                                          RunSoftware});

}  // namespace
}  // namespace netrove::cli
