// netrove-cli mail run as a program against a private aiosmtpd.
#include <gtest/gtest.h>

#include "base/settings_store.h"
#include "cli/cli_runner.h"
#include "query/aiosmtpd_server.h"
#include "query/mail_settings.h"

namespace netrove::test {
namespace {

TEST(CliMail, PrintsTheDialogueAndTakesItsDefaultsFromTheMailPage) {
  NETROVE_REQUIRE_AIOSMTPD();
  ScopedHome home;
  AiosmtpdServer server(home.path());
  ASSERT_TRUE(server.Ready());

  const CliRun given = RunCli(home, {"mail", "--to", "bob@example.test", "--server",
                                     server.server(), "--from", "alice@example.test"});
  EXPECT_EQ(given.status, 0) << given.err;
  EXPECT_EQ(given.err, "");
  EXPECT_EQ(given.out.rfind("220 ", 0), 0u) << given.out;
  EXPECT_TRUE(given.out.ends_with("\r\n221 Bye\r\n\r\n\r\n\r\n")) << given.out;

  auto key = CreateToolKey(kMailToolName);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteText(kOutgoingMailValue, server.server()));
  ASSERT_TRUE(key->WriteText(kMailAddressValue, "carol@example.test"));
  const CliRun stored = RunCli(home, {"mail", "--to", "dave@example.test"});
  EXPECT_EQ(stored.status, 0) << stored.err;

  const auto messages = server.Messages();
  ASSERT_EQ(messages.size(), 2u);
  const std::string both = messages[0] + messages[1];
  EXPECT_NE(both.find("X-MailFrom: alice@example.test"), std::string::npos) << both;
  EXPECT_NE(both.find("X-MailFrom: carol@example.test"), std::string::npos) << both;
  EXPECT_NE(both.find("X-RcptTo: dave@example.test"), std::string::npos) << both;
}

// The server on ::1 only, named by its bracketed address.
TEST(CliMail, SendsThroughAServerOnIPv6) {
  NETROVE_REQUIRE_AIOSMTPD();
  ScopedHome home;
  AiosmtpdServer server(home.path(), true);
  ASSERT_TRUE(server.Ready());
  const CliRun sent = RunCli(home, {"mail", "--to", "bob@example.test", "--server", server.server(),
                                    "--from", "alice@example.test"});
  EXPECT_EQ(sent.status, 0) << sent.err;
  const auto messages = server.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("X-Peer: ('::1'"), std::string::npos) << messages[0];
}

TEST(CliMail, RefusesTextsThatWouldAddCommands) {
  ScopedHome home;
  auto key = CreateToolKey(kMailToolName);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteText(kMailAddressValue, "alice@example.test\r\nRCPT TO:<eve@x>"));
  const CliRun run = RunCli(home, {"mail", "--to", "bob@example.test", "--server", "127.0.0.1:1"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("sender"), std::string::npos) << run.err;
  EXPECT_EQ(RunCli(home, {"mail", "--server", "127.0.0.1:1"}).status, 2);
}

}  // namespace
}  // namespace netrove::test
