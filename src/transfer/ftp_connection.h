#pragma once
// The client side of one FTP control connection: the login (direct or
// through one of four firewall proxy dialogues), a short queue of commands
// sent strictly one after the other, the reader thread that receives every
// reply, shows it and answers it, and the operations a pane or the command
// line requests (listings, transfers, renames...), each carried through all
// of its steps here and ended with one outcome. Data connections run on
// threads of their own.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/ignored_run_finished.h"
#include "base/net_socket.h"
#include "base/run_lifecycle.h"
#include "base/tls.h"
#include "transfer/ftp_command.h"
#include "transfer/ftp_features.h"
#include "transfer/ftp_notify.h"
#include "transfer/ftp_operation.h"
#include "transfer/ftp_transfer.h"

namespace netrove {

class ITranscriptSink;
class IMainWindowReporter;

// Mode bits: the four proxy dialogues and passive data connections. The
// proxy bits choose the login dialogue only; passive holds for the whole
// connection whatever the dialogue was.
inline constexpr std::uint32_t kFtpModeProxySite = 1;       // SITE after login to firewall
inline constexpr std::uint32_t kFtpModeProxyUserAfter = 2;  // USER after login to firewall
inline constexpr std::uint32_t kFtpModeProxyUser = 4;       // USER user@host, no firewall login
inline constexpr std::uint32_t kFtpModeProxyOpen = 8;       // OPEN host at the firewall
inline constexpr std::uint32_t kFtpModePassive = 16;
inline constexpr std::uint32_t kFtpProxyModes = 1 | 2 | 4 | 8;
// The dialogues that log in to the firewall first, with the proxy's user
// and password.
inline constexpr bool LogsInToFirewall(std::uint32_t mode) {
  return (mode & (kFtpModeProxySite | kFtpModeProxyUserAfter)) != 0;
}

// The stored "Proxy Access Mode" (a radio button id) as mode bits.
std::uint32_t FtpModeFromStoredAccessMode(std::uint32_t stored);

// The proxy access modes by name, as the command line takes them.
struct FtpProxyModeName {
  std::string_view word;
  std::uint32_t stored;  // the radio button id
  std::string_view help;
};
inline constexpr FtpProxyModeName kFtpProxyModeNames[] = {
    {"user-at-host", 1134, "USER user@host at the proxy, no firewall login"},
    {"open", 1135, "OPEN host at the proxy, then the server's login"},
    {"site", 1136, "firewall login, then SITE host and the server's login"},
    {"user-after-login", 1137, "firewall login, then USER user@host"},
    {"direct-passive", 1138, "no proxy: connect to HOST itself, passive data connections"},
};
// The stored id of a mode word or of its number; nothing for anything else.
std::optional<std::uint32_t> FtpProxyModeFromText(std::string_view text);

// ReportError codes of kind 0.
inline constexpr long kFtpErrorQueueFull = 100;
inline constexpr long kFtpErrorNoLocalAddress = 110;
inline constexpr long kFtpErrorBadArgument = 120;
inline constexpr long kFtpErrorLineTooLong = 130;

// How long the server may take over a whole reply (and a data connection
// over ending after its final reply) unless the settings say otherwise.
inline constexpr std::chrono::seconds kFtpDefaultReplyTimeout{120};

struct FtpLogin {
  std::string host;
  std::string userName = "anonymous";
  std::string password = "plume";
  std::string account;
  std::uint16_t serverPort = 21;
  std::uint32_t mode = 0;
  std::string proxyHost;
  std::uint16_t proxyPort = 21;
  std::string proxyUser;
  std::string proxyPassword;
  bool verbose = false;
  bool bell = false;
  // From a command's sending (or the connection's start) to its complete
  // reply; data moving counts as progress. 0: wait as long as it takes.
  std::chrono::seconds replyTimeout = kFtpDefaultReplyTimeout;
  // The General page's choice of address families for the connection.
  FamilyChoice families = FamilyChoice::Both;
  // Passive mode asks with EPSV over IPv4 too, not only over IPv6.
  bool extendedPassive = false;
  // Off; IfOffered or Required: AUTH TLS after the greeting, IfOffered going
  // on in plain text when the server refuses it; Implicit: TLS from the
  // first byte (port 990). Data connections follow once PROT P is accepted.
  TlsMode tls = TlsMode::Off;
  // caFile, pinnedSha256 and insecure; the host and port are the server's
  // (a pin stored for it is looked up when none is given).
  TlsClientOptions tlsOptions;
};

// The Login tab's TLS choices in the order of its list, and the stored text
// of each ("TLS" under the FTP key).
inline constexpr TlsMode kFtpTlsChoices[] = {TlsMode::Off, TlsMode::IfOffered, TlsMode::Required,
                                             TlsMode::Implicit};
std::string_view FtpTlsChoiceLabel(TlsMode mode);  // "Plain", "TLS if offered", ...

// The server whose certificate a login checks, and under which it is
// pinned: the proxy when one carries the login, else the FTP server.
struct FtpTlsServer {
  std::string host;
  std::uint16_t port = 0;
};
FtpTlsServer TlsServerOf(const FtpLogin& login);

// Reads the FTP and Proxy Settings keys (and the General page's family
// choice) into `login` (host, user, password, account and the proxy's
// password, which lives in the password store, are the caller's). False when a proxy is to be used
// but its key cannot be opened: that is reported and Connect should not go on.
bool ReadFtpSettings(FtpLogin& login, IMainWindowReporter& reporter);

class CFtpConnection {
 public:
  CFtpConnection(ITranscriptSink& transcript, IMainWindowReporter& reporter,
                 IFtpPageNotifier& pages, IFtpPanes& panes, IFtpQuestions& questions,
                 IResolver& resolver);
  virtual ~CFtpConnection();
  CFtpConnection(const CFtpConnection&) = delete;
  CFtpConnection& operator=(const CFtpConnection&) = delete;

