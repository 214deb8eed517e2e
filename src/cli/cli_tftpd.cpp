// netrove-cli tftpd: the TFTP server in the foreground, for scripts and tests.
// It serves one folder, prints its log as it goes and stops on Ctrl+C or
// SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <mutex>
#include <ostream>
#include <string>

#include "cli/cli_command.h"
#include "cli/cli_reporter.h"
#include "transfer/tftp_server.h"

namespace netrove::cli {
namespace {

constexpr NumberRange kPortRange{1, 65535};
constexpr Option kOptions[] = {
    {"port", 'p', "N", "listen on this UDP port", kPortRange},
    {"root", 's', "FOLDER", "serve this folder (tftpd-hpa's -s)"},
    {"allow-create", 'c', {}, "let clients create new files (tftpd-hpa's -c)"},
};

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

int RunTftpd(const CommandLine& line, CliStreams& io) {
  TftpServerSettings settings = ReadTftpServerSettings();
  if (std::int32_t port = 0; line.Take("port", port))
    settings.port = static_cast<std::uint16_t>(port);
  if (const auto root = line.Text("root")) settings.folder = *root;
  if (line.Has("allow-create")) settings.allowCreate = true;
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
    CTftpServer server(
        reporter, [&] { return settings; }, &log);
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

const CommandRegistrar registrar({"tftpd", "", "Serve one folder over TFTP until interrupted.",
                                  kOptions, RunTftpd, 0, 0,
                                  "Options not given keep the settings of the TFTP page of "
                                  "Customize\n(port 69, the program's tftp data folder, no file "
                                  "creation).\nPrints one log line per request.\n"});

}  // namespace
}  // namespace netrove::cli
