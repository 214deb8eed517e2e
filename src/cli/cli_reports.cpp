#include <ostream>

#include "cli/cli_command.h"
#include "desktop/system_facts.h"
#include "desktop/system_report.h"

namespace netrove::cli {
namespace {

int RunHardware(const CommandLine&, CliStreams& io) {
  io.out << HardwareReport(ReadMachineFacts()) << "\n";
  return 0;
}

int RunSoftware(const CommandLine&, CliStreams& io) {
  io.out << SoftwareReport(ReadSoftwareFacts()) << "\n";
  return 0;
}

const CommandRegistrar hardwareRegistrar(
    {"hardware", "", "Print the hardware report (processors, memory, drives).", {}, RunHardware});
const CommandRegistrar softwareRegistrar(
    {"software", "", "Print the software report (program and system version).", {}, RunSoftware});

}  // namespace
}  // namespace netrove::cli
