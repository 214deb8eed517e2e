#pragma once
// One connection to a news server: a queue of commands of which exactly the
// front one is in flight (a walk's step and the HEAD behind it go out in
// one write), and a reader thread that frames the server's replies, answers
// them from a fixed table and raises typed events (INntpEvents). The reader
// never waits for the owner: what a walk wants comes with the walk.
//
// Nothing here blocks the caller on the network: Start() returns at once and
// the reader thread looks the host up and connects (a failure ends in
// Closed()); Disconnect() asks the server to end and, after a grace period,
// ends the connection itself; Close() ends it at once and waits for the
// thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/ignored_run_finished.h"
#include "base/net_socket.h"
#include "base/network_settings.h"
#include "base/reply_framer.h"
#include "base/run_lifecycle.h"
#include "base/tls.h"
#include "base/tool_message.h"
#include "news/nntp_capabilities.h"
#include "news/nntp_events.h"
#include "news/nntp_overview.h"

namespace netrove {

struct NntpWalkState;

struct CNNTPCommand {
  int code = kNntpOpen;
  std::optional<std::string> argument;
  std::vector<NntpWindow> windows;      // POST: the windows told the outcome
  bool outcomePosted = false;           // POST: its windows have been told how it ended
  bool sent = false;                    // its line is on the wire already
  std::shared_ptr<NntpWalkState> walk;  // the walk it belongs to, if any
};

// How a connection is secured and whom it signs in as.
struct NntpSecurity {
  TlsMode mode = TlsMode::Off;
  // Certificate choices (CA file, pin, insecure); host and port are the
  // connection's.
  TlsClientOptions tls;
  // Signs in when set: at once where the server lists AUTHINFO USER (or
  // cannot list anything), otherwise when it first answers 480.
  std::string user;
  std::string password;
  // The user chose to send the password for this server over a connection
  // without TLS; otherwise such a sign-in ends the connection unsent.
  bool plainSignInAllowed = false;
};

// Why a command was not queued.
enum class QueueOutcome { Queued, Ended, NotSent, ArgumentTooLong, NothingWanted };

class CNNTPConnection {
 public:
  // The line buffer of a command: keyword, blank, argument, CR LF, NUL.
  static constexpr std::size_t kCommandLineLimit = 512;
  static constexpr std::chrono::milliseconds kDisconnectGrace{5000};
  // The largest data block (article, group list) read; a server that sends
  // more is not followed further.
  static constexpr std::size_t kBlockLimit = std::size_t{64} << 20;
  // The longest line (or multi-line reply) read: longer than any header or
  // body line a server sends.
  static constexpr std::size_t kLineLimit = std::size_t{1} << 20;
  // How many missing articles a walk's start steps over before it gives up.
  static constexpr int kBackOffLimit = 100;

  CNNTPConnection(std::uint16_t port, INntpEvents& events, IMainWindowReporter& reporter,
                  std::string host, IResolver& resolver = SystemResolver());
  // Ends the connection at once (Close()).
  virtual ~CNNTPConnection();
  CNNTPConnection(const CNNTPConnection&) = delete;
  CNNTPConnection& operator=(const CNNTPConnection&) = delete;

  // Starts the reader thread, which connects and takes the greeting as the
  // reply of the pseudo-command OPEN. False, reported, when no thread starts.
  bool Start();
  // Every reply must be complete within `timeout` of its command (0: wait
  // for ever); a server that takes longer is left. Before Start().
  void SetReplyTimeout(std::chrono::milliseconds timeout) { replyTimeout_ = timeout; }
  // The connect time-out and the address families allowed. Before Start().
  void SetConnectSettings(const NetworkSettings& network) {
    ApplyConnectSettings(socket_, network);
  }
  // The largest data block read (kBlockLimit unless set). Before Start().
  void SetBlockLimit(std::size_t bytes) { blockLimit_ = bytes; }
  // Whether walks may read the overview where the server offers one (they
  // do unless told otherwise); without it every header comes by HEAD.
  // Before Start().
  void SetOverviewAllowed(bool allowed) { overviewAllowed_ = allowed; }
  // TLS and the sign-in. Before Start().
  void SetSecurity(NntpSecurity security) { security_ = std::move(security); }
  bool Connected() const { return connected_.load(); }
  // The connection runs over TLS.
  bool Secured() const { return secured_.load(); }
  // What walks read the overview with: None until the server's
  // CAPABILITIES offered it, and again after the server refused it.
  NntpOverview Overview() const {
    std::lock_guard lock(queueMutex_);
    return overview_;
  }
  // The reader thread has ended (Closed() was raised).
  bool Ended() const { return ended_.load(); }

  // Appends a command; sends it when the queue was empty.
  QueueOutcome QueueCommand(int code, std::optional<std::string> argument = std::nullopt,
                            std::vector<NntpWindow> windows = {});
  // Queues a header walk in one piece, so nothing else runs between its
  // steps.
  QueueOutcome QueueWalk(NntpWalk walk);
  bool IsIdle() const;

