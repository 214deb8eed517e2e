// netrove-cli ftp: one FTP session without a window. Logs in (with the
// stored FTP settings unless the options say otherwise), runs one command,
// quits. The transcript is printed as the Status page shows it; `ls` adds the
// parsed entries, transfers show their progress on the error stream. Ctrl+C
// ends the session as the Quit button does, in every state.
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <ostream>

#include "base/host_port.h"
#include "base/run_lifecycle.h"
#include "cli/cli_command.h"
#include "cli/cli_family.h"
#include "cli/cli_ftp_folder.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "cli/cli_secure.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_listing.h"

namespace netrove::cli {
namespace {

constexpr Option kOptions[] = {
    {"passive", '\0', {}, "passive data connections (EPSV over IPv6, PASV over IPv4)"},
    {"epsv", '\0', {}, "passive data connections ask with EPSV over IPv4 too (PASV if refused)"},
    {"proxy", '\0', "HOST[:PORT]", "log in through this firewall proxy"},
    {"proxy-mode", '\0', "MODE",
     "the proxy dialogue (word or number): user-at-host (1134, the default with --proxy), "
     "open (1135), site (1136), user-after-login (1137), direct-passive (1138: the proxy is "
     "not used; HOST is reached directly with passive data connections)"},
    {"proxy-user", '\0', "U", "user name at the firewall (site, user-after-login)"},
    {"proxy-password", '\0', "P", "password at the firewall (site, user-after-login)"},
    {"user", 'u', "U", "user name (default anonymous)"},
    {"password", '\0', "P", "password (seen by other users: prefer --password-file)"},
    kPasswordFileOption,
    kTlsOption,
    kCaCertOption,
    kPinOption,
    kInsecureOption,
    {"account", '\0', "A", "account, when the server asks for one"},
    {"ascii", 'B', {}, "transfer files as text (TYPE A) instead of binary (TYPE I)"},
    {"force", 'f', {}, "replace an existing local file without asking"},
    {"recursive",
     'r',
     {},
     "get, put: a whole folder with everything in it, as one job (symbolic links are not "
     "followed; existing local files are skipped unless --force or --continue)"},
    {"stop-on-error", '\0', {}, "get -r, put -r: stop at the first file that fails"},
    {"continue",
     'c',
     {},
     "get, put: resume a partial file from where it ends (SIZE, then REST; binary)"},
    {"verbose", 'v', {}, "echo each command before its reply"},
    {"timeout", '\0', "SECONDS",
     "longest wait for a whole reply, and for a data connection to end after it (default 120, "
     "0: no limit)",
     NumberRange{0, 86400}},
    kIPv4Option,
    kIPv6Option,
};

// The connection's notices, turned into one result the main thread waits for.
class CliFtpSession : public IFtpPageNotifier, public IFtpPanes, public IFtpQuestions {
 public:
  CliFtpSession(std::ostream& err, bool force) : err_(err), force_(force) {}

  void NotifyPage(FtpPage page, int code) override {
    if (page != FtpPage::Login || code != kFtpConnectionEnded) return;
    CancelFolderJob();
    Finish(false, true);
  }
  void Beep() override {}
  void Release() override {
    if (job_ == nullptr) Finish(true);
  }
  void OperationEnded(std::uint64_t id, FtpOperationKind, FtpOutcome outcome) override {
    if (CFtpFolderJob* job = job_; job != nullptr && job->OnOperationEnded(id, outcome)) return;
    Finish(outcome == FtpOutcome::Succeeded);
  }
  void ListingReceived(std::string text, std::string) override {
    if (CFtpFolderJob* job = job_) return job->OnListing(std::move(text));
    std::lock_guard lock(mutex_);
    listing_ = std::move(text);
  }
  void SetNewItemLabel(std::string label) override {
    std::lock_guard lock(mutex_);
    err_ << "Stored as" << label << "\n";
  }
  void ClearRemoteTree() override {}
  void TransferProgress(std::uint64_t bytes) override {
    if (CFtpFolderJob* job = job_) return job->OnTransferProgress(bytes);
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    bytes_ = bytes;
    if (now - lastShown_ < std::chrono::milliseconds(500)) return;
    lastShown_ = now;
    err_ << "\r" << bytes << " bytes, " << Rate(now) << " KiB/s" << std::flush;
  }
  bool ConfirmReplace(std::string_view fileName) override {
    if (force_) return true;
    err_ << "Netrove: FTP: " << ConfirmReplaceText(fileName)
         << "\n(no: --force replaces it, --continue resumes it)\n";
    return false;
  }

