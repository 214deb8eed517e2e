// Daytime and Quote of the Day against inetd's own daytime service and
// scripted servers, Who am I? with made-up names, and broadcast sending over
// the loopback; the netrove-cli commands as a user runs them.
#include "peer/service_query.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "base/net_socket.h"
#include "cli/cli_runner.h"
#include "peer/broadcast_send.h"
#include "peer/who_am_i.h"
#include "support/file_bytes.h"
#include "support/full_listener.h"
#include "support/loopback_socket.h"
#include "support/private_inetd.h"
#include "support/recording_reporter.h"
#include "support/refusing_threads.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"
#include "support/wait_until.h"

namespace netrove {
namespace {

using test::CScriptedServer;
using test::RecordingReporter;
using test::Script;

constexpr int kShortWaitMs = 300;

std::vector<test::RecordedMessage> Ask(ServiceQuery query, int waitMs = kServiceAnswerWaitMs) {
  RecordingReporter reporter;
  CNetSocket socket;
  RunServiceQuery(query, socket, reporter, SystemResolver(), waitMs);
  return reporter.Messages();
}

TEST(Daytime, InetdsDaytimeServiceAnswersWithItsDateLine) {
  if (const std::string why = test::PrivateInetd::BuiltInUnavailable(); !why.empty()) {
    if (test::PrivilegeRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  test::PrivateInetd inetd;
  std::string problem;
  ASSERT_TRUE(inetd.StartBuiltIn("daytime", problem)) << problem;
  const auto messages = Ask(DaytimeQuery("127.0.0.1", inetd.port()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].source, kSourceDaytime);
  EXPECT_TRUE(test::IsDaytimeLine(messages[0].text)) << messages[0].text;

  test::ScopedHome home;
  const auto run = test::RunCli(
      home, {"daytime", std::string("127.0.0.1:").append(std::to_string(inetd.port()))});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(test::IsDaytimeLine(run.out)) << run.out;
}

// A real Quote of the Day server: fortune under a private inetd, the way
// such a server is usually set up.
TEST(QuoteOfTheDay, FortuneUnderInetdAnswersWithAQuote) {
  const std::vector<std::string> fortune{"/usr/games/fortune", "fortune", "-s"};
  if (const std::string why = test::PrivateInetd::ProgramUnavailable(fortune[0]); !why.empty()) {
    if (test::PrivilegeRequired()) FAIL() << why;
    GTEST_SKIP() << why << " (scripts/install-deps test)";
  }
  test::PrivateInetd inetd;
  std::string problem;
  ASSERT_TRUE(inetd.StartProgram(fortune, problem)) << problem;
  const auto messages = Ask(QuoteOfTheDayQuery("127.0.0.1", inetd.port()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].source, kSourceQuoteOfTheDay);
  EXPECT_FALSE(messages[0].text.empty());
  EXPECT_LE(messages[0].text.size(), 512u);

  test::ScopedHome home;
  const auto run =
      test::RunCli(home, {"qotd", std::string("127.0.0.1:").append(std::to_string(inetd.port()))});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(run.out.empty());
}

TEST(QuoteOfTheDay, AnswersAreShownAsReceivedUpToTheirLimit) {
  CScriptedServer shortLine;
  shortLine.Start(Script().Accept().Send("Be brief.\r\n").Close());
  auto messages = Ask(QuoteOfTheDayQuery("127.0.0.1", shortLine.port()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].source, kSourceQuoteOfTheDay);
  EXPECT_EQ(messages[0].text, "Be brief.\r\n");
  EXPECT_TRUE(shortLine.Finished());

  // Longer answers are cut at the buffer, whatever the pieces.
  CScriptedServer longQuote;
  longQuote.Start(Script().Accept().SendInPieces({std::string(300, 'q'), std::string(300, 'r')},
                                                 std::chrono::milliseconds(20)));
  messages = Ask(QuoteOfTheDayQuery("127.0.0.1", longQuote.port()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, std::string(300, 'q') + std::string(212, 'r'));

  CScriptedServer longDate;
  longDate.Start(Script().Accept().Send(std::string(300, 'd')));
  messages = Ask(DaytimeQuery("127.0.0.1", longDate.port()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, std::string(256, 'd'));

  // A zero byte ends the text; nothing beyond the bytes received is shown.
  CScriptedServer zero;
  zero.Start(Script().Accept().Send(std::string("abc\0def", 7)).Close());
  messages = Ask(QuoteOfTheDayQuery("127.0.0.1", zero.port()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "abc");
}

TEST(QuoteOfTheDay, ResetsAndSilentServersAreFailuresNotEmptyAnswers) {
  CScriptedServer reset;
  reset.Start(Script().Accept().Reset());
  auto messages = Ask(QuoteOfTheDayQuery("127.0.0.1", reset.port()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].source, kSourceWinSock);
  EXPECT_EQ(messages[0].text.rfind("WSAECONNRESET", 0), 0u) << messages[0].text;

  CScriptedServer silent;
  silent.Start(Script().Accept().Wait(std::chrono::seconds(2)).Close());
  messages = Ask(QuoteOfTheDayQuery("127.0.0.1", silent.port()), kShortWaitMs);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text.rfind("WSAETIMEDOUT", 0), 0u) << messages[0].text;

  // What came before the server fell silent is its answer.
  CScriptedServer stalls;
  stalls.Start(Script().Accept().Send("half a quo").Wait(std::chrono::seconds(2)).Close());
  messages = Ask(QuoteOfTheDayQuery("127.0.0.1", stalls.port()), kShortWaitMs);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].source, kSourceQuoteOfTheDay);
  EXPECT_EQ(messages[0].text, "half a quo");

  // A server that closes at once gives the empty answer box.
  CScriptedServer closes;
  closes.Start(Script().Accept().Close());
  messages = Ask(DaytimeQuery("127.0.0.1", closes.port()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].source, kSourceDaytime);
  EXPECT_EQ(messages[0].text, "");
}

TEST(QueryWorkers, EachQueryKeepsItsOwnHostAndNoneOutlivesTheWorkers) {
  RecordingReporter reporter;
  CScriptedServer first;
  CScriptedServer second;
  first.Start(Script().Accept().Wait(std::chrono::milliseconds(100)).Send("first").Close());
  second.Start(Script().Accept().Send("second").Close());
  CScriptedServer silent;
  silent.Start(Script().Accept().Wait(std::chrono::seconds(5)).Close());
  {
    CQueryWorkers workers;
    for (const auto* server : {&first, &second, &silent}) {
      EXPECT_TRUE(
          workers.Start([&reporter, query = QuoteOfTheDayQuery("127.0.0.1", server->port())](
                            const std::shared_ptr<CNetSocket>& socket) {
            RunServiceQuery(query, *socket, reporter, SystemResolver());
          }));
    }
    ASSERT_TRUE(test::WaitUntil([&] { return reporter.Messages().size() == 2; }));
    EXPECT_EQ(workers.RunningCount(), 1u);
  }  // the silent server's worker is woken, not waited for 30 s
  std::vector<std::string> texts = reporter.Texts();
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"first", "second"}));
}

TEST(QueryWorkers, AWorkerTheSystemRefusesIsReportedAndNeverRuns) {
  CRefusingThreads threads;
  CQueryWorkers workers(threads);
  bool ran = false;
  EXPECT_FALSE(workers.Start([&ran](const std::shared_ptr<CNetSocket>&) { ran = true; }));
  EXPECT_FALSE(ran);
  EXPECT_EQ(threads.Attempts(), 1);
  EXPECT_EQ(workers.RunningCount(), 0u);
}

TEST(QueryFailures, AConnectionAttemptNobodyAnswersEndsWithinTheWait) {
  test::CFullListener full;
  test::ScopedHome home;
  const auto run =
      test::RunCli(home, {"daytime", "--wait", "1", "127.0.0.1:" + std::to_string(full.port())});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("WSAETIMEDOUT"), std::string::npos) << run.err;
}

