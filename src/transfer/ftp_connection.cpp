#include "transfer/ftp_connection.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <utility>

#include "base/network_settings.h"
#include "base/settings_store.h"
#include "base/tool_key_values.h"
#include "base/tool_message.h"
#include "base/transcript_sink.h"
#include "transfer/ftp_local_files.h"
#include "transfer/ftp_reply_reader.h"

namespace netrove {
namespace {

constexpr std::size_t kMaxWaiting = 4;
// Some servers answer NLST of an empty folder with 550; the upload that asked
// goes on after this pause.
constexpr auto kEmptyNameListPause = std::chrono::milliseconds(2000);
constexpr std::size_t kControlReceive = 16 * 1024;

int FirstDigit(int code) { return code / 100; }
int SecondDigit(int code) { return code / 10 % 10; }

bool IsFileTransfer(FtpCommand command) {
  return command == FtpCommand::Retr || command == FtpCommand::Stor ||
         command == FtpCommand::Appe || command == FtpCommand::Stou;
}

bool IsDataCommand(FtpCommand command) {
  return IsFileTransfer(command) || command == FtpCommand::List || command == FtpCommand::Mlsd ||
         command == FtpCommand::Nlst;
}

std::string ErrorText(long code) {
  switch (code) {
    case kFtpErrorQueueFull:
      return "The FTP Command Queue is full, please try again later.";
    case kFtpErrorNoLocalAddress:
      return "Can't get local IP address.";
    case kFtpErrorBadArgument:
      return "The FTP command was not sent: its argument holds a line break or is too long.";
    case kFtpErrorLineTooLong:
      return "The FTP server sent a line or a reply too long to be read; the connection was "
             "closed.";
    default:
      return "Unknown error: " + std::to_string(code);
  }
}

}  // namespace

std::string ConfirmReplaceText(std::string_view fileName) {
  return "Confirm File Replace\n\nThis folder already contains a file called '" +
         std::string(fileName) + "'.\n\nWould you like to replace the existing file?";
}

std::string_view FtpOperationName(FtpOperationKind kind) {
  switch (kind) {
    case FtpOperationKind::OpenFolder:
      return "open folder";
    case FtpOperationKind::List:
      return "list";
    case FtpOperationKind::Download:
      return "download";
    case FtpOperationKind::Upload:
      return "upload";
    case FtpOperationKind::ServerMove:
      return "server move";
    case FtpOperationKind::Rename:
      return "rename";
    case FtpOperationKind::Delete:
      return "delete";
    case FtpOperationKind::NewFolder:
      return "new folder";
    case FtpOperationKind::EditDownload:
      return "edit download";
  }
  return "";
}

std::optional<std::uint32_t> FtpProxyModeFromText(std::string_view text) {
  for (const FtpProxyModeName& mode : kFtpProxyModeNames) {
    if (text == mode.word || text == std::to_string(mode.stored)) return mode.stored;
  }
  return std::nullopt;
}

std::uint32_t FtpModeFromStoredAccessMode(std::uint32_t stored) {
  switch (stored) {
    case 1134:
      return kFtpModeProxyUser;
    case 1135:
      return kFtpModeProxyOpen;
    case 1136:
      return kFtpModeProxySite;
    case 1137:
      return kFtpModeProxyUserAfter;
    default:
      return kFtpModePassive;
  }
}

bool ReadFtpSettings(FtpLogin& login, IMainWindowReporter& reporter) {
  login.families = ReadNetworkSettings().families;
  login.tls = TlsMode::IfOffered;
  const auto key = OpenToolKey("FTP", false);
  if (!key) return true;
  std::string tls;
  if (key->ReadText("TLS", tls)) login.tls = TlsModeFromName(tls).value_or(login.tls);
  ReadFlag(*key, "Verbose", login.verbose);
  ReadFlag(*key, "Bell", login.bell);
  ReadFlag(*key, "Extended Passive", login.extendedPassive);
  std::uint32_t timeout = static_cast<std::uint32_t>(login.replyTimeout.count());
  key->ReadDword("Reply Timeout", timeout);
  login.replyTimeout = std::chrono::seconds(timeout);
  std::uint32_t port = login.serverPort;
  key->ReadDword("Port Number", port);
  login.serverPort = static_cast<std::uint16_t>(port);
  bool proxy = false;
  ReadFlag(*key, "Proxy Server", proxy);
  if (!proxy) {
    login.mode = 0;
    return true;
  }
  std::uint32_t stored = 0;
  key->ReadDword("Proxy Access Mode", stored);
  login.mode = FtpModeFromStoredAccessMode(stored);
  if (LogsInToFirewall(login.mode)) {
    key->ReadText("Proxy User ID", login.proxyUser);
  }
  const auto proxyKey = OpenToolKey("Proxy Settings", false);
  if (!proxyKey) {
    reporter.PostSystemError(ENOENT);
    return false;
  }
  proxyKey->ReadText("FTP Address", login.proxyHost);
  std::uint32_t proxyPort = login.proxyPort;
  proxyKey->ReadDword("FTP Port", proxyPort);
  login.proxyPort = static_cast<std::uint16_t>(proxyPort);
  return true;
}

CFtpConnection::CFtpConnection(ITranscriptSink& transcript, IMainWindowReporter& reporter,
                               IFtpPageNotifier& pages, IFtpPanes& panes, IFtpQuestions& questions,
                               IResolver& resolver)
    : transcript_(transcript),
      reporter_(reporter),
      pages_(pages),
      panes_(panes),
      questions_(questions),
      resolver_(resolver) {}

CFtpConnection::~CFtpConnection() {
  CancelFinishingTransfer();
  reader_.Interrupt();
  quitTimer_.Interrupt();
  WaitUntilEnded();
  RemoveEditCopies();
}

// ---- the connection and its reader thread ----

bool CFtpConnection::Connect(const FtpLogin& login) {
  if (running_.exchange(true)) return false;
  WaitUntilEnded();
  running_ = true;
  {
    std::lock_guard lock(quitMutex_);
    quitTimerStop_ = false;
  }
  quitting_ = false;
  greeted_ = false;
  login_ = login;
  proxyMode_ = login.mode & kFtpProxyModes;
  passive_ = (login.mode & kFtpModePassive) != 0;
  loginStage_ = LoginStage::Greeting;
  secured_ = false;
  protectData_ = false;
  passwordRefused_ = RefusedPassword::None;
  {
    std::lock_guard lock(trustMutex_);
    trustFailure_.reset();
  }
  if (reader_.Start([this](std::stop_token stop) { ReaderMain(stop); })) return true;
  running_ = false;
  ReportError(EAGAIN, 1);
  return false;
}

void CFtpConnection::WaitUntilEnded() {
  reader_.Join();
  quitTimer_.Join();
  control_.Close();
}

std::string CFtpConnection::CurrentDirectory() const {
  std::lock_guard lock(queueMutex_);
  return currentDirectory_;
}

std::size_t CFtpConnection::WaitingCount() const {
  std::lock_guard lock(queueMutex_);
  return waiting_.size();
}

void CFtpConnection::ReaderMain(std::stop_token stop) {
  const std::stop_callback wake(stop, [this] { control_.Interrupt(); });
  if (OpenControlConnection(stop)) {
    Touch();
    connected_ = true;
    pages_.NotifyPage(FtpPage::Directories, kFtpConnected);
    ReceiveReplies();
    EndConnection();
  } else {
    pages_.NotifyPage(FtpPage::Login, kFtpConnectionEnded);
  }
  running_ = false;
}

bool CFtpConnection::OpenControlConnection(std::stop_token stop) {
  // A Quit before the connection attempt began is seen here or by Connect.
  if (stop.stop_requested()) return false;
  control_.SetFamilyChoice(login_.families);
  const bool viaProxy = (login_.mode & kFtpProxyModes) != 0;
  const SocketStatus status = viaProxy
                                  ? control_.Connect(login_.proxyHost, login_.proxyPort, resolver_)
                                  : control_.Connect(login_.host, login_.serverPort, resolver_);
  if (!status) {
    ReportConnectError(reporter_, status, control_);
    return false;
  }
  tlsOptions_ = ServerTlsOptions();
  return login_.tls != TlsMode::Implicit || SecureControl();
}

void CFtpConnection::ReceiveReplies() {
  CFtpReplyReader reader;
  std::vector<char> buffer(kControlReceive);
  std::vector<FtpServerLine> lines;
  while (AwaitReadable()) {
    const SocketCount got = control_.Recv(buffer.data(), buffer.size());
    if (!got) {
      ReportSocketError(reporter_, got);
      return;
    }
    if (got.bytes == 0) return;
    lines.clear();
    const bool framed =
        reader.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got.bytes)), lines);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (InjectedAfterTlsAccepted(lines[i], i + 1 < lines.size() || reader.Buffered() > 0)) return;
      ShowAndDispatch(lines[i]);
    }
    if (!framed) {
      ReportError(kFtpErrorLineTooLong, 0);
      return;
    }
  }
}

