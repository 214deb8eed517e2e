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
                                     IRunFinishedListener& finished, IResolver& resolver)
    : transcript_(transcript),
      reporter_(reporter),
      resolver_(resolver),
      lifecycle_(finished, kTraceRouteFinishedCommand) {}

CTraceRouteEngine::~CTraceRouteEngine() = default;

bool CTraceRouteEngine::Start(const TraceRouteRequest& request) {
  if (IsRunning()) return false;
  Join();
  request_ = request;
  request_.probeSize = static_cast<std::int32_t>(UsableProbeSize(request.probeSize));
  request_.replyTimeoutMs = std::max<std::int32_t>(request.replyTimeoutMs, 0);
  if (request_.initialDestPort == 0) request_.initialDestPort = 1;
  reached_ = false;
  sourcePort_ = 0;
  route_ = AnswerRoute::RawSocket;
  return lifecycle_.Start([this](std::stop_token stop) { Worker(stop); }, {&sender_, &receiver_});
}

void CTraceRouteEngine::Worker(std::stop_token stop) {
  stop_ = stop;
  if (ResolveTarget() && OpenSendingSocket() && OpenReceivingSocket()) Trace();
}

bool CTraceRouteEngine::ResolveTarget() {
  addressText_ = request_.host;
  displayName_ = request_.host;
  multipleAddresses_ = false;
  resolverFailed_ = false;
  RunTarget target;
  if (!FindRunTarget(resolver_, request_.host, request_.family, reporter_, target)) return false;
  target_ = target.address;
  ipv6_ = target_.family() == AF_INET6;
  addressText_ = target.addressText;
  if (!target.typedAsAddress) {
    multipleAddresses_ = target.addressesOfFamily > 1;
    return true;
  }
  if (const std::optional<std::string> name = NameOf(target_)) displayName_ = *name;
  return true;
}

bool CTraceRouteEngine::Succeeded(SocketStatus status) {
  ReportSocketError(reporter_, status);
  return static_cast<bool>(status);
}

bool CTraceRouteEngine::OpenSendingSocket() {
  if (!Succeeded(sender_.Create(target_.family(), SOCK_DGRAM, IPPROTO_UDP))) return false;
  if (!BindSourcePort()) return false;
  if (request_.dontRoute) {
    const int on = 1;
    Succeeded(sender_.SetOption(SOL_SOCKET, SO_DONTROUTE, &on, sizeof on));
  }
  // Probes leave without "don't fragment", as the window's disabled box
  // says; a large probe is fragmented instead of refused on the way (by
  // this host, for IPv6).
  static_cast<void>(SetFamilyOption(IP_MTU_DISCOVER, IPV6_MTU_DISCOVER,
                                    ipv6_ ? IPV6_PMTUDISC_DONT : IP_PMTUDISC_DONT));
  return !stop_.stop_requested();
}

SocketStatus CTraceRouteEngine::SetFamilyOption(int ipv4Option, int ipv6Option, int value) {
  if (ipv6_) return sender_.SetOption(IPPROTO_IPV6, ipv6Option, &value, sizeof value);
  return sender_.SetOption(IPPROTO_IP, ipv4Option, &value, sizeof value);
}

bool CTraceRouteEngine::BindSourcePort() {
  std::uint16_t port = FirstSourcePort(static_cast<std::uint32_t>(gettid()));
  SocketStatus bound;
  for (int tries = 0; tries < kSourcePortTries; ++tries, port = NextSourcePort(port)) {
    bound = sender_.Bind(port);
    if (bound) {
      sourcePort_ = port;
      return true;
    }
    if (bound.error != WSAEADDRINUSE) break;
  }
  return Succeeded(bound);
}

bool CTraceRouteEngine::OpenReceivingSocket() {
  const IcmpFamily family = ipv6_ ? IcmpFamily::IPv6 : IcmpFamily::IPv4;
  const SocketStatus raw = OpenRawIcmpSocket(receiver_, family);
  if (raw) {
    route_ = AnswerRoute::RawSocket;
    return Succeeded(receiver_.Bind(0)) && !stop_.stop_requested();
  }
  if (raw.error != WSAEACCES) return Succeeded(raw);
  // Without CAP_NET_RAW: Linux queues the ICMP errors that the probes cause
  // on the probes' own socket.
  route_ = AnswerRoute::ErrorQueue;
  if (!Succeeded(EnableIcmpErrorQueue(sender_, family))) return false;
  static_cast<void>(EnableAnswerTtl(sender_, ipv6_));  // without it only the " !" mark is lost
  return !stop_.stop_requested();
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
    if (stop_.stop_requested() || stopAfterTtl_) break;
    TraceOneTtl(ttl, probe);
  }
  transcript_.AppendTranscript(kTraceRunEnd);
}

