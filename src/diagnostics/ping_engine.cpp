#include "diagnostics/ping_engine.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/net_socket.h"
#include "base/tick_count.h"
#include "base/tool_message.h"
#include "base/transcript_sink.h"
#include "diagnostics/diagnostics_run.h"

namespace netrove {
namespace {

constexpr auto kRequestInterval = std::chrono::milliseconds(1000);
// While no request is pending the receiver still looks up now and then, so a
// request sent meanwhile is timed from its send.
constexpr auto kIdleWait = std::chrono::milliseconds(50);
// How far the receiving thread raises itself where the system lets it, so
// round-trip times are taken as soon as a reply arrives.
constexpr int kReceiverNiceness = -10;

std::int32_t ClampPacketSize(std::int32_t size) {
  return std::clamp<std::int32_t>(size, static_cast<std::int32_t>(kEchoRequestHeaderSize),
                                  static_cast<std::int32_t>(kIcmpMaxMessageSize));
}

}  // namespace

PingRequest PingRequestFromSettings(const PingSettings& settings, const std::string& host) {
  PingRequest request;
  request.host = host;
  request.requestLimit = settings.specifyLimit ? settings.packetsToSend : 0;
  request.packetSize = settings.packetSize;
  request.replyTimeoutMs = ReplyTimeoutMilliseconds(settings.replyTimeOutSeconds);
  request.resolveAddress = settings.resolveAddress;
  request.setTimeToLive = settings.setTimeToLive;
  request.timeToLive = settings.timeToLive;
  request.dontRoute = settings.dontRoute;
  return request;
}

CPingEngine::CPingEngine(ITranscriptSink& transcript, IMainWindowReporter& reporter,
                         IRunFinishedListener& finished, IResolver& resolver)
    : transcript_(transcript),
      reporter_(reporter),
      resolver_(resolver),
      lifecycle_(finished, kPingFinishedCommand) {}

CPingEngine::~CPingEngine() = default;

bool CPingEngine::Start(const PingRequest& request) {
  if (IsRunning()) return false;
  Join();
  request_ = request;
  request_.packetSize = ClampPacketSize(request.packetSize);
  request_.requestLimit = std::max<std::int32_t>(request.requestLimit, 0);
  request_.replyTimeoutMs = std::max<std::int32_t>(request.replyTimeoutMs, 0);
  receivingDone_ = false;
  sendingDone_ = false;
  receiverReady_ = false;
  broadcast_ = false;
  sent_ = 0;
  handled_ = 0;
  errorEvents_ = 0;
  received_ = 0;
  duplicates_ = 0;
  runTag_ = 0;
  times_ = {};
  ledger_ = {};
  return lifecycle_.Start([this](std::stop_token stop) { SendingThread(stop); }, {&socket_});
}

void CPingEngine::SendingThread(std::stop_token stop) {
  runTag_ = static_cast<std::uint32_t>(gettid());
  if (!PrepareTarget() || !OpenSocket(stop) || !SetOptions()) return;
  // Replies are read on a second thread so a slow send pace never delays the
  // time stamp of an arriving reply.
  LaunchedThread receiver =
      SystemThreads().Launch([this, stop](std::stop_token) { ReceivingThread(stop); });
  if (!receiver.joinable()) {
    reporter_.PostToolMessage(kSourceWinSock, kNoThreadText);
    return;
  }
  SendRequests(stop);
  {
    std::lock_guard lock(mutex_);
    sendingDone_ = true;
  }
  wake_.notify_all();
}

bool CPingEngine::PrepareTarget() {
  // Port 7 (echo) only fills the field: ICMP has no ports. A raw ICMPv6
  // socket takes the field for a protocol number and refuses anything but 0.
  constexpr std::uint16_t kEchoPort = 7;
  addressText_ = request_.host;
  displayName_ = request_.host;
  family_ = IcmpFamily::IPv4;
  if (request_.host == kBroadcastHost && request_.family != FamilyChoice::IPv6Only) {
    broadcast_ = true;
    target_ = SocketAddress::FromIPv4(in_addr{htonl(INADDR_BROADCAST)}, kEchoPort);
    return true;
  }
  RunTarget target;
  if (!FindRunTarget(resolver_, request_.host, request_.family, reporter_, target)) return false;
  target_ = target.address;
  if (target_.isIPv4()) {
    target_.setPort(kEchoPort);
  } else {
    family_ = IcmpFamily::IPv6;
  }
  addressText_ = target.addressText;
  if (!target.typedAsAddress || !request_.resolveAddress) return true;
  HostEntry entry;
  const SocketStatus named = resolver_.HostByAddr(target_, entry);
  if (named) {
    displayName_ = entry.name;
    return true;
  }
  // An address is pinged whatever the resolver says (people ping when the
  // network is broken): without a name, or without a resolver, the address
  // itself is shown after the report.
  displayName_ = addressText_;
  ReportSocketError(reporter_, named.error);
  return true;
}

bool CPingEngine::OpenSocket(std::stop_token stop) {
  IcmpSocketKind kind = IcmpSocketKind::Raw;
  if (const SocketStatus opened = OpenIcmpSocket(socket_, kind, family_.load()); !opened) {
    if (opened.error == WSAEACCES) {
      reporter_.PostToolMessage(kSourceWinSock, MissingIcmpPrivilegeText());
    } else if (opened.error != WSAENOTSOCK) {
      ReportSocketError(reporter_, opened);
    }
    return false;
  }
  kind_ = kind;
  // An Interrupt that came before the descriptor existed ends the run here.
  return !stop.stop_requested();
}

// A socket already gone (the run was interrupted) ends the setting of options
// quietly; any other failure is reported and the run goes on.
bool CPingEngine::ReportUnlessGone(SocketStatus status, bool& keepGoing) {
  if (status) return true;
  if (status.error == WSAENOTSOCK) {
    keepGoing = false;
  } else {
    ReportSocketError(reporter_, status);
  }
  return false;
}

bool CPingEngine::SetOptionOrReport(int level, int option, int value, bool& keepGoing) {
  return ReportUnlessGone(socket_.SetOption(level, option, &value, sizeof value), keepGoing);
}

bool CPingEngine::SetOptions() {
  bool keepGoing = true;
  if (broadcast_ && !SetOptionOrReport(SOL_SOCKET, SO_BROADCAST, 1, keepGoing)) return false;
  ReportUnlessGone(socket_.SetReceiveTimeout(request_.replyTimeoutMs), keepGoing);
  if (!keepGoing) return false;
  SetFamilyOptions(keepGoing);
  if (keepGoing && request_.dontRoute) SetOptionOrReport(SOL_SOCKET, SO_DONTROUTE, 1, keepGoing);
  if (!keepGoing) return false;
  const int receiveBuffer = kPingReceiveBuffer;
  static_cast<void>(socket_.SetOption(SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer));
  // A datagram socket hears of its requests' ICMP errors only this way.
  if (kind_ == IcmpSocketKind::Datagram) static_cast<void>(EnableIcmpErrorQueue(socket_, family_));
  return true;
}

// The time-to-live is IPv6's hop limit. The window offers "Do not fragment"
// only switched off: a request larger than a link on the way is fragmented
// (by this host, for IPv6), not refused.
void CPingEngine::SetFamilyOptions(bool& keepGoing) {
  const bool ipv6 = family_ == IcmpFamily::IPv6;
  if (request_.setTimeToLive) {
    SetOptionOrReport(ipv6 ? IPPROTO_IPV6 : IPPROTO_IP, ipv6 ? IPV6_UNICAST_HOPS : IP_TTL,
                      request_.timeToLive, keepGoing);
  }
  const int discovery = ipv6 ? IPV6_PMTUDISC_DONT : IP_PMTUDISC_DONT;
  static_cast<void>(socket_.SetOption(ipv6 ? IPPROTO_IPV6 : IPPROTO_IP,
                                      ipv6 ? IPV6_MTU_DISCOVER : IP_MTU_DISCOVER, &discovery,
                                      sizeof discovery));
}

void CPingEngine::SendRequests(std::stop_token stop) {
  std::vector<std::uint8_t> request(static_cast<std::size_t>(request_.packetSize));
  std::uint16_t number = 0;
  {
    // A reply that arrived while the receiver was still writing its first
    // line would be timed late.
    std::unique_lock lock(mutex_);
    wake_.wait(lock, stop, [this] { return receiverReady_; });
  }
  while (!stop.stop_requested() && !receivingDone_.load()) {
    ++number;
    {
      // Noted before it leaves: a reply can come back before SendTo returns.
      std::lock_guard lock(mutex_);
      ledger_.Sent(number,
                   CPingLedger::Clock::now() + std::chrono::milliseconds(request_.replyTimeoutMs));
    }
    BuildEchoRequest(request, {runTag_.load(), TickCount(), number}, family_);
    if (const SocketCount sent = socket_.SendTo(request.data(), request.size(), target_); !sent) {
      if (!sent.status().userInterrupted()) {
        ReportSocketError(reporter_, sent);
        Interrupt();
      }
      return;
    }
    const std::int32_t sent = ++sent_;
    if (request_.requestLimit > 0 && sent >= request_.requestLimit) return;
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, stop, kRequestInterval, [this] { return receivingDone_.load(); });
  }
}