void CFtpConnection::ShowAndDispatch(const FtpServerLine& line) {
  if (!line.isReply) {
    transcript_.AppendTranscript(line.transcript);
    return;
  }
  greeted_ = true;
  Touch();
  std::string echo;
  if (login_.verbose) {
    std::lock_guard lock(queueMutex_);
    if (!inFlight_ || inFlight_->command == FtpCommand::Open) {
      if (inFlight_ && inFlight_->argument) echo = *inFlight_->argument + "\r\n";
    } else {
      echo = FtpEchoLine(inFlight_->command, inFlight_->argument);
    }
  }
  transcript_.AppendTranscript(echo + line.transcript);
  const std::string_view first = line.firstLine;
  lastReply_ = first;
  lastReplyText_ = line.transcript;
  ReplyDispatch(line.code, first.size() > 5 ? first.substr(5) : std::string_view());
}

void CFtpConnection::EndConnection() {
  transcript_.AppendTranscript("\r\n\r\n\r\n");
  connected_ = false;
  if (!quitting_ && TransferPending()) {
    reporter_.PostToolMessage(kSourceFtp,
                              "The connection to the FTP server ended before the transfer did.");
  }
  EndAllOperations();
  {
    std::lock_guard lock(quitMutex_);
    quitTimerStop_ = true;
  }
  quitWake_.notify_all();
  pages_.NotifyPage(FtpPage::Login, kFtpConnectionEnded);
  pages_.NotifyPage(FtpPage::Directories, kFtpConnectionEnded);
  std::lock_guard lock(queueMutex_);
  currentDirectory_.clear();
  features_ = {};
  passiveKnown_ = false;
  extendedPassiveRefused_ = false;
}

// A reply is due from the connection's start until the first one, and while
// a command is in flight.
bool CFtpConnection::AwaitingReply() const { return !greeted_ || HasInFlight(); }

void CFtpConnection::Touch() {
  lastActivity_ = std::chrono::steady_clock::now().time_since_epoch().count();
}

// Waits until the control connection has bytes. A reply due for longer than
// the time-out (a silent server, or one trickling an endless multi-line
// reply) ends the connection; the slices let a command sent meanwhile start
// the clock. False when the connection is to end.
bool CFtpConnection::AwaitReadable() {
  using namespace std::chrono;
  const nanoseconds timeout = login_.replyTimeout;
  if (timeout.count() == 0) return true;  // Recv waits; Quit and Interrupt wake it
  constexpr milliseconds kSlice{250};
  while (true) {
    milliseconds wait = kSlice;
    if (AwaitingReply()) {
      const auto due = steady_clock::time_point(nanoseconds(lastActivity_.load())) + timeout;
      const auto left = duration_cast<milliseconds>(due - steady_clock::now());
      if (left.count() <= 0) {
        reporter_.PostToolMessage(kSourceFtp, "The FTP server sent no complete reply within " +
                                                  std::to_string(login_.replyTimeout.count()) +
                                                  " seconds; the connection was closed.");
        return false;
      }
      wait = std::min(wait, left + milliseconds(1));
    }
    bool ready = false;
    const SocketStatus status = control_.WaitReadable(static_cast<int>(wait.count()), ready);
    if (!status) {
      if (!status.userInterrupted()) ReportSocketError(reporter_, status);
      return false;
    }
    if (ready) return true;
  }
}

