// netrove-cli news over TLS with a sign-in: against a private INN that
// speaks TLS from the first byte and by STARTTLS and lets only its reader
// read, and against a scripted server that agrees to STARTTLS and then goes
// on in clear text.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli_runner.h"
#include "news/article_text.h"
#include "news/inn_fixture.h"
#include "news/nntp_connection.h"
#include "news/nntp_recorder.h"
#include "support/recording_reporter.h"
#include "support/scripted_server.h"
#include "support/test_certificates.h"

namespace netrove {
namespace {

constexpr char kUser[] = "reader";
constexpr char kPassword[] = "s3cret-pass";

std::string At(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

std::string WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path) << text;
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  return path.string();
}

class CliNewsTls : public ::testing::Test {
 protected:
  void SetUp() override {
    NETROVE_REQUIRE_INN();
    pki_ = std::make_unique<test::CTestCertificates>(home_.path() / "pki");
    certificate_ = pki_->Issue("news", {"127.0.0.1"});
    inn_ = std::make_unique<test::InnInstance>(
        test::InnSecurity{certificate_.certificate, certificate_.key, kUser, kPassword});
    ASSERT_TRUE(inn_->started()) << "the private INN did not start";
    passwordFile_ = WriteFile(home_.path() / "password", std::string(kPassword) + "\n");
  }

  // Posts articles "Seed 1".."Seed count" as the reader, over TLS.
  void Seed(int count) {
    test::NntpRecorder events;
    test::RecordingReporter reporter;
    CNNTPConnection connection(inn_->tlsPort(), events, reporter, "127.0.0.1");
    NntpSecurity security;
    security.mode = TlsMode::Implicit;
    security.tls.caFile = pki_->caFile();
    security.user = kUser;
    security.password = kPassword;
    connection.SetSecurity(security);
    ASSERT_TRUE(connection.Start());
    for (int number = 1; number <= count; ++number) {
      ASSERT_EQ(connection.QueueCommand(
                    kNntpPost,
                    ArticleWireForm("From: tester@netrove.test\nNewsgroups: local.test\n"
                                    "Subject: Seed " +
                                        std::to_string(number) + "\n",
                                    "x\n"),
                    {7}),
                QueueOutcome::Queued);
    }
    ASSERT_TRUE(events.WaitFor([&](const test::RecordedNntp& r) {
      return r.posts.size() == static_cast<std::size_t>(count) || r.closed;
    }));
    for (const auto& post : events.Seen().posts) {
      ASSERT_EQ(post.outcome, NntpPostOutcome::Posted) << post.reply;
    }
    connection.Disconnect();
    ASSERT_TRUE(events.WaitClosed());
  }

  std::vector<std::string> Headers(const std::string& tls, std::uint16_t port,
                                   const std::string& password) {
    return {"news",
            "--tls",
            tls,
            "--cacert",
            pki_->caFile().string(),
            "--user",
            kUser,
            "--password-file",
            password,
            At(port),
            "headers",
            "local.test",
            "5"};
  }

  test::ScopedHome home_;
  std::unique_ptr<test::CTestCertificates> pki_;
  test::IssuedCertificate certificate_;
  std::unique_ptr<test::InnInstance> inn_;
  std::string passwordFile_;
};

TEST_F(CliNewsTls, HeadersOverImplicitTlsAndOverStartTls) {
  Seed(6);
  for (const auto& [tls, port] :
       {std::pair<std::string, std::uint16_t>{"implicit", inn_->tlsPort()},
        {"required", inn_->port()}}) {
    SCOPED_TRACE(tls);
    const auto run = test::RunInProcess(Headers(tls, port, passwordFile_));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // The newest five, newest first.
    EXPECT_EQ(run.out.find("6\tSeed 6\t"), 0u) << run.out;
    EXPECT_NE(run.out.find("2\tSeed 2\t"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("1\tSeed 1\t"), std::string::npos) << run.out;
  }
}

TEST_F(CliNewsTls, RefusedPasswordUntrustedCertificateAndPlainSignInFail) {
  const std::string wrong = WriteFile(home_.path() / "wrong", "not-it\n");
  const auto refused = test::RunInProcess(Headers("implicit", inn_->tlsPort(), wrong));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("refused AUTHINFO PASS: 481"), std::string::npos) << refused.err;
  EXPECT_EQ(refused.out, "");

  // Without --cacert the test CA is unknown: refused, with the certificate
  // described and the pin that would trust it.
  const auto untrusted =
      test::RunInProcess({"news", "--tls", "required", "--user", kUser, "--password-file",
                          passwordFile_, At(inn_->port()), "group", "local.test"});
  EXPECT_EQ(untrusted.status, 1);
  EXPECT_NE(untrusted.err.find("--pin " + certificate_.sha256), std::string::npos) << untrusted.err;
  const auto pinned = test::RunInProcess({"news", "--tls", "implicit", "--pin", certificate_.sha256,
                                          "--user", kUser, "--password-file", passwordFile_,
                                          At(inn_->tlsPort()), "group", "local.test"});
  EXPECT_EQ(pinned.status, 0) << pinned.err;

  // If offered is what this server does; with TLS off the password stays
  // home unless the line says so: here it does, and INN takes it.
  const auto plain = test::RunInProcess({"news", "--tls", "off", "--user", kUser, "--password-file",
                                         passwordFile_, At(inn_->port()), "group", "local.test"});
  EXPECT_EQ(plain.status, 0) << plain.err;
}

// Agreed to STARTTLS, then clear text: the run fails and nothing but
// CAPABILITIES and STARTTLS went out.
TEST(CliNewsStartTls, ClearTextAfterTheUpgradeFailsTheRun) {
  test::ScopedHome home;
  test::CScriptedServer server;
  server.Start(test::Script()
                   .Accept()
                   .Send("200 ready\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send("101 list\r\nVERSION 2\r\nREADER\r\nSTARTTLS\r\n.\r\n")
                   .ExpectLine("STARTTLS")
                   .Send("382 go ahead\r\n")
                   .Do("take the client's hello",
                       [](test::StepContext& context) -> std::string {
                         char hello[4096];
                         return recv(context.socket, hello, sizeof hello, 0) > 0 ? "" : "no hello";
                       })
                   .Send("211 1 1 1 local.test\r\n")
                   .ExpectClosed());
  const std::string password = WriteFile(home.path() / "password", "pw\n");
  const auto run =
      test::RunInProcess({"news", "--tls", "required", "--user", "u", "--password-file", password,
                          At(server.port()), "group", "local.test"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("The secure connection to 127.0.0.1 failed"), std::string::npos)
      << run.err;
  EXPECT_TRUE(server.Finished());
}

}  // namespace
}  // namespace netrove