  // Starts the reader thread, which connects and logs in by itself. False
  // while a connection exists.
  bool Connect(const FtpLogin& login);
  // Waits for the reader thread of the last connection to end.
  void WaitUntilEnded();
  bool IsConnected() const { return connected_.load(); }
  // The remote folder learnt from the first PWD reply ("/" at its end).
  std::string CurrentDirectory() const;
  // What the server named in its answer to FEAT after the login (nothing
  // before that answer, or when it refused FEAT).
  CFtpFeatures Features() const;
  // The certificate of the last connection's server was not trusted: what a
  // window asks the user about (pinning it on yes) before connecting again.
  std::optional<TlsHandshakeReport> TrustFailure() const;
  // Whose password the server refused (530 to PASS) on the last login, so
  // that a remembered one is not offered again.
  enum class RefusedPassword { None, User, Firewall };
  RefusedPassword PasswordRefused() const { return passwordRefused_.load(); }
  // The control connection runs in TLS; data connections too when the
  // server accepted PROT P.
  bool IsSecured() const { return secured_.load(); }
  bool ProtectsData() const { return protectData_.load(); }
  // Commands waiting behind the one in flight.
  std::size_t WaitingCount() const;
  // How long Quit waits for the server to close (about a second).
  void SetQuitGrace(std::chrono::milliseconds grace) { quitGrace_ = grace; }

  // False when not connected, when the queue is full (reported), or when the
  // argument cannot go on a command line (reported). ABOR empties the queue
  // and ends every queued operation as failed; it is sent at once.
  bool QueueCommand(FtpCommand command, std::optional<std::string> argument = std::nullopt);
  // Ends every operation (transfers reset), sends QUIT at once and closes
  // the connection when the server has not closed it within the quit grace;
  // while still connecting, stops the attempt. Any thread, any state.
  void Quit();
  // kind 0: one of the texts of codes 100, 110, 120 (or "Unknown error: %ld")
  // as an FTP message; kind 1: a system error code.
  void ReportError(long code, int kind);

  // Reacts to one complete reply: `text` starts at the reply's sixth
  // character. Runs on the reader thread.
  void ReplyDispatch(int code, std::string_view text);

  // Starts the request's first step and returns its id (never 0). Every
  // request ends with exactly one IFtpPanes::OperationEnded carrying that id,
  // one refused at once included (outcome Failed, the reason reported).
  // Called on the thread that answers IFtpQuestions.
  std::uint64_t Start(const FtpRequest& request);

