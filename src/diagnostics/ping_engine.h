#pragma once
// One ping run at a time: a sending thread that resolves the target, opens
// the ICMP socket, sets its options and sends one echo request a second, and
// a receiving thread, started by the sender, that matches the answers by the
// run tag and writes the transcript. The engine touches no window: it writes
// to a transcript sink, reports socket errors to the main window, and says
// when both workers have ended.
#include <netinet/in.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "base/net_socket.h"
#include "base/run_finished.h"
#include "base/run_lifecycle.h"
#include "diagnostics/diagnostics_run.h"
#include "diagnostics/icmp_socket.h"
#include "diagnostics/ping_ledger.h"
#include "diagnostics/ping_reply.h"
#include "diagnostics/ping_settings.h"
#include "diagnostics/ping_transcript.h"

namespace netrove {

class IMainWindowReporter;
class ITranscriptSink;

inline constexpr char kBroadcastHost[] = "255.255.255.255";
// Bytes the receive buffer holds beyond the request: room for the IP header.
inline constexpr int kReceiveSlack = 60;
inline constexpr int kPingReceiveBuffer = 61440;

// The options of one run, fixed when it starts.
struct PingRequest {
  std::string host;
  FamilyChoice family = FamilyChoice::Both;
  std::int32_t requestLimit = 4;  // 0: until interrupted
  std::int32_t packetSize = 64;   // whole ICMP message; never below 14
  std::int32_t replyTimeoutMs = 4000;
  bool resolveAddress = false;
  bool setTimeToLive = false;
  std::int32_t timeToLive = 64;
  bool dontRoute = false;
  // The window ends an interrupted run with a blank line; a command line
  // ends it with the statistics so far, as command-line pings do.
  bool statisticsWhenInterrupted = false;
};

// A run of the stored defaults towards `host`.
PingRequest PingRequestFromSettings(const PingSettings& settings, const std::string& host);

class CPingEngine {
 public:
  // Names are looked up with `resolver`.
  CPingEngine(ITranscriptSink& transcript, IMainWindowReporter& reporter,
              IRunFinishedListener& finished, IResolver& resolver);
  // Interrupts a run in progress and waits for its workers.
  ~CPingEngine();
  CPingEngine(const CPingEngine&) = delete;
  CPingEngine& operator=(const CPingEngine&) = delete;

  // Starts a run on its own threads. False, with nothing started, while the
  // previous run's workers are still running.
  bool Start(const PingRequest& request);
  // Stops the run: both workers end at their next check, a blocked receive
  // at once. Safe from any thread, any number of times.
  void Interrupt() { lifecycle_.Interrupt(); }
  // Waits for the finished run's threads. Call from the owner's thread after
  // the finished notice, never from the notice.
  void Join() { lifecycle_.Join(); }

  bool IsRunning() const { return lifecycle_.IsRunning(); }
  std::int32_t RequestsSent() const { return sent_.load(); }
  std::int32_t RepliesReceived() const { return received_.load(); }
  std::int32_t DuplicateReplies() const { return duplicates_.load(); }
  // The 32-bit tag every request of the current run carries: the sending
  // thread's id, unique among the threads alive on the host.
  std::uint32_t RunTag() const { return runTag_.load(); }
  IcmpSocketKind SocketKind() const { return kind_.load(); }
  // ICMP or ICMPv6: the family of the current run's target.
  IcmpFamily Family() const { return family_.load(); }

 private:
  void SendingThread(std::stop_token stop);
  bool PrepareTarget();
  bool OpenSocket(std::stop_token stop);
  bool SetOptions();
  void SetFamilyOptions(bool& keepGoing);
  bool SetOptionOrReport(int level, int option, int value, bool& keepGoing);
  bool ReportUnlessGone(SocketStatus status, bool& keepGoing);
  void SendRequests(std::stop_token stop);
  void ReceivingThread(std::stop_token stop);
  void WaitForSendingDone();
  // How long the receiver may wait for the next datagram: until the earliest
  // pending request's time-out (in broadcast mode: a time-out after the last
  // reply), or a short while when none pends.
  CPingLedger::Clock::time_point WaitDeadline();
  // The wait ran out: a pending request timed out (its line is written) or,
  // in broadcast mode, the run is over. False when the receiver stops.
  bool HandleTimeOut();
  SocketStatus ReceiveOne(std::vector<std::uint8_t>& buffer, PingEvent& event,
                          SocketAddress& source, std::uint32_t& arrival);
  PingEvent Classify(ByteView datagram, const RunTagMatcher& matcher) const;
  void ReportEvent(const PingEvent& event, const SocketAddress& source, std::uint32_t arrival);
  void ReportEchoReply(const PingEvent& event, const SocketAddress& source, std::uint32_t arrival);

  ITranscriptSink& transcript_;
  IMainWindowReporter& reporter_;
  IResolver& resolver_;

  PingRequest request_;
  // The receiver has left its loop; the sender stops sending.
  std::atomic<bool> receivingDone_{false};
  std::atomic<std::int32_t> sent_{0};
  std::atomic<std::int32_t> handled_{0};
  std::atomic<std::int32_t> errorEvents_{0};
  std::atomic<std::int32_t> received_{0};
  std::atomic<std::int32_t> duplicates_{0};
  std::atomic<std::uint32_t> runTag_{0};

  // Set by the sending thread before the receiving thread starts.
  bool broadcast_ = false;
  SocketAddress target_;
  std::string addressText_;
  std::string displayName_;
  std::atomic<IcmpSocketKind> kind_{IcmpSocketKind::Raw};
  std::atomic<IcmpFamily> family_{IcmpFamily::IPv4};
  RoundTripStatistics times_;  // receiving thread only
  // Broadcast mode: the run ends a time-out after the last reply.
  CPingLedger::Clock::time_point lastBroadcastReply_;  // receiving thread only

  // The sender's pause between requests and the two workers' meetings.
  std::mutex mutex_;
  std::condition_variable_any wake_;
  bool receiverReady_ = false;  // under mutex_
  CPingLedger ledger_;          // under mutex_
  bool sendingDone_ = false;    // under mutex_

  CNetSocket socket_;
  CRunLifecycle lifecycle_;  // last: its worker ends before the members above go
};

}  // namespace netrove
