// netrove-cli news: the newsreader's engine without its window. One
// connection per run; the group state is the one the windows share, read
// from and written back to the same newsrc file. Ctrl+C ends the connection
// as the window's Disconnect does (QUIT next, the socket shut down soon after
// when the server does not close it); newsrc changes already made are still
// written.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <iterator>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>

#include "base/host_port.h"
#include "base/run_lifecycle.h"
#include "cli/cli_command.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "news/article_text.h"
#include "news/news_server.h"
#include "news/nntp_connection.h"

namespace netrove::cli {
namespace {

constexpr std::uint16_t kNntpPort = 119;
constexpr long kDefaultHeaderCount = 10;
constexpr NntpWindow kCliWindow = 1;
// How long the server has to answer the QUIT of an interrupted run.
constexpr std::chrono::milliseconds kInterruptGrace{1000};

constexpr Option kOptions[] = {
    {"group", 'g', "NAME", "post: the newsgroup to post to"},
    {"subject", 's', "TEXT", "post: the subject"},
    {"from", 'f', "ADDRESS", "post: the author (default: user@host)"},
};

// The panes, as the command line needs them: results handed to `onSend`
// on the reader thread, busy/idle and the end of the connection waited for.
class CliPanes : public INntpWindows {
 public:
  std::function<long(const NntpMessage&)> onSend = [](const NntpMessage&) { return 0L; };

  long Send(NntpPane, const NntpMessage& message) override { return onSend(message); }
  void Post(NntpPane, const NntpMessage& message) override {
    std::lock_guard lock(mutex_);
    if (message.id == WM_NNTP_BUSY) idle_ = message.wParam == 0;
    if (message.id == WM_NNTP_CLOSED) closed_ = true;
    changed_.notify_all();
  }
  void PostTo(NntpWindow, const NntpMessage& message) override {
    std::lock_guard lock(mutex_);
    postStatus_ = message.wParam;
  }
  // Until the queue is empty; false when the connection ended instead.
  bool WaitIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return idle_ || closed_; });
    return !closed_;
  }
  void WaitClosed() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return closed_; });
  }
  long PostStatus() {
    std::lock_guard lock(mutex_);
    return postStatus_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool idle_ = false;
  bool closed_ = false;
  long postStatus_ = 0;
};

struct Target {
  std::string host;
  std::uint16_t port = kNntpPort;
};

// Ctrl+C, from the main thread: the connection in use, if any, is
// disconnected, and none starts after it.
class CliInterrupt {
 public:
  void Interrupt() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    if (connection_ != nullptr) connection_->Disconnect(kInterruptGrace);
  }
  // False, with nothing attached, once interrupted.
  bool Attach(CNNTPConnection& connection) {
    std::lock_guard lock(mutex_);
    if (interrupted_) return false;
    connection_ = &connection;
    return true;
  }
  void Detach() {
    std::lock_guard lock(mutex_);
    connection_ = nullptr;
  }

 private:
  std::mutex mutex_;
  CNNTPConnection* connection_ = nullptr;
  bool interrupted_ = false;
};

// What every command of a run shares.
struct NewsRun {
  Target target;
  CliStreams& io;
  CliReporter& reporter;
  CliInterrupt& interrupt;
};

std::optional<long> ParseCount(const std::string& text) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0 ||
      value > kHighestArticleNumber) {
    return std::nullopt;
  }
  return value;
}

// One connection: greeting awaited, the commands of `queue` run to the
// end, then QUIT. False when the connection ended early or was interrupted.
bool RunSession(NewsRun& run, CliPanes& panes, const std::function<void(CNNTPConnection&)>& queue) {
  CNNTPConnection connection(run.target.port, panes, run.reporter, run.target.host);
  if (!run.interrupt.Attach(connection)) return false;
  const bool started = connection.Start();
  bool finished = started && panes.WaitIdle();
  if (finished) {
    queue(connection);
    finished = panes.WaitIdle();
  }
  connection.Disconnect();
  if (started) panes.WaitClosed();
  run.interrupt.Detach();
  return finished;
}

struct GroupFigures {
  long count = 0;
  long first = 0;
  long last = 0;
};

// Records the figures of a GROUP reply and answers how many headers to walk.
long TakeGroupInfo(const NntpMessage& message, GroupFigures& figures, long wanted) {
  if (message.id != WM_NNTP_GROUPINFO) return 0;
  if (message.wParam == 212) figures.first = message.lParam;
  if (message.wParam == 213) figures.last = message.lParam;
  if (message.wParam == 200) {
    figures.count = message.lParam;
    return wanted;
  }
  return 0;
}