TEST(QueryFailures, LookUpAndConnectionFailuresShowTheirSocketText) {
  auto messages = Ask(QuoteOfTheDayQuery("127.0.0.1", 1));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text.rfind("WSAECONNREFUSED", 0), 0u);

  test::ScopedHome home;
  const auto run = test::RunCli(home, {"qotd", "127.0.0.1:1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("WSAECONNREFUSED"), std::string::npos);
  EXPECT_EQ(test::RunCli(home, {"daytime", "127.0.0.1:0"}).status, 2);
}

class FakeNames : public IAccountNames {
 public:
  std::optional<std::string> domain, user, computer, host;
  std::optional<std::string> DomainName() override { return domain; }
  std::optional<std::string> UserName() override { return user; }
  std::optional<std::string> ComputerName() override { return computer; }
  std::optional<std::string> HostName() override { return host; }
};

class FakeResolver : public IResolver {
 public:
  std::optional<HostEntry> entry;
  SocketStatus HostByName(const std::string&, HostEntry& out) override {
    if (!entry) return {WSAHOST_NOT_FOUND};
    out = *entry;
    return {};
  }
  SocketStatus HostByAddr(const SocketAddress&, HostEntry&) override { return {WSANO_DATA}; }
};

SocketAddress Address(const char* dotted, std::uint16_t port = 0) {
  in_addr address{};
  inet_pton(AF_INET, dotted, &address);
  return SocketAddress::FromIPv4(address, port);
}

TEST(WhoAmI, ReportsEveryNameAndUnknownForTheMissingOnes) {
  FakeNames names;
  FakeResolver resolver;
  EXPECT_EQ(WhoAmIText(names, resolver),
            "Domain Name: Unknown\n\nUser Name: Unknown\n\nComputer Name: Unknown\n\n"
            "Host Name: Unknown\n\nOfficial Host Name: Unknown\n\nInternet Address: Unknown");

  // Linux host names run to 64 bytes: none is cut.
  const std::string longName(64, 'n');
  names = {};
  names.domain = "WORKGROUP";
  names.user = "alice";
  names.computer = longName;
  names.host = "box.example.test";
  resolver.entry =
      HostEntry{"box.example.test", {"box"}, {Address("10.0.0.1"), Address("10.0.0.2")}};
  const std::string expected =
      std::string("Domain Name: WORKGROUP\n\nUser Name: alice\n\nComputer Name: ")
          .append(longName)
          .append(
              "\n\nHost Name: box\n\nOfficial Host Name: box.example.test\n\nAlias: box\n"
              "\nInternet Address: 10.0.0.1\nInternet Address: 10.0.0.2");
  EXPECT_EQ(WhoAmIText(names, resolver), expected);
}

// The aliases come from the hosts database through the system's resolver:
// a hosts file of our own is mounted over /etc/hosts in a private mount
// namespace of a child process, which writes the report to a file.
TEST(WhoAmI, AliasesComeFromTheHostsFile) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::ScopedHome home;
  const std::filesystem::path hosts = home.path() / "hosts";
  const std::filesystem::path report = home.path() / "report";
  test::WriteFileBytes(hosts,
                       "127.0.0.1 localhost\n"
                       "127.0.3.7 whoami.netrove.test whoami netrove-alias\n"
                       "2001:0db8:0:0::37 whoami.netrove.test whoami netrove-alias\n");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int status = 1;
    if (unshare(CLONE_NEWNS) == 0 &&
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
        mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) == 0) {
      FakeNames names;
      names.host = "whoami";
      std::ofstream(report) << WhoAmIText(names, SystemResolver());
      status = 0;
    }
    _exit(status);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "no private mount namespace";
  const std::string text = test::ReadFileBytes(report);
  EXPECT_NE(text.find("Host Name: whoami\n\nOfficial Host Name: whoami.netrove.test\n\n"
                      "Alias: whoami\n\nAlias: netrove-alias\n\nInternet Address: 127.0.3.7"),
            std::string::npos)
      << text;
  // IPv6 addresses too, in their shortest form.
  EXPECT_NE(text.find("\nInternet Address: 2001:db8::37"), std::string::npos) << text;
}