void CTraceRouteEngine::TraceOneTtl(int ttl, std::vector<std::uint8_t>& probe) {
  static_cast<void>(SetFamilyOption(IP_TTL, IPV6_UNICAST_HOPS, ttl));
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
        const std::string responder = answer.source.text();
        if (line.IsNewResponder(responder)) {
          text = line.SwitchTo(responder, ResponderText(responder, NameOf(answer.source)));
        }
        const TraceAnswer& sorted = answer.answer;
        text += RoundTripText(TicksBetween(sendTime, answer.arrival));
        text += AnnotationText(sorted.outcome, sorted.code, sorted.lowTtl, sorted.ipv6);
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
  SocketAddress to = target_;
  to.setPort(destinationPort);
  // An answer that came after its wait is still queued and would be taken
  // for an error of the next send.
  if (route_ == AnswerRoute::ErrorQueue) DrainErrorQueue(sender_);
  for (int attempt = 1;; ++attempt) {
    const SocketCount sent = sender_.SendTo(probe.data(), probe.size(), to);
    if (sent) return true;
    if (!sent.status().userInterrupted() && route_ == AnswerRoute::ErrorQueue &&
        attempt < kSendAttempts && DrainErrorQueue(sender_) > 0)
      continue;
    return Succeeded(sent.status());
  }
}

CTraceRouteEngine::WaitOutcome CTraceRouteEngine::AwaitAnswer(ProbePorts ports, Answer& answer) {
  return route_ == AnswerRoute::RawSocket ? AwaitRawAnswer(ports, answer)
                                          : AwaitQueuedAnswer(ports, answer);
}

std::optional<CTraceRouteEngine::WaitOutcome> CTraceRouteEngine::WaitForAnswer(
    CNetSocket& socket, Clock::time_point deadline) {
  bool ready = false;
  const SocketStatus waited = socket.WaitReadable(MillisecondsUntil(deadline), ready);
  if (!Succeeded(waited)) return WaitOutcome::Stop;
  if (!ready) return WaitOutcome::Timeout;
  return std::nullopt;
}

// Every receive is limited by what is left of the probe's reply timeout, so
// a stream of other ICMP traffic (a ping running at the same time) cannot
// hold the trace at one probe.
CTraceRouteEngine::WaitOutcome CTraceRouteEngine::AwaitRawAnswer(ProbePorts ports, Answer& answer) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(request_.replyTimeoutMs);
  std::array<std::uint8_t, kAnswerBufferSize> buffer{};
  for (;;) {
    if (const auto end = WaitForAnswer(receiver_, deadline)) return *end;
    SocketAddress from;
    const SocketCount got = receiver_.RecvFrom(buffer.data(), buffer.size(), &from, MSG_DONTWAIT);
    const std::uint32_t arrival = TickCount();
    if (!got) {
      if (got.error == WSAEWOULDBLOCK) continue;
      Succeeded(got.status());
      return WaitOutcome::Stop;
    }
    const ByteView message(buffer.data(), static_cast<std::size_t>(got.bytes));
    // A raw ICMPv6 socket delivers the message without the IPv6 header.
    const TraceAnswer sorted =
        ipv6_ ? ClassifyIcmp6Answer(message, ports) : ClassifyRawAnswer(message, ports);
    if (const auto outcome = Sort(sorted, from, arrival, answer)) return *outcome;
  }
}

CTraceRouteEngine::WaitOutcome CTraceRouteEngine::AwaitQueuedAnswer(ProbePorts ports,
                                                                    Answer& answer) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(request_.replyTimeoutMs);
  bool woke = false;
  for (;;) {
    QueuedTraceError error;
    bool tookError = false;
    while (TakeQueuedTraceError(sender_, error)) {
      tookError = true;
      const std::uint32_t arrival = TickCount();
      if (const auto outcome =
              Sort(ClassifyQueuedAnswer(error, ports), error.offender, arrival, answer)) {
        return *outcome;
      }
    }
    // Readable without a queued error: a stray datagram reached the port.
    if (woke && !tookError) DropStrayDatagram(sender_);
    if (const auto end = WaitForAnswer(sender_, deadline)) return *end;
    woke = true;
  }
}

std::optional<CTraceRouteEngine::WaitOutcome> CTraceRouteEngine::Sort(const TraceAnswer& sorted,
                                                                      const SocketAddress& source,
                                                                      std::uint32_t arrival,
                                                                      Answer& answer) {
  switch (sorted.kind) {
    case TraceAnswerKind::Ignored:
      return std::nullopt;
    case TraceAnswerKind::Unrelated:
      if (!request_.verbose) return std::nullopt;
      transcript_.AppendTranscript(VerboseReportText(source.text(), sorted.type, sorted.code));
      return WaitOutcome::VerboseReport;
    case TraceAnswerKind::Matched:
      answer = {sorted, source, arrival};
      return WaitOutcome::Answer;
  }
  return std::nullopt;
}

// An address is traced and shown whatever the resolver says: people trace
// when the network is broken. Without a name the address itself is shown; a
// resolver that fails is reported once and not asked again during the run,
// so each further hop does not wait out its time-out too.
std::optional<std::string> CTraceRouteEngine::NameOf(const SocketAddress& host) {
  if (!request_.resolveAddress || resolverFailed_) return std::nullopt;
  HostEntry entry;
  const SocketStatus named = resolver_.HostByAddr(host, entry);
  if (named) return entry.name;
  if (!IsMissingName(named.error)) {
    ReportSocketError(reporter_, named.error);
    resolverFailed_ = true;
  }
  return std::nullopt;
}

}  // namespace netrove