int RunList(NewsRun& run) {
  const Target& target = run.target;
  CliPanes panes;
  std::string list;
  panes.onSend = [&](const NntpMessage& message) {
    if (message.id == WM_NNTP_GROUPLIST && message.hasText) list.assign(message.text);
    return 0L;
  };
  if (!RunSession(run, panes, [](CNNTPConnection& c) { (void)c.QueueCommand(kNntpList); })) {
    return 1;
  }
  run.io.out << list;
  auto& table = NewsServers();
  table.Join(target.host, kCliWindow, NewsrcPath(StoredNewsgroupsFolder(), target.host),
             run.reporter);
  table.With(target.host, [&](CNewsServer* server) { AddGroupsFromList(*server, list); });
  table.Leave(target.host, kCliWindow, run.reporter);
  return 0;
}

// GROUP name, walking `wanted` headers back from the newest.
int RunGroup(NewsRun& run, const std::string& group, long wanted, std::ostream& out,
             GroupFigures& figures) {
  CliPanes panes;
  bool known = true;
  std::string lines;
  panes.onSend = [&](const NntpMessage& message) -> long {
    if (message.id == WM_NNTP_GROUPINFO && message.wParam == 411) known = false;
    if (message.id != WM_NNTP_HEADERS) return TakeGroupInfo(message, figures, wanted);
    // An article without a message-id cannot be fetched: it does not count.
    if (!HeaderValue(message.text, "Message-ID")) return 1;
    lines += std::to_string(message.articleNumber) + "\t" +
             HeaderValue(message.text, "Subject").value_or("") + "\t" +
             Attribution(HeaderValue(message.text, "From").value_or("")) + "\t" +
             HeaderValue(message.text, "Date").value_or("") + "\r\n";
    return 0;
  };
  if (!RunSession(run, panes,
                  [&](CNNTPConnection& c) { (void)c.QueueCommand(kNntpGroup, group); })) {
    return 1;
  }
  if (!known) {
    run.io.err << "netrove-cli news: no such group: " << group << "\n";
    return 1;
  }
  out << lines;
  return 0;
}

// A group the user reads by name from here is one they follow: met for the
// first time it is entered subscribed; a known group keeps its marker.
CNewsgroup& GroupToRead(CNewsServer& server, const std::string& group) {
  auto [entry, created] = server.groups.try_emplace(group);
  if (created) entry->second.SetSubscribed(true);
  return entry->second;
}

int RunRead(NewsRun& run, const std::string& group, const std::string& article) {
  const Target& target = run.target;
  CliPanes panes;
  std::optional<std::string> text;
  bool answered = false;
  panes.onSend = [&](const NntpMessage& message) {
    if (message.id == WM_NNTP_ARTICLE) {
      answered = true;
      if (message.hasText) text = std::string(message.text);
    }
    return 0L;
  };
  if (!RunSession(run, panes, [&](CNNTPConnection& c) {
        (void)c.QueueCommand(kNntpGroup, group);
        (void)c.QueueCommand(kNntpArticle, article);
      })) {
    return 1;
  }
  if (!text) {
    if (answered) run.io.err << "netrove-cli news: the article is not available\n";
    return 1;
  }
  run.io.out << *text;
  if (const auto number = ParseCount(article)) {
    auto& table = NewsServers();
    table.Join(target.host, kCliWindow, NewsrcPath(StoredNewsgroupsFolder(), target.host),
               run.reporter);
    table.With(target.host, [&](CNewsServer* server) {
      CNewsgroup& entry = GroupToRead(*server, group);
      entry.Expand();
      entry.MarkRead(*number);
    });
    table.Leave(target.host, kCliWindow, run.reporter);
  }
  return 0;
}

int RunCatchUp(NewsRun& run, const std::string& group) {
  const Target& target = run.target;
  GroupFigures figures;
  std::ostringstream ignored;
  if (const int status = RunGroup(run, group, 0, ignored, figures); status != 0) return status;
  auto& table = NewsServers();
  table.Join(target.host, kCliWindow, NewsrcPath(StoredNewsgroupsFolder(), target.host),
             run.reporter);
  table.With(target.host, [&](CNewsServer* server) {
    CNewsgroup& entry = GroupToRead(*server, group);
    entry.Expand();
    if (figures.last >= figures.first && figures.last > 0) {
      entry.CatchUp(std::max(1L, figures.first), figures.last);
    }
  });
  table.Leave(target.host, kCliWindow, run.reporter);
  return 0;
}

std::string DefaultAuthor() {
  const char* user = std::getenv("USER");
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  return std::string(user && *user ? user : "netrove") + "@" + (host[0] ? host : "localhost");
}

