// netrove-cli ftp: one FTP session without a window. Logs in (with the
// stored FTP settings unless the options say otherwise), runs one command,
// quits. The transcript is printed as the Status page shows it; `ls` adds the
// parsed entries, transfers show their progress on the error stream. Ctrl+C
// aborts the transfer as the Abort menu does.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <ostream>

#include "base/host_port.h"
#include "base/run_lifecycle.h"
#include "cli/cli_command.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_listing.h"

namespace netrove::cli {
namespace {

constexpr NumberRange kProxyModeRange{1134, 1138};

constexpr Option kOptions[] = {
    {"passive", '\0', {}, "passive data connections (PASV)"},
    {"proxy", '\0', "HOST[:PORT]", "log in through this firewall proxy"},
    {"proxy-mode", '\0', "N",
     "the proxy dialogue: 1134 USER user@host, 1135 OPEN host, 1136 SITE host after the "
     "firewall login, 1137 USER user@host after it, 1138 none (passive)",
     kProxyModeRange},
    {"proxy-user", '\0', "U", "user name at the firewall (1136, 1137)"},
    {"proxy-password", '\0', "P", "password at the firewall (1136, 1137)"},
    {"user", 'u', "U", "user name (default anonymous)"},
    {"password", '\0', "P", "password"},
    {"account", '\0', "A", "account, when the server asks for one"},
    {"ascii", 'B', {}, "transfer files as text (TYPE A) instead of binary (TYPE I)"},
    {"force", 'f', {}, "replace an existing local file without asking"},
    {"verbose", 'v', {}, "echo each command before its reply"},
};

// The connection's notices, turned into one result the main thread waits for.
class CliFtpSession : public IFtpPageNotifier, public IFtpPanes, public IFtpQuestions {
 public:
  CliFtpSession(std::ostream& err, bool force) : err_(err), force_(force) {}

  void NotifyPage(FtpPage page, int code) override {
    if (page == FtpPage::Login && code == kFtpConnectionEnded) Finish(false, true);
  }
  void Beep() override {}
  void Release() override { Finish(true); }
  void DownloadEnded(bool success) override { Finish(success); }
  void UploadEnded(bool success) override { Finish(success); }
  void AppendEnded(bool success) override { Finish(success); }
  void DeleteEnded(bool success) override { Finish(success); }
  void NewFolderEnded(bool success) override { Finish(success); }
  void RenameEnded(bool success) override { Finish(success); }
  void ListingReceived(std::string text, std::string) override {
    {
      std::lock_guard lock(mutex_);
      listing_ = std::move(text);
    }
    Finish(true);
  }
  void NameListReceived(std::optional<std::string>) override { Finish(true); }
  void SetNewItemLabel(std::string label) override {
    std::lock_guard lock(mutex_);
    err_ << "Stored as" << label << "\n";
  }
  void ClearRemoteTree() override {}
  void TransferProgress(std::uint64_t bytes) override {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    bytes_ = bytes;
    if (now - lastShown_ < std::chrono::milliseconds(500)) return;
    lastShown_ = now;
    err_ << "\r" << bytes << " bytes, " << Rate(now) << " KiB/s" << std::flush;
  }
  bool ConfirmReplace(std::string_view fileName) override {
    if (force_) return true;
    err_ << "Netrove: FTP: " << ConfirmReplaceText(fileName) << "\n(no: --force replaces it)\n";
    return false;
  }

