#pragma once
// One traceroute run at a time, on one worker thread: it resolves the
// target, opens a UDP socket for the probes and a raw ICMP socket for the
// answers, and sends the probes of every time-to-live in turn, writing one
// line per time-to-live to the transcript. Without the privilege for raw
// sockets the answers are read from the UDP socket's own error queue. The
// engine touches no window: it writes to a transcript sink, reports socket
// errors to the main window and says when the run has ended.
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/net_socket.h"
#include "base/run_finished.h"
#include "base/run_lifecycle.h"
#include "diagnostics/diagnostics_run.h"
#include "diagnostics/traceroute_answer.h"
#include "diagnostics/traceroute_settings.h"

namespace netrove {

class IMainWindowReporter;
class ITranscriptSink;

// The options of one run, fixed when it starts.
struct TraceRouteRequest {
  std::string host;
  FamilyChoice family = FamilyChoice::Both;
  std::int32_t probesPerTtl = 3;
  std::int32_t replyTimeoutMs = 5000;
  std::int32_t initialTtl = 1;
  std::int32_t maximumTtl = 30;
  std::int32_t probeSize = 10;  // UDP payload; never below 10 when sent
  std::uint16_t initialDestPort = 33434;
  bool resolveAddress = false;
  bool dontRoute = false;
  bool verbose = false;
};

// A run of the stored defaults towards `host`.
TraceRouteRequest TraceRouteRequestFromSettings(const TraceRouteSettings& settings,
                                                const std::string& host);

// How the run hears its answers.
enum class AnswerRoute {
  RawSocket,   // a raw ICMP (ICMPv6) socket: every such message of the host
  ErrorQueue,  // IP_RECVERR (IPV6_RECVERR) on the probes' own socket: no privilege needed
};

class CTraceRouteEngine {
 public:
  // Names are looked up with `resolver`.
  CTraceRouteEngine(ITranscriptSink& transcript, IMainWindowReporter& reporter,
                    IRunFinishedListener& finished, IResolver& resolver);
  // Interrupts a run in progress and waits for its worker.
  ~CTraceRouteEngine();
  CTraceRouteEngine(const CTraceRouteEngine&) = delete;
  CTraceRouteEngine& operator=(const CTraceRouteEngine&) = delete;

  // Starts a run on its own thread. False, with nothing started, while the
  // previous run's worker is still running.
  bool Start(const TraceRouteRequest& request);
  // Stops the run: a blocked wait ends at once, the trace ends after the
  // current line. Safe from any thread, any number of times.
  void Interrupt() { lifecycle_.Interrupt(); }
  // Waits for the finished run's thread. Call from the owner's thread after
  // the finished notice, never from the notice.
  void Join() { lifecycle_.Join(); }

  bool IsRunning() const { return lifecycle_.IsRunning(); }
  // The destination answered during the last run.
  bool DestinationReached() const { return reached_.load(); }
  // The local port of the run's probes, once bound (host byte order).
  std::uint16_t SourcePort() const { return sourcePort_.load(); }
  AnswerRoute Route() const { return route_.load(); }

 private:
  // What waiting for one probe's answer came to.
  enum class WaitOutcome { Timeout, Stop, VerboseReport, Answer };
  struct Answer {
    TraceAnswer answer;
    SocketAddress source;
    std::uint32_t arrival = 0;
  };

  void Worker(std::stop_token stop);
  bool ResolveTarget();
  bool OpenSendingSocket();
  bool BindSourcePort();
  bool OpenReceivingSocket();
  void Trace();
  void TraceOneTtl(int ttl, std::vector<std::uint8_t>& probe);
  bool SendProbe(std::vector<std::uint8_t>& probe, std::uint16_t destinationPort);
  WaitOutcome AwaitAnswer(ProbePorts ports, Answer& answer);
  WaitOutcome AwaitRawAnswer(ProbePorts ports, Answer& answer);
  WaitOutcome AwaitQueuedAnswer(ProbePorts ports, Answer& answer);
  // Waits up to the deadline for the socket to become readable: nothing
  // when it did, else the end of the probe's wait.
  std::optional<WaitOutcome> WaitForAnswer(CNetSocket& socket,
                                           std::chrono::steady_clock::time_point deadline);
  // Reports a failure that is not the user's interrupt; true when there was none.
  bool Succeeded(SocketStatus status);
  std::optional<WaitOutcome> Sort(const TraceAnswer& sorted, const SocketAddress& source,
                                  std::uint32_t arrival, Answer& answer);
  // The name of `host` when the run resolves addresses; none when it has
  // none. False after reporting a failed look-up.
  std::optional<std::string> NameOf(const SocketAddress& host);
  // IPPROTO_IP or IPPROTO_IPV6, with the option's name in that family.
  SocketStatus SetFamilyOption(int ipv4Option, int ipv6Option, int value);

  ITranscriptSink& transcript_;
  IMainWindowReporter& reporter_;
  IResolver& resolver_;

  TraceRouteRequest request_;
  std::atomic<bool> reached_{false};
  std::atomic<std::uint16_t> sourcePort_{0};
  std::atomic<AnswerRoute> route_{AnswerRoute::RawSocket};

  // Worker only.
  std::stop_token stop_;
  SocketAddress target_;
  bool ipv6_ = false;
  std::string addressText_;
  std::string displayName_;
  bool multipleAddresses_ = false;
  bool resolverFailed_ = false;  // reported once; no more look-ups this run
  std::uint16_t probeNumber_ = 0;
  std::uint16_t destinationPort_ = 0;
  bool stopAfterTtl_ = false;

  CNetSocket sender_;
  CNetSocket receiver_;
  CRunLifecycle lifecycle_;  // last: its worker ends before the members above go
};

}  // namespace netrove
