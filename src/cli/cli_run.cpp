#include "cli/cli_run.h"

#include <pthread.h>
#include <signal.h>

#include <ostream>

namespace netrove::cli {
namespace {

// The engine's own end is signalled to the waiting main thread with this.
constexpr int kFinishedSignal = SIGUSR1;

}  // namespace

void StreamSink::AppendTranscript(std::string_view text) {
  std::lock_guard lock(mutex_);
  out_ << text << std::flush;
}

FinishedSignal::FinishedSignal() : thread_(pthread_self()) {}

void FinishedSignal::PostRunFinished(int) { pthread_kill(thread_, kFinishedSignal); }

void RunUntilFinished(const std::function<bool()>& start, const std::function<void()>& interrupt,
                      const std::function<void()>& join) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, kFinishedSignal);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &signals, &previous);
  if (start()) {
    int signal = 0;
    while (sigwait(&signals, &signal) == 0 && signal == SIGINT) interrupt();
    join();
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace netrove::cli
