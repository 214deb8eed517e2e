#include "diagnostics/traceroute_engine.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>

#include "base/net_socket.h"
#include "base/tick_count.h"
#include "base/tool_message.h"
#include "base/transcript_sink.h"
#include "diagnostics/diagnostics_run.h"
#include "diagnostics/icmp_socket.h"
#include "diagnostics/traceroute_probe.h"
#include "diagnostics/traceroute_socket.h"

namespace netrove {
namespace {

using Clock = std::chrono::steady_clock;

// Every source port of the range is tried before the run gives up.
constexpr int kSourcePortTries = 0x8000;
// Sends retried after an error left pending by a late answer on the
// probes' own socket.
constexpr int kSendAttempts = 4;

std::string Dotted(in_addr address) {
  std::string text;
  InetNtoa(text, address);
  return text;
}

}  // namespace

TraceRouteRequest TraceRouteRequestFromSettings(const TraceRouteSettings& settings,
                                                const std::string& host) {
  TraceRouteRequest request;
  request.host = host;
  request.probesPerTtl = settings.probesToSend;
  request.replyTimeoutMs = ReplyTimeoutMilliseconds(settings.replyTimeOutSeconds);
  request.initialTtl = settings.initialTtl;
  request.maximumTtl = settings.maximumTtl;
  request.probeSize = settings.packetSize;
  request.initialDestPort = static_cast<std::uint16_t>(std::clamp(
      settings.initialDestPort, kDestinationPortRange.minimum, kDestinationPortRange.maximum));
  request.resolveAddress = settings.resolveAddress;
  request.dontRoute = settings.dontRoute;
  request.verbose = settings.verbose;
  return request;
}

CTraceRouteEngine::CTraceRouteEngine(ITranscriptSink& transcript, IMainWindowReporter& reporter,
                                     IRunFinishedListener& finished)
    : transcript_(transcript), reporter_(reporter), finished_(finished) {}

CTraceRouteEngine::~CTraceRouteEngine() {
  Interrupt();
  Join();
}

bool CTraceRouteEngine::Start(const TraceRouteRequest& request) {
  if (running_.load()) return false;
  Join();
  request_ = request;
  request_.probeSize = static_cast<std::int32_t>(UsableProbeSize(request.probeSize));
  request_.replyTimeoutMs = std::max<std::int32_t>(request.replyTimeoutMs, 0);
  if (request_.initialDestPort == 0) request_.initialDestPort = 1;
  interrupt_ = false;
  reached_ = false;
  sourcePort_ = 0;
  route_ = AnswerRoute::RawSocket;
  {
    std::lock_guard lock(mutex_);
    sender_ = std::make_unique<CNetSocket>();
    receiver_ = std::make_unique<CNetSocket>();
  }
  running_ = true;
  worker_ = std::thread(&CTraceRouteEngine::Worker, this);
  return true;
}

void CTraceRouteEngine::Interrupt() {
  interrupt_ = true;
  std::lock_guard lock(mutex_);
  if (sender_) sender_->Interrupt();
  if (receiver_) receiver_->Interrupt();
}

void CTraceRouteEngine::Join() {
  if (worker_.joinable()) worker_.join();
  std::lock_guard lock(mutex_);
  sender_.reset();
  receiver_.reset();
}

void CTraceRouteEngine::Worker() {
  if (ResolveTarget() && OpenSendingSocket() && OpenReceivingSocket()) Trace();
  CloseSockets();
  running_ = false;
  finished_.PostRunFinished(kTraceRouteFinishedCommand);
}

bool CTraceRouteEngine::ResolveTarget() {
  target_ = {};
  target_.sin_family = AF_INET;
  addressText_ = request_.host;
  displayName_ = request_.host;
  multipleAddresses_ = false;
  target_.sin_addr.s_addr = InetAddr(request_.host);
  if (target_.sin_addr.s_addr == INADDR_NONE) {
    HostEntry entry;
    if (!LookUpHostName(request_.host, reporter_, entry)) return false;
    target_.sin_addr = entry.addresses.front();
    addressText_ = Dotted(target_.sin_addr);
    multipleAddresses_ = entry.addresses.size() > 1;
    return true;
  }
  std::optional<std::string> name;
  if (!NameOf(target_.sin_addr, name)) return false;
  if (name) displayName_ = *name;
  return true;
}

bool CTraceRouteEngine::OpenSendingSocket() {
  if (!sender_->Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
    if (!IsInterruptError(GetLastError())) ReportSocketError(reporter_, GetLastError());
    return false;
  }
  if (!BindSourcePort()) return false;
  if (request_.dontRoute) {
    const int on = 1;
    if (!sender_->SetOption(SOL_SOCKET, SO_DONTROUTE, &on, sizeof on) &&
        !IsInterruptError(GetLastError())) {
      ReportSocketError(reporter_, GetLastError());
    }
  }
  // Probes leave without "don't fragment", as the window's disabled box
  // says; a large probe is fragmented instead of refused on the way.
  const int discovery = IP_PMTUDISC_DONT;
  sender_->SetOption(IPPROTO_IP, IP_MTU_DISCOVER, &discovery, sizeof discovery);
  return !interrupt_.load();
}

bool CTraceRouteEngine::BindSourcePort() {
  std::uint16_t port = FirstSourcePort(static_cast<std::uint32_t>(gettid()));
  for (int tries = 0; tries < kSourcePortTries; ++tries, port = NextSourcePort(port)) {
    if (sender_->Bind(port)) {
      sourcePort_ = port;
      return true;
    }
    if (GetLastError() != WSAEADDRINUSE) break;
  }
  if (!IsInterruptError(GetLastError())) ReportSocketError(reporter_, GetLastError());
  return false;
}

bool CTraceRouteEngine::OpenReceivingSocket() {
  if (receiver_->Create(AF_INET, SOCK_RAW, IPPROTO_ICMP)) {
    route_ = AnswerRoute::RawSocket;
    if (!receiver_->Bind(0)) {
      if (!IsInterruptError(GetLastError())) ReportSocketError(reporter_, GetLastError());
      return false;
    }
    return !interrupt_.load();
  }
  if (GetLastError() != WSAEACCES) {
    if (!IsInterruptError(GetLastError())) ReportSocketError(reporter_, GetLastError());
    return false;
  }
  // Without CAP_NET_RAW: Linux queues the ICMP errors that the probes cause
  // on the probes' own socket.
  route_ = AnswerRoute::ErrorQueue;
  if (!EnableIcmpErrorQueue(*sender_)) {
    if (!IsInterruptError(GetLastError())) ReportSocketError(reporter_, GetLastError());
    return false;
  }
  EnableAnswerTtl(*sender_);  // without it only the " !" mark is lost
  return !interrupt_.load();
}

void CTraceRouteEngine::Trace() {
  if (multipleAddresses_)
    transcript_.AppendTranscript(MultipleAddressWarning(displayName_, addressText_));
  transcript_.AppendTranscript(TraceHeaderLine(request_.resolveAddress, displayName_, addressText_,
                                               request_.maximumTtl, request_.probeSize));
  std::vector<std::uint8_t> probe(static_cast<std::size_t>(request_.probeSize), 0);
  probeNumber_ = 0;
  destinationPort_ = request_.initialDestPort;
  stopAfterTtl_ = false;
  for (int ttl = request_.initialTtl; ttl <= request_.maximumTtl; ++ttl) {
    if (interrupt_.load() || stopAfterTtl_) break;
    TraceOneTtl(ttl, probe);
  }
  transcript_.AppendTranscript(kTraceRunEnd);
}

void CTraceRouteEngine::TraceOneTtl(int ttl, std::vector<std::uint8_t>& probe) {
  const int value = ttl;
  sender_->SetOption(IPPROTO_IP, IP_TTL, &value, sizeof value);
  HopLine line(ttl);
  transcript_.AppendTranscript(line.Opening());
  bool lineOpen = true;
  for (int sent = 0; sent < request_.probesPerTtl && lineOpen; ++sent) {
    const ProbePorts ports{sourcePort_.load(), destinationPort_};
    const std::uint32_t sendTime = TickCount();
    WriteProbeHeader(probe, {probeNumber_, static_cast<std::uint32_t>(ttl), sendTime});
    Answer answer;
    const WaitOutcome outcome =
        SendProbe(probe, ports.destination) ? AwaitAnswer(ports, answer) : WaitOutcome::Stop;
    switch (outcome) {
      case WaitOutcome::Timeout:
        transcript_.AppendTranscript(kNoAnswerText);
        break;
      case WaitOutcome::Stop:
        lineOpen = false;
        break;
      case WaitOutcome::VerboseReport:
        break;
      case WaitOutcome::Answer: {
        std::string text;
        if (line.IsNewResponder(answer.source)) {
          std::optional<std::string> name;
          if (!NameOf(answer.source, name)) {
            lineOpen = false;
            break;
          }
          text = line.SwitchTo(answer.source, ResponderText(Dotted(answer.source), name));
        }
        const TraceAnswer& sorted = answer.answer;
        text += RoundTripText(TicksBetween(sendTime, answer.arrival));
        text += AnnotationText(sorted.outcome, sorted.code, sorted.lowTtl);
        transcript_.AppendTranscript(text);
        // The remaining probes of this time-to-live still go out.
        if (sorted.outcome == TraceOutcome::DestinationReached) {
          reached_ = true;
          stopAfterTtl_ = true;
        }
        break;
      }
    }
    if (!lineOpen) stopAfterTtl_ = true;
    ++probeNumber_;
    destinationPort_ = NextDestinationPort(destinationPort_);
  }
  transcript_.AppendTranscript(kTraceLineEnd);
}

bool CTraceRouteEngine::SendProbe(std::vector<std::uint8_t>& probe, std::uint16_t destinationPort) {
  sockaddr_in to = target_;
  to.sin_port = htons(destinationPort);
  // An answer that came after its wait is still queued and would be taken
  // for an error of the next send.
  if (route_ == AnswerRoute::ErrorQueue) DrainErrorQueue(*sender_);
  for (int attempt = 1;; ++attempt) {
    if (sender_->SendTo(probe.data(), probe.size(), to) >= 0) return true;
    const int code = GetLastError();
    if (IsInterruptError(code)) return false;
    if (route_ == AnswerRoute::ErrorQueue && attempt < kSendAttempts &&
        DrainErrorQueue(*sender_) > 0)
      continue;
    ReportSocketError(reporter_, code);
    return false;
  }
}

CTraceRouteEngine::WaitOutcome CTraceRouteEngine::AwaitAnswer(ProbePorts ports, Answer& answer) {
  return route_ == AnswerRoute::RawSocket ? AwaitRawAnswer(ports, answer)
                                          : AwaitQueuedAnswer(ports, answer);
}

// What a wait on a socket means for the probe: nothing yet when the socket
// is ready to read, else the end of the probe's wait.
std::optional<CTraceRouteEngine::WaitOutcome> CTraceRouteEngine::EndOfWait(AnswerWait wait) {
  switch (wait) {
    case AnswerWait::Ready:
      return std::nullopt;
    case AnswerWait::TimedOut:
      return WaitOutcome::Timeout;
    case AnswerWait::Interrupted:
      return WaitOutcome::Stop;
    case AnswerWait::Failed:
      ReportSocketError(reporter_, GetLastError());
      return WaitOutcome::Stop;
  }
  return WaitOutcome::Stop;
}

// Every receive is limited by what is left of the probe's reply timeout, so
// a stream of other ICMP traffic (a ping running at the same time) cannot
// hold the trace at one probe.
CTraceRouteEngine::WaitOutcome CTraceRouteEngine::AwaitRawAnswer(ProbePorts ports, Answer& answer) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(request_.replyTimeoutMs);
  std::array<std::uint8_t, kAnswerBufferSize> buffer{};
  for (;;) {
    const AnswerWait wait = WaitForSocket(*receiver_, POLLIN, MillisecondsUntil(deadline));
    if (const auto end = EndOfWait(wait)) return *end;
    sockaddr_in from{};
    const long got = receiver_->RecvFrom(buffer.data(), buffer.size(), &from, MSG_DONTWAIT);
    const std::uint32_t arrival = TickCount();
    if (got < 0) {
      const int code = GetLastError();
      if (code == WSAEWOULDBLOCK) continue;
      if (!IsInterruptError(code)) ReportSocketError(reporter_, code);
      return WaitOutcome::Stop;
    }
    const TraceAnswer sorted =
        ClassifyRawAnswer(ByteView(buffer.data(), static_cast<std::size_t>(got)), ports);
    if (const auto outcome = Sort(sorted, from.sin_addr, arrival, answer)) return *outcome;
  }
}