 private:
  // The step of a request an operation carries out; a request's later steps
  // are new operations with the same id and request.
  enum class OperationKind {
    Listing,
    NameList,
    Download,
    EditDownload,
    Upload,  // STOR, APPE or STOU
    Delete,
    NewFolder,
    Rename,
    RemoteSize  // TYPE I, SIZE: where a resumed transfer goes on from
  };
  struct Operation {
    OperationKind kind;
    std::uint64_t id = 0;
    FtpRequest request;
    std::atomic<bool> ended{false};
    std::unique_ptr<CFtpTransfer> transfer;
    std::string editorPath;
    std::filesystem::path temporary;
    std::uint64_t restartAt = 0;              // REST before the transfer command
    std::optional<std::uint64_t> remoteSize;  // a 213 to SIZE
  };
  using OperationPtr = std::shared_ptr<Operation>;
  struct Entry {
    FtpCommand command = FtpCommand::Open;
    std::optional<std::string> argument;
    OperationPtr operation;
  };

  void ReaderMain(std::stop_token stop);
  bool OpenControlConnection(std::stop_token stop);
  void ReceiveReplies();
  bool AwaitReadable();
  bool AwaitingReply() const;
  void Touch();
  void ShowAndDispatch(const struct FtpServerLine& line);
  void EndConnection();

  bool Enqueue(Entry entry);
  bool EnqueueAll(std::vector<Entry> entries);
  void SendNext();
  std::optional<Entry> TakeInFlight();  // "Clear"
  FtpCommand InFlightCommand() const;
  bool HasInFlight() const;
  bool SendLine(const std::string& line);
  void StartPassiveData(const Entry& sent);

  TlsClientOptions ServerTlsOptions() const;
  bool SecureControl();
  bool InjectedAfterTlsAccepted(const struct FtpServerLine& line, bool moreFollows);
  bool OnSecurityReply(int code);
  void OnAuthReply(int code);
  void OnProtectionReply(int code);
  void RefuseToGoOnInClear(const std::string& why);
  void StartLogin();
  void ProtectDataConnection(const OperationPtr& operation);
  bool OnExtensionReply(int code);
  void OnFeatures(bool answered);
  bool QueueDownloadProbe(const OperationPtr& operation);
  void OnProbeReply(const Entry& entry, int code);
  bool OperationWaits(const OperationPtr& operation) const;
  bool ListsOneEntry() const;
  void ListSingleEntry(const Entry& refused);
  void OnSingleEntry(const Entry& entry, bool found);
  FtpCommand ListingCommand() const;
  void OnPreliminary(int code, std::string_view text);
  void OnPositive(int code, std::string_view text);
  void OnIntermediate(int code);
  void OnTransient(int code);
  void OnPermanent(int code);
  void OnPositiveCompletion(const Entry& entry);
  void OnGreeting();
  void OnLoggedIn();
  void ListLoginFolder();
  void OnWorkingDirectory(std::string_view text);
  void OnPassiveAddress(const Entry& entry, std::string_view text);
  void OnExtendedPassivePort(const Entry& entry, std::string_view text);
  bool RetryWithPasv(const Entry& entry, int code);
  void FailEntry(const Entry& entry, bool beep);
  void EndCommand(const Entry& entry, bool success);
  void EndWithoutNames(const Entry& entry);
  void EndByServer();

