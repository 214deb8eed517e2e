// netrove-cli news: the newsreader's engine without its window. One
// connection per run; the group state is the one the windows share, read
// from and written back to the same newsrc file.
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

#include "cli/cli_command.h"
#include "cli/cli_reporter.h"
#include "news/article_text.h"
#include "news/news_article.h"
#include "news/news_server.h"
#include "news/news_settings.h"
#include "news/nntp_connection.h"

namespace netrove::cli {
namespace {

constexpr std::uint16_t kNntpPort = 119;
constexpr long kDefaultHeaderCount = 10;
constexpr NntpWindow kCliWindow = 1;

constexpr Option kOptions[] = {
    {"group", 'g', "NAME", "post: the newsgroup to post to"},
    {"subject", 's', "TEXT", "post: the subject"},
    {"from", 'f', "ADDRESS", "post: the author (default: the Newsreader identity, else user@host)"},
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

bool ParseTarget(std::string_view text, Target& target) {
  const std::size_t colon = text.rfind(':');
  target.host = std::string(text.substr(0, colon));
  if (colon != std::string_view::npos) {
    const std::string_view digits = text.substr(colon + 1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value == 0 ||
        value > 65535) {
      return false;
    }
    target.port = static_cast<std::uint16_t>(value);
  }
  return !target.host.empty();
}

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
// end, then QUIT. False when the connection ended early.
bool RunSession(const Target& target, CliPanes& panes, IMainWindowReporter& reporter,
                const std::function<void(CNNTPConnection&)>& queue) {
  CNNTPConnection connection(target.port, panes, reporter, target.host);
  if (!connection.Start() || !panes.WaitIdle()) return false;
  queue(connection);
  const bool finished = panes.WaitIdle();
  connection.Disconnect();
  panes.WaitClosed();
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

int RunList(const Target& target, CliStreams& io, CliReporter& reporter) {
  CliPanes panes;
  std::string list;
  panes.onSend = [&](const NntpMessage& message) {
    if (message.id == WM_NNTP_GROUPLIST && message.hasText) list.assign(message.text);
    return 0L;
  };
  if (!RunSession(target, panes, reporter,
                  [](CNNTPConnection& c) { (void)c.QueueCommand(kNntpList); })) {
    return 1;
  }
  io.out << list;
  auto& table = NewsServers();
  table.Join(target.host, kCliWindow, NewsrcPath(StoredNewsgroupsFolder(), target.host), reporter);
  table.With(target.host, [&](CNewsServer* server) { AddGroupsFromList(*server, list); });
  table.Leave(target.host, kCliWindow, reporter);
  return 0;
}

// GROUP name, walking `wanted` headers back from the newest.
int RunGroup(const Target& target, const std::string& group, long wanted, CliStreams& io,
             CliReporter& reporter, GroupFigures& figures) {
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
  if (!RunSession(target, panes, reporter,
                  [&](CNNTPConnection& c) { (void)c.QueueCommand(kNntpGroup, group); })) {
    return 1;
  }
  if (!known) {
    io.err << "netrove-cli news: no such group: " << group << "\n";
    return 1;
  }
  io.out << lines;
  return 0;
}

// A group the user reads by name from here is one they follow: met for the
// first time it is entered subscribed; a known group keeps its marker.
CNewsgroup& GroupToRead(CNewsServer& server, const std::string& group) {
  auto [entry, created] = server.groups.try_emplace(group);
  if (created) entry->second.SetSubscribed(true);
  return entry->second;
}

int RunRead(const Target& target, const std::string& group, const std::string& article,
            CliStreams& io, CliReporter& reporter) {
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
  if (!RunSession(target, panes, reporter, [&](CNNTPConnection& c) {
        (void)c.QueueCommand(kNntpGroup, group);
        (void)c.QueueCommand(kNntpArticle, article);
      })) {
    return 1;
  }
  if (!text) {
    if (answered) io.err << "netrove-cli news: the article is not available\n";
    return 1;
  }
  io.out << *text;
  if (const auto number = ParseCount(article)) {
    auto& table = NewsServers();
    table.Join(target.host, kCliWindow, NewsrcPath(StoredNewsgroupsFolder(), target.host),
               reporter);
    table.With(target.host, [&](CNewsServer* server) {
      CNewsgroup& entry = GroupToRead(*server, group);
      entry.Expand();
      entry.MarkRead(*number);
    });
    table.Leave(target.host, kCliWindow, reporter);
  }
  return 0;
}

int RunCatchUp(const Target& target, const std::string& group, CliStreams& io,
               CliReporter& reporter) {
  GroupFigures figures;
  std::ostringstream ignored;
  CliStreams quiet{ignored, io.err};
  if (const int status = RunGroup(target, group, 0, quiet, reporter, figures); status != 0) {
    return status;
  }
  auto& table = NewsServers();
  table.Join(target.host, kCliWindow, NewsrcPath(StoredNewsgroupsFolder(), target.host), reporter);
  table.With(target.host, [&](CNewsServer* server) {
    CNewsgroup& entry = GroupToRead(*server, group);
    entry.Expand();
    if (figures.last >= figures.first && figures.last > 0) {
      entry.CatchUp(std::max(1L, figures.first), figures.last);
    }
  });
  table.Leave(target.host, kCliWindow, reporter);
  return 0;
}

// The From a posting window would preselect, when the identity is
// complete; otherwise user@host.
std::string DefaultAuthor(const NewsSettings& settings) {
  if (!settings.userFullName.empty() && !settings.userAddress.empty()) {
    const auto choices = NewsFromChoices(settings.userFullName, settings.userAddress);
    return choices[settings.userFrom < choices.size() ? settings.userFrom : 0];
  }
  const char* user = std::getenv("USER");
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  return std::string(user && *user ? user : "netrove") + "@" + (host[0] ? host : "localhost");
}

int RunPost(const Target& target, const CommandLine& line, CliStreams& io, CliReporter& reporter) {
  const auto group = line.Text("group");
  const auto subject = line.Text("subject");
  if (!group || !subject) {
    io.err << "netrove-cli news: post needs --group and --subject\n";
    return kUsageError;
  }
  const NewsSettings settings = ReadNewsSettings();
  NewsArticleFields fields;
  fields.from = line.Text("from").value_or(DefaultAuthor(settings));
  fields.subject = *subject;
  fields.newsgroups = *group;
  fields.organization = settings.userOrganization;
  fields.body.assign(std::istreambuf_iterator<char>(std::cin), {});
  // The line end of a text file's last line ends that line; the article's
  // terminator brings its own.
  if (fields.body.ends_with('\n')) fields.body.pop_back();
  if (fields.body.ends_with('\r')) fields.body.pop_back();
  NewsArticle article = BuildNewsArticle(fields);
  if (article.fault != NewsArticleFault::None) {
    io.err << NewsArticleFaultText(article.fault) << "\n";
    return 1;
  }
  CliPanes panes;
  if (!RunSession(target, panes, reporter, [&](CNNTPConnection& c) {
        (void)c.QueueCommand(kNntpPost, std::move(article.wire), 0, {kCliWindow});
      })) {
    return 1;
  }
  switch (panes.PostStatus()) {
    case 240:
      io.out << "Article posted OK.\r\n";
      return 0;
    case 440:
      io.err << "Command: POST\r\nPosting not allowed.\n";
      return 1;
    default:
      io.err << "Command: POST\r\nPosting failed.\n";
      return 1;
  }
}

int RunNews(const CommandLine& line, CliStreams& io) {
  const auto& operands = line.operands();
  Target target;
  if (!ParseTarget(operands[0], target)) {
    io.err << "netrove-cli news: '" << operands[0] << "' names no HOST[:PORT]\n";
    return kUsageError;
  }
  CliReporter reporter(io.err);
  const std::string& command = operands[1];
  const std::size_t arguments = operands.size() - 2;
  if (command == "list" && arguments == 0) return RunList(target, io, reporter);
  if (command == "post" && arguments == 0) return RunPost(target, line, io, reporter);
  if (command == "catchup" && arguments == 1) return RunCatchUp(target, operands[2], io, reporter);
  if (command == "read" && arguments == 2) {
    return RunRead(target, operands[2], operands[3], io, reporter);
  }
  GroupFigures figures;
  if (command == "group" && arguments == 1) {
    const int status = RunGroup(target, operands[2], 0, io, reporter, figures);
    if (status == 0) {
      io.out << operands[2] << ": " << figures.count << " articles, " << figures.first << "-"
             << figures.last << "\r\n";
    }
    return status;
  }
  if (command == "headers" && (arguments == 1 || arguments == 2)) {
    const auto count = arguments == 2 ? ParseCount(operands[3]) : kDefaultHeaderCount;
    if (!count) {
      io.err << "netrove-cli news: COUNT must be a number from 1\n";
      return kUsageError;
    }
    return RunGroup(target, operands[2], *count, io, reporter, figures);
  }
  io.err << "netrove-cli news: unknown command or wrong arguments: " << command << "\n";
  return kUsageError;
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