CTraceRouteEngine::WaitOutcome CTraceRouteEngine::AwaitQueuedAnswer(ProbePorts ports,
                                                                    Answer& answer) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(request_.replyTimeoutMs);
  bool woke = false;
  for (;;) {
    QueuedTraceError error;
    bool tookError = false;
    while (TakeQueuedTraceError(*sender_, error)) {
      tookError = true;
      const std::uint32_t arrival = TickCount();
      if (const auto outcome =
              Sort(ClassifyQueuedAnswer(error, ports), error.offender, arrival, answer)) {
        return *outcome;
      }
    }
    // Readable without a queued error: a stray datagram reached the port.
    if (woke && !tookError) DropStrayDatagram(*sender_);
    const AnswerWait wait = WaitForSocket(*sender_, POLLIN | POLLERR, MillisecondsUntil(deadline));
    if (const auto end = EndOfWait(wait)) return *end;
    woke = true;
  }
}

std::optional<CTraceRouteEngine::WaitOutcome> CTraceRouteEngine::Sort(const TraceAnswer& sorted,
                                                                      in_addr source,
                                                                      std::uint32_t arrival,
                                                                      Answer& answer) {
  switch (sorted.kind) {
    case TraceAnswerKind::Ignored:
      return std::nullopt;
    case TraceAnswerKind::Unrelated:
      if (!request_.verbose) return std::nullopt;
      transcript_.AppendTranscript(VerboseReportText(Dotted(source), sorted.type, sorted.code));
      return WaitOutcome::VerboseReport;
    case TraceAnswerKind::Matched:
      answer = {sorted, source, arrival};
      return WaitOutcome::Answer;
  }
  return std::nullopt;
}

bool CTraceRouteEngine::NameOf(in_addr host, std::optional<std::string>& name) {
  name.reset();
  if (!request_.resolveAddress) return true;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr = host;
  HostEntry entry;
  if (GetHostByAddr(address, entry)) {
    name = entry.name;
    return true;
  }
  const int code = GetLastError();
  if (IsMissingName(code)) return true;
  ReportSocketError(reporter_, code);
  return false;
}

void CTraceRouteEngine::CloseSockets() {
  std::lock_guard lock(mutex_);
  if (sender_) sender_->Close();
  if (receiver_) receiver_->Close();
}

}  // namespace netrove