void CPingEngine::ReceivingThread(std::stop_token stop) {
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kReceiverNiceness);  // best effort
  transcript_.AppendTranscript(
      PingingLine(request_.resolveAddress, displayName_, addressText_, request_.packetSize));
  {
    std::lock_guard lock(mutex_);
    receiverReady_ = true;
  }
  wake_.notify_all();
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(request_.packetSize + kReceiveSlack));
  lastBroadcastReply_ = CPingLedger::Clock::now();
  while (!stop.stop_requested()) {
    if (!broadcast_ && request_.requestLimit > 0 && handled_.load() >= request_.requestLimit) break;
    bool ready = false;
    const SocketStatus waited = socket_.WaitReadable(MillisecondsUntil(WaitDeadline()), ready);
    if (!waited) {
      if (!waited.userInterrupted()) ReportSocketError(reporter_, waited);
      break;
    }
    if (!ready) {
      if (!HandleTimeOut()) break;
      continue;
    }
    PingEvent event;
    SocketAddress source;
    std::uint32_t arrival = 0;
    const SocketStatus received = ReceiveOne(buffer, event, source, arrival);
    if (received) {
      ReportEvent(event, source, arrival);
      continue;
    }
    if (received.error == WSAEWOULDBLOCK) continue;
    if (!received.userInterrupted()) ReportSocketError(reporter_, received);
    break;
  }
  received_ = handled_.load() - errorEvents_.load();
  WaitForSendingDone();
  const bool interrupted = stop.stop_requested() && !request_.statisticsWhenInterrupted;
  const PingRunTotals totals{sent_.load(), received_.load(), interrupted, broadcast_,
                             duplicates_.load()};
  transcript_.AppendTranscript(StatisticsBlock(totals, times_));
}

