#include "query/query_engine.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <vector>

#include "base/host_port.h"
#include "base/net_socket.h"
#include "base/tool_message.h"
#include "base/transcript_sink.h"
#include "query/nicname_referral.h"
#include "query/query_reply_filter.h"
#include "query/query_request.h"

namespace netrove {
namespace {

// At least one TCP segment of the usual size fits in every receive.
constexpr std::size_t kReceiveBuffer = 16384;
constexpr std::string_view kAnswerEnd = "\r\n\r\n";

// The server as a heading and the loop check name it: the port only when it
// is not WhoIs's own.
std::string ServerText(const std::string& host, std::uint16_t port) {
  if (port == kWhoIsPort) return host;
  const bool bracket = host.find(':') != std::string::npos;
  return (bracket ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool SameWithoutCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::string AnswerCutOffNote(std::size_t limit) {
  return "\r\n[Answer cut off after " + std::to_string(limit) + " bytes.]";
}

CQueryEngine::CQueryEngine(ITranscriptSink& transcript, IMainWindowReporter& reporter,
                           IRunFinishedListener& finished, IResolver& resolver,
                           IThreadLauncher& threads)
    : transcript_(transcript),
      reporter_(reporter),
      resolver_(resolver),
      lifecycle_(finished, kQueryFinishedCommand, threads) {}

CQueryEngine::~CQueryEngine() {
  Interrupt();
  Join();
}

bool CQueryEngine::Start(QueryRequest request) {
  if (lifecycle_.IsRunning()) return false;
  std::string_view text = request.line;
  if (text.ends_with("\r\n")) text.remove_suffix(2);
  if (!IsSafeQueryText(text)) return false;
  Join();
  request_ = std::move(request);
  interrupt_ = false;
  outcome_ = QueryOutcome::None;
  const bool started = lifecycle_.Start([this](std::stop_token stop) { Run(stop); }, {&socket_});
  // The system's own text for a thread it would not start (EAGAIN): the
  // query windows have no message source of their own.
  if (!started) reporter_.PostSystemError(EAGAIN);
  return started;
}

void CQueryEngine::Interrupt() {
  interrupt_ = true;
  lifecycle_.Interrupt();
}

void CQueryEngine::Join() { lifecycle_.Join(); }

void CQueryEngine::Run(std::stop_token stop) {
  // A stop that came before the worker began is one the user asked for.
  if (stop.stop_requested()) interrupt_ = true;
  std::string server = request_.server;
  std::uint16_t port = request_.port;
  std::vector<std::string> asked;
  while (AskServer(server, port, asked)) {
  }
}

bool CQueryEngine::AskServer(std::string& server, std::uint16_t& port,
                             std::vector<std::string>& asked) {
  asked.push_back(ServerText(server, port));
  CWhoIsReferralFinder referrals;
  const bool follow = request_.followReferrals;
  if (follow) transcript_.AppendTranscript(WhoIsServerHeading(asked.back()));
  if (!ConnectToServer(server, port) || !SendRequest()) return false;
  ReceiveAnswer(follow ? &referrals : nullptr);
  if (!follow || outcome_.load() != QueryOutcome::Answered) return false;
  const auto referral = referrals.Referral();
  return referral && FollowReferral(*referral, asked, server, port);
}

// A referral from the network is followed only to a server not asked yet,
// and only while fewer than the most servers have been asked; otherwise the
// transcript says why the query ends there.
bool CQueryEngine::FollowReferral(const std::string& referral,
                                  const std::vector<std::string>& asked, std::string& server,
                                  std::uint16_t& port) {
  std::string host;
  std::uint16_t hostPort = kWhoIsPort;
  if (!SplitServerAndPort(referral, host, hostPort) || host.empty()) return false;
  const std::string next = ServerText(host, hostPort);
  const bool again = std::any_of(asked.begin(), asked.end(), [&next](const std::string& text) {
    return SameWithoutCase(text, next);
  });
  if (again) {
    transcript_.AppendTranscript("[Referral to " + next + " not followed: asked already.]\r\n");
    return false;
  }
  if (asked.size() >= static_cast<std::size_t>(kMostWhoIsServers)) {
    transcript_.AppendTranscript("[Referral to " + next + " not followed: " +
                                 std::to_string(kMostWhoIsServers) + " servers asked.]\r\n");
    return false;
  }
  server = host;
  port = hostPort;
  return !interrupt_.load();
}

// After Interrupt() a call may also fail in other ways (a connect ended by
// the shutdown); none of them is the server's doing.
void CQueryEngine::ReportUnlessInterrupted(SocketStatus status) {
  if (!interrupt_.load()) ReportSocketError(reporter_, status);
}

QueryOutcome CQueryEngine::FailureOutcome(SocketStatus status, QueryOutcome failure) const {
  return interrupt_.load() || status.userInterrupted() ? QueryOutcome::Interrupted : failure;
}

bool CQueryEngine::ConnectToServer(const std::string& server, std::uint16_t port) {
  ApplyConnectSettings(socket_, request_.network);
  const SocketStatus status = socket_.Connect(server, port, resolver_);
  if (status) return true;
  if (!interrupt_.load()) ReportConnectError(reporter_, status, socket_);
  outcome_ = FailureOutcome(status, QueryOutcome::NotConnected);
  return false;
}

bool CQueryEngine::AwaitAnswer(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  bool ready = false;
  SocketStatus status{WSAETIMEDOUT};
  if (left.count() > 0) status = socket_.WaitReadable(static_cast<int>(left.count()), ready);
  if (ready) return true;
  ReportUnlessInterrupted(status ? SocketStatus{WSAETIMEDOUT} : status);
  return false;
}

bool CQueryEngine::SendRequest() {
  const std::string& line = request_.line;
  std::size_t sent = 0;
  while (sent < line.size()) {
    const SocketCount count = socket_.Send(line.data() + sent, line.size() - sent);
    if (!count || count.bytes <= 0) {
      const SocketStatus status{count ? WSAECONNABORTED : count.error};
      ReportUnlessInterrupted(status);
      outcome_ = FailureOutcome(status, QueryOutcome::SendFailed);
      return false;
    }
    sent += static_cast<std::size_t>(count.bytes);
  }
  return true;
}

void CQueryEngine::ReceiveAnswer(CWhoIsReferralFinder* referrals) {
  CReplyTextFilter filter;
  std::vector<char> buffer(kReceiveBuffer);
  std::size_t received = 0;
  QueryOutcome outcome = QueryOutcome::Answered;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(request_.network.replyMs);
  for (;;) {
    if (request_.network.replyMs > 0 && !AwaitAnswer(deadline)) {
      outcome = interrupt_.load() ? QueryOutcome::Interrupted : QueryOutcome::ReceiveFailed;
      break;
    }
    const SocketCount count = socket_.Recv(buffer.data(), buffer.size());
    if (!count) {
      ReportUnlessInterrupted(count.status());
      outcome = FailureOutcome(count.status(), QueryOutcome::ReceiveFailed);
      break;
    }
    if (count.bytes == 0) break;
    const std::size_t kept =
        std::min(static_cast<std::size_t>(count.bytes), request_.answerLimit - received);
    transcript_.AppendTranscript(filter.Convert({buffer.data(), kept}));
    if (referrals != nullptr) referrals->Feed({buffer.data(), kept});
    received += kept;
    if (received >= request_.answerLimit) {
      transcript_.AppendTranscript(AnswerCutOffNote(request_.answerLimit));
      outcome = QueryOutcome::CutOff;
      break;
    }
  }
  transcript_.AppendTranscript(kAnswerEnd);
  outcome_ = outcome;
}

}  // namespace netrove