  // While a folder job runs, the engine's results are its own.
  void SetFolderJob(CFtpFolderJob* job) { job_ = job; }
  void CancelFolderJob() {
    if (CFtpFolderJob* job = job_) job->Cancel();
  }
  void JobEnded(bool success) { Finish(success); }

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
  std::atomic<CFtpFolderJob*> job_{nullptr};
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

// The transcript as the Status page shows it, remembering the server's last
// refusal (a 4xx or 5xx line) for the error stream.
class RefusalNotingSink : public ITranscriptSink {
 public:
  explicit RefusalNotingSink(std::ostream& out) : printed_(out) {}
  void AppendTranscript(std::string_view text) override {
    printed_.AppendTranscript(text);
    std::lock_guard lock(mutex_);
    while (!text.empty()) {
      const std::size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (line.ends_with('\r')) line.remove_suffix(1);
      if (line.size() >= 3 && (line[0] == '4' || line[0] == '5') &&
          std::isdigit(static_cast<unsigned char>(line[1])) &&
          std::isdigit(static_cast<unsigned char>(line[2]))) {
        refusal_ = line;
        ++refusals_;
      }
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 1);
    }
  }
  std::string LastRefusal() {
    std::lock_guard lock(mutex_);
    return refusal_;
  }
  std::size_t Refusals() {
    std::lock_guard lock(mutex_);
    return refusals_;
  }

