// netrove-cli news: the newsreader's engine without its window. One
// connection per run; the group state is the one the windows share, read
// from and written back to the same newsrc file. Ctrl+C ends the connection
// as the window's Disconnect does (QUIT next, the socket shut down soon after
// when the server does not close it); newsrc changes already made are still
// written.
#include <netdb.h>
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
#include "cli/cli_family.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "cli/cli_secure.h"
#include "news/article_text.h"
#include "news/mime_text.h"
#include "news/news_article.h"
#include "news/news_server.h"
#include "news/news_settings.h"
#include "news/nntp_connection.h"

namespace netrove::cli {
namespace {

constexpr long kDefaultHeaderCount = 10;
constexpr NntpWindow kCliWindow = 1;
// How long the server has to answer the QUIT of an interrupted run.
constexpr std::chrono::milliseconds kInterruptGrace{1000};

constexpr Option kOptions[] = {
    {"group", 'g', "NAME", "post: the newsgroup to post to"},
    {"subject", 's', "TEXT", "post: the subject"},
    {"timeout", 't', "SECONDS",
     "how long the server has for each reply (default: the Newsreader's; 0 waits)",
     NumberRange{0, 86400}},
    {"from", 'f', "ADDRESS", "post: the author (default: user@ the host's full name)"},
    kTlsOption,
    kCaCertOption,
    kPinOption,
    kInsecureOption,
    kUserOption,
    kPasswordFileOption,
    kIPv4Option,
    kIPv6Option,
};

// The connection's events as the command line needs them: recorded, and
// busy/idle and the end of the connection waited for.
class CliEvents : public INntpEvents {
 public:
  void BusyChanged(bool busy) override {
    std::lock_guard lock(mutex_);
    idle_ = !busy;
    changed_.notify_all();
  }
  void Greeted(bool) override {}
  void GroupListArrived(std::string list) override {
    std::lock_guard lock(mutex_);
    list_ = std::move(list);
  }
  void GroupSelected(const NntpGroupCounts& counts, bool) override {
    std::lock_guard lock(mutex_);
    counts_ = counts;
  }
  void GroupUnavailable(NntpGroupProblem problem) override {
    std::lock_guard lock(mutex_);
    problem_ = problem;
  }
  void HeadersArrived(std::vector<NntpHeaderBlock> headers, int) override {
    std::lock_guard lock(mutex_);
    for (NntpHeaderBlock& header : headers) headers_.push_back(std::move(header));
  }
  void ArticleArrived(std::optional<std::string> text) override {
    std::lock_guard lock(mutex_);
    article_ = std::move(text);
  }
  void PostEnded(NntpWindow, NntpPostOutcome outcome, const std::string& reply) override {
    std::lock_guard lock(mutex_);
    postOutcome_ = outcome;
    postReply_ = reply;
  }
  void CommandRefused(int command, const std::string& reply) override {
    std::lock_guard lock(mutex_);
    refusals_.push_back(std::string(NntpKeyword(command)) + ": " + reply);
  }
  void CertificateNotTrusted(const TlsHandshakeReport& report) override {
    std::lock_guard lock(mutex_);
    untrusted_ = report;
  }
  void Closed(NntpEnd end) override {
    std::lock_guard lock(mutex_);
    closed_ = true;
    end_ = end;
    changed_.notify_all();
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
  // Read after the connection has ended.
  const std::string& List() const { return list_; }
  const std::optional<NntpGroupCounts>& Counts() const { return counts_; }
  const std::optional<NntpGroupProblem>& Problem() const { return problem_; }
  const std::vector<NntpHeaderBlock>& Headers() const { return headers_; }
  const std::optional<std::optional<std::string>>& Article() const { return article_; }
  NntpPostOutcome PostOutcome() const { return postOutcome_; }
  const std::string& PostReply() const { return postReply_; }
  const std::vector<std::string>& Refusals() const { return refusals_; }
  NntpEnd End() const { return end_; }
  const std::optional<TlsHandshakeReport>& Untrusted() const { return untrusted_; }
  std::optional<NntpGroupCounts> CountsNow() {
    std::lock_guard lock(mutex_);
    return counts_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool idle_ = false;
  bool closed_ = false;
  NntpEnd end_ = NntpEnd::Asked;
  std::string list_;
  std::optional<NntpGroupCounts> counts_;
  std::optional<NntpGroupProblem> problem_;
  std::vector<NntpHeaderBlock> headers_;
  std::optional<std::optional<std::string>> article_;
  NntpPostOutcome postOutcome_ = NntpPostOutcome::Unanswered;
  std::string postReply_;
  std::vector<std::string> refusals_;
  std::optional<TlsHandshakeReport> untrusted_;
};

struct Target {
  std::string host;
  std::uint16_t port = kNewsDefaultPort;
  // The name its group state goes by.
  std::string State() const { return NewsServerName(host, port); }
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
  std::chrono::seconds timeout;
  NetworkSettings network;
  NntpSecurity security;
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

// One connection: greeting awaited, the commands `queue` gives run to the
// end, then QUIT. False, said why, when the connection ended early, was
// interrupted or the server refused a command.
bool RunSession(NewsRun& run, CliEvents& events,
                const std::function<void(CNNTPConnection&)>& queue) {
  CNNTPConnection connection(run.target.port, events, run.reporter, run.target.host);
  connection.SetReplyTimeout(run.timeout);
  connection.SetConnectSettings(run.network);
  connection.SetSecurity(run.security);
  if (!run.interrupt.Attach(connection)) return false;
  const bool started = connection.Start();
  bool finished = started && events.WaitIdle();
  if (finished) {
    queue(connection);
    finished = events.WaitIdle();
  }
  connection.Disconnect();
  if (started) events.WaitClosed();
  run.interrupt.Detach();
  if (!finished && events.End() == NntpEnd::ByServer) {
    run.io.err << "netrove-cli news: the server closed the connection\n";
  }
  for (const std::string& refusal : events.Refusals()) {
    run.io.err << "netrove-cli news: the server refused " << refusal << "\n";
    if (refusal.find(": 480") != std::string::npos && run.security.user.empty()) {
      run.io.err << "netrove-cli news: the server wants a sign-in: give --user\n";
    }
  }
  if (const auto& untrusted = events.Untrusted()) {
    run.io.err << "netrove-cli news: " << DescribeTrustFailure(*untrusted, run.target.host);
    if (untrusted->problem != CertificateProblem::Changed) {
      run.io.err << "To trust this certificate for this run: --pin "
                 << untrusted->certificate.sha256 << "\n";
    }
  }
  return finished && events.Refusals().empty();
}

int RunList(NewsRun& run) {
  const Target& target = run.target;
  CliEvents events;
  if (!RunSession(run, events, [](CNNTPConnection& c) { (void)c.QueueCommand(kNntpList); })) {
    return 1;
  }
  run.io.out << events.List();
  auto& table = NewsServers();
  table.Join(target.State(), kCliWindow, NewsrcPath(StoredNewsgroupsFolder(), target.State()),
             run.reporter);
  table.With(target.State(),
             [&](CNewsServer* server) { AddGroupsFromList(*server, events.List()); });
  table.Leave(target.State(), kCliWindow, run.reporter);
  return 0;
}

bool ReportGone(NewsRun& run, const CliEvents& events, const std::string& group) {
  if (events.Problem() != NntpGroupProblem::Gone) return false;
  run.io.err << "netrove-cli news: no such group: " << group << "\n";
  return true;
}

// GROUP name, walking `wanted` headers back from the newest.
int RunGroup(NewsRun& run, const std::string& group, long wanted, std::ostream& out,
             NntpGroupCounts& counts) {
  CliEvents events;
  const bool finished = RunSession(run, events, [&](CNNTPConnection& c) {
    (void)c.QueueCommand(kNntpGroup, group);
    const auto selected = events.WaitIdle() ? events.CountsNow() : std::nullopt;
    if (wanted <= 0 || !selected || selected->count <= 0) return;
    NntpWalk walk;
    walk.step = kNntpLast;
    walk.from = selected->last;
    walk.fromItself = true;
    walk.count = wanted;
    (void)c.QueueWalk(std::move(walk));
  });
  if (ReportGone(run, events, group) || !finished) return 1;
  if (events.Counts()) counts = *events.Counts();
  for (const NntpHeaderBlock& header : events.Headers()) {
    // An article without a message-id cannot be read by it: not listed.
    if (!HeaderValue(header.text, "Message-ID")) continue;
    out << header.number << "\t"
        << DecodeEncodedWords(HeaderValue(header.text, "Subject").value_or("")) << "\t"
        << Attribution(DecodeEncodedWords(HeaderValue(header.text, "From").value_or(""))) << "\t"
        << HeaderValue(header.text, "Date").value_or("") << "\r\n";
  }
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
  CliEvents events;
  const bool finished = RunSession(run, events, [&](CNNTPConnection& c) {
    (void)c.QueueCommand(kNntpGroup, group);
    (void)c.QueueCommand(kNntpArticle, article);
  });
  if (ReportGone(run, events, group) || !finished) return 1;
  if (!events.Article() || !*events.Article()) {
    run.io.err << "netrove-cli news: the article is not available\n";
    return 1;
  }
  run.io.out << **events.Article();
  if (const auto number = ParseCount(article)) {
    auto& table = NewsServers();
    table.Join(target.State(), kCliWindow, NewsrcPath(StoredNewsgroupsFolder(), target.State()),
               run.reporter);
    table.With(target.State(), [&](CNewsServer* server) {
      CNewsgroup& entry = GroupToRead(*server, group);
      entry.Expand();
      entry.MarkRead(*number);
    });
    table.Leave(target.State(), kCliWindow, run.reporter);
  }
  return 0;
}

int RunCatchUp(NewsRun& run, const std::string& group) {
  const Target& target = run.target;
  NntpGroupCounts figures;
  std::ostringstream ignored;
  if (const int status = RunGroup(run, group, 0, ignored, figures); status != 0) return status;
  auto& table = NewsServers();
  table.Join(target.State(), kCliWindow, NewsrcPath(StoredNewsgroupsFolder(), target.State()),
             run.reporter);
  table.With(target.State(), [&](CNewsServer* server) {
    CNewsgroup& entry = GroupToRead(*server, group);
    entry.Expand();
    if (figures.last >= figures.first && figures.last > 0) {
      entry.CatchUp(std::max(1L, figures.first), figures.last);
    }
  });
  table.Leave(target.State(), kCliWindow, run.reporter);
  return 0;
}

// This host's fully qualified name; nothing when it has no domain.
std::optional<std::string> QualifiedHostName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return std::nullopt;
  std::string name = host;
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (name.find('.') == std::string::npos && getaddrinfo(host, nullptr, &hints, &found) == 0) {
    if (found != nullptr && found->ai_canonname != nullptr) name = found->ai_canonname;
    freeaddrinfo(found);
  }
  if (name.find('.') == std::string::npos || name.ends_with(".localdomain")) return std::nullopt;
  return name;
}

// The From a posting window would preselect, when the identity is
// complete; otherwise user@ the fully qualified host name. Nothing when
// there is none: servers refuse an address without a domain.
std::optional<std::string> DefaultAuthor(const NewsSettings& settings) {
  if (!settings.userFullName.empty() && !settings.userAddress.empty()) {
    const auto choices = NewsFromChoices(settings.userFullName, settings.userAddress);
    return choices[settings.userFrom < choices.size() ? settings.userFrom : 0];
  }
  const auto host = QualifiedHostName();
  if (!host) return std::nullopt;
  const char* user = std::getenv("USER");
  return std::string(user && *user ? user : "netrove") + "@" + *host;
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
  const NewsSettings settings = ReadNewsSettings();
  NewsArticleFields fields;
  const auto from = line.Text("from") ? line.Text("from") : DefaultAuthor(settings);
  if (!from) {
    err << "netrove-cli news: post needs --from: this host has no domain name to make an "
           "address with\n";
    return std::nullopt;
  }
  fields.from = *from;
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
    err << NewsArticleFaultText(article) << "\n";
    return std::nullopt;
  }
  return std::move(article.wire);
}

int RunPost(NewsRun& run, const std::string& article) {
  CliEvents events;
  const bool finished = RunSession(run, events, [&](CNNTPConnection& c) {
    (void)c.QueueCommand(kNntpPost, article, {kCliWindow});
  });
  const std::string because = events.PostReply().empty() ? "" : "\r\n" + events.PostReply();
  switch (events.PostOutcome()) {
    case NntpPostOutcome::Posted:
      run.io.out << "Article posted OK.\r\n";
      return finished ? 0 : 1;
    case NntpPostOutcome::NotAllowed:
      run.io.err << "Command: POST\r\nPosting not allowed." << because << "\n";
      return 1;
    default:
      run.io.err << "Command: POST\r\nPosting failed." << because << "\n";
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
  NntpGroupCounts figures;
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
// How the line says to secure the connection and sign in; nothing, said
// why, when it does not make sense. A password goes without TLS only where
// the line itself says --tls off.
std::optional<NntpSecurity> SecurityFrom(const CommandLine& line, CliStreams& io,
                                         const std::string& host) {
  const auto choices = SecureChoicesFrom(line, io, ReadNewsSettings().tlsMode);
  if (!choices) return std::nullopt;
  NntpSecurity security;
  security.mode = choices->mode;
  security.tls = choices->tls;
  security.user = choices->user;
  security.plainSignInAllowed = line.Text("tls") == std::optional<std::string>("off");
  if (!security.user.empty()) {
    auto password = PasswordFor(line, io, host, security.user);
    if (!password) return std::nullopt;
    security.password = std::move(*password);
  }
  return security;
}

int RunNews(const CommandLine& line, CliStreams& io) {
  const auto& operands = line.operands();
  const auto mode = line.Text("tls") ? TlsModeFromName(*line.Text("tls")) : std::nullopt;
  Target target;
  target.port = NewsDefaultPort(mode.value_or(ReadNewsSettings().tlsMode));
  if (!SplitServerAndPort(operands[0], target.host, target.port)) {
    io.err << "netrove-cli news: '" << operands[0] << "' names no HOST[:PORT]\n";
    return kUsageError;
  }
  if (!IsKnownCommand(operands, io)) return kUsageError;
  const auto network = NetworkSettingsFrom(line, io);
  if (!network) return kUsageError;
  const auto security = SecurityFrom(line, io, target.host);
  if (!security) return kUsageError;
  std::optional<std::string> article;
  if (operands[1] == "post" && !(article = ArticleToPost(line, io.err))) return kUsageError;
  CliReporter reporter(io.err);
  CliInterrupt interrupt;
  std::int32_t timeout = static_cast<std::int32_t>(ReadNewsSettings().replyTimeout);
  line.Take("timeout", timeout);
  NewsRun run{target, std::chrono::seconds(timeout), *network, *security, io, reporter, interrupt};
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
     "The newsrc is the one the Newsreader windows use. The port defaults to 119, or\n"
     "563 with --tls implicit. With --user the client signs in (AUTHINFO USER/PASS),\n"
     "only over TLS unless --tls off; the password comes from --password-file,\n"
     "~/.netrc or the terminal. --tls defaults to the Newsreader's choice.\n"});

}  // namespace
}  // namespace netrove::cli
