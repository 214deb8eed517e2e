// The SMTP dialogue object over real sockets: a whole dialogue delivered to
// aiosmtpd and read back from its mailbox, and the replies a real server
// will not produce, from a scripted one.
#include <gtest/gtest.h>

#include <string>

#include "query/aiosmtpd_server.h"
#include "query/smtp_dialogue_harness.h"
#include "query/smtp_script_peer.h"

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
  EXPECT_EQ(run.finished.lastCommand.load(), kMailFinishedCommand);

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

TEST(SmtpDialogueScripted, RepliesAreHandledWhenCompleteAndInOrder) {
  // A greeting of three lines, split inside a line over two receives, and
  // later two replies in one receive: the greeting is answered once, after
  // its last line, and both replies of the one receive are answered in turn.
  ScriptedPeer peer(
      {Send("220-mail.example.test\r\n220-welcome\r\n22"), Pause(), Send("0 ready\r\n"),
       Expect("HELO 127.0.0.1\r\n"), Send("250 hello\r\n250 sender ok\r\n"),
       Expect("MAIL FROM:<alice@example.test>\r\n"), Expect("RCPT TO:<bob@example.test>\r\n"),
       Send("251 will forward\r\n"), Expect("DATA\r\n"), Close()});
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd({peer.server(), kAlice, kBob}));
  EXPECT_TRUE(WaitFor([&] { return peer.Done(); }));
  EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
  EXPECT_EQ(peer.Received(),
            "HELO 127.0.0.1\r\nMAIL FROM:<alice@example.test>\r\nRCPT TO:<bob@example.test>\r\n"
            "DATA\r\n");
  EXPECT_EQ(run.transcript.Text(),
            "220-mail.example.test\r\n220-welcome\r\n220 ready\r\n250 hello\r\n250 sender ok\r\n"
            "251 will forward\r\n\r\n\r\n\r\n");
  EXPECT_TRUE(run.reporter.Messages().empty());
}

TEST(SmtpDialogueScripted, RefusedRecipientWaitsUntilHungUp) {
  ScriptedPeer peer({Send("220 ready\r\n"), Expect("HELO 127.0.0.1\r\n"), Send("250 hello\r\n"),
                     Expect("MAIL FROM:<alice@example.test>\r\n"), Send("250 ok\r\n"),
                     Expect("RCPT TO:<bob@example.test>\r\n"), Send("550 no such user\r\n"),
                     Drain()});
  DialogueHarness run;
  ASSERT_TRUE(run.dialogue.Start({peer.server(), kAlice, kBob}));
  ASSERT_TRUE(WaitFor([&] { return run.transcript.Text().ends_with("550 no such user\r\n"); }));
  EXPECT_TRUE(run.dialogue.IsRunning());
  EXPECT_EQ(run.dialogue.InFlight(), SmtpCommand::Rcpt);
  // A second dialogue never starts on the same object while one runs.
  EXPECT_FALSE(run.dialogue.Start({peer.server(), kAlice, kBob}));

  run.dialogue.HangUp();
  ASSERT_TRUE(WaitFor([&] { return run.finished.count.load() == 1; }));
  run.dialogue.Join();
  EXPECT_TRUE(WaitFor([&] { return peer.Done(); }));
  EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
  // Nothing was sent after the refused RCPT, and hanging up shows no error.
  EXPECT_TRUE(peer.Received().ends_with("RCPT TO:<bob@example.test>\r\n"));
  EXPECT_TRUE(run.transcript.Text().ends_with("550 no such user\r\n\r\n\r\n\r\n"));
  EXPECT_TRUE(run.reporter.Messages().empty());
  EXPECT_FALSE(run.dialogue.Delivered());
}

TEST(SmtpDialogueScripted, InjectedCommandsNeverReachTheServer) {
  ScriptedPeer peer({Send("220 ready\r\n"), Drain()});
  DialogueHarness run;
  EXPECT_FALSE(run.dialogue.Start({peer.server(), kAlice, "bob@example.test>\r\nDATA"}));
  EXPECT_FALSE(run.dialogue.Start({peer.server(), "alice@example.test\r\nRCPT TO:<eve@x>", kBob}));
  EXPECT_FALSE(peer.Accepted());
  EXPECT_EQ(run.finished.count.load(), 0);
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
  ScriptedPeer peer({Send("hello there\r\n220 ready\r\n"), Expect("HELO 127.0.0.1\r\n"),
                     Send("250 hello"), Close()});
  DialogueHarness run;
  ASSERT_TRUE(run.RunToEnd({peer.server(), kAlice, kBob}));
  EXPECT_TRUE(WaitFor([&] { return peer.Done(); }));
  EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
  // The unfinished last reply is shown as it came, and answered by nothing.
  EXPECT_EQ(run.transcript.Text(), "hello there\r\n220 ready\r\n250 hello\r\n\r\n\r\n");
}

}  // namespace
}  // namespace netrove::test