  // Drops the walk steps still waiting, sends QUIT next and ends the
  // connection itself if the server has not closed it after `grace`.
  void Disconnect(std::chrono::milliseconds grace = kDisconnectGrace);
  // Shuts the socket down and waits for the threads. From the owner's
  // thread.
  void Close();

 private:
  enum State : int {
    kStatus = -1,
    kArticle = 1,
    kBody = 2,
    kHeaders = 4,
    kGroupList = 8,
    kCapabilities = 16,
    kOverview = 32
  };

  void Run();
  bool ConnectToServer();
  NntpEnd ReadReplies();
  std::optional<NntpEnd> AwaitBytes();
  void AcknowledgeAtOnce();
  bool ParseReceived();
  bool ReportOverlong();
  int Interpret(const std::string& reply);
  int InterpretReaderSetUp(const std::string& reply, int code, int command);
  void CapabilitiesArrived(std::string_view list);
  void PlanSetUp(const std::optional<NntpCapabilities>& offered);
  std::optional<std::string> SetUpCommandsLocked(const std::optional<NntpCapabilities>& offered,
                                                 std::vector<CNNTPCommand>& next);
  std::optional<std::string> SignInLocked(std::vector<CNNTPCommand>& next);
  int InterpretStartTls(const std::string& reply, int code);
  int InterpretSignIn(const std::string& reply, int code, int command);
  bool SignInOnDemand();
  bool Upgrade();
  bool SecureSocket();
  void Abandon(const std::string& why);
  int InterpretOverview(const std::string& reply, int code, int command);
  void OverviewArrived(std::string_view block);
  void SetOverviewRangeLocked(CNNTPCommand& over);
  void OverviewRefused();
  int InterpretSuccess(const std::string& reply, int code, const CNNTPCommand& command);
  void InterpretFailure(const std::string& reply, int code, int command);
  void Refused(const std::string& reply, int command);
  void GroupSelected(const std::string& reply);
  void EndWalk();
  void BackOff();
  void SendArticleOfPost();
  void DeliverBlock(std::string block);
  void HeadersDelivered(std::string block);
  void FlushHeaders(NntpWalkState& walk);
  void PostOutcomeOnce(CNNTPCommand& post, NntpPostOutcome outcome, const std::string& reply);
  void PostUnansweredLocked();
  void DropWalkLocked(const std::shared_ptr<NntpWalkState>& walk);
  QueueOutcome Enqueue(std::vector<CNNTPCommand> commands);
  void Complete();
  void CompleteLocked(std::unique_lock<std::mutex>& lock);
  void SendFront(std::unique_lock<std::mutex>& lock);
  bool SendAll(std::string_view bytes);
  void EndThread(NntpEnd end);

  INntpEvents& events_;
  IMainWindowReporter& reporter_;
  IResolver& resolver_;
  const std::string host_;
  const std::uint16_t port_;

  std::atomic<bool> connected_{false};
  std::atomic<bool> secured_{false};
  std::atomic<bool> ended_{false};

  mutable std::mutex queueMutex_;
  std::deque<CNNTPCommand> queue_;
  bool quitting_ = false;
  std::chrono::milliseconds replyTimeout_{0};
  std::chrono::steady_clock::time_point replyDeadline_;  // of the front command
  long groupFirst_ = 0;                                  // first article of the last group selected
  long groupLast_ = 0;                                   // and its last
  bool overviewAllowed_ = true;
  NntpOverview overview_ = NntpOverview::None;  // what the server's CAPABILITIES offered

  std::mutex sendMutex_;  // one line or article on the wire at a time
  CNetSocket socket_;

  // Reader thread only.
  CReplyFramer framer_{NonReplyLines::Skip, kLineLimit, kLineLimit};
  std::string block_;  // the data block's lines taken so far
  std::size_t blockLimit_ = kBlockLimit;
  int state_ = kStatus;
  long articleNumber_ = 0;
  NntpSecurity security_;
  std::optional<NntpCapabilities> offered_;  // the last CAPABILITIES list
  bool upgradeRefused_ = false;              // STARTTLS answered otherwise than 382
  bool upgradeNow_ = false;                  // 382 read: the handshake comes next
  bool signInStarted_ = false;
  bool signedIn_ = false;
  bool abandoned_ = false;  // the set-up failed: the stream is not followed on

  std::mutex endMutex_;
  std::condition_variable_any endCondition_;
  // Last: their workers end before the fields above go. The socket is
  // closed by the owner (Close), never under a command being sent.
  CRunLifecycle reader_{IgnoredRunFinished(), 0};
  CRunLifecycle closer_{IgnoredRunFinished(), 0};
};

}  // namespace netrove
