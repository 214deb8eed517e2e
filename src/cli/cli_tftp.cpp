// netrove-cli tftp: one get or put, as the TFTP window runs it. Prints the
// window's transfer line and its final status; Ctrl+C interrupts the transfer
// the way the window's Interrupt button does.
#include <atomic>
#include <ostream>
#include <string>
#include <thread>

#include "cli/cli_registry.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "transfer/tftp_runner.h"

namespace netrove::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: netrove-cli tftp get|put [--binary] HOST[:PORT] REMOTE LOCAL\n"
    "Text (netascii) mode unless --binary (octet) is given; the port is 69 unless given.\n"
    "get never replaces an existing LOCAL file.\n";

// The latest figures of the window's "Transfer:" field.
class TransferFigures : public ITftpProgress {
 public:
  void OnInProgress() override {}
  void OnBytesTransferred(std::uint64_t bytes, std::uint32_t elapsed) override {
    bytes_.store(bytes);
    elapsed_.store(elapsed);
  }
  std::string Line() const { return FormatTftpTransferLine(bytes_.load(), elapsed_.load()); }

 private:
  std::atomic<std::uint64_t> bytes_{0};
  std::atomic<std::uint32_t> elapsed_{0};
};

bool ParseArguments(std::span<const std::string> args, TftpClientRequest& request) {
  std::vector<std::string> operands;
  for (const std::string& arg : args) {
    if (arg == "--binary") {
      request.mode = TftpMode::Octet;
    } else if (arg.starts_with("-") && arg != "-") {
      return false;
    } else {
      operands.push_back(arg);
    }
  }
  if (operands.size() != 4 || (operands[0] != "get" && operands[0] != "put")) return false;
  request.opcode = operands[0] == "get" ? kTftpRrq : kTftpWrq;
  request.remoteName = operands[2];
  request.localName = operands[3];
  return SplitTftpHost(operands[1], request.host, request.port) && !request.remoteName.empty() &&
         !request.localName.empty();
}

int RunTftp(std::span<const std::string> args, CliStreams& io) {
  TftpClientRequest request;
  if (!ParseArguments(args, request)) {
    io.err << kUsage;
    return kUsageError;
  }
  CliReporter reporter(io.err);
  TransferFigures figures;
  CTftpClient client(reporter, &figures);
  FinishedSignal finished;
  bool completed = false;
  std::thread worker;
  RunUntilFinished(
      [&] {
        worker = std::thread([&] {
          completed = client.Run(request);
          finished.PostRunFinished(0);
        });
        return true;
      },
      [&] { client.Abort(); }, [&] { worker.join(); });
  io.out << figures.Line() << "\r\n" << (completed ? "Completed" : "Aborted") << "\r\n";
  return completed ? 0 : 1;
}

const CommandRegistrar registrar({"tftp", "tftp get|put [--binary] HOST[:PORT] REMOTE LOCAL",
                                  "Get a file from, or put one to, a TFTP server.", RunTftp});

}  // namespace
}  // namespace netrove::cli