// ---- the queue ----

bool CFtpConnection::QueueCommand(FtpCommand command, std::optional<std::string> argument) {
  if (command == FtpCommand::Quit) {
    Quit();
    return connected_;
  }
  if (command == FtpCommand::Abor && connected_) EndAllOperations();
  return Enqueue({command, std::move(argument), nullptr});
}

bool CFtpConnection::Enqueue(Entry entry) {
  std::vector<Entry> entries;
  entries.push_back(std::move(entry));
  return EnqueueAll(std::move(entries));
}

// All of an operation's commands go into the queue in one step, or none of
// them: a reply to the first can then never end the operation before its
// later commands are queued (and so send them after all).
bool CFtpConnection::EnqueueAll(std::vector<Entry> entries) {
  if (!connected_) {
    control_.Interrupt();
    return false;
  }
  for (const Entry& entry : entries) {
    if (entry.argument && !IsSendableArgument(entry.command, *entry.argument)) {
      ReportError(kFtpErrorBadArgument, 0);
      return false;
    }
  }
  const bool beyondLimit = entries.size() == 1 && (entries[0].command == FtpCommand::Quit ||
                                                   entries[0].command == FtpCommand::Abor);
  bool full = false;
  {
    std::lock_guard lock(queueMutex_);
    full = !beyondLimit && waiting_.size() + entries.size() > kMaxWaiting;
    if (!full) {
      for (Entry& entry : entries) waiting_.push_back(std::move(entry));
    }
  }
  if (full) {
    ReportError(kFtpErrorQueueFull, 0);
    return false;
  }
  SendNext();
  return true;
}

// Takes the first waiting command and marks it in flight in one step under
// the lock, so two threads can neither both send it nor both skip it; the
// send lock keeps lines in that order on the wire.
void CFtpConnection::SendNext() {
  std::lock_guard sendLock(sendMutex_);
  Entry sent;
  {
    std::lock_guard lock(queueMutex_);
    if (waiting_.empty()) return;
    if (inFlight_ && inFlight_->command != FtpCommand::Open) return;
    inFlight_ = std::move(waiting_.front());
    waiting_.pop_front();
    sent = *inFlight_;
  }
  const auto line = FormatFtpCommand(sent.command, sent.argument);
  if (!line) return;
  Touch();
  if (!SendLine(*line)) {
    std::lock_guard lock(queueMutex_);
    if (inFlight_ && inFlight_->command == sent.command) {
      waiting_.push_front(std::move(*inFlight_));
      inFlight_.reset();
    }
    return;
  }
  if (!IsDataCommand(sent.command) || !sent.operation || !sent.operation->transfer) return;
  sent.operation->transfer->CommandSent();
  if (passive_) StartPassiveData(sent);
}

bool CFtpConnection::SendLine(const std::string& line) {
  std::string_view rest = line;
  while (!rest.empty()) {
    const SocketCount sent = control_.Send(rest.data(), rest.size());
    if (!sent) {
      ReportSocketError(reporter_, sent);
      return false;
    }
    rest.remove_prefix(static_cast<std::size_t>(sent.bytes));
  }
  return true;
}

// The data socket goes to the server the control connection reached, whatever
// address the 227 named: only its port is taken.
void CFtpConnection::StartPassiveData(const Entry& sent) {
  SocketAddress address;
  if (!control_.PeerAddress(address)) return;
  {
    std::lock_guard lock(queueMutex_);
    if (!passiveKnown_) return;
    address.setPort(passivePort_);
  }
  sent.operation->transfer->StartPassive(address);
}

std::optional<CFtpConnection::Entry> CFtpConnection::TakeInFlight() {
  std::lock_guard lock(queueMutex_);
  return std::exchange(inFlight_, std::nullopt);
}

FtpCommand CFtpConnection::InFlightCommand() const {
  std::lock_guard lock(queueMutex_);
  return inFlight_ ? inFlight_->command : FtpCommand::Open;
}

bool CFtpConnection::HasInFlight() const {
  std::lock_guard lock(queueMutex_);
  return inFlight_.has_value();
}

void CFtpConnection::Quit() {
  if (!connected_) {
    if (running_) reader_.Interrupt();  // still connecting
    return;
  }
  if (quitting_.exchange(true)) return;
  EndAllOperations();
  if (Enqueue({FtpCommand::Quit, std::nullopt, nullptr})) StartQuitTimer();
}

// A server that never answers QUIT (or never closes) must not keep the
// window, or the program, from ending.
void CFtpConnection::StartQuitTimer() {
  std::lock_guard lock(quitMutex_);
  if (quitTimer_.IsRunning() || quitTimerStop_) return;
  (void)quitTimer_.Start([this](std::stop_token stop) { AwaitQuitAnswer(stop); });
}

// Ends when the connection has ended, or closes it after the grace period.
void CFtpConnection::AwaitQuitAnswer(std::stop_token stop) {
  std::unique_lock wait(quitMutex_);
  if (!quitWake_.wait_for(wait, stop, quitGrace_, [this] { return quitTimerStop_; }) &&
      !stop.stop_requested()) {
    control_.Interrupt();
  }
}

void CFtpConnection::ReportError(long code, int kind) {
  if (kind == 1) {
    reporter_.PostSystemError(static_cast<int>(code));
  } else {
    reporter_.PostToolMessage(kSourceFtp, ErrorText(code));
  }
}

// ---- replies ----

void CFtpConnection::ReplyDispatch(int code, std::string_view text) {
  if (OnSecurityReply(code) || OnExtensionReply(code)) return;
  switch (FirstDigit(code)) {
    case 1:
      OnPreliminary(code, text);
      break;
    case 2:
      OnPositive(code, text);
      break;
    case 3:
      OnIntermediate(code);
      break;
    case 4:
      OnTransient(code);
      break;
    case 5:
      OnPermanent(code);
      break;
    default:
      break;
  }
}

