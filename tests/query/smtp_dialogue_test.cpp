// The SMTP dialogue object over real sockets: a whole dialogue delivered to
// aiosmtpd and read back from its mailbox, and the replies a real server
// will not produce, from a scripted one.
#include <gtest/gtest.h>

#include <string>

#include "base/reply_framer.h"
#include "query/aiosmtpd_server.h"
#include "query/smtp_dialogue_harness.h"
#include "query/smtp_scripts.h"
#include "support/scripted_server.h"
#include "support/test_certificates.h"

namespace netrove::test {
namespace {

constexpr const char* kAlice = "alice@example.test";
constexpr const char* kBob = "bob@example.test";

TEST(SmtpDialogueAiosmtpd, DeliversTheTestMessageWithItsEnvelope) {
  NETROVE_REQUIRE_AIOSMTPD();
  DialogueHarness run;
  AiosmtpdServer server(run.home.path());
  ASSERT_TRUE(server.Ready());
  ASSERT_TRUE(run.RunToEnd({server.server(), kAlice, kBob}));
  EXPECT_TRUE(run.dialogue.Delivered());
  EXPECT_TRUE(run.reporter.Messages().empty());
  EXPECT_EQ(run.finished.LastCommand(), kMailFinishedCommand);

  const std::string transcript = run.transcript.Text();
  EXPECT_EQ(transcript.rfind("220 ", 0), 0u) << transcript;
  EXPECT_NE(transcript.find("\r\n354 "), std::string::npos) << transcript;
  EXPECT_TRUE(transcript.ends_with("\r\n221 Bye\r\n\r\n\r\n\r\n")) << transcript;

  const auto messages = server.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("X-MailFrom: alice@example.test"), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find("X-RcptTo: bob@example.test"), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find("TEST - SMTP"), std::string::npos) << messages[0];
}

std::string ServerOf(const CScriptedServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

TEST(SmtpDialogueScripted, RepliesAreHandledWhenCompleteAndInOrder) {
  // A greeting of three lines, split inside a line over two receives, and
  // later two replies in one receive: the greeting is answered once, after
  // its last line, and both replies of the one receive are answered in turn.
  CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .SendInPieces({"220-mail.example.test\r\n220-welcome\r\n22", "0 ready\r\n"},
                                 std::chrono::milliseconds(50))
                   .ExpectLine("EHLO [127.0.0.1]")
                   .Send("250 hello\r\n250 sender ok\r\n")
                   .ExpectLine("MAIL FROM:<alice@example.test>")
                   .ExpectLine("RCPT TO:<bob@example.test>")
                   .Send("251 will forward\r\n")
                   .ExpectLine("DATA")
                   .Close());
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd({ServerOf(server), kAlice, kBob}));
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(run.transcript.Text(),
            "220-mail.example.test\r\n220-welcome\r\n220 ready\r\n250 hello\r\n250 sender ok\r\n"
            "251 will forward\r\n\r\n\r\n\r\n");
  EXPECT_TRUE(run.reporter.Messages().empty());
}

TEST(SmtpDialogueScripted, ARefusedRecipientIsFollowedByQuitAndTheDialogueEnds) {
  CScriptedServer server;
  server.Start(test::RefusingServer());
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd({ServerOf(server), kAlice, kBob}));
  EXPECT_TRUE(server.Finished());
  EXPECT_TRUE(run.transcript.Text().ends_with("550 no such user\r\n221 bye\r\n\r\n\r\n\r\n"))
      << run.transcript.Text();
  EXPECT_TRUE(run.reporter.Messages().empty());
  EXPECT_FALSE(run.dialogue.Delivered());
}

TEST(SmtpDialogueScripted, ASilentServerWaitsUntilHungUp) {
  CScriptedServer server;
  server.Start(test::SilentAfterEhlo());
  DialogueHarness run;
  ASSERT_TRUE(run.dialogue.Start({ServerOf(server), kAlice, kBob}));
  ASSERT_TRUE(WaitUntil([&] { return run.dialogue.InFlight() == SmtpCommand::Ehlo; }));
  EXPECT_TRUE(run.dialogue.IsRunning());
  // A second dialogue never starts on the same object while one runs.
  EXPECT_FALSE(run.dialogue.Start({ServerOf(server), kAlice, kBob}));

  // Hanging up sends nothing more, shows no error and ends the transcript.
  run.dialogue.HangUp();
  ASSERT_TRUE(WaitUntil([&] { return run.finished.Count() == 1; }));
  run.dialogue.Join();
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(run.transcript.Text(), "220 ready\r\n\r\n\r\n\r\n");
  EXPECT_TRUE(run.reporter.Messages().empty());
  EXPECT_FALSE(run.dialogue.Delivered());
}