  void StartStep() {
    std::lock_guard lock(mutex_);
    done_ = false;
    bytes_ = 0;
    started_ = lastShown_ = std::chrono::steady_clock::now();
  }
  // Waits for the step's result; false when it failed or the connection ended.
  bool WaitStep() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return done_; });
    if (bytes_ > 0) {
      const auto now = std::chrono::steady_clock::now();
      err_ << "\r" << bytes_ << " bytes in "
           << std::chrono::duration<double>(now - started_).count() << " s (" << Rate(now)
           << " KiB/s)\n";
    }
    return succeeded_;
  }
  bool Ended() {
    std::lock_guard lock(mutex_);
    return ended_;
  }
  std::string Listing() {
    std::lock_guard lock(mutex_);
    return listing_;
  }

 private:
  void Finish(bool success, bool connectionEnded = false) {
    {
      std::lock_guard lock(mutex_);
      if (connectionEnded) ended_ = true;
      if (!done_) succeeded_ = success && !ended_;
      done_ = true;
    }
    changed_.notify_all();
  }
  long Rate(std::chrono::steady_clock::time_point now) const {
    const double seconds = std::chrono::duration<double>(now - started_).count();
    return seconds > 0 ? static_cast<long>(static_cast<double>(bytes_) / 1024 / seconds) : 0;
  }

  std::ostream& err_;
  const bool force_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  bool succeeded_ = false;
  bool ended_ = false;
  std::string listing_;
  std::uint64_t bytes_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point lastShown_;
};

std::string LastPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct CommandShape {
  std::string_view name;
  std::size_t minimum;
  std::size_t maximum;
};
constexpr CommandShape kCommands[] = {
    {"ls", 0, 1},     {"get", 1, 2},   {"put", 1, 2},   {"append", 2, 2},
    {"unique", 1, 1}, {"mkdir", 1, 1}, {"rmdir", 1, 1}, {"delete", 1, 1},
    {"rename", 2, 2}, {"pwd", 0, 0},   {"quote", 1, 2},
};

bool IsWellFormed(const std::vector<std::string>& words) {
  for (const auto& shape : kCommands) {
    if (words[0] == shape.name) {
      return words.size() - 1 >= shape.minimum && words.size() - 1 <= shape.maximum;
    }
  }
  return false;
}

std::optional<FtpCommand> QuotedCommand(const std::string& keyword) {
  if (keyword == "SITE") return FtpCommand::Site;
  if (keyword == "STAT") return FtpCommand::Stat;
  if (keyword == "HELP") return FtpCommand::Help;
  return std::nullopt;
}

// Queues the command; false (with the message on `err`) when it cannot start.
bool StartCommand(CFtpConnection& connection, const std::vector<std::string>& words,
                  FtpTransferType type, std::ostream& err) {
  const std::string& what = words[0];
  const auto argument = [&](std::size_t i) -> std::optional<std::string> {
    return i < words.size() ? std::optional(words[i]) : std::nullopt;
  };
  if (what == "ls") return connection.ListFolder(argument(1));
  if (what == "get") {
    const std::string local = words.size() > 2 ? words[2] : LastPart(words[1]);
    if (words.size() == 2 && !IsSafeLocalName(local)) {
      err << "Netrove: FTP: " << UnsafeNameMessage(local) << "\n";
      return false;
    }
    return connection.Download(words[1], local, type);
  }
  if (what == "put") {
    return connection.Upload(words[1], words.size() > 2 ? words[2] : LastPart(words[1]), type);
  }
  if (what == "append") return connection.Append(words[1], words[2], type);
  if (what == "unique") return connection.StoreUnique(words[1], type);
  if (what == "mkdir") return connection.NewFolder(words[1]);
  if (what == "rmdir") return connection.Delete(words[1], true);
  if (what == "delete") return connection.Delete(words[1], false);
  if (what == "rename") return connection.Rename(words[1], words[2]);
  if (what == "pwd") return connection.QueueCommand(FtpCommand::Pwd);
  const auto quoted = QuotedCommand(words[1]);
  if (!quoted) {
    err << "netrove-cli ftp: quote takes SITE, STAT or HELP\n";
    return false;
  }
  return connection.QueueCommand(*quoted, argument(2));
}

void PrintEntries(const std::string& listing, std::ostream& out) {
  for (const auto& entry : ParseUnixListing(listing)) {
    out << (entry.isFolder ? "<DIR> " : "      ") << entry.label << "\r\n";
  }
}