// 125/150 to STOU name the file the server chose: the text from its first
// blank on.
void CFtpConnection::OnPreliminary(int code, std::string_view text) {
  if (InFlightCommand() != FtpCommand::Stou) return;
  if (SecondDigit(code) != 2 && SecondDigit(code) != 5) return;
  const std::size_t blank = text.find(' ');
  if (blank != std::string_view::npos) panes_.SetNewItemLabel(std::string(text.substr(blank)));
}

void CFtpConnection::OnPositive(int code, std::string_view text) {
  const FtpCommand inFlight = InFlightCommand();
  if (inFlight == FtpCommand::Rnfr || inFlight == FtpCommand::Smnt) return;
  const Entry entry = TakeInFlight().value_or(Entry{});
  const FtpCommand command = entry.command;
  switch (SecondDigit(code)) {
    case 0:
      if (command == FtpCommand::Site && loginStage_ == LoginStage::SiteSent) {
        loginStage_ = LoginStage::ServerLogin;
        Enqueue({FtpCommand::User, login_.userName, nullptr});
        return;
      }
      if (command != FtpCommand::Type && command != FtpCommand::Port &&
          command != FtpCommand::Eprt && command != FtpCommand::Rest) {
        EndCommand(entry, true);
      }
      break;
    case 2:
      if (code == 220) {
        OnGreeting();
        return;
      }
      if (code == 221) {
        control_.Interrupt();  // the server's close ends the reader
        return;
      }
      if (code == 226 && command == FtpCommand::Abor) break;
      if (code == 226 && IsDataCommand(command)) {
        OnPositiveCompletion(entry);
      } else if (code == 227 && command == FtpCommand::Pasv) {
        OnPassiveAddress(entry, text);
      } else if (code == 229 && command == FtpCommand::Epsv) {
        OnExtendedPassivePort(entry, text);
      } else {
        EndCommand(entry, true);
      }
      break;
    case 3:
      if (loginStage_ == LoginStage::FirewallLogin && (proxyMode_ & kFtpModeProxySite)) {
        loginStage_ = LoginStage::SiteSent;
        Enqueue({FtpCommand::Site, login_.host, nullptr});
      } else if (loginStage_ == LoginStage::FirewallLogin) {
        loginStage_ = LoginStage::ServerLogin;
        Enqueue({FtpCommand::User, login_.userName + "@" + login_.host, nullptr});
      } else {
        OnLoggedIn();
      }
      return;
    case 5:
      if (IsDataCommand(command)) {
        OnPositiveCompletion(entry);
      } else if (command == FtpCommand::Pwd) {
        OnWorkingDirectory(text);
      } else if (command == FtpCommand::Cdup) {
        panes_.ClearRemoteTree();
        {
          std::lock_guard lock(queueMutex_);
          currentDirectory_.clear();
        }
        Enqueue({FtpCommand::Pwd, std::nullopt, nullptr});
        ListLoginFolder();
        return;
      } else if (command != FtpCommand::Cwd) {
        EndCommand(entry, true);
      }
      break;
    default:
      EndCommand(entry, true);
      break;
  }
  SendNext();
}

void CFtpConnection::OnPositiveCompletion(const Entry& entry) {
  EndCommand(entry, true);
  if (IsFileTransfer(entry.command)) BeepIfWanted();
}

// The first 220 starts the login the proxy mode asks for; after OPEN at the
// proxy, the server's own 220 starts the server's login. Any other 220 is
// only shown.
void CFtpConnection::OnGreeting() {
  const LoginStage stage = loginStage_;
  if (stage == LoginStage::OpenSent) {
    loginStage_ = LoginStage::ServerLogin;
    Enqueue({FtpCommand::User, login_.userName, nullptr});
    return;
  }
  if (stage != LoginStage::Greeting) return;
  if (!secured_ && (login_.tls == TlsMode::IfOffered || login_.tls == TlsMode::Required)) {
    loginStage_ = LoginStage::Securing;
    Enqueue({FtpCommand::Auth, "TLS", nullptr});
    return;
  }
  StartLogin();
}

// The login the proxy mode asks for, once the greeting (and TLS) is done.
void CFtpConnection::StartLogin() {
  const std::uint32_t mode = proxyMode_;
  if (LogsInToFirewall(mode)) {
    loginStage_ = LoginStage::FirewallLogin;
    Enqueue({FtpCommand::User, login_.proxyUser, nullptr});
  } else if (mode & kFtpModeProxyUser) {
    loginStage_ = LoginStage::ServerLogin;
    Enqueue({FtpCommand::User, login_.userName + "@" + login_.host, nullptr});
  } else if (mode & kFtpModeProxyOpen) {
    loginStage_ = LoginStage::OpenSent;
    Enqueue({FtpCommand::Open, login_.host, nullptr});
  } else {
    loginStage_ = LoginStage::ServerLogin;
    Enqueue({FtpCommand::User, login_.userName, nullptr});
  }
}

// The server's extensions decide how folders are listed: FEAT first, then
// the working folder and its listing (OnFeatures).
void CFtpConnection::OnLoggedIn() {
  loginStage_ = LoginStage::LoggedIn;
  if (secured_) {
    Enqueue({FtpCommand::Pbsz, "0", nullptr});
    Enqueue({FtpCommand::Prot, "P", nullptr});
  }
  Enqueue({FtpCommand::Feat, std::nullopt, nullptr});
}

// The listing after the login (and after CDUP) was asked for by no pane: id 0.
void CFtpConnection::ListLoginFolder() {
  FtpRequest request;
  request.kind = FtpOperationKind::OpenFolder;
  ListFolder(NewOperation(OperationKind::Listing, 0, request), std::nullopt);
}