// The article as it goes on the wire; nullopt (said why) when the options
// do not make one.
std::optional<std::string> ArticleToPost(const CommandLine& line, std::ostream& err) {
  const auto group = line.Text("group");
  const auto subject = line.Text("subject");
  if (!group || !subject) {
    err << "netrove-cli news: post needs --group and --subject\n";
    return std::nullopt;
  }
  const std::string body{std::istreambuf_iterator<char>(std::cin), {}};
  const std::string headers = "From: " + line.Text("from").value_or(DefaultAuthor()) +
                              "\nNewsgroups: " + *group + "\nSubject: " + *subject + "\n";
  return ArticleWireForm(headers, body);
}

int RunPost(NewsRun& run, const std::string& article) {
  CliPanes panes;
  if (!RunSession(run, panes, [&](CNNTPConnection& c) {
        (void)c.QueueCommand(kNntpPost, article, 0, {kCliWindow});
      })) {
    return 1;
  }
  switch (panes.PostStatus()) {
    case 240:
      run.io.out << "Article posted OK.\r\n";
      return 0;
    case 440:
      run.io.err << "Command: POST\r\nPosting not allowed.\n";
      return 1;
    default:
      run.io.err << "Command: POST\r\nPosting failed.\n";
      return 1;
  }
}

int RunCommand(NewsRun& run, const std::vector<std::string>& operands,
               const std::optional<std::string>& article) {
  const std::string& command = operands[1];
  const std::size_t arguments = operands.size() - 2;
  if (command == "list" && arguments == 0) return RunList(run);
  if (command == "post" && arguments == 0) return RunPost(run, *article);
  if (command == "catchup" && arguments == 1) return RunCatchUp(run, operands[2]);
  if (command == "read" && arguments == 2) return RunRead(run, operands[2], operands[3]);
  GroupFigures figures;
  if (command == "group" && arguments == 1) {
    const int status = RunGroup(run, operands[2], 0, run.io.out, figures);
    if (status == 0) {
      run.io.out << operands[2] << ": " << figures.count << " articles, " << figures.first << "-"
                 << figures.last << "\r\n";
    }
    return status;
  }
  const auto count = arguments == 2 ? ParseCount(operands[3]) : kDefaultHeaderCount;
  return RunGroup(run, operands[2], *count, run.io.out, figures);
}

bool IsKnownCommand(const std::vector<std::string>& operands, CliStreams& io) {
  const std::string& command = operands[1];
  const std::size_t arguments = operands.size() - 2;
  if (command == "headers" && (arguments == 1 || arguments == 2)) {
    if (arguments == 1 || ParseCount(operands[3])) return true;
    io.err << "netrove-cli news: COUNT must be a number from 1\n";
    return false;
  }
  if ((command == "list" && arguments == 0) || (command == "post" && arguments == 0) ||
      (command == "catchup" && arguments == 1) || (command == "read" && arguments == 2) ||
      (command == "group" && arguments == 1)) {
    return true;
  }
  io.err << "netrove-cli news: unknown command or wrong arguments: " << command << "\n";
  return false;
}

// The command runs on a worker while this thread takes Ctrl+C.
int RunNews(const CommandLine& line, CliStreams& io) {
  const auto& operands = line.operands();
  Target target;
  if (!SplitServerAndPort(operands[0], target.host, target.port)) {
    io.err << "netrove-cli news: '" << operands[0] << "' names no HOST[:PORT]\n";
    return kUsageError;
  }
  if (!IsKnownCommand(operands, io)) return kUsageError;
  std::optional<std::string> article;
  if (operands[1] == "post" && !(article = ArticleToPost(line, io.err))) return kUsageError;
  CliReporter reporter(io.err);
  CliInterrupt interrupt;
  NewsRun run{target, io, reporter, interrupt};
  FinishedSignal finished;
  CRunLifecycle worker(finished, 0);
  int status = 1;
  RunUntilFinished(
      [&] {
        return worker.Start([&](std::stop_token) { status = RunCommand(run, operands, article); });
      },
      [&] { interrupt.Interrupt(); }, [&] { worker.Join(); });
  return status;
}

const CommandRegistrar registrar(
    {"news", "HOST[:PORT] COMMAND [ARGS]", "Read and post news with an NNTP server.", kOptions,
     RunNews, 2, 4,
     "COMMAND is one of:\n"
     "  list                       the server's groups (added to the newsrc)\n"
     "  group NAME                 the group's article count and numbers\n"
     "  headers NAME [COUNT]       number, subject, author and date of the newest\n"
     "                             COUNT articles (10 by default)\n"
     "  read NAME NUMBER|<ID>      the article; a number is marked read\n"
     "  post --group NAME --subject TEXT < BODY\n"
     "  catchup NAME               marks every article of the group read\n"
     "The newsrc is the one the Newsreader windows use. The port defaults to 119.\n"});

}  // namespace
}  // namespace netrove::cli
