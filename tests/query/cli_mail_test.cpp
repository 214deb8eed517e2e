// netrove-cli mail run as a program against a private aiosmtpd.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "base/settings_store.h"
#include "cli/cli_runner.h"
#include "query/aiosmtpd_server.h"
#include "query/mail_settings.h"
#include "support/test_certificates.h"

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

// Submission with STARTTLS and a user, as a mail provider asks for it.
class CliMailSecure : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!AiosmtpdServer::Installed()) GTEST_SKIP() << "python3-aiosmtpd is not installed";
    server_ = std::make_unique<AiosmtpdServer>(
        home_.path() / "smtp",
        AiosmtpdServer::Secure{certificate_.certificate, certificate_.key, "alice", "s3cret"});
    ASSERT_TRUE(server_->Ready());
    std::ofstream(home_.path() / "password") << "s3cret\n";
  }
  std::vector<std::string> Args(std::vector<std::string> more) {
    std::vector<std::string> args{"mail",
                                  "--to",
                                  "bob@example.test",
                                  "--from",
                                  "alice@example.test",
                                  "--server",
                                  "127.0.0.1",
                                  "--port",
                                  std::to_string(server_->port())};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  ScopedHome home_;
  CTestCertificates pki_{home_.path() / "pki"};
  IssuedCertificate certificate_ = pki_.Issue("mail", {"127.0.0.1"});
  std::unique_ptr<AiosmtpdServer> server_;
};

TEST_F(CliMailSecure, DeliversWithStartTlsAndAPasswordFile) {
  const CliRun run =
      RunCli(home_, Args({"--tls", "required", "--cacert", pki_.caFile(), "--user", "alice",
                          "--password-file", (home_.path() / "password").string()}));
  EXPECT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_EQ(run.err, "");
  // The capabilities are in the transcript: STARTTLS before, AUTH after.
  EXPECT_LT(run.out.find("250-STARTTLS"), run.out.find("(Secure connection: TLS"));
  EXPECT_NE(run.out.find("250-AUTH LOGIN PLAIN"), std::string::npos);
  EXPECT_NE(run.out.find("235 "), std::string::npos);
  EXPECT_EQ(run.out.find("s3cret"), std::string::npos);
  EXPECT_EQ(server_->Messages().size(), 1u);
}

TEST_F(CliMailSecure, TakesThePasswordFromAPrivateNetrc) {
  const auto netrc = home_.path() / "netrc";
  std::ofstream(netrc) << "machine 127.0.0.1 login alice password s3cret\n";
  ::chmod(netrc.c_str(), 0600);
  ::setenv("NETRC", netrc.c_str(), 1);
  const CliRun run = RunCli(home_, Args({"--cacert", pki_.caFile(), "--user", "alice"}));
  ::unsetenv("NETRC");
  EXPECT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_EQ(server_->Messages().size(), 1u);
}

TEST_F(CliMailSecure, AnUntrustedCertificateIsDescribedThenAcceptedByItsPin) {
  const CliRun refused = RunCli(home_, Args({"--tls", "required"}));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("is not trusted: the certificate's issuer is not known"),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("Subject: CN=127.0.0.1"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("--pin " + certificate_.sha256), std::string::npos) << refused.err;
  EXPECT_EQ(refused.out.find("MAIL FROM"), std::string::npos);

  // The server signs in only its user, over TLS.
  const std::string password = (home_.path() / "password").string();
  const CliRun pinned = RunCli(home_, Args({"--tls", "required", "--pin", certificate_.sha256,
                                            "--user", "alice", "--password-file", password}));
  EXPECT_EQ(pinned.status, 0) << pinned.err;
  EXPECT_NE(pinned.out.find("certificate trusted by its pin"), std::string::npos);

  const CliRun insecure = RunCli(home_, Args({"--tls", "required", "--insecure", "--user", "alice",
                                              "--password-file", password}));
  EXPECT_EQ(insecure.status, 0) << insecure.err;
  EXPECT_NE(insecure.err.find("warning: --insecure"), std::string::npos);
  EXPECT_EQ(server_->Messages().size(), 2u);

  EXPECT_EQ(RunCli(home_, Args({"--tls", "sometimes"})).status, 2);
  EXPECT_EQ(RunCli(home_, Args({"--pin", "abc"})).status, 2);
}

}  // namespace
}  // namespace netrove::test