void CPingEngine::WaitForSendingDone() {
  // On a fast path the last reply can arrive before its send is counted;
  // the count is final only once the sender has left its loop, which this
  // flag also asks it to do.
  std::unique_lock lock(mutex_);
  receivingDone_ = true;
  wake_.notify_all();
  wake_.wait(lock, [this] { return sendingDone_; });
}

CPingLedger::Clock::time_point CPingEngine::WaitDeadline() {
  const auto timeOut = std::chrono::milliseconds(request_.replyTimeoutMs);
  if (broadcast_) return lastBroadcastReply_ + timeOut;
  std::lock_guard lock(mutex_);
  return ledger_.NextDeadline().value_or(CPingLedger::Clock::now() + kIdleWait);
}

bool CPingEngine::HandleTimeOut() {
  if (broadcast_) return CPingLedger::Clock::now() < WaitDeadline();
  {
    std::lock_guard lock(mutex_);
    if (!ledger_.TimedOut(CPingLedger::Clock::now())) return true;
  }
  transcript_.AppendTranscript(kRequestTimedOutLine);
  ++handled_;
  ++errorEvents_;
  return true;
}

SocketStatus CPingEngine::ReceiveOne(std::vector<std::uint8_t>& buffer, PingEvent& event,
                                     SocketAddress& source, std::uint32_t& arrival) {
  const SocketCount got = socket_.RecvFrom(buffer.data(), buffer.size(), &source, MSG_DONTWAIT);
  arrival = TickCount();
  const RunTagMatcher matcher(runTag_.load(), kind_ == IcmpSocketKind::Datagram);
  if (got) {
    event = Classify(ByteView(buffer.data(), static_cast<std::size_t>(got.bytes)), matcher);
    return {};
  }
  // A datagram socket's receive fails when an ICMP error is queued for it.
  QueuedIcmpError queued;
  if (kind_ == IcmpSocketKind::Datagram && !got.status().userInterrupted() &&
      TakeQueuedIcmpError(socket_, buffer, queued)) {
    const ByteView request(buffer.data(), std::min(queued.quotedSize, buffer.size()));
    event = ClassifyQueuedError(queued.type, queued.code, request, matcher, family_, queued.info);
    source = queued.offender;
    return {};
  }
  return got.status();
}