TEST(SmtpDialogueScripted, AReplyThatDoesNotComeInTimeEndsTheDialogue) {
  CScriptedServer server;
  server.Start(test::SilentAfterEhlo());
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd({ServerOf(server), kAlice, kBob, {5000, 300}}));
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(run.transcript.Text(), "220 ready\r\n\r\n\r\n\r\n");
  ASSERT_EQ(run.reporter.Texts().size(), 1u);
  EXPECT_EQ(run.reporter.Texts()[0].rfind("WSAETIMEDOUT\n", 0), 0u);
}

TEST(SmtpDialogueScripted, A250ToDataWithoutTheGoAheadIsNoDelivery) {
  CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("220 ready\r\n")
                   .ExpectLine("EHLO [127.0.0.1]")
                   .Send("250 hello\r\n")
                   .ExpectLine("MAIL FROM:<alice@example.test>")
                   .Send("250 ok\r\n")
                   .ExpectLine("RCPT TO:<bob@example.test>")
                   .Send("250 ok\r\n")
                   .ExpectLine("DATA")
                   .Send("250 fine\r\n")
                   .ExpectLine("QUIT")
                   .Send("221 bye\r\n")
                   .ExpectClosed());
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd({ServerOf(server), kAlice, kBob}));
  EXPECT_TRUE(server.Finished());
  EXPECT_FALSE(run.dialogue.Delivered());
}

// A multi-line reply past the framer's 4 MiB bound: it is shown and passed
// over line by line, in time that grows with its size, and its last line's
// code is answered as any reply's.
TEST(SmtpDialogueScripted, AReplyOverTheBoundIsPassedOverAndAnswered) {
  const std::string line = "220-" + std::string(76, 'x') + "\r\n";
  std::string greeting;
  while (greeting.size() < CReplyFramer::kDefaultMaxReply + 128 * 1024) greeting += line;
  greeting += "220 ready\r\n";
  CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send(greeting)
                   .ExpectLine("EHLO [127.0.0.1]")
                   .Send("421 closing\r\n")
                   .ExpectLine("QUIT")
                   .Close());
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd({ServerOf(server), kAlice, kBob}));
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(run.transcript.Text(), greeting + "421 closing\r\n\r\n\r\n\r\n");
}

// Lines that are no reply wait for the reply they precede; past the reply
// bound they are shown as they came and the greeting after them is answered.
TEST(SmtpDialogueScripted, NonRepliesOverTheBoundAreShownAndTheGreetingAnswered) {
  const std::string line = "no code here " + std::string(63, 'x') + "\r\n";
  std::string chatter;
  while (chatter.size() < CReplyFramer::kDefaultMaxReply + 128 * 1024) chatter += line;
  CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send(chatter + "220 ready\r\n")
                   .ExpectLine("EHLO [127.0.0.1]")
                   .Send("421 closing\r\n")
                   .ExpectLine("QUIT")
                   .Close());
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd({ServerOf(server), kAlice, kBob}));
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(run.transcript.Text(), chatter + "220 ready\r\n421 closing\r\n\r\n\r\n\r\n");
}

TEST(SmtpDialogueScripted, InjectedCommandsNeverReachTheServer) {
  DialogueHarness run;
  EXPECT_FALSE(run.dialogue.Start({"127.0.0.1:1", kAlice, "bob@example.test>\r\nDATA"}));
  EXPECT_FALSE(run.dialogue.Start({"127.0.0.1:1", "alice@example.test\r\nRCPT TO:<eve@x>", kBob}));
  EXPECT_FALSE(run.dialogue.Start({"127.0.0.1:1\r\nQUIT", kAlice, kBob}));
  EXPECT_FALSE(run.dialogue.IsRunning());
  EXPECT_EQ(run.finished.Count(), 0);
}