  OperationPtr NewOperation(OperationKind kind, std::uint64_t id, const FtpRequest& request);
  bool StartStep(const OperationPtr& operation);
  bool ListFolder(const OperationPtr& operation, std::optional<std::string> path);
  bool OpenFolder(const OperationPtr& operation);
  bool ListNames(const OperationPtr& operation);
  bool Download(const OperationPtr& operation);
  bool Store(const OperationPtr& operation);
  bool EditDownload(const OperationPtr& operation);
  bool Rename(const OperationPtr& operation);
  bool Delete(const OperationPtr& operation, const std::string& path, bool isFolder);
  bool NewFolder(const OperationPtr& operation);
  void GoOnAfterNameCheck(const OperationPtr& operation, const std::optional<std::string>& names);
  void GoOnAfterCopy(const OperationPtr& operation);
  void Report(const Operation& operation, FtpOutcome outcome);
  // `entries` may already hold commands that go before the data connection's.
  // Resumed transfers (ftp_connection_resume.cpp).
  bool AskRemoteSize(const OperationPtr& operation);
  void OnResumeSize(const Entry& entry, int code);
  void GoOnAfterSize(const OperationPtr& check, bool answered);
  bool ResumeDownload(const OperationPtr& operation);
  bool ResumeUpload(const OperationPtr& operation);
  void EndAlreadyComplete(const OperationPtr& operation);
  bool OnRestartRefused(const Entry& entry);
  bool QueueDataCommands(const OperationPtr& operation, FtpTransferType type, FtpCommand command,
                         std::optional<std::string> argument, std::vector<Entry> entries = {});
  bool PrepareDataConnection(const OperationPtr& operation, std::vector<Entry>& entries);
  bool UsesExtendedPassive(const SocketAddress& server) const;
  void EndOperation(const OperationPtr& operation, bool success);
  void DropOperation(const OperationPtr& operation);
  void EndAllOperations();
  void CancelFinishingTransfer();
  void ReportRefusedDataConnection(const Entry& entry);
  bool TransferPending() const;
  void LaunchEditor(Operation& operation);
  void RemoveEditCopies();
  SocketStatus DataListenAddress(SocketAddress& local);
  void BeepIfWanted();
  void StartQuitTimer();
  void AwaitQuitAnswer(std::stop_token stop);

  ITranscriptSink& transcript_;
  IMainWindowReporter& reporter_;
  IFtpPageNotifier& pages_;
  IFtpPanes& panes_;
  IFtpQuestions& questions_;
  IResolver& resolver_;

  // How far the login has come: the proxy dialogue's steps, then done.
  enum class LoginStage {
    Greeting,
    Securing,
    OpenSent,
    FirewallLogin,
    SiteSent,
    ServerLogin,
    LoggedIn
  };

  FtpLogin login_;                           // written by Connect before the reader starts
  std::atomic<std::uint32_t> proxyMode_{0};  // the login's proxy dialogue
  std::atomic<bool> passive_{false};         // for the whole connection
  std::atomic<LoginStage> loginStage_{LoginStage::Greeting};
  std::atomic<std::uint64_t> lastId_{0};
  std::atomic<bool> greeted_{false};   // a first reply has come
  std::atomic<bool> quitting_{false};  // Quit has run for this connection
  // When the last command went out, reply came in or data moved (steady
  // clock, nanoseconds): a reply is due within the time-out from then.
  std::atomic<std::int64_t> lastActivity_{0};
  // The operation whose transfer is being finished (its thread joined) on
  // the reader: Quit and Abort reset its data connection too.
  OperationPtr finishing_;
  std::string lastReply_;      // the first line of the last reply (reader thread only)
  std::string lastReplyText_;  // all of the last reply, each line with CR LF (likewise)
  std::mutex editCopiesMutex_;
  std::vector<std::filesystem::path> editCopies_;  // removed when the connection goes
  std::atomic<bool> connected_{false};
  std::atomic<bool> running_{false};  // from Connect to the reader's end

  mutable std::mutex queueMutex_;  // the queue, the passive port, the current folder
  std::optional<Entry> inFlight_;
  std::deque<Entry> waiting_;
  std::uint16_t passivePort_ = 0;
  bool passiveKnown_ = false;
  bool extendedPassiveRefused_ = false;  // the server answered EPSV with 500/502
  std::string currentDirectory_;
  CFtpFeatures features_;
  // The server reached (or the proxy), with its pin: written by the reader
  // before `connected_`, read by the data connections.
  TlsClientOptions tlsOptions_;
  std::atomic<bool> secured_{false};
  std::atomic<bool> protectData_{false};
  mutable std::mutex trustMutex_;
  std::optional<TlsHandshakeReport> trustFailure_;
  std::atomic<RefusedPassword> passwordRefused_{RefusedPassword::None};
  std::mutex sendMutex_;  // keeps lines whole and in queue order

  CNetSocket control_;

  std::mutex quitMutex_;
  std::condition_variable_any quitWake_;
  bool quitTimerStop_ = false;
  std::chrono::milliseconds quitGrace_{std::chrono::seconds(1)};

  // Last: their workers end before the fields above go. The control socket
  // is closed by the owner (WaitUntilEnded), never under a command being sent.
  CRunLifecycle reader_{IgnoredRunFinished(), 0};
  CRunLifecycle quitTimer_{IgnoredRunFinished(), 0};
};

}  // namespace netrove