TEST(Broadcast, GoesOutAsOneDatagramWithItsZeroByte) {
  EXPECT_EQ(BroadcastWireText("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
  // 384 line breaks are 768 bytes on the wire: over the limit.
  EXPECT_GT(BroadcastWireText(std::string(384, '\n')).size(), kBroadcastTextLimit);

  const int listener = test::BoundSocket(SOCK_DGRAM, 0);
  sockaddr_in bound{};
  socklen_t size = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &size);
  const std::uint16_t port = ntohs(bound.sin_port);
  RecordingReporter reporter;
  ASSERT_TRUE(SendBroadcast("Hi", Address("127.0.0.1", port), reporter));
  char datagram[600];
  EXPECT_EQ(::recv(listener, datagram, sizeof datagram, 0), 3);
  EXPECT_EQ(std::string(datagram, 3), std::string("Hi\0", 3));

  test::ScopedHome home;
  auto run = test::RunCli(
      home, {"broadcast", "--address", "127.0.0.1", "--port", std::to_string(port), "two\nlines"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(::recv(listener, datagram, sizeof datagram, 0), 11);
  EXPECT_EQ(std::string(datagram, 11), std::string("two\r\nlines\0", 11));
  EXPECT_EQ(test::RunCli(home, {"broadcast", std::string(200, '\n')}).status, 2);
  EXPECT_EQ(test::RunCli(home, {"broadcast", "--address", "nowhere", "x"}).status, 2);
  ::close(listener);
}

}  // namespace
}  // namespace netrove