TEST(SmtpDialogueScripted, RefusedConnectionIsReportedAndShowsNothing) {
  const int taken = BoundSocket(SOCK_STREAM, 0);  // bound, never listening
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd({"127.0.0.1:" + std::to_string(ntohs(address.sin_port)), kAlice, kBob}));
  ::close(taken);
  ASSERT_EQ(run.reporter.Texts().size(), 1u);
  EXPECT_EQ(run.reporter.Texts()[0].rfind("WSAECONNREFUSED\n", 0), 0u);
  EXPECT_EQ(run.transcript.Text(), "");
}

TEST(SmtpDialogueScripted, NonRepliesAreShownAndTheDialogueGoesOn) {
  CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("hello there\r\n220 ready\r\n")
                   .ExpectLine("EHLO [127.0.0.1]")
                   .Send("250 hello")
                   .Close());
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd({ServerOf(server), kAlice, kBob}));
  EXPECT_TRUE(server.Finished());
  // The unfinished last reply is shown as it came, and answered by nothing.
  EXPECT_EQ(run.transcript.Text(), "hello there\r\n220 ready\r\n250 hello\r\n\r\n\r\n");
}

// Reads the client's TLS hello (or whatever it sends), for a script that
// answers it its own way.
std::string ReadAnything(StepContext& context) {
  char bytes[512];
  return ::recv(context.socket, bytes, sizeof bytes, 0) > 0 ? std::string() : "nothing came";
}

Script OffersStartTls() {
  return Script()
      .Accept()
      .Send("220 ready\r\n")
      .ExpectLine("EHLO [127.0.0.1]")
      .Send("250-mail.test\r\n250 STARTTLS\r\n")
      .ExpectLine("STARTTLS");
}

SmtpRequest SecureRequest(const std::string& server, TlsMode tls) {
  SmtpRequest request{server, kAlice, kBob};
  request.tls = tls;
  return request;
}