// Both kinds of ICMPv6 socket deliver the message without the IPv6 header;
// of ICMP over IPv4 only the raw socket brings the IP header along.
PingEvent CPingEngine::Classify(ByteView datagram, const RunTagMatcher& matcher) const {
  if (family_ == IcmpFamily::IPv6) return ClassifyIcmp6Message(datagram, matcher);
  return kind_ == IcmpSocketKind::Raw ? ClassifyRawDatagram(datagram, matcher)
                                      : ClassifyDatagramSocketReply(datagram, matcher);
}

namespace {

std::string ErrorLine(const PingEvent& event, const std::string& source) {
  const bool ipv6 = event.family == IcmpFamily::IPv6;
  switch (event.kind) {
    case PingEventKind::DestinationUnreachable:
      return ipv6 ? Unreachable6Line(source, event.code) : UnreachableLine(source, event.code);
    case PingEventKind::TimeExceeded:
      return ipv6 ? HopLimitExceededLine(source, event.code) : TimeExceededLine(source, event.code);
    case PingEventKind::PacketTooBig:
      return PacketTooBigLine(source, event.detail);
    case PingEventKind::ParameterProblem:
      return ParameterProblemLine(source, event.code, event.detail);
    case PingEventKind::Ignored:
    case PingEventKind::EchoReply:
      break;
  }
  return {};
}

}  // namespace

void CPingEngine::ReportEvent(const PingEvent& event, const SocketAddress& source,
                              std::uint32_t arrival) {
  if (event.kind == PingEventKind::Ignored) return;
  if (event.kind == PingEventKind::EchoReply) {
    ReportEchoReply(event, source, arrival);
    return;
  }
  {
    // An error settles the earliest pending request; one that comes when
    // none pends (they timed out) has been counted already.
    std::lock_guard lock(mutex_);
    if (!broadcast_ && !ledger_.Failed()) return;
  }
  transcript_.AppendTranscript(ErrorLine(event, source.text()));
  ++handled_;
  ++errorEvents_;
}

void CPingEngine::ReportEchoReply(const PingEvent& event, const SocketAddress& source,
                                  std::uint32_t arrival) {
  if (broadcast_) {
    // Every host on the network answers each request: no duplicates here.
    lastBroadcastReply_ = CPingLedger::Clock::now();
    transcript_.AppendTranscript(
        BroadcastReplyLine(source.text(), event.icmpLength, event.echo.number));
    ++handled_;
    return;
  }
  CPingLedger::Verdict verdict;
  {
    std::lock_guard lock(mutex_);
    verdict = ledger_.Replied(event.echo.number);
  }
  const std::uint32_t roundTrip = TicksBetween(event.echo.sendTime, arrival);
  switch (verdict) {
    case CPingLedger::Verdict::kFirstReply:
      times_.Add(roundTrip);
      transcript_.AppendTranscript(
          ReplyLine(addressText_, event.icmpLength, event.echo.number, roundTrip));
      ++handled_;
      return;
    case CPingLedger::Verdict::kDuplicate:
      // Shown as ping users know it, but neither a reply nor an event of
      // the run: the loss stays true and the run does not end early.
      transcript_.AppendTranscript(
          DuplicateReplyLine(addressText_, event.icmpLength, event.echo.number, roundTrip));
      ++duplicates_;
      return;
    case CPingLedger::Verdict::kNotPending:
      // Too late (its time-out was written) or never sent by this run.
      return;
  }
}

}  // namespace netrove
