#pragma once
// The life of an engine's run, the same for every tool: one worker thread at
// a time, started, interrupted, joined, and the finished notice posted once.
//
//   class CFingerEngine {
//    public:
//     bool Start(const FingerRequest& request) {
//       if (lifecycle_.IsRunning()) return false;
//       lifecycle_.Join();
//       request_ = request;  // state of the previous run reset here
//       return lifecycle_.Start([this](std::stop_token stop) { Run(stop); }, {&socket_});
//     }
//     void Interrupt() { lifecycle_.Interrupt(); }  // the window's Interrupt button
//     void Join() { lifecycle_.Join(); }            // after the finished notice
//    private:
//     void Run(std::stop_token stop);  // on the worker: Create/Connect/Recv ...
//     CNetSocket socket_;               // declared before lifecycle_: it outlives the worker
//     CRunLifecycle lifecycle_{finished, kFingerFinishedCommand};
//   };
//
// Interrupt() asks the worker to stop (its stop token) and wakes every
// socket named at Start(): a blocked Accept/Connect/Recv/WaitReadable ends at
// once with WSAEINTR, which SocketStatus::userInterrupted() tells apart from
// failures worth a message. Work that waits on anything else (a pause between
// requests) waits on the stop token, e.g. std::condition_variable_any::wait_for
// with the token.
#include <atomic>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "base/run_finished.h"

namespace netrove {

class CNetSocket;

// The one place threads are started. Every worker that is not a single run
// (a server's transfers, a conversation's two directions, a look-up nobody
// waits for) gets its thread here, so a system that refuses one more thread
// is always met with a value to report, never with std::terminate.
class IThreadLauncher {
 public:
  using Work = std::function<void(std::stop_token)>;
  virtual ~IThreadLauncher() = default;
  // A running thread, or an empty (not joinable) one when none could be
  // started; `work` has then not run and the caller reports it.
  virtual std::jthread Launch(Work work) = 0;
};

// A thread a launcher started (empty when it was refused): what engines that
// run several threads of their own keep, joined when it goes.
using LaunchedThread = std::jthread;

// Starts real threads; the default of every engine.
IThreadLauncher& SystemThreads();

// Starts `work` on a thread that ends on its own and is never joined: it must
// own everything it touches. False when no thread could be started.
[[nodiscard]] bool LaunchDetached(IThreadLauncher& launcher, std::function<void()> work);

// The text a window or the CLI shows when a worker could not be started.
inline constexpr const char* kNoThreadText =
    "The system could not start another thread. Close some windows and try again.";

class CRunLifecycle {
 public:
  using Work = std::function<void(std::stop_token)>;

  // Every run ends with finished.PostRunFinished(finishedCommand).
  CRunLifecycle(IRunFinishedListener& finished, int finishedCommand,
                IThreadLauncher& launcher = SystemThreads());
  // Interrupts a run in progress and waits for its worker.
  ~CRunLifecycle();
  CRunLifecycle(const CRunLifecycle&) = delete;
  CRunLifecycle& operator=(const CRunLifecycle&) = delete;

  // Starts `work` on a new worker thread, after joining the previous one.
  // False, with nothing started, while the previous worker still runs or
  // when no thread can be started.
  // `sockets` are the ones the work may block on: Interrupt() wakes them, and
  // once `work` has returned they are closed on the worker (so a later
  // Interrupt cannot touch them) before the finished notice is posted, the
  // worker's last act with the engine's state.
  bool Start(Work work, std::initializer_list<CNetSocket*> sockets = {});
  // Requests stop and wakes the sockets. Safe from any thread, the worker
  // itself included, any number of times, before, during or after a run.
  void Interrupt();
  // Waits for the worker to end. From the owner's thread after the finished
  // notice (or after Interrupt()), never from the worker or the notice.
  void Join();

  // From Start() until just before the finished notice.
  bool IsRunning() const { return running_.load(); }

 private:
  void RunWorker(const Work& work, const std::vector<CNetSocket*>& sockets, std::stop_token stop);

  IRunFinishedListener& finished_;
  const int finishedCommand_;
  IThreadLauncher& launcher_;
  std::atomic<bool> running_{false};
  // Guards stop_, replaced by Start() while Interrupt() may come from
  // another thread.
  std::mutex mutex_;
  std::stop_source stop_;
  std::jthread worker_;
};

}  // namespace netrove
