// netrove-cli finger and whois run as a user runs them, against scripted
// servers on the loopback: the bytes sent, the transcript printed with CR LF,
// the error texts and the exit status.
#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "support/private_inetd.h"
#include "support/scripted_server.h"

namespace netrove {
namespace {

using test::CScriptedServer;
using test::Script;

std::string Server(const CScriptedServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

// "user@host:port", appended: GCC 12 at -O2 warns wrongly about "x" + string.
std::string FingerTarget(std::string user, const CScriptedServer& server) {
  user += '@';
  user += Server(server);
  return user;
}

TEST(CliFinger, PrintsTheAnswerWithCrLf) {
  test::ScopedHome home;
  CScriptedServer server;
  server.Start(Script().Accept().Expect("/W alice\r\n").Send("Login: alice\nNo Plan.\n").Close());
  const auto run = test::RunCli(home, {"finger", "--verbose", FingerTarget("alice", server)});
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Login: alice\r\nNo Plan.\r\n\r\n\r\n");
  EXPECT_EQ(run.err, "");

  CScriptedServer everyone;
  everyone.Start(Script().Accept().Expect("\r\n").Close());
  EXPECT_EQ(test::RunCli(home, {"finger", FingerTarget("", everyone)}).out, "\r\n\r\n");
  EXPECT_TRUE(everyone.Finished());
}

TEST(CliWhoIs, SendsTheCommandLineOrTheHelpRequest) {
  test::ScopedHome home;
  CScriptedServer server;
  server.Start(Script().Accept().Expect("example.test\r\n").Send("domain: EXAMPLE.TEST\n").Close());
  const auto run = test::RunCli(home, {"whois", "--server", Server(server), "example.test"});
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "[" + Server(server) + "]\r\ndomain: EXAMPLE.TEST\r\n\r\n\r\n");

  // Only the first answer, as the window shows it when told to stop there.
  CScriptedServer first;
  first.Start(Script().Accept().Expect("example.test\r\n").Send("refer: 127.0.0.1:1\n").Close());
  const auto alone =
      test::RunCli(home, {"whois", "--no-referrals", "--server", Server(first), "example.test"});
  EXPECT_TRUE(first.Finished());
  EXPECT_EQ(alone.status, 0) << alone.err;
  EXPECT_EQ(alone.out, "refer: 127.0.0.1:1\r\n\r\n\r\n");

  CScriptedServer help;
  help.Start(Script().Accept().Expect("?\r\n").Send("help\r\n").Close());
  EXPECT_EQ(test::RunCli(home, {"whois", "--help-request", "--server", Server(help)}).status, 0);
  EXPECT_TRUE(help.Finished());
}

TEST(CliQuery, FailuresAndBadCommandLines) {
  test::ScopedHome home;
  // Nothing listens on port 1 of the loopback.
  const auto refused = test::RunCli(home, {"finger", "alice@127.0.0.1:1"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("WSAECONNREFUSED"), std::string::npos) << refused.err;

  const std::string tooLong(257, 'x');
  EXPECT_EQ(test::RunCli(home, {"whois", "--server", "127.0.0.1:1", tooLong}).status, 2);
  EXPECT_EQ(test::RunCli(home, {"whois", "--server", "127.0.0.1:0", "x"}).status, 2);
  EXPECT_EQ(test::RunCli(home, {"whois", "--server", "h", "--alternative", "x"}).status, 2);
  EXPECT_EQ(test::RunCli(home, {"finger", "alice"}).status, 2);  // no server stored
  EXPECT_EQ(test::RunCli(home, {"finger", "--help"}).status, 0);

  // A line break inside a query would reach the server as a request of its
  // own: refused before anything is sent.
  const auto split = test::RunCli(home, {"finger", "bob\r\nroot@127.0.0.1:1"});
  EXPECT_EQ(split.status, 2);
  EXPECT_NE(split.err.find("CR, LF or NUL"), std::string::npos) << split.err;
  EXPECT_EQ(test::RunCli(home, {"whois", "--server", "127.0.0.1:1", "x\nhelp"}).status, 2);
  EXPECT_EQ(test::RunCli(home, {"whois", "--server", "127.0.0.1:1", "x\ry"}).status, 2);
}

// The system's fingerd through inetd on tcp6, reached by its bracketed IPv6
// address; -4 and -6 refuse an address of the other family before any
// connection is tried.
TEST(CliFinger, AsksAFingerDaemonOverIPv6) {
  const std::string fingerd = "/usr/sbin/in.fingerd";
  if (const auto why = test::PrivateInetd::ProgramUnavailable(fingerd); !why.empty()) {
    if (test::PrivilegeRequired()) FAIL() << why;
    GTEST_SKIP() << why << " (scripts/install-deps test)";
  }
  test::PrivateInetd daemon;
  std::string problem;
  if (!daemon.StartProgram({fingerd, "in.fingerd"}, problem, true)) {
    if (test::PrivilegeRequired()) FAIL() << problem;
    GTEST_SKIP() << problem << " (no IPv6 loopback?)";
  }
  test::ScopedHome home;
  std::string target = "root@[::1]:";
  target += std::to_string(daemon.port());
  const auto run = test::RunCli(home, {"finger", target});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("root"), std::string::npos) << run.out;

  const auto ipv4Only = test::RunCli(home, {"finger", "-4", target});
  EXPECT_EQ(ipv4Only.status, 1);
  EXPECT_NE(ipv4Only.err.find("WSANO_DATA"), std::string::npos) << ipv4Only.err;
  std::string ipv4Target = "root@127.0.0.1:";
  ipv4Target += std::to_string(daemon.port());
  EXPECT_NE(test::RunCli(home, {"finger", "-6", ipv4Target}).err.find("WSANO_DATA"),
            std::string::npos);
  EXPECT_EQ(test::RunCli(home, {"finger", "-4", "-6", target}).status, 2);
}

}  // namespace
}  // namespace netrove
