#include "base/run_lifecycle.h"

#include <system_error>

#include "base/net_socket.h"

namespace netrove {

namespace {

class CSystemThreads : public IThreadLauncher {
 public:
  std::jthread Launch(Work work) override {
    try {
      return std::jthread(std::move(work));
    } catch (const std::system_error&) {
      // Out of threads or memory: nothing runs, the caller reports it.
      return {};
    }
  }
};

}  // namespace

IThreadLauncher& SystemThreads() {
  static CSystemThreads threads;
  return threads;
}

bool LaunchDetached(IThreadLauncher& launcher, std::function<void()> work) {
  std::jthread thread = launcher.Launch([work = std::move(work)](std::stop_token) { work(); });
  if (!thread.joinable()) return false;
  thread.detach();
  return true;
}

CRunLifecycle::CRunLifecycle(IRunFinishedListener& finished, int finishedCommand,
                             IThreadLauncher& launcher)
    : finished_(finished), finishedCommand_(finishedCommand), launcher_(launcher) {}

CRunLifecycle::~CRunLifecycle() {
  Interrupt();
  Join();
}

bool CRunLifecycle::Start(Work work, std::initializer_list<CNetSocket*> sockets) {
  if (running_.load()) return false;
  Join();
  std::stop_token stop;
  {
    std::lock_guard lock(mutex_);
    stop_ = std::stop_source();
    stop = stop_.get_token();
  }
  running_ = true;
  worker_ =
      launcher_.Launch([this, work = std::move(work), wake = std::vector<CNetSocket*>(sockets),
                        stop](std::stop_token) { RunWorker(work, wake, stop); });
  // No thread: nothing runs, so the caller stays idle and reports it. A
  // worker that has already finished did start: `running_` cannot tell.
  const bool started = worker_.joinable();
  if (!started) running_ = false;
  return started;
}

void CRunLifecycle::RunWorker(const Work& work, const std::vector<CNetSocket*>& sockets,
                              std::stop_token stop) {
  {
    // Runs at once when the stop came before the worker got here: a socket
    // interrupted before it is created fails every blocking call.
    const std::stop_callback wake(stop, [&sockets] {
      for (CNetSocket* socket : sockets) socket->Interrupt();
    });
    work(stop);
  }  // from here on no Interrupt() reaches the sockets
  for (CNetSocket* socket : sockets) socket->Close();
  running_ = false;
  finished_.PostRunFinished(finishedCommand_);
}

void CRunLifecycle::Interrupt() {
  std::lock_guard lock(mutex_);
  stop_.request_stop();
}

void CRunLifecycle::Join() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace netrove
