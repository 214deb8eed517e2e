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
// answer ends at a limit with a note.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/net_socket.h"
#include "base/run_finished.h"

namespace netrove {

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

// Starts a worker thread running `body`; throws std::system_error when the
// system cannot start one. A seam for tests.
using ThreadLauncher = std::function<std::thread(std::function<void()> body)>;
std::thread LaunchThread(std::function<void()> body);

class CQueryEngine {
 public:
  CQueryEngine(ITranscriptSink& transcript, IMainWindowReporter& reporter,
               IRunFinishedListener& finished, IResolver& resolver = SystemResolver(),
               ThreadLauncher launcher = LaunchThread);
  // Interrupts a query in progress and waits for its worker.
  ~CQueryEngine();
  CQueryEngine(const CQueryEngine&) = delete;
  CQueryEngine& operator=(const CQueryEngine&) = delete;

  // Starts the query on its own thread. False while the previous query's
  // worker still runs, and when no thread could be started: that failure is
  // reported to the main window and no finished notice follows.
  bool Start(QueryRequest request);
  // Ends the query: a blocked connect, send or receive returns at once. The
  // transcript keeps what came, followed by "\r\n\r\n". Any thread, any
  // number of times.
  void Interrupt();
  // Waits for the ended worker and releases its socket. Call on the owner's
  // thread after the finished notice, never from the notice.
  void Join();

  bool IsRunning() const { return running_.load(); }
  QueryOutcome Outcome() const { return outcome_.load(); }

 private:
  void Run();
  bool ConnectToServer();
  bool SendRequest();
  void ReceiveAnswer();
  void ReportUnlessInterrupted(SocketStatus status);
  QueryOutcome FailureOutcome(SocketStatus status, QueryOutcome failure) const;

  ITranscriptSink& transcript_;
  IMainWindowReporter& reporter_;
  IRunFinishedListener& finished_;
  IResolver& resolver_;
  ThreadLauncher launcher_;

  QueryRequest request_;
  std::thread worker_;
  std::atomic<bool> running_{false};
  std::atomic<bool> interrupt_{false};
  std::atomic<QueryOutcome> outcome_{QueryOutcome::None};

  // Guards socket_ against Interrupt() from another thread.
  std::mutex mutex_;
  std::unique_ptr<CNetSocket> socket_;
};

}  // namespace netrove
