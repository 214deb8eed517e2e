// netrove-cli tftp: one get or put, as the TFTP window runs it. Prints the
// window's transfer line and its final status; Ctrl+C interrupts the transfer
// the way the window's Interrupt button does.
#include <atomic>
#include <ostream>
#include <string>

#include "cli/cli_command.h"
#include "cli/cli_family.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "transfer/tftp_runner.h"
#include "transfer/tftp_settings.h"

namespace netrove::cli {
namespace {

// tftp-hpa's client sends binary files with "-m octet"; --binary is the
// window's "Binary mode." box.
constexpr NumberRange kTimeoutRange{1, static_cast<std::int32_t>(kLongestTftpClientTimeout)};
constexpr NumberRange kBlockSizeRange{static_cast<std::int32_t>(kTftpSmallestBlockSize),
                                      static_cast<std::int32_t>(kTftpLargestBlockSize)};
constexpr NumberRange kWindowSizeRange{1, static_cast<std::int32_t>(kTftpLargestWindowSize)};
constexpr NumberRange kRexmtRange{1, static_cast<std::int32_t>(kTftpLongestOptionTimeout)};
constexpr Option kOptions[] = {
    {"binary", '\0', {}, "binary (octet) mode instead of text (netascii)"},
    {"timeout", '\0', "SECONDS",
     "give up on a silent server after this long in all (default: the TFTP page's, 60)",
     kTimeoutRange},
    {"blksize", '\0', "BYTES", "ask for blocks of this size (default: the TFTP page's)",
     kBlockSizeRange},
    {"windowsize", '\0', "BLOCKS",
     "ask to send this many blocks per acknowledgement (default: the TFTP page's)",
     kWindowSizeRange},
    {"rexmt", '\0', "SECONDS",
     "ask for this retransmission time-out (the timeout option; default: the TFTP page's)",
     kRexmtRange},
    {"tsize", '\0', {}, "ask for (get) or tell (put) the file's size"},
    kIPv4Option,
    kIPv6Option,
};

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

void TakeSize(const CommandLine& line, std::string_view name, std::size_t& size) {
  std::int32_t value = 0;
  if (line.Take(name, value)) size = static_cast<std::size_t>(value);
}

int RunTftp(const CommandLine& line, CliStreams& io) {
  const auto& operands = line.operands();
  TftpClientRequest request;
  if ((operands[0] != "get" && operands[0] != "put") ||
      !SplitTftpHost(operands[1], request.host, request.port)) {
    io.err << "netrove-cli tftp: the first operand is get or put, the second HOST or HOST:PORT\n";
    return kUsageError;
  }
  request.opcode = operands[0] == "get" ? kTftpRrq : kTftpWrq;
  request.mode = line.Has("binary") ? TftpMode::Octet : TftpMode::Netascii;
  request.remoteName = operands[2];
  request.localName = operands[3];
  std::int32_t timeout = static_cast<std::int32_t>(ReadTftpClientTimeout());
  line.Take("timeout", timeout);
  request.giveUpMs = timeout * 1000;
  request.options = ReadTftpClientOptions();
  TakeSize(line, "blksize", request.options.blockSize);
  TakeSize(line, "windowsize", request.options.windowSize);
  std::int32_t rexmt = static_cast<std::int32_t>(request.options.timeoutSeconds);
  if (line.Take("rexmt", rexmt)) request.options.timeoutSeconds = static_cast<std::uint32_t>(rexmt);
  if (line.Has("tsize")) request.options.transferSize = true;
  const auto families = FamilyFrom(line, io, ReadNetworkSettings().families);
  if (!families) return kUsageError;
  request.families = *families;
  CliReporter reporter(io.err);
  TransferFigures figures;
  FinishedSignal finished;
  CTftpClientRun client(reporter, &figures, finished);
  RunUntilFinished(client, request);
  const bool completed = client.Completed();
  io.out << figures.Line() << "\r\n" << (completed ? "Completed" : "Aborted") << "\r\n";
  return completed ? 0 : 1;
}

const CommandRegistrar registrar({"tftp", "get|put HOST[:PORT] REMOTE LOCAL",
                                  "Get a file from, or put one to, a TFTP server.", kOptions,
                                  RunTftp, 4, 4,
                                  "The port is 69 unless given. get never replaces an existing "
                                  "LOCAL file.\nPrints the transfer line and the status, as the "
                                  "TFTP window shows them;\nexit status 0 when the transfer "
                                  "completed. Options are asked for only when chosen;\na server "
                                  "that ignores them is used with 512-byte blocks.\n"});

}  // namespace
}  // namespace netrove::cli
