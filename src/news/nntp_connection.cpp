#include "news/nntp_connection.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>

namespace netrove {
namespace {

constexpr std::array<std::string_view, kNntpCommandCount> kKeywords = {
    "OPEN", "ARTICLE",   "BODY",    "GROUP", "HEAD", "HELP", "IHAVE", "LAST",
    "LIST", "NEWGROUPS", "NEWNEWS", "NEXT",  "POST", "QUIT", "SLAVE", "STAT"};

constexpr std::size_t kReceiveChunk = 64 * 1024;

bool SendsArgument(int code) {
  return code == kNntpArticle || code == kNntpBody || code == kNntpGroup || code == kNntpHead ||
         code == kNntpStat;
}
bool SendsKeywordAlone(int code) {
  return code == kNntpLast || code == kNntpList || code == kNntpNext || code == kNntpPost ||
         code == kNntpQuit;
}
bool Queueable(int code) {
  return code == kNntpOpen || SendsArgument(code) || SendsKeywordAlone(code);
}
NntpMessage Message(unsigned id, long wParam = 0, long lParam = 0) {
  NntpMessage message;
  message.id = id;
  message.wParam = wParam;
  message.lParam = lParam;
  return message;
}

NntpMessage TextMessage(unsigned id, long lParam, std::string_view text) {
  NntpMessage message = Message(id, 0, lParam);
  message.text = text;
  message.hasText = true;
  return message;
}

CNNTPCommand MakeCommand(int code, std::optional<std::string> argument = std::nullopt,
                         long count = 0, int step = kNntpLast) {
  CNNTPCommand command;
  command.code = code;
  command.argument = std::move(argument);
  command.count = count;
  command.step = step;
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

}  // namespace

std::string_view NntpKeyword(int code) {
  return code >= 0 && code < kNntpCommandCount ? kKeywords[static_cast<std::size_t>(code)] : "";
}

CNNTPConnection::CNNTPConnection(std::uint16_t port, INntpWindows& windows,
                                 IMainWindowReporter& reporter, std::string host,
                                 IResolver& resolver)
    : windows_(windows),
      reporter_(reporter),
      resolver_(resolver),
      host_(std::move(host)),
      port_(port) {
  // The greeting is the reply of OPEN: whatever is queued meanwhile waits.
  queue_.push_back(MakeCommand(kNntpOpen));
}

CNNTPConnection::~CNNTPConnection() { Close(); }

bool CNNTPConnection::Start() {
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
}

void CNNTPConnection::SetStepCommand(int code) { stepCommand_.store(code); }

bool CNNTPConnection::IsIdle() const {
  std::lock_guard lock(queueMutex_);
  return queue_.empty();
}

QueueOutcome CNNTPConnection::QueueCommand(int code, std::optional<std::string> argument,
                                           long count, std::vector<NntpWindow> windows) {
  if (!Queueable(code) || code == kNntpOpen) return QueueOutcome::NotSent;
  if (code == kNntpHead && count <= 0) return QueueOutcome::NothingWanted;
  CNNTPCommand command = MakeCommand(code, std::move(argument), count, stepCommand_.load());
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
  std::unique_lock lock(queueMutex_);
  if (ended_.load()) return QueueOutcome::Ended;
  queue_.push_back(std::move(command));
  if (queue_.size() == 1) {
    windows_.Post(NntpPane::List, Message(WM_NNTP_BUSY, 1));
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
      auto behind = std::remove_if(queue_.begin() + 1, queue_.end(),
                                   [](const CNNTPCommand& c) { return c.code != kNntpPost; });
      queue_.erase(behind, queue_.end());
      queue_.insert(queue_.begin() + 1, MakeCommand(kNntpQuit));
    } else {
      queue_.push_back(MakeCommand(kNntpQuit));
      windows_.Post(NntpPane::List, Message(WM_NNTP_BUSY, 1));
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
  if (ConnectToServer()) {
    connected_.store(true);
    ReadReplies();
  }
  EndThread();
}

bool CNNTPConnection::ConnectToServer() {
  SocketStatus status = socket_.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (status) status = socket_.Connect(host_, port_, resolver_);
  if (!status) ReportSocketError(reporter_, status);
  return static_cast<bool>(status);
}

void CNNTPConnection::ReadReplies() {
  std::string chunk(kReceiveChunk, '\0');
  for (;;) {
    const SocketCount got = socket_.Recv(chunk.data(), chunk.size());
    if (!got) {
      ReportSocketError(reporter_, got);
      return;
    }
    if (got.bytes == 0) return;
    received_.Append(std::string_view(chunk.data(), static_cast<std::size_t>(got.bytes)));
    if (!ParseReceived()) return;
  }
}

bool CNNTPConnection::ParseReceived() {
  std::string text;
  for (;;) {
    FrameResult result;
    long lines = 0;
    if (state_ == kStatus) {
      result = received_.NextStatus(text);
      if (result == FrameResult::Complete) state_ = Interpret(text);
    } else {
      result = received_.NextBlock(text, lines);
      if (result == FrameResult::Complete) DeliverBlock(text, lines);
    }
    if (result == FrameResult::Incomplete) return true;
    if (result == FrameResult::TooLong) {
      reporter_.PostToolMessage(kSourceNewsreader,
                                "The server sent a line longer than " +
                                    std::to_string(CNntpReceiveBuffer::kDefaultMaxLine) +
                                    " bytes; the connection was closed.");
      return false;
    }
  }
}

long CNNTPConnection::SendToPane(NntpPane pane, NntpMessage message) {
  return windows_.Send(pane, message);
}

int CNNTPConnection::Interpret(const std::string& reply) {
  int command;
  {
    std::lock_guard lock(queueMutex_);
    if (queue_.empty()) return kStatus;
    command = queue_.front().code;
  }
  const int code = (reply[0] - '0') * 100 + (reply[1] - '0') * 10 + (reply[2] - '0');
  if (code / 100 == 2 && AnswersSuccess(command)) return InterpretSuccess(reply, code, command);
  if (code / 10 == 34 && command == kNntpPost) {
    SendArticleOfPost();
    return kStatus;
  }
  if (code / 100 == 4 && AnswersFailure(command)) {
    InterpretFailure(code, command);
    return kStatus;
  }
  if (code / 100 == 5 && (code % 10 == 2 || code % 10 == 3)) {
    windows_.Post(NntpPane::List, Message(WM_NNTP_FAULT, code % 10 == 2 ? 502 : 503, command));
  }
  Complete();
  return kStatus;
}

int CNNTPConnection::InterpretSuccess(const std::string& reply, int code, int command) {
  switch (code) {
    case 200:
    case 201:
      SendToPane(NntpPane::Header, Message(WM_NNTP_STATUS, code));
      break;
    case 211:
      GroupSelected(reply);
      break;
    case 215:
      SendToPane(NntpPane::List, Message(WM_NNTP_GROUPLIST));
      SendToPane(NntpPane::Header, Message(WM_NNTP_GROUPINFO));
      return kGroupList;
    case 220:
      return kArticle;
    case 221: {
      const auto number = ReplyNumbers(reply, 1);
      articleNumber_ = number ? static_cast<int>(number->front()) : 0;
      return kHeaders;
    }
    case 222:
      return kBody;
    default:
      if (code / 10 == 24) PostPostingStatus(240, 0);
      break;
  }
  (void)command;
  Complete();
  return kStatus;
}

void CNNTPConnection::InterpretFailure(int code, int command) {
  if (code == 411) {
    SendToPane(NntpPane::Header, Message(WM_NNTP_GROUPINFO, 411));
  } else if (code == 421 || code == 422) {
    EndWalk();
    return;
  } else if (code == 423 && command == kNntpStat) {
    BackOff();
    return;
  } else if ((code == 423 || code == 430) && command != kNntpHead) {
    SendToPane(NntpPane::Text, Message(WM_NNTP_ARTICLE));
  } else if (code / 10 == 44) {
    PostPostingStatus(code % 10 == 0 ? 440 : 441, command);
  }
  Complete();
}

void CNNTPConnection::GroupSelected(const std::string& reply) {
  const auto numbers = ReplyNumbers(reply, 3);
  const long count = numbers ? (*numbers)[0] : 0;
  if (numbers) {
    const long first = (*numbers)[1];
    const long last = (*numbers)[2];
    {
      std::lock_guard lock(queueMutex_);
      groupFirst_ = first;
    }
    SendToPane(NntpPane::Header, Message(WM_NNTP_GROUPINFO, 212, first));
    SendToPane(NntpPane::Header, Message(WM_NNTP_GROUPINFO, 213, last));
    if (count > 0) {
      const long wanted = SendToPane(NntpPane::Header, Message(WM_NNTP_GROUPINFO, 200, count));
      if (wanted > 0) {
        std::lock_guard lock(queueMutex_);
        if (quitting_) return;
        // A group's walk starts at its newest article and goes back.
        queue_.push_back(MakeCommand(kNntpStat, std::to_string(last)));
        queue_.push_back(MakeCommand(kNntpHead, std::nullopt, wanted));
      }
      return;
    }
  }
  SendToPane(NntpPane::Header, Message(WM_NNTP_GROUPINFO, 211, 0));
}

void CNNTPConnection::EndWalk() {
  std::unique_lock lock(queueMutex_);
  // Only a walk's step command has a HEAD behind it to drop as well.
  const int front = queue_.front().code;
  if ((front == kNntpLast || front == kNntpNext) && queue_.size() > 1 &&
      queue_[1].code == kNntpHead) {
    queue_.pop_front();
  }
  CompleteLocked(lock);
}

void CNNTPConnection::BackOff() {
  std::unique_lock lock(queueMutex_);
  const auto number = ArgumentNumber(queue_.front().argument);
  const long next = number ? *number - 1 : 0;
  if (next <= 0 || next < groupFirst_) {
    // Nothing left to start from: the walk behind the STAT goes too.
    while (queue_.size() > 1 && (queue_[1].code == kNntpLast || queue_[1].code == kNntpNext ||
                                 queue_[1].code == kNntpHead)) {
      queue_.erase(queue_.begin() + 1);
    }
    lock.unlock();
    SendToPane(NntpPane::Header, Message(WM_NNTP_GROUPINFO, 211, 0));
    lock.lock();
  } else {
    queue_.insert(queue_.begin() + 1, MakeCommand(kNntpStat, std::to_string(next)));
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

void CNNTPConnection::PostPostingStatus(long status, long command) {
  std::vector<NntpWindow> windows;
  {
    std::lock_guard lock(queueMutex_);
    windows = queue_.front().windows;
  }
  for (const NntpWindow window : windows) {
    windows_.PostTo(window, Message(WM_NNTP_STATUS, status, command));
  }
}

void CNNTPConnection::DeliverBlock(std::string_view block, long lines) {
  const int state = state_;
  state_ = kStatus;
  switch (state) {
    case kGroupList:
      SendToPane(NntpPane::List, TextMessage(WM_NNTP_GROUPLIST, lines, block));
      break;
    case kHeaders: {
      int step;
      {
        std::lock_guard lock(queueMutex_);
        step = queue_.empty() ? kNntpLast : queue_.front().step;
      }
      NntpMessage message = TextMessage(WM_NNTP_HEADERS, 0, block);
      message.stepCommand = step;
      message.articleNumber = articleNumber_;
      HeadersDelivered(SendToPane(NntpPane::Header, message));
      return;
    }
    default:
      SendToPane(NntpPane::Text, TextMessage(WM_NNTP_ARTICLE, 0, block));
      break;
  }
  Complete();
}

void CNNTPConnection::HeadersDelivered(long result) {
  std::unique_lock lock(queueMutex_);
  if (queue_.empty()) return;
  CNNTPCommand& head = queue_.front();
  if (head.code != kNntpHead || quitting_) {
    CompleteLocked(lock);
    return;
  }
  if (result == 0 && --head.count <= 0) {
    CompleteLocked(lock);
    return;
  }
  queue_.push_front(MakeCommand(head.step));
  SendFront(lock);
}

void CNNTPConnection::Complete() {
  std::unique_lock lock(queueMutex_);
  CompleteLocked(lock);
}

void CNNTPConnection::CompleteLocked(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return;
  queue_.pop_front();
  if (queue_.empty()) {
    windows_.Post(NntpPane::List, Message(WM_NNTP_BUSY, 0));
    return;
  }
  SendFront(lock);
}

void CNNTPConnection::SendFront(std::unique_lock<std::mutex>& lock) {
  const std::string line = CommandLine(queue_.front());
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

void CNNTPConnection::EndThread() {
  // The server sees the end at once; the descriptor is closed by Close().
  socket_.Interrupt();
  {
    std::lock_guard lock(endMutex_);
    ended_.store(true);
    endCondition_.notify_all();
  }
  windows_.Post(NntpPane::List, Message(WM_NNTP_CLOSED));
}

}  // namespace netrove