// 257 "/path" ...: `text` starts after the opening quotation mark.
void CFtpConnection::OnWorkingDirectory(std::string_view text) {
  std::unique_lock lock(queueMutex_);
  if (!currentDirectory_.empty()) {
    lock.unlock();
    panes_.Release();
    return;
  }
  std::string folder(text.substr(0, text.find('"')));
  if (!folder.ends_with('/')) folder += '/';
  currentDirectory_ = std::move(folder);
}

// Only the port of a 227 is used (the address is the control connection's
// peer); a reply without six numbers fails the operation that asked.
void CFtpConnection::OnPassiveAddress(const Entry& entry, std::string_view text) {
  const auto address = ParsePassiveReply(text);
  if (!address) {
    FailEntry(entry, false);
    return;
  }
  std::lock_guard lock(queueMutex_);
  passivePort_ = address->port;
  passiveKnown_ = true;
}

// A 229 names only a port; the address is the control connection's peer.
void CFtpConnection::OnExtendedPassivePort(const Entry& entry, std::string_view text) {
  const auto port = ParseExtendedPassiveReply(text);
  if (!port) {
    FailEntry(entry, false);
    return;
  }
  std::lock_guard lock(queueMutex_);
  passivePort_ = *port;
  passiveKnown_ = true;
}

// A server that does not know EPSV is asked with PASV, now and for the rest
// of the connection.
bool CFtpConnection::RetryWithPasv(const Entry& entry, int code) {
  if (entry.command != FtpCommand::Epsv || (code != 500 && code != 502)) return false;
  std::lock_guard lock(queueMutex_);
  extendedPassiveRefused_ = true;
  waiting_.push_front({FtpCommand::Pasv, std::nullopt, entry.operation});
  return true;
}

void CFtpConnection::OnIntermediate(int code) {
  const FtpCommand inFlight = InFlightCommand();
  if (inFlight == FtpCommand::Rest) {  // 350: the transfer command follows
    TakeInFlight();
    SendNext();
    return;
  }
  if (inFlight != FtpCommand::Pass && inFlight != FtpCommand::User &&
      inFlight != FtpCommand::Rnfr) {
    return;
  }
  TakeInFlight();
  if (code == 331) {
    const bool proxyLogin = loginStage_ == LoginStage::FirewallLogin;
    Enqueue({FtpCommand::Pass, proxyLogin ? login_.proxyPassword : login_.password, nullptr});
  } else if (SecondDigit(code) == 3) {
    Enqueue({FtpCommand::Acct, login_.account, nullptr});
  } else if (SecondDigit(code) == 5) {
    SendNext();
  }
}

void CFtpConnection::OnTransient(int code) {
  const FtpCommand inFlight = InFlightCommand();
  if (inFlight == FtpCommand::Smnt || inFlight == FtpCommand::Site ||
      inFlight == FtpCommand::Quit) {
    return;
  }
  // The aborted transfer's own 425/426 comes before ABOR's answer: ABOR stays
  // in flight for that answer, which would otherwise be taken as the reply to
  // the next command. The transfer ended as failed when ABOR was queued.
  if (inFlight == FtpCommand::Abor && (code == 425 || code == 426)) {
    panes_.Release();
    return;
  }
  const Entry entry = TakeInFlight().value_or(Entry{});
  if (code == 421) {
    EndCommand(entry, false);
    EndByServer();
    pages_.NotifyPage(FtpPage::Directories, kFtpConnectionEnded);
    return;
  }
  const bool transferReply = SecondDigit(code) == 5 || code == 425 || code == 426;
  ReportRefusedDataConnection(entry);
  FailEntry(entry, transferReply && IsFileTransfer(entry.command));
  SendNext();
}

void CFtpConnection::OnPermanent(int code) {
  if (!HasInFlight()) return;
  const FtpCommand inFlight = InFlightCommand();
  if (inFlight == FtpCommand::Open || inFlight == FtpCommand::Smnt) return;
  const Entry entry = TakeInFlight().value_or(Entry{});
  const bool notAvailable = SecondDigit(code) == 5;
  if (code == 530) {
    if (entry.command == FtpCommand::Pass) {
      passwordRefused_ = loginStage_ == LoginStage::FirewallLogin ? RefusedPassword::Firewall
                                                                  : RefusedPassword::User;
    }
    EndCommand(entry, false);
    EndByServer();
    control_.Interrupt();
    return;
  }
  if (RetryWithPasv(entry, code)) {
    // SendNext below sends the PASV that replaces it.
  } else if (entry.command == FtpCommand::Nlst && (code == 500 || code == 502 || notAvailable)) {
    if (notAvailable) {
      std::unique_lock wait(quitMutex_);
      quitWake_.wait_for(wait, kEmptyNameListPause, [this] { return !connected_.load(); });
    }
    EndWithoutNames(entry);
  } else if (entry.command == FtpCommand::Pwd && notAvailable) {
    if (!CurrentDirectory().empty()) panes_.Release();
  } else {
    ReportRefusedDataConnection(entry);
    FailEntry(entry, notAvailable && IsFileTransfer(entry.command));
  }
  SendNext();
}

// 421 and 530: the server ends the session; everything queued ends as failed.
void CFtpConnection::EndByServer() {
  connected_ = false;
  EndAllOperations();
  pages_.NotifyPage(FtpPage::Login, kFtpConnectionEnded);
}

// ---- ending operations ----

CFtpConnection::OperationPtr CFtpConnection::NewOperation(OperationKind kind, std::uint64_t id,
                                                          const FtpRequest& request) {
  auto operation = std::make_shared<Operation>();
  operation->kind = kind;
  operation->id = id;
  operation->request = request;
  return operation;
}

// A failed step fails the whole operation: its later commands are dropped,
// so no transfer command follows a failed PORT or PASV, no RNTO a failed RNFR.
void CFtpConnection::FailEntry(const Entry& entry, bool beep) {
  if (entry.command == FtpCommand::Rest && OnRestartRefused(entry)) return;
  DropOperation(entry.operation);
  EndCommand(entry, false);
  if (beep) BeepIfWanted();
}

void CFtpConnection::EndCommand(const Entry& entry, bool success) {
  if (entry.operation) {
    EndOperation(entry.operation, success);
    return;
  }
  panes_.Release();
}