bool ApplyOptions(const CommandLine& line, FtpLogin& login, std::ostream& err) {
  if (auto user = line.Text("user")) login.userName = *user;
  if (auto password = line.Text("password")) login.password = *password;
  if (auto account = line.Text("account")) login.account = *account;
  if (line.Has("verbose")) login.verbose = true;
  std::int32_t proxyMode = 0;
  if (line.Take("proxy-mode", proxyMode)) {
    login.mode = FtpModeFromStoredAccessMode(static_cast<std::uint32_t>(proxyMode));
  }
  if (auto proxy = line.Text("proxy")) {
    if (!SplitServerAndPort(*proxy, login.proxyHost, login.proxyPort)) {
      err << "netrove-cli ftp: --proxy takes HOST or HOST:PORT\n";
      return false;
    }
    if ((login.mode & kFtpProxyModes) == 0) login.mode = kFtpModeProxyUser;
  }
  if (auto user = line.Text("proxy-user")) login.proxyUser = *user;
  if (auto password = line.Text("proxy-password")) login.proxyPassword = *password;
  if (line.Has("passive")) login.mode |= kFtpModePassive;
  return true;
}

int RunFtp(const CommandLine& line, CliStreams& io) {
  const auto& operands = line.operands();
  std::vector<std::string> words(operands.begin() + 1, operands.end());
  if (!IsWellFormed(words)) {
    io.err << "netrove-cli ftp: COMMAND is one of: ls [PATH], get REMOTE [LOCAL], put LOCAL "
              "[REMOTE], append LOCAL REMOTE, unique LOCAL, mkdir DIR, rmdir DIR, delete FILE, "
              "rename OLD NEW, pwd, quote SITE|STAT|HELP [ARG]\n";
    return kUsageError;
  }
  CliReporter reporter(io.err);
  FtpLogin login;
  if (!ReadFtpSettings(login, reporter)) return 1;
  if (!SplitServerAndPort(operands[0], login.host, login.serverPort)) {
    io.err << "netrove-cli ftp: HOST[:PORT] expected, not '" << operands[0] << "'\n";
    return kUsageError;
  }
  if (!ApplyOptions(line, login, io.err)) return kUsageError;
  const FtpTransferType type = line.Has("ascii") ? FtpTransferType::Ascii : FtpTransferType::Image;

  StreamSink sink(io.out);
  CliFtpSession session(io.err, line.Has("force"));
  CFtpConnection connection(sink, reporter, session, session, session, SystemResolver());
  FinishedSignal finished;
  CRunLifecycle worker(finished, 0);
  bool succeeded = false;
  RunUntilFinished(
      [&] {
        return worker.Start([&](std::stop_token) {
          session.StartStep();
          if (connection.Connect(login) && session.WaitStep() && !session.Ended()) {
            session.StartStep();
            succeeded = StartCommand(connection, words, type, io.err) && session.WaitStep();
            if (succeeded && words[0] == "ls") PrintEntries(session.Listing(), io.out);
          }
          connection.Quit();
          connection.WaitUntilEnded();
        });
      },
      [&] { connection.QueueCommand(FtpCommand::Abor); }, [&] { worker.Join(); });
  return succeeded ? 0 : 1;
}

const CommandRegistrar registrar(
    {"ftp", "HOST[:PORT] COMMAND [ARGS]",
     "Log in to an FTP server, run one command (ls, get, put, ...) and quit.", kOptions, RunFtp, 2,
     5,
     "COMMAND: ls [PATH] | get REMOTE [LOCAL] | put LOCAL [REMOTE] | append LOCAL REMOTE |\n"
     "  unique LOCAL | mkdir DIR | rmdir DIR | delete FILE | rename OLD NEW | pwd |\n"
     "  quote SITE|STAT|HELP [ARG]\n"
     "Options not given keep the defaults of the FTP page of Customize.\n"
     "Exit status 0 when the command succeeded.\n"});

}  // namespace
}  // namespace netrove::cli
