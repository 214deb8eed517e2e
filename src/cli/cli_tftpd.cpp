// netrove-cli tftpd: the TFTP server in the foreground, for scripts and tests.
// It serves one folder, prints its log as it goes and stops on Ctrl+C or
// SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <mutex>
#include <ostream>
#include <string>

#include "cli/cli_registry.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "transfer/tftp_server.h"

namespace netrove::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: netrove-cli tftpd [--port N] [--root FOLDER] [--allow-create]\n"
    "Options not given keep the settings of the TFTP page of Customize (port 69, the\n"
    "program's tftp data folder, no file creation).\n";

class PrintedLog : public ITftpServerLog {
 public:
  explicit PrintedLog(std::ostream& out) : out_(out) {}
  void Log(std::string line) override {
    std::lock_guard lock(mutex_);
    out_ << line << "\r\n" << std::flush;
  }

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

bool ParseArguments(std::span<const std::string> args, TftpServerSettings& settings) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--port") {
      std::int32_t port = 0;
      if (!TakeNumber(args, i, port) || port < 1 || port > 65535) return false;
      settings.port = static_cast<std::uint16_t>(port);
    } else if (args[i] == "--root" && i + 1 < args.size()) {
      settings.folder = args[++i];
    } else if (args[i] == "--allow-create") {
      settings.allowCreate = true;
    } else {
      return false;
    }
  }
  return true;
}

int RunTftpd(std::span<const std::string> args, CliStreams& io) {
  TftpServerSettings settings = ReadTftpServerSettings();
  if (!ParseArguments(args, settings)) {
    io.err << kUsage;
    return kUsageError;
  }
  // Blocked before the server starts a thread, so only this thread takes them.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &stops, &previous);
  CliReporter reporter(io.err);
  PrintedLog log(io.out);
  int status = 1;
  {
    CTftpServer server(reporter, [&] { return settings; }, &log);
    if (server.Start()) {
      int signal = 0;
      sigwait(&stops, &signal);
      server.Stop();
      status = 0;
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return status;
}

const CommandRegistrar registrar({"tftpd", "tftpd [--port N] [--root FOLDER] [--allow-create]",
                                  "Serve one folder over TFTP until interrupted.", RunTftpd});

}  // namespace
}  // namespace netrove::cli