// NLST answered without a list: the name check found nothing in the way.
void CFtpConnection::EndWithoutNames(const Entry& entry) {
  const OperationPtr& operation = entry.operation;
  DropOperation(operation);
  if (!operation || operation->ended.exchange(true)) return;
  if (operation->transfer) operation->transfer->Finish(false);
  GoOnAfterNameCheck(operation, std::nullopt);
}

void CFtpConnection::EndOperation(const OperationPtr& operation, bool success) {
  if (!operation || operation->ended.exchange(true)) return;
  bool succeeded = success;
  if (operation->transfer) {
    {
      std::lock_guard lock(queueMutex_);
      finishing_ = operation;
    }
    succeeded = operation->transfer->Finish(success, login_.replyTimeout);
    std::lock_guard lock(queueMutex_);
    finishing_.reset();
  }
  switch (operation->kind) {
    case OperationKind::Listing:
      if (succeeded) panes_.ListingReceived(operation->transfer->TakeText(), CurrentDirectory());
      break;
    case OperationKind::NameList:
      // A check that could not run ends the request: nothing is overwritten
      // on a guess.
      if (succeeded) {
        GoOnAfterNameCheck(operation, operation->transfer->TakeText());
        return;
      }
      break;
    case OperationKind::EditDownload:
      if (succeeded) LaunchEditor(*operation);
      break;
    case OperationKind::Download:
    case OperationKind::Upload:
      if (succeeded && operation->request.move) {
        GoOnAfterCopy(operation);
        return;
      }
      break;
    case OperationKind::RemoteSize:
      GoOnAfterSize(operation, succeeded);
      return;
    case OperationKind::Delete:
      // The second step of a moved download: the copy is safe either way.
      if (operation->request.kind == FtpOperationKind::Download) {
        Report(*operation, succeeded ? FtpOutcome::Succeeded : FtpOutcome::SourceKept);
        return;
      }
      break;
    default:
      break;
  }
  Report(*operation, succeeded ? FtpOutcome::Succeeded : FtpOutcome::Failed);
}

void CFtpConnection::Report(const Operation& operation, FtpOutcome outcome) {
  panes_.OperationEnded(operation.id, operation.request.kind, outcome);
}

namespace {

// The part after the last "/" (the whole text when it has none).
std::string_view LastPart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

// Servers differ in whether NLST names carry their folder and in case rules:
// the last part of each line is compared, without regard to case.
bool NameListHolds(std::string_view names, std::string_view target) {
  const std::string_view wanted = LastPart(target);
  while (!names.empty()) {
    const std::size_t end = names.find_first_of("\r\n");
    const std::string_view line = names.substr(0, end);
    if (!line.empty() && SameNameIgnoringCase(LastPart(line), wanted)) return true;
    if (end == std::string_view::npos) break;
    names.remove_prefix(end + 1);
  }
  return false;
}

void CFtpConnection::GoOnAfterNameCheck(const OperationPtr& check,
                                        const std::optional<std::string>& names) {
  if (names && NameListHolds(*names, check->request.target)) {
    Report(*check, FtpOutcome::NameExists);
    return;
  }
  FtpRequest request = check->request;
  request.replace = true;
  const bool store = request.kind == FtpOperationKind::Upload;
  const OperationPtr next =
      NewOperation(store ? OperationKind::Upload : OperationKind::Rename, check->id, request);
  if (store ? Store(next) : Rename(next)) return;
}

// A moved download removes the server's copy; a moved upload the local file
// (a file only: a folder is never deleted on the word of one transfer).
void CFtpConnection::GoOnAfterCopy(const OperationPtr& copy) {
  const FtpRequest& request = copy->request;
  if (request.kind == FtpOperationKind::Download) {
    const OperationPtr next = NewOperation(OperationKind::Delete, copy->id, request);
    Delete(next, request.source, request.sourceIsFolder);
    return;
  }
  std::error_code error;
  const std::filesystem::path source(request.source);
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(source, error)) &&
      std::filesystem::remove(source, error)) {
    Report(*copy, FtpOutcome::Succeeded);
    return;
  }
  if (error) ReportError(error.value(), 1);
  Report(*copy, FtpOutcome::SourceKept);
}

void CFtpConnection::DropOperation(const OperationPtr& operation) {
  if (!operation) return;
  std::lock_guard lock(queueMutex_);
  std::erase_if(waiting_, [&](const Entry& entry) { return entry.operation == operation; });
}

// ABOR, QUIT, 421, 530 and the connection's end: the command in flight and
// every waiting one are dropped, and each operation among them ends as failed
// (its data connection reset, a download's file removed, its pane released).
void CFtpConnection::EndAllOperations() {
  std::vector<Entry> dropped;
  {
    std::lock_guard lock(queueMutex_);
    if (inFlight_) dropped.push_back(std::move(*inFlight_));
    inFlight_.reset();
    for (Entry& entry : waiting_) dropped.push_back(std::move(entry));
    waiting_.clear();
  }
  CancelFinishingTransfer();
  for (const Entry& entry : dropped) {
    if (entry.operation && entry.operation->transfer) entry.operation->transfer->Cancel();
  }
  for (const Entry& entry : dropped) {
    // A step after the one dropped must not start once everything ends.
    if (entry.operation) entry.operation->request.move = false;
    EndOperation(entry.operation, false);
  }
}

// The transcript shows the reply, but nothing else would say why the
// listing or the transfer did not happen.
void CFtpConnection::ReportRefusedDataConnection(const Entry& entry) {
  std::string mode;
  switch (entry.command) {
    case FtpCommand::Pasv:
      mode = "passive (PASV)";
      break;
    case FtpCommand::Epsv:
      mode = "passive (EPSV)";
      break;
    case FtpCommand::Port:
      mode = "active (PORT)";
      break;
    case FtpCommand::Eprt:
      mode = "active (EPRT)";
      break;
    default:
      return;
  }
  reporter_.PostToolMessage(kSourceFtp,
                            "The FTP server refused " + mode + " data connections: " + lastReply_);
}

