#include "query/query_engine.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "base/net_socket.h"
#include "base/tool_message.h"
#include "base/transcript_sink.h"
#include "query/query_reply_filter.h"
#include "query/query_request.h"

namespace netrove {
namespace {

// At least one TCP segment of the usual size fits in every receive.
constexpr std::size_t kReceiveBuffer = 16384;
constexpr std::string_view kAnswerEnd = "\r\n\r\n";

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
  if (ConnectToServer() && SendRequest()) ReceiveAnswer();
}

// After Interrupt() a call may also fail in other ways (a connect ended by
// the shutdown); none of them is the server's doing.
void CQueryEngine::ReportUnlessInterrupted(SocketStatus status) {
  if (!interrupt_.load()) ReportSocketError(reporter_, status);
}

QueryOutcome CQueryEngine::FailureOutcome(SocketStatus status, QueryOutcome failure) const {
  return interrupt_.load() || status.userInterrupted() ? QueryOutcome::Interrupted : failure;
}

bool CQueryEngine::ConnectToServer() {
  ApplyConnectSettings(socket_, request_.network);
  const SocketStatus status = socket_.Connect(request_.server, request_.port, resolver_);
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

void CQueryEngine::ReceiveAnswer() {
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
