#pragma once
// One Finger or WhoIs query at a time, on a worker thread: connect to the
// server (a dotted address, or a name looked up first), send the request
// line whole, and write the answer to the transcript as it arrives, line
// ends made CR LF and control characters defused, then "\r\n\r\n". A look-up,
// connect or send failure is reported and adds nothing to the transcript; a
// receive failure is reported after the text received so far.
//
// The worker receives into its own buffer and hands the transcript copied
// pieces; it never touches a window. A query can be interrupted at any time
// (a silent server would otherwise keep it going for ever), and an endless
// answer ends at a limit with a note. A WhoIs query may follow the referrals
// of the answers to further servers, at most three in all and never one
// asked already.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "base/net_socket.h"
#include "base/network_settings.h"
#include "base/run_finished.h"
#include "base/run_lifecycle.h"

namespace netrove {

class CWhoIsReferralFinder;
class IMainWindowReporter;
class ITranscriptSink;

// The finished notice of a query. Neither tool has a command of its own for
// it: the window only needs to know that the worker has ended.
inline constexpr int kQueryFinishedCommand = 0;

// Generous for any directory answer, small enough that an endless one
// cannot exhaust memory before the user interrupts it.
inline constexpr std::size_t kAnswerLimit = std::size_t{16} << 20;

struct QueryRequest {
  std::string server;  // dotted address or host name
  std::uint16_t port = 0;
  std::string line;  // sent as it is, CR LF included
  std::size_t answerLimit = kAnswerLimit;
  // The connect time-out, and the time the whole answer may take from the
  // request on (a server that trickles is cut off as well as a silent one).
  NetworkSettings network{};
  // WhoIs: after an answer, ask the server it refers to (at most
  // kMostWhoIsServers in all), each answer under a heading naming its server.
  bool followReferrals = false;
};

// How the last query ended.
enum class QueryOutcome {
  None,           // nothing run yet, or still running
  NotConnected,   // look-up or connect failed (reported)
  SendFailed,     // reported
  Answered,       // the server closed the connection
  ReceiveFailed,  // reported, after the text received so far
  Interrupted,
  CutOff,  // the answer reached the limit
};

// "[Answer cut off after N bytes.]" with CR LF before it.
std::string AnswerCutOffNote(std::size_t limit);

class CQueryEngine {
 public:
  CQueryEngine(ITranscriptSink& transcript, IMainWindowReporter& reporter,
               IRunFinishedListener& finished, IResolver& resolver = SystemResolver(),
               IThreadLauncher& threads = SystemThreads());
  // Interrupts a query in progress and waits for its worker.
  ~CQueryEngine();
  CQueryEngine(const CQueryEngine&) = delete;
  CQueryEngine& operator=(const CQueryEngine&) = delete;

  // Starts the query on its own thread. False while the previous query's
  // worker still runs, for a line with a CR, LF or NUL before its final
  // CR LF (IsSafeQueryText), and when no thread could be started: that
  // failure is reported to the main window and no finished notice follows.
  bool Start(QueryRequest request);
  // Ends the query: a blocked connect, send or receive returns at once. The
  // transcript keeps what came, followed by "\r\n\r\n". Any thread, any
  // number of times.
  void Interrupt();
  // Waits for the ended worker and releases its socket. Call on the owner's
  // thread after the finished notice, never from the notice.
  void Join();

  bool IsRunning() const { return lifecycle_.IsRunning(); }
  QueryOutcome Outcome() const { return outcome_.load(); }

 private:
  void Run(std::stop_token stop);
  // Asks one server; true when it answered and named a server to ask next
  // (then in `server` and `port`).
  bool AskServer(std::string& server, std::uint16_t& port, std::vector<std::string>& asked);
  bool FollowReferral(const std::string& referral, const std::vector<std::string>& asked,
                      std::string& server, std::uint16_t& port);
  bool ConnectToServer(const std::string& server, std::uint16_t port);
  bool SendRequest();
  void ReceiveAnswer(CWhoIsReferralFinder* referrals);
  // Waits for the next bytes until `deadline`; false (reported) when none
  // came in time or the wait failed.
  bool AwaitAnswer(std::chrono::steady_clock::time_point deadline);
  void ReportUnlessInterrupted(SocketStatus status);
  QueryOutcome FailureOutcome(SocketStatus status, QueryOutcome failure) const;

  ITranscriptSink& transcript_;
  IMainWindowReporter& reporter_;
  IResolver& resolver_;

  QueryRequest request_;
  std::atomic<bool> interrupt_{false};
  std::atomic<QueryOutcome> outcome_{QueryOutcome::None};
  CNetSocket socket_;  // outlives the worker
  CRunLifecycle lifecycle_;
};

}  // namespace netrove