bool CFtpConnection::TransferPending() const {
  std::lock_guard lock(queueMutex_);
  const auto hasTransfer = [](const Entry& entry) {
    return entry.operation && entry.operation->transfer;
  };
  return (inFlight_ && hasTransfer(*inFlight_)) ||
         std::any_of(waiting_.begin(), waiting_.end(), hasTransfer);
}

void CFtpConnection::CancelFinishingTransfer() {
  OperationPtr finishing;
  {
    std::lock_guard lock(queueMutex_);
    finishing = finishing_;
  }
  if (finishing && finishing->transfer) finishing->transfer->Cancel();
}

void CFtpConnection::BeepIfWanted() {
  if (login_.bell) pages_.Beep();
}

// ---- requests ----

std::uint64_t CFtpConnection::Start(const FtpRequest& request) {
  const std::uint64_t id = ++lastId_;
  OperationPtr operation;
  switch (request.kind) {
    case FtpOperationKind::OpenFolder:
    case FtpOperationKind::List:
      operation = NewOperation(OperationKind::Listing, id, request);
      break;
    case FtpOperationKind::Download:
      operation = NewOperation(OperationKind::Download, id, request);
      break;
    case FtpOperationKind::EditDownload:
      operation = NewOperation(OperationKind::EditDownload, id, request);
      break;
    case FtpOperationKind::Upload:
    case FtpOperationKind::ServerMove:
      // Appending and unique names never replace a file: no check to make.
      operation =
          NewOperation(request.replace || request.store != FtpStoreMode::Replace
                           ? (request.kind == FtpOperationKind::Upload ? OperationKind::Upload
                                                                       : OperationKind::Rename)
                           : OperationKind::NameList,
                       id, request);
      break;
    case FtpOperationKind::Rename:
      operation = NewOperation(OperationKind::Rename, id, request);
      break;
    case FtpOperationKind::Delete:
      operation = NewOperation(OperationKind::Delete, id, request);
      break;
    case FtpOperationKind::NewFolder:
      operation = NewOperation(OperationKind::NewFolder, id, request);
      break;
  }
  const bool resumable =
      request.kind == FtpOperationKind::Download ||
      (request.kind == FtpOperationKind::Upload && request.store == FtpStoreMode::Replace);
  if (request.resume && resumable) operation->kind = OperationKind::RemoteSize;
  StartStep(operation);
  return id;
}

// Each step reports its own refusal (the operation then ends as failed).
bool CFtpConnection::StartStep(const OperationPtr& operation) {
  const FtpRequest& request = operation->request;
  switch (operation->kind) {
    case OperationKind::Listing:
      return OpenFolder(operation);
    case OperationKind::NameList:
      return ListNames(operation);
    case OperationKind::Download:
      return Download(operation);
    case OperationKind::EditDownload:
      return EditDownload(operation);
    case OperationKind::Upload:
      return Store(operation);
    case OperationKind::Rename:
      return Rename(operation);
    case OperationKind::Delete:
      return Delete(operation, request.source, request.sourceIsFolder);
    case OperationKind::NewFolder:
      return NewFolder(operation);
    case OperationKind::RemoteSize:
      return AskRemoteSize(operation);
  }
  return false;
}

bool CFtpConnection::Rename(const OperationPtr& operation) {
  std::vector<Entry> entries;
  entries.push_back({FtpCommand::Rnfr, operation->request.source, operation});
  entries.push_back({FtpCommand::Rnto, operation->request.target, operation});
  if (EnqueueAll(std::move(entries))) return true;
  EndOperation(operation, false);
  return false;
}

bool CFtpConnection::Delete(const OperationPtr& operation, const std::string& path, bool isFolder) {
  if (Enqueue({isFolder ? FtpCommand::Rmd : FtpCommand::Dele, path, operation})) return true;
  EndOperation(operation, false);
  return false;
}

bool CFtpConnection::NewFolder(const OperationPtr& operation) {
  if (Enqueue({FtpCommand::Mkd, operation->request.source, operation})) return true;
  EndOperation(operation, false);
  return false;
}

// ---- data operations ----

bool CFtpConnection::ListFolder(const OperationPtr& operation, std::optional<std::string> path) {
  operation->transfer =
      std::make_unique<CFtpTransfer>(FtpTransferKind::Listing, false, reporter_, panes_);
  return QueueDataCommands(operation, FtpTransferType::Ascii, ListingCommand(), std::move(path));
}

// CWD to the folder, then its listing, queued as one operation: a refused
// CWD ends it as failed without the listing. No folder: LIST alone.
bool CFtpConnection::OpenFolder(const OperationPtr& operation) {
  const std::string& path = operation->request.source;
  if (path.empty()) return ListFolder(operation, std::nullopt);
  if (operation->request.kind == FtpOperationKind::List) return ListFolder(operation, path);
  operation->transfer =
      std::make_unique<CFtpTransfer>(FtpTransferKind::Listing, false, reporter_, panes_);
  std::vector<Entry> entries{{FtpCommand::Cwd, path, operation}};
  return QueueDataCommands(operation, FtpTransferType::Ascii, ListingCommand(), path,
                           std::move(entries));
}