TEST(SmtpDialogueSecure, DeliversOverStartTlsAfterSigningIn) {
  NETROVE_REQUIRE_AIOSMTPD();
  DialogueHarness run;
  CTestCertificates pki(run.home.path() / "pki");
  const auto certificate = pki.Issue("mail", {"127.0.0.1"});
  for (const bool implicit : {false, true}) {
    SCOPED_TRACE(implicit ? "implicit" : "STARTTLS");
    AiosmtpdServer server(run.home.path() / (implicit ? "implicit" : "starttls"),
                          {certificate.certificate, certificate.key, "alice", "s3cret", implicit});
    ASSERT_TRUE(server.Ready());
    SmtpRequest request =
        SecureRequest(server.server(), implicit ? TlsMode::Implicit : TlsMode::Required);
    request.tlsOptions.caFile = pki.caFile();
    request.user = "alice";
    request.password = "s3cret";
    ASSERT_TRUE(run.RunToEnd(request));
    EXPECT_TRUE(run.dialogue.Delivered()) << run.transcript.Text();
    EXPECT_TRUE(run.reporter.Messages().empty());
    const std::string transcript = run.transcript.Text();
    EXPECT_NE(transcript.find("(Secure connection: TLS"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("\r\n235 "), std::string::npos) << transcript;
    if (!implicit) {
      // The capabilities as the server listed them: STARTTLS before, AUTH after.
      EXPECT_LT(transcript.find("250-STARTTLS"), transcript.find("(Secure connection"));
      EXPECT_GT(transcript.find("250-AUTH LOGIN PLAIN"), transcript.find("(Secure connection"));
    }
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_NE(server.Messages()[0].find("TEST - SMTP"), std::string::npos);
  }
}

TEST(SmtpDialogueSecure, AWrongPasswordIsRefusedAndSaidSo) {
  NETROVE_REQUIRE_AIOSMTPD();
  DialogueHarness run;
  CTestCertificates pki(run.home.path() / "pki");
  const auto certificate = pki.Issue("mail", {"127.0.0.1"});
  AiosmtpdServer server(run.home.path(),
                        {certificate.certificate, certificate.key, "alice", "s3cret", false});
  ASSERT_TRUE(server.Ready());
  SmtpRequest request = SecureRequest(server.server(), TlsMode::IfOffered);
  request.tlsOptions.caFile = pki.caFile();
  request.user = "alice";
  request.password = "wrong";
  ASSERT_TRUE(run.RunToEnd(request)) << run.transcript.Text();
  EXPECT_FALSE(run.dialogue.Delivered());
  EXPECT_EQ(run.dialogue.Stop(), SmtpStop::AuthRefused);
  EXPECT_NE(run.transcript.Text().find("\r\n535 "), std::string::npos);
  ASSERT_EQ(run.reporter.Messages().size(), 1u);
  EXPECT_NE(run.reporter.Messages()[0].text.find("refused the user name or password"),
            std::string::npos);
  EXPECT_TRUE(server.Messages().empty());
}

TEST(SmtpDialogueSecure, AnUntrustedCertificateEndsTheDialogueForTheWindowToAsk) {
  NETROVE_REQUIRE_AIOSMTPD();
  DialogueHarness run;
  CTestCertificates pki(run.home.path() / "pki");
  const auto certificate = pki.Issue("mail", {"127.0.0.1"}, {}, true);
  AiosmtpdServer server(run.home.path(),
                        {certificate.certificate, certificate.key, "alice", "s3cret", false});
  ASSERT_TRUE(server.Ready());
  ASSERT_TRUE(run.RunToEnd(SecureRequest(server.server(), TlsMode::IfOffered)));
  const auto untrusted = run.dialogue.TrustFailure();
  ASSERT_TRUE(untrusted);
  EXPECT_EQ(untrusted->problem, CertificateProblem::SelfSigned);
  EXPECT_EQ(untrusted->certificate.sha256, certificate.sha256);
  // Not an error to report: the window asks instead.
  EXPECT_TRUE(run.reporter.Messages().empty());
  EXPECT_FALSE(run.dialogue.Delivered());
}

TEST(SmtpDialogueSecure, APlainTextAnswerToTheHandshakeFailsWithoutFallingBack) {
  CScriptedServer server;
  server.Start(OffersStartTls()
                   .Send("220 go ahead\r\n")
                   .Do("read the TLS hello", ReadAnything)
                   .Send("250 this is not TLS\r\n")
                   .ExpectClosed());
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd(SecureRequest(ServerOf(server), TlsMode::IfOffered)));
  EXPECT_TRUE(server.Finished());
  EXPECT_FALSE(run.dialogue.Delivered());
  ASSERT_EQ(run.reporter.Messages().size(), 1u);
  EXPECT_NE(run.reporter.Messages()[0].text.find("TLS_HANDSHAKE_FAILED"), std::string::npos);
}

TEST(SmtpDialogueSecure, TextAfterTheGoAheadIsNeverTakenAsTheSecureServers) {
  // A third party's reply behind the go-ahead would otherwise be read as
  // the first reply over TLS.
  CScriptedServer server;
  server.Start(OffersStartTls().Send("220 go ahead\r\n250 injected\r\n").ExpectClosed());
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd(SecureRequest(ServerOf(server), TlsMode::Required)));
  EXPECT_TRUE(server.Finished());
  ASSERT_EQ(run.reporter.Messages().size(), 1u);
  EXPECT_NE(run.reporter.Messages()[0].text.find("more text after agreeing to STARTTLS"),
            std::string::npos);
  EXPECT_EQ(run.transcript.Text().find("injected"), std::string::npos);
}

TEST(SmtpDialogueSecure, RequiredTlsThatIsNotOfferedSendsNothingMore) {
  CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("220 ready\r\n")
                   .ExpectLine("EHLO [127.0.0.1]")
                   .Send("250-mail.test\r\n250 AUTH PLAIN\r\n")
                   .ExpectLine("QUIT")
                   .Send("221 bye\r\n")
                   .ExpectClosed());
  DialogueHarness run;
  SmtpRequest request = SecureRequest(ServerOf(server), TlsMode::Required);
  request.user = "alice";
  request.password = "s3cret";
  ASSERT_TRUE(run.RunToEnd(request));
  EXPECT_TRUE(server.Finished());
  ASSERT_EQ(run.reporter.Messages().size(), 1u);
  EXPECT_NE(run.reporter.Messages()[0].text.find("does not offer STARTTLS"), std::string::npos);
}

}  // namespace
}  // namespace netrove::test
