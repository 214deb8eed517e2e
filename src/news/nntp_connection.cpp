#include "news/nntp_connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>

#include "news/nntp_overview.h"

namespace netrove {

// A walk as it runs: what is still wanted, what it met, what it has not
// handed over yet.
struct NntpWalkState {
  NntpWalk walk;
  std::set<long> seen;
  int backOffs = 0;
  bool ended = false;
  std::vector<NntpHeaderBlock> batch;
  // From the overview: the next number the walk takes, and the range asked.
  long overviewNext = 0;
  long overviewLow = 0;
  long overviewHigh = 0;
};

namespace {

constexpr std::array<std::string_view, kNntpCommandCount> kKeywords = {
    "OPEN",  "ARTICLE", "BODY",     "GROUP",         "HEAD",         "HELP",
    "IHAVE", "LAST",    "LIST",     "NEWGROUPS",     "NEWNEWS",      "NEXT",
    "POST",  "QUIT",    "SLAVE",    "STAT",          "CAPABILITIES", "MODE READER",
    "OVER",  "XOVER",   "STARTTLS", "AUTHINFO USER", "AUTHINFO PASS"};

constexpr std::size_t kReceiveChunk = 64 * 1024;
// Headers handed over together: a long walk fills the list in steps.
constexpr std::size_t kHeaderBatch = 64;

bool IsOverview(int code) { return code == kNntpOver || code == kNntpXover; }
bool IsSignIn(int code) { return code == kNntpAuthUser || code == kNntpAuthPass; }
bool SendsArgument(int code) {
  return code == kNntpArticle || code == kNntpBody || code == kNntpGroup || code == kNntpHead ||
         code == kNntpStat || IsOverview(code) || IsSignIn(code);
}
bool SendsKeywordAlone(int code) {
  return code == kNntpLast || code == kNntpList || code == kNntpNext || code == kNntpPost ||
         code == kNntpQuit || code == kNntpCapabilities || code == kNntpModeReader ||
         code == kNntpStartTls;
}
bool IsReaderSetUp(int code) { return code == kNntpCapabilities || code == kNntpModeReader; }
bool IsSecuritySetUp(int code) { return code == kNntpStartTls || IsSignIn(code); }
bool Queueable(int code) {
  return (SendsArgument(code) || SendsKeywordAlone(code)) && !IsReaderSetUp(code) &&
         !IsSecuritySetUp(code) && !IsOverview(code);
}
bool UpgradesInPlace(TlsMode mode) {
  return mode == TlsMode::IfOffered || mode == TlsMode::Required;
}
// A user name or password goes into one command line, so it must not end
// the line early or overrun it.
bool FitsCommandLine(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
         text.size() + 16 < CNNTPConnection::kCommandLineLimit;
}
bool IsStep(int code) { return code == kNntpLast || code == kNntpNext; }

CNNTPCommand MakeCommand(int code, std::optional<std::string> argument = std::nullopt,
                         std::shared_ptr<NntpWalkState> walk = nullptr) {
  CNNTPCommand command;
  command.code = code;
  command.argument = std::move(argument);
  command.walk = std::move(walk);
  return command;
}

// Commands whose 2xx replies the table interprets.
bool AnswersSuccess(int command) {
  return command != kNntpHelp && command != kNntpIhave && command != kNntpNewgroups &&
         command != kNntpNewnews && command != kNntpSlave;
}
// Commands whose 4xx replies the table interprets.
bool AnswersFailure(int command) {
  return AnswersSuccess(command) && command != kNntpOpen && command != kNntpList &&
         command != kNntpQuit;
}

// The line a command puts on the wire; empty for the codes that send nothing.
std::string CommandLine(const CNNTPCommand& command) {
  const std::string keyword(NntpKeyword(command.code));
  if (SendsArgument(command.code) && command.argument) {
    return keyword + " " + *command.argument + "\r\n";
  }
  if (SendsArgument(command.code) || SendsKeywordAlone(command.code)) return keyword + "\r\n";
  return {};
}

// Decimal numbers after the reply code, each 0..INT_MAX; nothing when one
// is missing, malformed or absurd.
std::optional<std::vector<long>> ReplyNumbers(std::string_view reply, std::size_t wanted) {
  std::vector<long> numbers;
  std::size_t at = 3;
  while (numbers.size() < wanted) {
    while (at < reply.size() && reply[at] == ' ') ++at;
    long value = 0;
    const auto [end, error] =
        std::from_chars(reply.data() + at, reply.data() + reply.size(), value);
    if (error != std::errc() || value < 0 || value > INT_MAX) return std::nullopt;
    numbers.push_back(value);
    at = static_cast<std::size_t>(end - reply.data());
  }
  return numbers;
}

std::optional<long> ArgumentNumber(const std::optional<std::string>& argument) {
  if (!argument) return std::nullopt;
  long value = 0;
  const auto [end, error] =
      std::from_chars(argument->data(), argument->data() + argument->size(), value);
  if (error != std::errc() || end != argument->data() + argument->size() || value > INT_MAX) {
    return std::nullopt;
  }
  return value;
}

// An article without a message-id cannot be fetched: it does not count
// towards what a walk wants.
bool HasMessageId(std::string_view block) {
  constexpr std::string_view kName = "message-id:";
  while (!block.empty()) {
    const std::size_t lf = block.find('\n');
    const std::string_view line = block.substr(0, lf);
    block.remove_prefix(lf == std::string_view::npos ? block.size() : lf + 1);
    if (line.size() >= kName.size() &&
        std::equal(kName.begin(), kName.end(), line.begin(), [](char a, char b) {
          return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
        })) {
      return true;
    }
  }
  return false;
}

// How many numbers one overview command asks for beyond what the walk
// wants, for gaps and articles the owner has already; and the most.
constexpr long kOverviewSlack = 16;
constexpr long kOverviewSpanLimit = 100'000;

NntpPostOutcome PostOutcomeOf(int code) {
  if (code / 10 == 24) return NntpPostOutcome::Posted;
  if (code == 440) return NntpPostOutcome::NotAllowed;
  return NntpPostOutcome::Failed;
}

}  // namespace

std::string_view NntpKeyword(int code) {
  return code >= 0 && code < kNntpCommandCount ? kKeywords[static_cast<std::size_t>(code)] : "";
}

CNNTPConnection::CNNTPConnection(std::uint16_t port, INntpEvents& events,
                                 IMainWindowReporter& reporter, std::string host,
                                 IResolver& resolver)
    : events_(events),
      reporter_(reporter),
      resolver_(resolver),
      host_(std::move(host)),
      port_(port) {
  // The greeting is the reply of OPEN: whatever is queued meanwhile waits.
  CNNTPCommand open = MakeCommand(kNntpOpen);
  open.sent = true;
  queue_.push_back(std::move(open));
}

CNNTPConnection::~CNNTPConnection() { Close(); }

bool CNNTPConnection::Start() {
  {
    std::lock_guard lock(queueMutex_);
    replyDeadline_ = std::chrono::steady_clock::now() + replyTimeout_;  // for the greeting
  }
  if (reader_.Start([this](std::stop_token stop) {
        const std::stop_callback wake(stop, [this] { socket_.Interrupt(); });
        Run();
      })) {
    return true;
  }
  reporter_.PostSystemError(EAGAIN);
  return false;
}

// An interrupted socket stays interrupted until closed, even one the reader
// creates after this: one interrupt ends every wait but a host look-up.
void CNNTPConnection::Close() {
  reader_.Interrupt();
  closer_.Interrupt();
  reader_.Join();
  closer_.Join();
  socket_.Close();
  // A reader that never started told no POST how it ended.
  std::lock_guard lock(queueMutex_);
  PostUnansweredLocked();
}

bool CNNTPConnection::IsIdle() const {
  std::lock_guard lock(queueMutex_);
  return queue_.empty();
}

QueueOutcome CNNTPConnection::QueueCommand(int code, std::optional<std::string> argument,
                                           std::vector<NntpWindow> windows) {
  if (!Queueable(code)) return QueueOutcome::NotSent;
  CNNTPCommand command = MakeCommand(code, std::move(argument));
  command.windows = std::move(windows);
  const std::string line = CommandLine(command);
  if (line.size() >= kCommandLineLimit ||
      (SendsArgument(code) && command.argument &&
       command.argument->find_first_of("\r\n") != std::string::npos)) {
    reporter_.PostToolMessage(kSourceNewsreader,
                              "Command: " + std::string(NntpKeyword(code)) +
                                  "\r\nThe argument is too long or holds a line end; the command "
                                  "was not sent.");
    return QueueOutcome::ArgumentTooLong;
  }
  std::vector<CNNTPCommand> one;
  one.push_back(std::move(command));
  return Enqueue(std::move(one));
}

QueueOutcome CNNTPConnection::QueueWalk(NntpWalk walk) {
  if (!IsStep(walk.step)) return QueueOutcome::NotSent;
  if (walk.count <= 0 && !walk.group) return QueueOutcome::NothingWanted;
  if (walk.group && walk.group->size() + 8 >= kCommandLineLimit) {
    return QueueOutcome::ArgumentTooLong;
  }
  auto state = std::make_shared<NntpWalkState>();
  state->walk = std::move(walk);
  const NntpWalk& wanted = state->walk;
  std::vector<CNNTPCommand> commands;
  if (wanted.group) commands.push_back(MakeCommand(kNntpGroup, wanted.group, state));
  if (wanted.count <= 0) return Enqueue(std::move(commands));  // the group selected again only
  const NntpOverview overview = [this] {
    std::lock_guard lock(queueMutex_);
    return overview_;
  }();
  if (overview != NntpOverview::None && wanted.from) {
    const bool back = wanted.step == kNntpLast;
    state->overviewNext = wanted.fromItself ? *wanted.from : *wanted.from + (back ? -1 : 1);
    // Its range is set when it goes out, after the GROUP before it.
    commands.push_back(
        MakeCommand(overview == NntpOverview::Over ? kNntpOver : kNntpXover, std::nullopt, state));
    return Enqueue(std::move(commands));
  }
  if (wanted.from) {
    commands.push_back(MakeCommand(kNntpStat, std::to_string(*wanted.from), state));
    if (!wanted.fromItself) commands.push_back(MakeCommand(wanted.step, std::nullopt, state));
  }
  commands.push_back(MakeCommand(kNntpHead, std::nullopt, state));
  return Enqueue(std::move(commands));
}

QueueOutcome CNNTPConnection::Enqueue(std::vector<CNNTPCommand> commands) {
  std::unique_lock lock(queueMutex_);
  if (ended_.load()) return QueueOutcome::Ended;
  const bool wasIdle = queue_.empty();
  for (CNNTPCommand& command : commands) queue_.push_back(std::move(command));
  if (wasIdle) {
    events_.BusyChanged(true);
    SendFront(lock);
  }
  return QueueOutcome::Queued;
}

void CNNTPConnection::Disconnect(std::chrono::milliseconds grace) {
  {
    std::unique_lock lock(queueMutex_);
    if (ended_.load() || quitting_) return;
    quitting_ = true;
    if (!queue_.empty()) {
      // What is on the wire already keeps its place: its reply comes first.
      auto behind = std::remove_if(queue_.begin() + 1, queue_.end(), [](const CNNTPCommand& c) {
        return c.code != kNntpPost && !c.sent;
      });
      queue_.erase(behind, queue_.end());
      auto at = std::find_if(queue_.begin() + 1, queue_.end(),
                             [](const CNNTPCommand& c) { return !c.sent; });
      queue_.insert(at, MakeCommand(kNntpQuit));
    } else {
      queue_.push_back(MakeCommand(kNntpQuit));
      events_.BusyChanged(true);
      SendFront(lock);
    }
  }
  const bool started = closer_.Start([this, grace](std::stop_token stop) {
    std::unique_lock lock(endMutex_);
    if (!endCondition_.wait_for(lock, stop, grace, [this] { return ended_.load(); }) &&
        !stop.stop_requested()) {
      socket_.Interrupt();
    }
  });
  if (!started) reporter_.PostSystemError(EAGAIN);
}

void CNNTPConnection::Run() {
  NntpEnd end = NntpEnd::Failed;
  if (ConnectToServer() && (security_.mode != TlsMode::Implicit || SecureSocket())) {
    connected_.store(true);
    end = ReadReplies();
  }
  EndThread(end);
}

bool CNNTPConnection::ConnectToServer() {
  const SocketStatus status = socket_.Connect(host_, port_, resolver_);
  if (!status) ReportConnectError(reporter_, status, socket_);
  return static_cast<bool>(status);
}

// Waits until bytes can be read: nothing then (or when the wait failed, which
// the receive reports); how the connection ends when the reply in flight
// has taken longer than the reply time-out. While nothing is awaited it
// looks again every second, so a command queued meanwhile gets its time-out.
std::optional<NntpEnd> CNNTPConnection::AwaitBytes() {
  using namespace std::chrono;
  constexpr milliseconds kIdleLook{1000};
  for (;;) {
    std::optional<steady_clock::time_point> deadline;
    {
      std::lock_guard lock(queueMutex_);
      if (!queue_.empty() && replyTimeout_.count() > 0) deadline = replyDeadline_;
    }
    milliseconds wait = kIdleLook;
    if (deadline) {
      const auto left = ceil<milliseconds>(*deadline - steady_clock::now());
      if (left.count() <= 0) {
        const auto limit = ceil<seconds>(replyTimeout_).count();
        reporter_.PostToolMessage(kSourceNewsreader, "The server did not answer within " +
                                                         std::to_string(limit) +
                                                         (limit == 1 ? " second" : " seconds") +
                                                         "; the connection was closed.");
        return NntpEnd::Failed;
      }
      wait = std::min(wait, left);
    }
    bool ready = false;
    if (!socket_.WaitReadable(static_cast<int>(wait.count()), ready) || ready) return std::nullopt;
  }
}

NntpEnd CNNTPConnection::ReadReplies() {
  std::string chunk(kReceiveChunk, '\0');
  for (;;) {
    if (const auto timedOut = AwaitBytes()) return *timedOut;
    const SocketCount got = socket_.Recv(chunk.data(), chunk.size());
    const bool asked = [this] {
      std::lock_guard lock(queueMutex_);
      return quitting_;
    }();
    if (!got) {
      if (asked) return NntpEnd::Asked;
      ReportSocketError(reporter_, got);
      return NntpEnd::Failed;
    }
    if (got.bytes == 0) return asked ? NntpEnd::Asked : NntpEnd::ByServer;
    AcknowledgeAtOnce();
    framer_.Feed(std::string_view(chunk.data(), static_cast<std::size_t>(got.bytes)));
    if (!ParseReceived()) return NntpEnd::Failed;
    if (upgradeNow_ && !Upgrade()) return NntpEnd::Failed;
  }
}

// A server that writes a reply in pieces waits (Nagle) for each piece to be
// acknowledged; a delayed acknowledgement would hold every reply of a walk
// for tens of milliseconds. Linux turns quick acknowledgement off again by
// itself, so it is asked for after every receive.
void CNNTPConnection::AcknowledgeAtOnce() {
  const int on = 1;
  (void)socket_.SetOption(IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

// Replies and the data blocks after them, as far as the bytes go. False,
// said why, when the server passed a bound: the stream is not followed on.
bool CNNTPConnection::ParseReceived() {
  for (;;) {
    if (abandoned_) return false;
    // What follows 382 is the handshake, never more plain text.
    if (upgradeNow_) return true;
    if (state_ == kStatus) {
      Reply reply;
      const ReplyStatus status = framer_.Next(reply);
      if (status == ReplyStatus::Incomplete) return true;
      if (status != ReplyStatus::Complete) return ReportOverlong();
      state_ = Interpret(reply.lines.front());
      if (state_ != kStatus) {
        block_.clear();
        framer_.StartBlock(blockLimit_);
      }
      continue;
    }
    std::string_view line;
    const BlockStatus status = framer_.NextBlockLine(line);
    if (status == BlockStatus::Incomplete) return true;
    if (status == BlockStatus::Line) {
      block_.append(line).append("\r\n");
      continue;
    }
    if (status == BlockStatus::End) {
      std::string block;
      block.swap(block_);
      DeliverBlock(std::move(block));
      continue;
    }
    if (status == BlockStatus::TooLarge) {
      reporter_.PostToolMessage(kSourceNewsreader,
                                "The server sent more than " + std::to_string(blockLimit_ >> 20) +
                                    " MiB for one reply; it was not read and the connection was "
                                    "closed.");
      return false;
    }
    return ReportOverlong();
  }
}

bool CNNTPConnection::ReportOverlong() {
  reporter_.PostToolMessage(kSourceNewsreader, "The server sent a line longer than " +
                                                   std::to_string(kLineLimit) +
                                                   " bytes; the connection was closed.");
  return false;
}

int CNNTPConnection::Interpret(const std::string& reply) {
  CNNTPCommand front;
  bool walkEnded = false;
  {
    std::lock_guard lock(queueMutex_);
    if (queue_.empty()) return kStatus;
    front.code = queue_.front().code;
    front.walk = queue_.front().walk;
    walkEnded = front.walk && front.walk->ended;
  }
  const int command = front.code;
  const int code = (reply[0] - '0') * 100 + (reply[1] - '0') * 10 + (reply[2] - '0');
  // The reply to a command sent before its walk ended is read and dropped.
  if (walkEnded) {
    if (code == 221) return kHeaders;
    if (code == 224) return kOverview;
    Complete();
    return kStatus;
  }
  if (IsOverview(command)) return InterpretOverview(reply, code, command);
  if (IsReaderSetUp(command)) return InterpretReaderSetUp(reply, code, command);
  if (command == kNntpStartTls) return InterpretStartTls(reply, code);
  if (IsSignIn(command)) return InterpretSignIn(reply, code, command);
  if (code == 480 && SignInOnDemand()) return kStatus;
  if (code / 100 == 2 && AnswersSuccess(command)) return InterpretSuccess(reply, code, front);
  if (code / 10 == 34 && command == kNntpPost) {
    SendArticleOfPost();
    return kStatus;
  }
  if (code / 100 == 4 && AnswersFailure(command)) {
    InterpretFailure(reply, code, command);
    return kStatus;
  }
  Refused(reply, command);
  return kStatus;
}

// CAPABILITIES, then MODE READER unless the list says READER: a server that
// switches modes refuses reader commands until it is asked. A server too old
// for either answers 500, which changes nothing.
int CNNTPConnection::InterpretReaderSetUp(const std::string& reply, int code, int command) {
  if (command == kNntpCapabilities && code == 101) return kCapabilities;
  if (command == kNntpCapabilities) {
    PlanSetUp(std::nullopt);
    return kStatus;
  }
  if (code == 200 || code == 201) {
    events_.Greeted(code == 200);
  } else if (code != 500 && code != 501) {
    Refused(reply, command);
    return kStatus;
  }
  Complete();
  return kStatus;
}

void CNNTPConnection::CapabilitiesArrived(std::string_view list) {
  PlanSetUp(ParseNntpCapabilities(list));
}

// What the server said it offers (nothing when it lists nothing) decides
// the set-up commands ahead of everything queued: STARTTLS first, as the
// list read again over TLS is the one to trust; then MODE READER; then the
// sign-in. Nothing is switched or signed in again after a sign-in.
void CNNTPConnection::PlanSetUp(const std::optional<NntpCapabilities>& offered) {
  std::unique_lock lock(queueMutex_);
  offered_ = offered;
  if (overviewAllowed_) overview_ = offered ? offered->overview : NntpOverview::None;
  std::vector<CNNTPCommand> next;
  if (const auto failure = SetUpCommandsLocked(offered, next)) {
    lock.unlock();
    Abandon(*failure);
    return;
  }
  // Never an empty range: the deque would move its elements onto themselves.
  if (!next.empty()) queue_.insert(queue_.begin() + 1, next.begin(), next.end());
  CompleteLocked(lock);
}

std::optional<std::string> CNNTPConnection::SetUpCommandsLocked(
    const std::optional<NntpCapabilities>& offered, std::vector<CNNTPCommand>& next) {
  if (signedIn_) return std::nullopt;
  if (UpgradesInPlace(security_.mode) && !socket_.IsSecured() && !upgradeRefused_) {
    if (offered && offered->startTls) {
      next.push_back(MakeCommand(kNntpStartTls));
      return std::nullopt;
    }
    if (security_.mode == TlsMode::Required) {
      return "The server " + host_ +
             " does not offer TLS (STARTTLS); nothing was sent in clear "
             "text and the connection was closed.";
    }
  }
  if (!offered || !offered->reader) next.push_back(MakeCommand(kNntpModeReader));
  if (security_.user.empty() || signInStarted_ || (offered && !offered->userSignIn)) {
    return std::nullopt;
  }
  return SignInLocked(next);
}

// AUTHINFO USER, when the password may go over this connection.
std::optional<std::string> CNNTPConnection::SignInLocked(std::vector<CNNTPCommand>& next) {
  signInStarted_ = true;
  if (!socket_.IsSecured() && !security_.plainSignInAllowed) {
    return "The connection to " + host_ +
           " is not secured with TLS: the password was not sent "
           "and the connection was closed. Choose TLS, or allow signing in without TLS for "
           "this server.";
  }
  if (!FitsCommandLine(security_.user) || !FitsCommandLine(security_.password)) {
    return "The user name or password is too long or holds a line end; it was not sent.";
  }
  next.push_back(MakeCommand(kNntpAuthUser, security_.user));
  return std::nullopt;
}

// 382: the handshake comes next. A refusal ends a connection that must be
// secured; one that only prefers TLS carries on in clear text.
int CNNTPConnection::InterpretStartTls(const std::string& reply, int code) {
  if (code == 382) {
    upgradeNow_ = true;
    return kStatus;
  }
  if (security_.mode == TlsMode::Required) {
    Abandon("The server " + host_ + " refused to secure the connection:\r\n" + reply);
    return kStatus;
  }
  upgradeRefused_ = true;
  PlanSetUp(offered_);
  return kStatus;
}

// 381 asks for the password; 281 signs in, after which the server's list
// may differ and is read again. Anything else ends the connection: the
// commands behind would only be refused.
int CNNTPConnection::InterpretSignIn(const std::string& reply, int code, int command) {
  std::unique_lock lock(queueMutex_);
  if (code == 381 && command == kNntpAuthUser) {
    queue_.insert(queue_.begin() + 1, MakeCommand(kNntpAuthPass, security_.password));
  } else if (code == 281) {
    signedIn_ = true;
    queue_.insert(queue_.begin() + 1, MakeCommand(kNntpCapabilities));
  } else {
    lock.unlock();
    events_.CommandRefused(command, reply);
    Abandon("The server " + host_ + " refused the sign-in as " + security_.user + ".");
    return kStatus;
  }
  CompleteLocked(lock);
  return kStatus;
}

// 480 to a command while a user name is set and no sign-in has been tried:
// sign in, then send the command again. Not for a command sent with others
// behind it (a walk's step and its HEAD), whose replies are on their way.
bool CNNTPConnection::SignInOnDemand() {
  std::unique_lock lock(queueMutex_);
  if (security_.user.empty() || signInStarted_ || queue_.empty() ||
      (queue_.size() > 1 && queue_[1].sent)) {
    return false;
  }
  std::vector<CNNTPCommand> next;
  if (const auto failure = SignInLocked(next)) {
    lock.unlock();
    Abandon(*failure);
    return true;
  }
  queue_.front().sent = false;
  queue_.push_front(std::move(next.front()));
  SendFront(lock);
  return true;
}

// Bytes already read after the 382 came in clear text where only the
// handshake may: someone other than the server may have put them there.
bool CNNTPConnection::Upgrade() {
  upgradeNow_ = false;
  if (framer_.BufferedSize() != 0) {
    Abandon("The server " + host_ +
            " sent clear text where the secure connection should have "
            "begun; the connection was closed.");
    return false;
  }
  if (!SecureSocket()) return false;
  framer_.Reset();
  std::unique_lock lock(queueMutex_);
  queue_.insert(queue_.begin() + 1, MakeCommand(kNntpCapabilities));
  CompleteLocked(lock);
  return true;
}

bool CNNTPConnection::SecureSocket() {
  TlsClientOptions options = security_.tls;
  options.host = host_;
  options.port = port_;
  TlsHandshakeReport report;
  const SocketStatus status = socket_.StartTls(options, report);
  if (status) {
    secured_.store(true);
    return true;
  }
  if (status.userInterrupted()) return false;
  if (AsksForTrust(report)) {
    events_.CertificateNotTrusted(report);
  } else {
    std::string why = SocketErrorText(status.error);
    if (!report.detail.empty()) why += "\r\n" + report.detail;
    reporter_.PostToolMessage(kSourceNewsreader,
                              "The secure connection to " + host_ + " failed:\r\n" + why);
  }
  return false;
}

void CNNTPConnection::Abandon(const std::string& why) {
  abandoned_ = true;
  reporter_.PostToolMessage(kSourceNewsreader, why);
}

// 224 brings the range; 423 says it holds no article, which a walk steps
// over like a gap. A server that refuses the command otherwise (500, 501,
// 503) does not keep an overview: the walk goes on with HEAD from where it
// is, and later walks use HEAD from the start.
int CNNTPConnection::InterpretOverview(const std::string& reply, int code, int command) {
  if (code == 224) return kOverview;
  if (code == 423) {
    OverviewArrived({});
  } else if (code / 100 == 5) {
    OverviewRefused();
  } else {
    Refused(reply, command);
  }
  return kStatus;
}

// The range's articles in the walk's order, counted as a HEAD walk counts
// them; then the next range, or the end of the walk at the group's edge,
// when enough have counted, or after too many ranges without any article.
void CNNTPConnection::OverviewArrived(std::string_view block) {
  std::unique_lock lock(queueMutex_);
  if (queue_.empty()) return;
  CNNTPCommand& over = queue_.front();
  const auto walk = over.walk;
  if (!IsOverview(over.code) || !walk || walk->ended || quitting_) {
    DropWalkLocked(walk);
    CompleteLocked(lock);
    return;
  }
  const bool back = walk->walk.step == kNntpLast;
  std::vector<NntpHeaderBlock> headers =
      OverviewHeaders(block, walk->overviewLow, walk->overviewHigh);
  std::sort(headers.begin(), headers.end(), [back](const auto& a, const auto& b) {
    return back ? a.number > b.number : a.number < b.number;
  });
  if (headers.empty()) ++walk->backOffs;
  for (NntpHeaderBlock& header : headers) {
    if (walk->walk.count <= 0) break;
    if (!walk->seen.insert(header.number).second) continue;
    if (walk->walk.known.count(header.number) == 0 && HasMessageId(header.text)) {
      --walk->walk.count;
    }
    walk->batch.push_back(std::move(header));
  }
  walk->overviewNext = back ? walk->overviewLow - 1 : walk->overviewHigh + 1;
  const bool inGroup =
      back ? walk->overviewNext >= std::max(groupFirst_, 1L) : walk->overviewNext <= groupLast_;
  if (walk->walk.count <= 0 || !inGroup || walk->backOffs > kBackOffLimit) {
    DropWalkLocked(walk);
    CompleteLocked(lock);
    return;
  }
  FlushHeaders(*walk);
  over.sent = false;
  over.argument.reset();
  SendFront(lock);
}

// The range after the walk's next number: as many as it wants and a few
// more, within the group's range where that is known.
void CNNTPConnection::SetOverviewRangeLocked(CNNTPCommand& over) {
  NntpWalkState& walk = *over.walk;
  const long span = std::clamp(walk.walk.count + kOverviewSlack, 1L, kOverviewSpanLimit);
  const long next = std::clamp(walk.overviewNext, 1L, static_cast<long>(INT_MAX));
  if (walk.walk.step == kNntpLast) {
    walk.overviewHigh = next;
    walk.overviewLow = std::max({next - span + 1, groupFirst_, 1L});
    walk.overviewLow = std::min(walk.overviewLow, next);
  } else {
    walk.overviewLow = next;
    walk.overviewHigh = next + span - 1;
    if (groupLast_ >= next) walk.overviewHigh = std::min(walk.overviewHigh, groupLast_);
  }
  over.argument = std::to_string(walk.overviewLow) + "-" + std::to_string(walk.overviewHigh);
}

void CNNTPConnection::OverviewRefused() {
  std::unique_lock lock(queueMutex_);
  overview_ = NntpOverview::None;
  const auto walk = queue_.empty() ? nullptr : queue_.front().walk;
  if (walk && !walk->ended) {
    const std::array<CNNTPCommand, 2> rest = {
        MakeCommand(kNntpStat, std::to_string(std::max(walk->overviewNext, 1L)), walk),
        MakeCommand(kNntpHead, std::nullopt, walk)};
    queue_.insert(queue_.begin() + 1, rest.begin(), rest.end());
    // The walk goes on: the refused command's end is not the walk's.
    queue_.front().walk.reset();
  }
  CompleteLocked(lock);
}

int CNNTPConnection::InterpretSuccess(const std::string& reply, int code,
                                      const CNNTPCommand& command) {
  switch (code) {
    case 200:
    case 201:
      if (command.code == kNntpOpen) {
        events_.Greeted(code == 200);
        // Before anything queued meanwhile: is the server a reader already?
        std::lock_guard lock(queueMutex_);
        queue_.insert(queue_.begin() + 1, MakeCommand(kNntpCapabilities));
      }
      break;
    case 211:
      GroupSelected(reply);
      break;
    case 215:
      return kGroupList;
    case 220:
      return kArticle;
    case 221: {
      const auto number = ReplyNumbers(reply, 1);
      articleNumber_ = number ? number->front() : 0;
      return kHeaders;
    }
    case 222:
      return kBody;
    default:
      if (code / 10 == 24 && command.code == kNntpPost) {
        std::lock_guard lock(queueMutex_);
        PostOutcomeOnce(queue_.front(), NntpPostOutcome::Posted, reply);
      }
      break;
  }
  Complete();
  return kStatus;
}

void CNNTPConnection::InterpretFailure(const std::string& reply, int code, int command) {
  if (code == 411) {
    events_.GroupUnavailable(NntpGroupProblem::Gone);
  } else if ((code == 421 || code == 422) && (IsStep(command) || command == kNntpStat)) {
    EndWalk();
    return;
  } else if (code == 423 && command == kNntpStat) {
    BackOff();
    return;
  } else if ((code == 423 || code == 430) && (command == kNntpArticle || command == kNntpBody)) {
    events_.ArticleArrived(std::nullopt);
  } else if (code / 10 == 44 && command == kNntpPost) {
    std::lock_guard lock(queueMutex_);
    PostOutcomeOnce(queue_.front(), PostOutcomeOf(code), reply);
  } else {
    Refused(reply, command);
    return;
  }
  std::unique_lock lock(queueMutex_);
  if (!queue_.empty()) DropWalkLocked(queue_.front().walk);
  CompleteLocked(lock);
}

// A reply the table has no use for: the server said no, in its own words.
// The walk the command belonged to ends with it.
void CNNTPConnection::Refused(const std::string& reply, int command) {
  if (command != kNntpPost) events_.CommandRefused(command, reply);
  std::unique_lock lock(queueMutex_);
  if (queue_.empty()) return;
  if (command == kNntpPost) PostOutcomeOnce(queue_.front(), NntpPostOutcome::Unanswered, reply);
  DropWalkLocked(queue_.front().walk);
  CompleteLocked(lock);
}

void CNNTPConnection::GroupSelected(const std::string& reply) {
  const auto numbers = ReplyNumbers(reply, 3);
  std::shared_ptr<NntpWalkState> walk;
  {
    std::lock_guard lock(queueMutex_);
    walk = queue_.front().walk;
    if (numbers) {
      groupFirst_ = (*numbers)[1];
      groupLast_ = (*numbers)[2];
    }
  }
  if (!numbers) {
    events_.GroupUnavailable(NntpGroupProblem::Empty);
  } else {
    events_.GroupSelected({(*numbers)[0], (*numbers)[1], (*numbers)[2]}, walk != nullptr);
  }
  if (!numbers || (*numbers)[0] == 0) {
    std::lock_guard lock(queueMutex_);
    DropWalkLocked(walk);
  }
}

void CNNTPConnection::EndWalk() {
  std::unique_lock lock(queueMutex_);
  DropWalkLocked(queue_.front().walk);
  CompleteLocked(lock);
}

void CNNTPConnection::BackOff() {
  std::unique_lock lock(queueMutex_);
  const auto walk = queue_.front().walk;
  const auto number = ArgumentNumber(queue_.front().argument);
  const long next = number ? *number - 1 : 0;
  const bool exhausted = walk && ++walk->backOffs > kBackOffLimit;
  if (next <= 0 || next < groupFirst_ || exhausted) {
    // Nothing left to start from: the walk behind the STAT goes too.
    DropWalkLocked(walk);
    lock.unlock();
    events_.GroupUnavailable(NntpGroupProblem::Empty);
    lock.lock();
  } else {
    queue_.insert(queue_.begin() + 1, MakeCommand(kNntpStat, std::to_string(next), walk));
  }
  CompleteLocked(lock);
}

void CNNTPConnection::SendArticleOfPost() {
  std::string article;
  {
    std::lock_guard lock(queueMutex_);
    article = queue_.front().argument.value_or(std::string());
  }
  if (!SendAll(article)) Complete();
}

void CNNTPConnection::PostOutcomeOnce(CNNTPCommand& post, NntpPostOutcome outcome,
                                      const std::string& reply) {
  if (post.code != kNntpPost || post.outcomePosted) return;
  post.outcomePosted = true;
  for (const NntpWindow window : post.windows) events_.PostEnded(window, outcome, reply);
}

// A posting window waits hidden for its POST's outcome: every POST that
// ends without the server's verdict still tells its windows.
void CNNTPConnection::PostUnansweredLocked() {
  for (CNNTPCommand& command : queue_) {
    PostOutcomeOnce(command, NntpPostOutcome::Unanswered, std::string());
  }
}

// The walk's commands still waiting go; one on the wire stays, so its reply
// is read, and is then dropped because the walk has ended.
void CNNTPConnection::DropWalkLocked(const std::shared_ptr<NntpWalkState>& walk) {
  if (!walk || walk->ended) return;
  walk->ended = true;
  FlushHeaders(*walk);
  if (queue_.empty()) return;
  auto behind = std::remove_if(queue_.begin() + 1, queue_.end(),
                               [&](const CNNTPCommand& c) { return c.walk == walk && !c.sent; });
  queue_.erase(behind, queue_.end());
}

void CNNTPConnection::FlushHeaders(NntpWalkState& walk) {
  if (walk.batch.empty()) return;
  std::vector<NntpHeaderBlock> batch;
  batch.swap(walk.batch);
  events_.HeadersArrived(std::move(batch), walk.walk.step);
}

void CNNTPConnection::DeliverBlock(std::string block) {
  const int state = state_;
  state_ = kStatus;
  switch (state) {
    case kGroupList:
      events_.GroupListArrived(std::move(block));
      break;
    case kHeaders:
      HeadersDelivered(std::move(block));
      return;
    case kCapabilities:
      CapabilitiesArrived(block);
      return;
    case kOverview:
      OverviewArrived(block);
      return;
    default:
      events_.ArticleArrived(std::move(block));
      break;
  }
  Complete();
}

// One header of a walk: it counts unless the owner has it already; the walk
// ends when enough have counted, at the group's first article, or when the
// server shows an article a second time. Otherwise the step and the next
// HEAD go out together.
void CNNTPConnection::HeadersDelivered(std::string block) {
  std::unique_lock lock(queueMutex_);
  if (queue_.empty()) return;
  CNNTPCommand& head = queue_.front();
  const auto walk = head.walk;
  const long number = articleNumber_;
  if (head.code != kNntpHead || !walk) {
    lock.unlock();
    std::vector<NntpHeaderBlock> one;
    one.push_back({number, std::move(block)});
    events_.HeadersArrived(std::move(one), kNntpLast);
    Complete();
    return;
  }
  if (walk->ended || quitting_ || !walk->seen.insert(number).second ||
      (walk->walk.step == kNntpLast && number < groupFirst_)) {
    DropWalkLocked(walk);
    CompleteLocked(lock);
    return;
  }
  if (walk->walk.known.count(number) == 0 && HasMessageId(block)) --walk->walk.count;
  walk->batch.push_back({number, std::move(block)});
  const bool atFirst = walk->walk.step == kNntpLast && number <= groupFirst_;
  if (walk->walk.count <= 0 || atFirst) {
    DropWalkLocked(walk);
    CompleteLocked(lock);
    return;
  }
  if (walk->batch.size() >= kHeaderBatch) FlushHeaders(*walk);
  head.sent = false;
  queue_.push_front(MakeCommand(walk->walk.step, std::nullopt, walk));
  SendFront(lock);
}

void CNNTPConnection::Complete() {
  std::unique_lock lock(queueMutex_);
  CompleteLocked(lock);
}

void CNNTPConnection::CompleteLocked(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return;
  CNNTPCommand& front = queue_.front();
  PostOutcomeOnce(front, NntpPostOutcome::Unanswered, std::string());
  if ((front.code == kNntpHead || IsOverview(front.code)) && front.walk) {
    front.walk->ended = true;
    FlushHeaders(*front.walk);
  }
  queue_.pop_front();
  if (queue_.empty()) {
    events_.BusyChanged(false);
    return;
  }
  SendFront(lock);
}

// A walk's step goes out with the HEAD behind it, so the server answers
// both without waiting for another round trip.
void CNNTPConnection::SendFront(std::unique_lock<std::mutex>& lock) {
  CNNTPCommand& front = queue_.front();
  replyDeadline_ = std::chrono::steady_clock::now() + replyTimeout_;
  if (front.sent) return;
  front.sent = true;
  if (IsOverview(front.code) && front.walk && !front.argument) SetOverviewRangeLocked(front);
  std::string line = CommandLine(front);
  if (IsStep(front.code) && front.walk && queue_.size() > 1) {
    CNNTPCommand& head = queue_[1];
    if (head.code == kNntpHead && head.walk == front.walk && !head.sent) {
      head.sent = true;
      line += CommandLine(head);
    }
  }
  lock.unlock();
  if (!line.empty()) SendAll(line);
  lock.lock();
}

bool CNNTPConnection::SendAll(std::string_view bytes) {
  std::lock_guard lock(sendMutex_);
  while (!bytes.empty()) {
    const SocketCount sent = socket_.Send(bytes.data(), bytes.size());
    if (!sent) {
      ReportSocketError(reporter_, sent);
      // The reply will never come: end the connection rather than wait.
      socket_.Interrupt();
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent.bytes));
  }
  return true;
}

void CNNTPConnection::EndThread(NntpEnd end) {
  // The server sees the end at once; the descriptor is closed by Close().
  socket_.Interrupt();
  {
    // Under the queue lock, so no POST is queued between the last outcome
    // and the end becoming visible to QueueCommand.
    std::lock_guard queueLock(queueMutex_);
    PostUnansweredLocked();
    std::lock_guard lock(endMutex_);
    ended_.store(true);
    endCondition_.notify_all();
  }
  events_.Closed(end);
}

}  // namespace netrove