namespace {

// The folder part of a path, for NLST: up to its last "/" ("/" for a name
// in the root, "." for a bare name).
std::string FolderPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool CFtpConnection::ListNames(const OperationPtr& operation) {
  operation->transfer =
      std::make_unique<CFtpTransfer>(FtpTransferKind::NameList, false, reporter_, panes_);
  return QueueDataCommands(operation, FtpTransferType::Ascii, FtpCommand::Nlst,
                           FolderPart(operation->request.target));
}

bool CFtpConnection::Download(const OperationPtr& operation) {
  const FtpRequest& request = operation->request;
  const std::filesystem::path localPath(request.target);
  std::error_code ignored;
  if (!request.replace && std::filesystem::exists(localPath, ignored) &&
      !questions_.ConfirmReplace(localPath.filename().string())) {
    EndOperation(operation, false);
    return false;
  }
  operation->transfer = std::make_unique<CFtpTransfer>(
      FtpTransferKind::Download, request.type == FtpTransferType::Ascii, reporter_, panes_);
  if (const int error = operation->transfer->CreateDownloadFile(localPath, request.resume)) {
    ReportError(error, 1);
    EndOperation(operation, false);
    return false;
  }
  return QueueDownloadProbe(operation);
}

// STOR, APPE or STOU by the request's store mode.
bool CFtpConnection::Store(const OperationPtr& operation) {
  const FtpRequest& request = operation->request;
  operation->transfer = std::make_unique<CFtpTransfer>(
      FtpTransferKind::Upload, request.type == FtpTransferType::Ascii, reporter_, panes_);
  if (const int error = operation->transfer->OpenUploadFile(request.source)) {
    ReportError(error, 1);
    EndOperation(operation, false);
    return false;
  }
  switch (request.store) {
    case FtpStoreMode::Append:
      return QueueDataCommands(operation, request.type, FtpCommand::Appe, request.target);
    case FtpStoreMode::Unique:
      return QueueDataCommands(operation, request.type, FtpCommand::Stou, std::nullopt);
    case FtpStoreMode::Replace:
      break;
  }
  return QueueDataCommands(operation, request.type, FtpCommand::Stor, request.target);
}

bool CFtpConnection::EditDownload(const OperationPtr& operation) {
  if (operation->request.editor.empty()) {
    EndOperation(operation, false);
    return false;
  }
  std::error_code ignored;
  std::string pattern = (std::filesystem::temp_directory_path(ignored) / "FTPXXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
  if (descriptor < 0) {
    ReportError(errno, 1);
    EndOperation(operation, false);
    return false;
  }
  ::close(descriptor);
  operation->temporary = name.data();
  {
    std::lock_guard lock(editCopiesMutex_);
    editCopies_.push_back(operation->temporary);
  }
  operation->editorPath = operation->request.editor;
  operation->transfer =
      std::make_unique<CFtpTransfer>(FtpTransferKind::Download, true, reporter_, panes_);
  if (const int error = operation->transfer->UseTemporaryFile(operation->temporary)) {
    ReportError(error, 1);
    EndOperation(operation, false);
    return false;
  }
  return QueueDataCommands(operation, FtpTransferType::Ascii, FtpCommand::Retr,
                           operation->request.source);
}

// The editor gets the file as one argument (no shell ever reads the path).
// Many editors hand the file to an instance already running and return at
// once, so the copy stays until the connection goes, not until they return.
void CFtpConnection::LaunchEditor(Operation& operation) {
  if (const int error = StartDetachedProgram(operation.editorPath, operation.temporary.string()))
    ReportError(error, 1);
}

void CFtpConnection::RemoveEditCopies() {
  std::lock_guard lock(editCopiesMutex_);
  for (const auto& copy : editCopies_) ::unlink(copy.c_str());
  editCopies_.clear();
}

bool CFtpConnection::QueueDataCommands(const OperationPtr& operation, FtpTransferType type,
                                       FtpCommand command, std::optional<std::string> argument,
                                       std::vector<Entry> entries) {
  operation->transfer->WatchActivity(lastActivity_);
  if (connected_ && PrepareDataConnection(operation, entries)) {
    entries.push_back({FtpCommand::Type, type == FtpTransferType::Image ? "I" : "A", operation});
    if (operation->restartAt > 0)
      entries.push_back({FtpCommand::Rest, std::to_string(operation->restartAt), operation});
    entries.push_back({command, std::move(argument), operation});
    if (EnqueueAll(std::move(entries))) return true;
  }
  EndOperation(operation, false);
  return false;
}

bool CFtpConnection::PrepareDataConnection(const OperationPtr& operation,
                                           std::vector<Entry>& entries) {
  SocketAddress server;
  if (!control_.PeerAddress(server)) return false;
  ProtectDataConnection(operation);
  if (passive_) {
    entries.push_back({UsesExtendedPassive(server) ? FtpCommand::Epsv : FtpCommand::Pasv,
                       std::nullopt, operation});
    return true;
  }
  SocketAddress local;
  if (!DataListenAddress(local)) return false;
  SocketAddress announced;
  const SocketStatus listening = operation->transfer->Listen(local, server, announced);
  if (!listening) {
    ReportSocketError(reporter_, listening);
    return false;
  }
  if (announced.isIPv4()) {
    entries.push_back(
        {FtpCommand::Port, PortArgument(announced.ipv4(), announced.port()), operation});
  } else {
    entries.push_back({FtpCommand::Eprt, ExtendedPortArgument(announced), operation});
  }
  return true;
}

// PASV can only name an IPv4 address; over IPv4 EPSV is the user's choice,
// until the server refuses it.
bool CFtpConnection::UsesExtendedPassive(const SocketAddress& server) const {
  if (!server.isIPv4()) return true;
  std::lock_guard lock(queueMutex_);
  return login_.extendedPassive && !extendedPassiveRefused_;
}

// The address the server reached us on is the one to announce: a wildcard
// listener would announce nothing useful, and the host name may resolve to a
// loopback alias (127.0.1.1 on Debian) the server cannot reach.
SocketStatus CFtpConnection::DataListenAddress(SocketAddress& local) {
  SocketStatus status = control_.LocalAddress(local);
  if (status && (local.family() == AF_INET6 || (local.isIPv4() && local.ipv4().s_addr != 0)))
    return status;
  std::string hostName;
  HostEntry entry;
  status = GetHostName(hostName);
  if (status) status = resolver_.HostByName(hostName, entry);
  const auto address = status ? FirstIPv4(entry) : std::nullopt;
  if (!address) {
    ReportSocketError(reporter_, status ? SocketStatus{WSANO_DATA} : status);
    ReportError(kFtpErrorNoLocalAddress, 0);
    return status ? SocketStatus{WSANO_DATA} : status;
  }
  local = SocketAddress::FromIPv4(*address);
  return {};
}

}  // namespace netrove
