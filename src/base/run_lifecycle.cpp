#include "base/run_lifecycle.h"

#include <system_error>

#include "base/net_socket.h"

namespace netrove {

CRunLifecycle::CRunLifecycle(IRunFinishedListener& finished, int finishedCommand)
    : finished_(finished), finishedCommand_(finishedCommand) {}

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
  try {
    worker_ = std::jthread([this, work = std::move(work), wake = std::vector<CNetSocket*>(sockets),
                            stop] { RunWorker(work, wake, stop); });
  } catch (const std::system_error&) {
    // No thread (the process is out of threads or memory): nothing runs, so
    // the caller stays idle and reports it.
    running_ = false;
    return false;
  }
  return true;
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
