#pragma once
// Daytime and Quote of the Day: connect, read what the server sends until it
// closes, show it in the main window's box. Each query owns its host text and
// runs on its own worker; a server that never closes is given up after a
// bounded wait, so no worker and no socket is held for ever.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/net_socket.h"
#include "base/network_settings.h"
#include "base/run_lifecycle.h"

namespace netrove {

class IMainWindowReporter;

inline constexpr std::uint16_t kQuoteOfTheDayPort = 17;
inline constexpr std::size_t kDaytimeReplyLimit = 256;
inline constexpr std::size_t kQuoteOfTheDayReplyLimit = 512;
// How long a query waits for the server's answer to end.
inline constexpr int kServiceAnswerWaitMs = 30000;

struct ServiceQuery {
  std::string host;
  // Nothing: the port of the "daytime" service of the services table.
  std::optional<std::uint16_t> port;
  std::size_t replyLimit = 0;
  int source = 0;  // the WM_TOOL_MESSAGE source the answer is shown under
  // How long the connection attempt may take (the General page's time-out).
  int connectTimeoutMs = static_cast<int>(kDefaultConnectTimeout) * 1000;
  FamilyChoice families = FamilyChoice::Both;  // the General page's choice
};

// Both take the connect time-out and the family choice from the General page.
ServiceQuery DaytimeQuery(std::string host, std::optional<std::uint16_t> port = std::nullopt);
ServiceQuery QuoteOfTheDayQuery(std::string host, std::uint16_t port = kQuoteOfTheDayPort);

// Runs one query on the calling thread over `socket` (which Interrupt() may
// wake from another thread). The answer (its bytes up to the first zero) is
// posted under the query's source; a failure is reported as a socket error
// text instead: a look-up or connection failure, and a receive that failed
// or timed out before any byte arrived. True when an answer was posted.
bool RunServiceQuery(const ServiceQuery& query, CNetSocket& socket, IMainWindowReporter& reporter,
                     IResolver& resolver, int answerWaitMs = kServiceAnswerWaitMs);

// Short-lived workers nobody waits for while they run (the main window's
// one-shot queries), their threads from `threads`. Ended workers are joined
// at the next start; the destructor wakes the ones still blocked on their
// socket and joins them all.
class CQueryWorkers {
 public:
  // The work may hand its socket on (a chat call's connection): the socket
  // is shared, and the destructor's wake-up then reaches its new owner.
  using Work = std::function<void(const std::shared_ptr<CNetSocket>&)>;

  explicit CQueryWorkers(IThreadLauncher& threads = SystemThreads()) : threads_(threads) {}
  ~CQueryWorkers();
  CQueryWorkers(const CQueryWorkers&) = delete;
  CQueryWorkers& operator=(const CQueryWorkers&) = delete;

  // False when no thread could be started: the work has not run and the
  // caller reports it (kNoThreadText).
  [[nodiscard]] bool Start(Work work);
  std::size_t RunningCount();

 private:
  struct Worker {
    explicit Worker(IThreadLauncher& threads);
    std::shared_ptr<CNetSocket> socket = std::make_shared<CNetSocket>();
    CRunLifecycle run;
  };
  void JoinEnded();

  IThreadLauncher& threads_;
  std::mutex mutex_;
  std::list<std::unique_ptr<Worker>> workers_;
};

}  // namespace netrove