 private:
  StreamSink printed_;
  std::mutex mutex_;
  std::string refusal_;
  std::size_t refusals_ = 0;
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

// How files are moved: the transfer type and what happens to an existing
// target.
struct TransferChoices {
  FtpTransferType type = FtpTransferType::Image;
  bool force = false;
  bool resume = false;
};

// The request a command stands for; nothing for the plain commands.
std::optional<FtpRequest> RequestOf(const std::vector<std::string>& words,
                                    const TransferChoices& choices) {
  const std::string& what = words[0];
  FtpRequest request;
  request.type = choices.type;
  request.resume = choices.resume && (what == "get" || what == "put");
  request.source = words.size() > 1 ? words[1] : std::string();
  request.target = words.size() > 2 ? words[2] : LastPart(request.source);
  // The command line has no one to ask: an existing remote name is replaced.
  request.replace = true;
  if (what == "ls") {
    request.kind = FtpOperationKind::List;
  } else if (what == "get") {
    request.kind = FtpOperationKind::Download;
    request.replace = choices.force;
  } else if (what == "put" || what == "append" || what == "unique") {
    request.kind = FtpOperationKind::Upload;
    request.store = what == "append"   ? FtpStoreMode::Append
                    : what == "unique" ? FtpStoreMode::Unique
                                       : FtpStoreMode::Replace;
  } else if (what == "mkdir") {
    request.kind = FtpOperationKind::NewFolder;
  } else if (what == "rmdir" || what == "delete") {
    request.kind = FtpOperationKind::Delete;
    request.sourceIsFolder = what == "rmdir";
  } else if (what == "rename") {
    request.kind = FtpOperationKind::Rename;
  } else {
    return std::nullopt;
  }
  return request;
}

// get -r and put -r: the folder's contents go into the target folder
// (created when missing), named by the last part of the source when not
// given. Runs the job to its end; false when a file failed or it stopped.
bool RunFolderJob(CFtpConnection& connection, CliFtpSession& session,
                  const std::vector<std::string>& words, const TransferChoices& choices,
                  bool stopAtFailure, std::ostream& err) {
  FtpFolderJobPlan plan;
  const bool download = words[0] == "get";
  plan.direction = download ? FtpFolderDirection::Download : FtpFolderDirection::Upload;
  const std::string target = words.size() > 2 ? words[2] : LastPart(words[1]);
  if (download && words.size() == 2 && !IsSafeLocalName(target)) {
    err << "Netrove: FTP: " << UnsafeNameMessage(target) << "\n";
    return false;
  }
  plan.remote = download ? words[1] : target;
  plan.local = download ? target : words[1];
  plan.type = choices.type;
  plan.stopAtFailure = stopAtFailure;
  // The command line replaces a server's file as a plain put does; a local
  // file only when told to.
  plan.existing = choices.resume               ? FtpExistingFiles::Resume
                  : choices.force || !download ? FtpExistingFiles::Overwrite
                                               : FtpExistingFiles::Skip;
  CliFolderJobSink sink(err, plan.direction,
                        [&session](bool success) { session.JobEnded(success); });
  CFtpFolderJob job(
      plan, [&connection](const FtpRequest& request) { return connection.Start(request); }, sink);
  session.SetFolderJob(&job);
  job.Start();
  const bool succeeded = session.WaitStep();
  // Ended, or the connection went: the job takes no more results.
  job.Cancel();
  session.SetFolderJob(nullptr);
  return succeeded;
}

// Starts the command; false (with the message on `err`) when it cannot start.
bool StartCommand(CFtpConnection& connection, const std::vector<std::string>& words,
                  const TransferChoices& choices, std::ostream& err) {
  if (const auto request = RequestOf(words, choices)) {
    if (words[0] == "get" && words.size() == 2 && !IsSafeLocalName(request->target)) {
      err << "Netrove: FTP: " << UnsafeNameMessage(request->target) << "\n";
      return false;
    }
    connection.Start(*request);
    return true;
  }
  if (words[0] == "pwd") return connection.QueueCommand(FtpCommand::Pwd);
  const auto quoted = QuotedCommand(words[1]);
  if (!quoted) {
    err << "netrove-cli ftp: quote takes SITE, STAT or HELP\n";
    return false;
  }
  return connection.QueueCommand(*quoted,
                                 words.size() > 2 ? std::optional(words[2]) : std::nullopt);
}

void PrintEntries(const std::string& listing, std::ostream& out) {
  for (const auto& entry : ParseListing(listing)) {
    out << (entry.isFolder ? "<DIR> " : "      ") << entry.label << "\r\n";
  }
}

// The TLS choice and how the certificate is checked, as every command that
// signs in takes them.
bool ApplyTlsOptions(const CommandLine& line, FtpLogin& login, CliStreams& io) {
  const auto choices = SecureChoicesFrom(line, io, login.tls);
  if (!choices) return false;
  login.tls = choices->mode;
  login.tlsOptions = choices->tls;
  return true;
}

// Anonymous logins keep their stored password. A named user's comes from
// --password-file, ~/.netrc or the terminal; one on the command line itself
// is taken with a warning, since any user can read it in the process list.
bool ApplyPassword(const CommandLine& line, FtpLogin& login, CliStreams& io) {
  if (auto password = line.Text("password")) {
    io.err << "netrove-cli: warning: a password given on the command line can be read by other "
              "users; --password-file FILE keeps it private\n";
    login.password = *password;
    return true;
  }
  const bool anonymous = login.userName == "anonymous" || login.userName == "ftp";
  if (anonymous && !line.Has(kPasswordFileOption.name)) return true;
  auto password = PasswordFor(line, io, login.host, login.userName);
  if (password) login.password = std::move(*password);
  return password.has_value();
}

bool ApplyOptions(const CommandLine& line, FtpLogin& login, CliStreams& io) {
  std::ostream& err = io.err;
  const auto families = FamilyFrom(line, io, login.families);
  if (!families) return false;
  login.families = *families;
  if (line.Has("epsv")) login.extendedPassive = true;
  if (auto user = line.Text("user")) login.userName = *user;
  if (!ApplyTlsOptions(line, login, io) || !ApplyPassword(line, login, io)) return false;
  if (auto account = line.Text("account")) login.account = *account;
  if (line.Has("verbose")) login.verbose = true;
  std::int32_t timeout = 0;
  if (line.Take("timeout", timeout)) login.replyTimeout = std::chrono::seconds(timeout);
  if (auto word = line.Text("proxy-mode")) {
    const auto stored = FtpProxyModeFromText(*word);
    if (!stored) {
      err << "netrove-cli ftp: --proxy-mode takes user-at-host, open, site, user-after-login, "
             "direct-passive or 1134..1138, not '"
          << *word << "'\n";
      return false;
    }
    login.mode = FtpModeFromStoredAccessMode(*stored);
  }
  if (auto proxy = line.Text("proxy")) {
    if (!SplitServerAndPort(*proxy, login.proxyHost, login.proxyPort)) {
      err << "netrove-cli ftp: --proxy takes HOST or HOST:PORT\n";
      return false;
    }
    // A proxy without a named dialogue takes the simplest one; passive stays.
    if (!line.Has("proxy-mode") && (login.mode & kFtpProxyModes) == 0)
      login.mode |= kFtpModeProxyUser;
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
  std::uint16_t port = 0;
  if (!SplitServerAndPort(operands[0], login.host, port)) {
    io.err << "netrove-cli ftp: HOST[:PORT] expected, not '" << operands[0] << "'\n";
    return kUsageError;
  }
  if (!ApplyOptions(line, login, io)) return kUsageError;
  // TLS from the first byte has a port of its own.
  if (port == 0) port = login.tls == TlsMode::Implicit ? 990 : login.serverPort;
  login.serverPort = port;
  TransferChoices choices;
  choices.type = line.Has("ascii") ? FtpTransferType::Ascii : FtpTransferType::Image;
  choices.force = line.Has("force");
  choices.resume = line.Has("continue");

  RefusalNotingSink sink(io.out);
  CliFtpSession session(io.err, line.Has("force"));
  CFtpConnection connection(sink, reporter, session, session, session, SystemResolver());
  FinishedSignal finished;
  CRunLifecycle worker(finished, 0);
  bool succeeded = false;
  std::atomic<bool> interrupted{false};
  // Refusals before the command (during the login, such as a refused OPTS)
  // are not the command's reason to fail.
  std::size_t refusalsBefore = 0;
  RunUntilFinished(
      [&] {
        return worker.Start([&](std::stop_token) {
          session.StartStep();
          // The listing after the login ends the login step, whether or not
          // that listing could be made.
          if (connection.Connect(login) && (session.WaitStep(), !session.Ended()) && !interrupted) {
            session.StartStep();
            refusalsBefore = sink.Refusals();
            if (line.Has("recursive") && (words[0] == "get" || words[0] == "put")) {
              succeeded = RunFolderJob(connection, session, words, choices,
                                       line.Has("stop-on-error"), io.err);
            } else {
              succeeded = StartCommand(connection, words, choices, io.err) && session.WaitStep();
            }
            // pwd and quote end on any reply: a refusal is what fails them.
            const bool plainCommand = words[0] == "pwd" || words[0] == "quote";
            if (plainCommand && sink.Refusals() != refusalsBefore) succeeded = false;
            if (succeeded && words[0] == "ls") PrintEntries(session.Listing(), io.out);
          }
          connection.Quit();
          connection.WaitUntilEnded();
        });
      },
      // Ctrl+C ends the session in every state: what runs is reset, QUIT
      // goes out, and the connection closes after a short grace.
      [&] {
        interrupted = true;
        session.CancelFolderJob();
        connection.Quit();
      },
      [&] { worker.Join(); });
  if (succeeded && !interrupted) return 0;
  if (const auto untrusted = connection.TrustFailure()) {
    io.err << "Netrove: FTP: " << DescribeTrustFailure(*untrusted, login.host);
    if (untrusted->problem != CertificateProblem::Changed)
      io.err << "To trust this certificate for this run: --pin " << untrusted->certificate.sha256
             << "\n";
  } else if (interrupted) {
    io.err << "Netrove: FTP: interrupted\n";
  } else if (const std::string refusal = sink.LastRefusal();
             !refusal.empty() && sink.Refusals() != refusalsBefore) {
    io.err << "Netrove: FTP: " << refusal << "\n";
  }
  return 1;
}

const CommandRegistrar registrar(
    {"ftp", "HOST[:PORT] COMMAND [ARGS]",
     "Log in to an FTP server, run one command (ls, get, put, ...) and quit.", kOptions, RunFtp, 2,
     5,
     "COMMAND: ls [PATH] | get [-r] REMOTE [LOCAL] | put [-r] LOCAL [REMOTE] |\n"
     "  append LOCAL REMOTE | unique LOCAL | mkdir DIR | rmdir DIR | delete FILE |\n"
     "  rename OLD NEW | pwd |\n"
     "  quote SITE|STAT|HELP [ARG]\n"
     "Options not given keep the defaults of the FTP page of Customize; TLS is used where the\n"
     "server offers it unless --tls says otherwise.\n"
     "Exit status 0 when the command succeeded.\n"});

}  // namespace
}  // namespace netrove::cli
