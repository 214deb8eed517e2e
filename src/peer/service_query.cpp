#include "peer/service_query.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stop_token>
#include <vector>

#include "base/ignored_run_finished.h"
#include "base/tool_message.h"

namespace netrove {
namespace {

using Clock = std::chrono::steady_clock;

SocketStatus ServicePort(const ServiceQuery& query, std::uint16_t& port) {
  if (query.port) {
    port = *query.port;
    return {};
  }
  ServiceEntry service;
  const SocketStatus found = GetServByName(service, "daytime", "tcp");
  if (found) port = ntohs(service.port);
  return found;
}

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Reads until the server closes, the buffer is full or the deadline passes.
// The error is the one that ended the reading (WSAETIMEDOUT for the
// deadline), 0 when the server closed or the buffer filled.
SocketStatus ReadAnswer(CNetSocket& socket, std::vector<char>& answer, std::size_t limit,
                        int answerWaitMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(answerWaitMs);
  answer.resize(limit);
  std::size_t filled = 0;
  SocketStatus ended;
  while (filled < limit) {
    bool ready = false;
    ended = socket.WaitReadable(RemainingMs(deadline), ready);
    if (ended && !ready) ended = {WSAETIMEDOUT};
    if (!ended) break;
    const SocketCount received = socket.Recv(answer.data() + filled, limit - filled);
    if (!received) {
      ended = received.status();
      break;
    }
    if (received.bytes == 0) break;
    filled += static_cast<std::size_t>(received.bytes);
  }
  answer.resize(filled);
  return ended;
}

}  // namespace

ServiceQuery DaytimeQuery(std::string host, std::optional<std::uint16_t> port) {
  const NetworkSettings network = ReadNetworkSettings();
  return {std::move(host), port, kDaytimeReplyLimit, kSourceDaytime, network.connectMs,
          network.families};
}

ServiceQuery QuoteOfTheDayQuery(std::string host, std::uint16_t port) {
  const NetworkSettings network = ReadNetworkSettings();
  return {std::move(host), port, kQuoteOfTheDayReplyLimit, kSourceQuoteOfTheDay, network.connectMs,
          network.families};
}

bool RunServiceQuery(const ServiceQuery& query, CNetSocket& socket, IMainWindowReporter& reporter,
                     IResolver& resolver, int answerWaitMs) {
  std::uint16_t port = 0;
  if (const SocketStatus found = ServicePort(query, port); !found) {
    ReportSocketError(reporter, found.error);
    return false;
  }
  socket.SetConnectTimeout(query.connectTimeoutMs);
  socket.SetFamilyChoice(query.families);
  SocketStatus status = socket.Connect(query.host, port, resolver);
  if (!status) {
    ReportConnectError(reporter, status, socket);
    return false;
  }
  std::vector<char> answer;
  status = ReadAnswer(socket, answer, query.replyLimit, answerWaitMs);
  // A reset or a silent server is a failure, not an empty answer; what did
  // arrive before a failure is still the server's answer.
  if (!status && answer.empty()) {
    ReportSocketError(reporter, status);
    return false;
  }
  const auto zero = std::find(answer.begin(), answer.end(), '\0');
  reporter.PostToolMessage(query.source, std::string(answer.begin(), zero));
  return true;
}

CQueryWorkers::Worker::Worker(IThreadLauncher& threads) : run(IgnoredRunFinished(), 0, threads) {}

CQueryWorkers::~CQueryWorkers() {
  std::lock_guard lock(mutex_);
  for (auto& worker : workers_) worker->run.Interrupt();
  for (auto& worker : workers_) worker->run.Join();
}

bool CQueryWorkers::Start(Work work) {
  std::lock_guard lock(mutex_);
  JoinEnded();
  auto worker = std::make_unique<Worker>(threads_);
  // The socket may have been handed on: the stop reaches whoever holds it,
  // and the run does not close it.
  const bool started =
      worker->run.Start([socket = worker->socket, work = std::move(work)](std::stop_token stop) {
        const std::stop_callback wake(stop, [&socket] { socket->Interrupt(); });
        work(socket);
      });
  if (!started) return false;
  workers_.push_back(std::move(worker));
  return true;
}

std::size_t CQueryWorkers::RunningCount() {
  std::lock_guard lock(mutex_);
  JoinEnded();
  return workers_.size();
}

void CQueryWorkers::JoinEnded() {
  workers_.remove_if([](const std::unique_ptr<Worker>& worker) {
    if (worker->run.IsRunning()) return false;
    worker->run.Join();
    return true;
  });
}

}  // namespace netrove
