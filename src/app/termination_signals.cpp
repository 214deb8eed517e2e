#include "app/termination_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace netrove {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};
std::atomic<int> gWriteEnd{-1};
struct sigaction gPrevious[std::size(kSignals)];

// Async-signal-safe: one write of the signal's number, errno kept.
void OnSignal(int signalNumber) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signalNumber);
  const int end = gWriteEnd.load();
  if (end >= 0) static_cast<void>(::send(end, &number, 1, MSG_DONTWAIT | MSG_NOSIGNAL));
  errno = saved;
}

}  // namespace

CTerminationSignals::CTerminationSignals(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends_) != 0) return;
  gWriteEnd = ends_[0];
  notifier_ = new QSocketNotifier(ends_[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &CTerminationSignals::readPending);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kSignals); ++i)
    ::sigaction(kSignals[i], &action, &gPrevious[i]);
}

CTerminationSignals::~CTerminationSignals() {
  if (ends_[0] < 0) return;
  for (std::size_t i = 0; i < std::size(kSignals); ++i)
    ::sigaction(kSignals[i], &gPrevious[i], nullptr);
  gWriteEnd = -1;
  delete notifier_;
  ::close(ends_[0]);
  ::close(ends_[1]);
}

void CTerminationSignals::readPending() {
  unsigned char number = 0;
  while (::recv(ends_[1], &number, 1, MSG_DONTWAIT) == 1) emit terminationRequested(number);
}

}  // namespace netrove
