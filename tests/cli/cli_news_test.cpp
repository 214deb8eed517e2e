// netrove-cli news against scripted servers: the header walk's lines, the
// newsrc line a catch-up leaves, a refused post, Ctrl+C on a silent server.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli_runner.h"
#include "news/news_server.h"
#include "news/news_settings.h"
#include "support/scripted_server.h"
#include "support/wait_until.h"

namespace netrove {
namespace {

// A server that reads news already, as its CAPABILITIES say.
constexpr char kReaderCapabilities[] = "101 Capability list:\r\nVERSION 2\r\nREADER\r\n.\r\n";

using test::Script;

std::string Target(const test::CScriptedServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

TEST(CliNews, HeadersSkipArticlesWithoutMessageIdAndCatchUpWritesTheRange) {
  test::ScopedHome home;
  test::CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("200 ready\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("GROUP local.test")
                   .Send("211 3 1 3 local.test\r\n")
                   .ExpectLine("STAT 3")
                   .Send("223 3 <3@t>\r\n")
                   .ExpectLine("HEAD")
                   .Send("221 3 <3@t>\r\nSubject: Third\r\nFrom: A <a@b>\r\nDate: today\r\n"
                         "Message-ID: <3@t>\r\n.\r\n")
                   .ExpectLine("LAST")
                   .Send("223 2 <>\r\n")
                   .ExpectLine("HEAD")
                   .Send("221 2 <>\r\nSubject: No id\r\n.\r\n")
                   .ExpectLine("LAST")
                   .Send("223 1 <1@t>\r\n")
                   .ExpectLine("HEAD")
                   .Send("221 1 <1@t>\r\nSubject:\r\nFrom: )\r\nMessage-ID: <1@t>\r\n.\r\n")
                   .ExpectLine("QUIT")
                   .Send("205 bye\r\n")
                   .Close());
  const auto headers = test::RunInProcess({"news", Target(server), "headers", "local.test", "2"});
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(headers.status, 0) << headers.err;
  EXPECT_EQ(headers.out, "3\tThird\tA\ttoday\r\n1\t\t)\t\r\n");

  test::CScriptedServer second;
  second.Start(Script()
                   .Accept()
                   .Send("200 ready\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("GROUP local.test")
                   .Send("211 3 1 50000000 local.test\r\n")
                   .ExpectLine("QUIT")
                   .Send("205 bye\r\n")
                   .Close());
  const auto catchup = test::RunInProcess({"news", Target(second), "catchup", "local.test"});
  EXPECT_TRUE(second.Finished());
  EXPECT_EQ(catchup.status, 0) << catchup.err;
  // The port is in the folder's name: the first server's marks stay apart.
  EXPECT_EQ(test::ReadFile(NewsrcPath("", NewsServerName("127.0.0.1", second.port()))),
            "local.test: 1-50000000\r\n");
  EXPECT_FALSE(std::filesystem::exists(NewsrcPath("", NewsServerName("127.0.0.1", server.port()))));
}

TEST(CliNews, RefusedPostFailsWithTheBoxText) {
  test::ScopedHome home;
  test::CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("200 ready\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("POST")
                   .Send("340 go\r\n")
                   .Do("article", [](test::StepContext&) { return std::string(); })
                   .Expect("From: me@here\r\nSubject: Hi\r\nNewsgroups: no.such\r\n"
                           "X-Newsreader: Netrove - Version 3.00 (Build 55).\r\n\r\n"
                           "Hello\r\n..dot\r\n.\r\n")
                   .Send("441 no such group\r\n")
                   .ExpectLine("QUIT")
                   .Close());
  // The body comes from standard input, its last line end being the file's.
  std::istringstream body("Hello\n.dot\n");
  std::streambuf* const input = std::cin.rdbuf(body.rdbuf());
  const auto post = test::RunInProcess({"news", Target(server), "post", "--group", "no.such",
                                        "--subject", "Hi", "--from", "me@here"});
  std::cin.rdbuf(input);
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(post.status, 1);
  EXPECT_EQ(post.err, "Command: POST\r\nPosting failed.\r\n441 no such group\n");
}

// Failures exit 1 and say why on stderr: a refused LIST in the server's
// words, a group the server does not have, a server that closes in the
// middle of an article.
TEST(CliNews, RefusalsUnknownGroupsAndEarlyClosesFailWithAMessage) {
  test::ScopedHome home;
  test::CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("200 ready\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("LIST")
                   .Send("480 Authentication required\r\n")
                   .ExpectLine("QUIT")
                   .Send("205 bye\r\n")
                   .Close()
                   .Accept()
                   .Send("200 ready\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("GROUP no.such")
                   .Send("411 no such group\r\n")
                   .ExpectLine("ARTICLE 1")
                   .Send("412 no group selected\r\n")
                   .ExpectLine("QUIT")
                   .Send("205 bye\r\n")
                   .Close()
                   .Accept()
                   .Send("200 ready\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("GROUP local.test")
                   .Send("211 1 1 1 local.test\r\n")
                   .ExpectLine("ARTICLE 1")
                   .Send("220 1 <1@t>\r\nSubject: cut\r\n\r\npart")
                   .Close()
                   .Accept()
                   .ExpectClosed());
  const auto list = test::RunInProcess({"news", Target(server), "list"});
  EXPECT_EQ(list.status, 1);
  EXPECT_EQ(list.out, "");
  EXPECT_EQ(list.err,
            "netrove-cli news: the server refused LIST: 480 Authentication required\n"
            "netrove-cli news: the server wants a sign-in: give --user\n");
  const auto unknown = test::RunInProcess({"news", Target(server), "read", "no.such", "1"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("no such group: no.such"), std::string::npos) << unknown.err;
  const auto cut = test::RunInProcess({"news", Target(server), "read", "local.test", "1"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.out, "");
  EXPECT_EQ(cut.err, "netrove-cli news: the server closed the connection\n");
  // A server that never greets: left after the time-out.
  const auto silent = test::RunInProcess({"news", "--timeout", "1", Target(server), "list"});
  EXPECT_EQ(silent.status, 1);
  EXPECT_NE(silent.err.find("did not answer within 1 second;"), std::string::npos) << silent.err;
  EXPECT_TRUE(server.Finished());
}

// A server that never answers GROUP: Ctrl+C disconnects as the window does
// (QUIT would follow the GROUP's answer), so after the grace the connection
// is closed, the run ends as failed and the user's newsrc is intact.
TEST(CliNews, CtrlCDisconnectsFromASilentServer) {
  test::ScopedHome home;
  test::CScriptedServer server;
  const auto newsrc = NewsrcPath("", NewsServerName("127.0.0.1", server.port()));
  std::filesystem::create_directories(newsrc.parent_path());
  std::ofstream(newsrc, std::ios::binary) << "local.test: 1-7\r\n";
  std::atomic<bool> asked{false};
  server.Start(Script()
                   .Accept()
                   .Send("200 ready\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("GROUP local.test")
                   .Do("note the GROUP",
                       [&](test::StepContext&) {
                         asked = true;
                         return std::string();
                       })
                   .ExpectClosed());
  test::CliProcess news(home, {"news", Target(server), "headers", "local.test", "3"});
  ASSERT_TRUE(test::WaitUntil([&] { return asked.load(); }));
  news.Signal(SIGINT);
  EXPECT_TRUE(server.Finished());
  const test::CliRun run = news.Finish();
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(test::ReadFile(newsrc), "local.test: 1-7\r\n");
}

TEST(CliNews, PostWritesWhatThePostingWindowWouldFromTheUserSettings) {
  test::ScopedHome home;
  ASSERT_TRUE(WriteNewsText(kNewsUserFullName, "Pat Poster"));
  ASSERT_TRUE(WriteNewsText(kNewsUserAddress, "pat@netrove.test"));
  ASSERT_TRUE(WriteNewsNumber(kNewsUserFrom, 1));
  ASSERT_TRUE(WriteNewsText(kNewsUserOrganization, "Netrove Users"));
  test::CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("200 ready\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("POST")
                   .Send("340 go\r\n")
                   .Expect("From: pat@netrove.test (Pat Poster)\r\nSubject: Hi\r\n"
                           "Newsgroups: local.test\r\nOrganization: Netrove Users\r\n"
                           "X-Newsreader: Netrove - Version 3.00 (Build 55).\r\n\r\n"
                           "one\r\ntwo\r\n.\r\n")
                   .Send("240 posted\r\n")
                   .ExpectLine("QUIT")
                   .Close());
  std::istringstream body("one\ntwo\n");
  std::streambuf* const input = std::cin.rdbuf(body.rdbuf());
  const auto post =
      test::RunInProcess({"news", Target(server), "post", "--group", "local.test", "-s", "Hi"});
  std::cin.rdbuf(input);
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(post.status, 0);
  EXPECT_EQ(post.out, "Article posted OK.\r\n");
}

// A server on ::1 only, named by its bracketed address; -4 refuses it
// before any connection.
TEST(CliNews, GroupOverIPv6) {
  test::ScopedHome home;
  std::unique_ptr<test::CScriptedServer> server;
  try {
    server = std::make_unique<test::CScriptedServer>(test::CScriptedServer::Transport::TcpIPv6);
  } catch (const std::exception& error) {
    GTEST_SKIP() << "no IPv6 loopback here: " << error.what();
  }
  server->Start(Script()
                    .Accept()
                    .Send("200 ready\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("GROUP local.test")
                    .Send("211 3 1 3 local.test\r\n")
                    .ExpectLine("QUIT")
                    .Send("205 bye\r\n")
                    .Close());
  const std::string target = "[::1]:" + std::to_string(server->port());
  const auto group = test::RunInProcess({"news", target, "group", "local.test"});
  EXPECT_TRUE(server->Finished());
  EXPECT_EQ(group.status, 0) << group.err;
  EXPECT_EQ(group.out, "local.test: 3 articles, 1-3\r\n");
  const auto ipv4Only = test::RunInProcess({"news", "-4", target, "group", "local.test"});
  EXPECT_EQ(ipv4Only.status, 1);
  EXPECT_NE(ipv4Only.err.find("WSANO_DATA"), std::string::npos) << ipv4Only.err;
}

}  // namespace
}  // namespace netrove
