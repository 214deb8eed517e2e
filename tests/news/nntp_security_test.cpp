// How the NNTP connection secures itself and signs in, against scripted
// servers: what it refuses to send in clear text, the order of STARTTLS,
// MODE READER and AUTHINFO, and the servers that misbehave on the way.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <memory>
#include <string>

#include "news/nntp_capabilities.h"
#include "news/nntp_connection.h"
#include "news/nntp_recorder.h"
#include "support/recording_reporter.h"
#include "support/scripted_server.h"

namespace netrove {
namespace {

using test::NntpRecorder;
using test::RecordedNntp;
using test::Script;

constexpr char kStartTlsCapabilities[] =
    "101 Capability list:\r\nVERSION 2\r\nREADER\r\nSTARTTLS\r\n.\r\n";
constexpr char kPlainCapabilities[] =
    "101 Capability list:\r\nVERSION 2\r\nREADER\r\nAUTHINFO USER\r\n.\r\n";

class NntpSecurityTest : public ::testing::Test {
 protected:
  void Connect(NntpSecurity security) {
    connection_ =
        std::make_unique<CNNTPConnection>(server_.port(), events_, reporter_, "127.0.0.1");
    connection_->SetSecurity(std::move(security));
    ASSERT_TRUE(connection_->Start());
  }
  // The connection ended by itself, having said why in a message that
  // holds `words`.
  void ExpectFailedSaying(const std::string& words) {
    ASSERT_TRUE(events_.WaitClosed());
    EXPECT_EQ(events_.Seen().end, NntpEnd::Failed);
    EXPECT_NE(AllMessages().find(words), std::string::npos) << AllMessages();
    EXPECT_TRUE(server_.Finished());
  }
  std::string AllMessages() const {
    std::string all;
    for (const std::string& text : reporter_.Texts()) all += text + "\n";
    return all;
  }
  static NntpSecurity Security(TlsMode mode, std::string user = {}) {
    NntpSecurity security;
    security.mode = mode;
    security.user = std::move(user);
    security.password = "secret";
    return security;
  }

  test::CScriptedServer server_;
  NntpRecorder events_;
  test::RecordingReporter reporter_;
  std::unique_ptr<CNNTPConnection> connection_;
};

TEST(NntpCapabilitiesTest, ReadsReaderStartTlsSignInAndOverviewInAnyCase) {
  const NntpCapabilities all = ParseNntpCapabilities(
      "VERSION 2\r\nreader\r\n  \r\nStartTLS\r\nAUTHINFO SASL user\r\nOVER MSGID\r\n");
  EXPECT_TRUE(all.reader);
  EXPECT_TRUE(all.startTls);
  EXPECT_TRUE(all.userSignIn);
  EXPECT_EQ(all.overview, NntpOverview::Over);
  // Words only count whole: READERS, STARTTLSX and AUTHINFO SASL are other
  // things; a keyword must start its line.
  const NntpCapabilities none =
      ParseNntpCapabilities("READERS\nSTARTTLSX\nAUTHINFO SASL\nIHAVE READER STARTTLS\n");
  EXPECT_FALSE(none.reader);
  EXPECT_FALSE(none.startTls);
  EXPECT_FALSE(none.userSignIn);
}

// Required: a server that does not list STARTTLS, or refuses it, gets no
// command in clear text beyond CAPABILITIES and STARTTLS.
TEST_F(NntpSecurityTest, RequiredTlsEndsWhenTheServerDoesNotOfferIt) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ready\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kPlainCapabilities)
                    .ExpectClosed());
  Connect(Security(TlsMode::Required, "reader"));
  ASSERT_EQ(connection_->QueueCommand(kNntpList), QueueOutcome::Queued);
  ExpectFailedSaying("does not offer TLS");
  EXPECT_TRUE(events_.Seen().lists.empty());
}

TEST_F(NntpSecurityTest, RequiredTlsEndsWhenTheServerRefusesIt) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ready\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kStartTlsCapabilities)
                    .ExpectLine("STARTTLS")
                    .Send("580 Can not initiate TLS negotiation\r\n")
                    .ExpectClosed());
  Connect(Security(TlsMode::Required));
  ExpectFailedSaying("580 Can not initiate");
}

// A server (or someone in between) that agrees to TLS and then goes on in
// clear text is left, whether the text comes with the 382 or after it.
TEST_F(NntpSecurityTest, ClearTextAfterTheUpgradeWasAgreedEndsTheConnection) {
  for (const bool together : {true, false}) {
    SCOPED_TRACE(together ? "with the 382" : "after the 382");
    test::CScriptedServer server;
    NntpRecorder events;
    test::RecordingReporter reporter;
    Script script;
    script.Accept()
        .Send("200 ready\r\n")
        .ExpectLine("CAPABILITIES")
        .Send(kStartTlsCapabilities)
        .ExpectLine("STARTTLS");
    if (together) {
      script.Send("382 Continue with TLS negotiation\r\n200 still plain\r\n");
    } else {
      script.Send("382 Continue with TLS negotiation\r\n")
          .Do("take the client's hello",
              [](test::StepContext& context) -> std::string {
                char hello[4096];
                return recv(context.socket, hello, sizeof hello, 0) > 0 ? "" : "no hello";
              })
          .Send("200 still plain\r\n");
    }
    server.Start(script.ExpectClosed());
    {
      CNNTPConnection connection(server.port(), events, reporter, "127.0.0.1");
      // Only prefers TLS: even so it must not fall back once it was agreed.
      NntpSecurity security = Security(TlsMode::IfOffered);
      security.tls.timeoutMs = 10000;
      connection.SetSecurity(security);
      ASSERT_TRUE(connection.Start());
      ASSERT_EQ(connection.QueueCommand(kNntpList), QueueOutcome::Queued);
      ASSERT_TRUE(events.WaitClosed());
      EXPECT_EQ(events.Seen().end, NntpEnd::Failed);
      EXPECT_TRUE(events.Seen().lists.empty());
      EXPECT_FALSE(connection.Secured());
      EXPECT_TRUE(server.Finished());
    }
  }
}

// If offered: a server without STARTTLS is read in clear text, but the
// password is not sent over it unless the user allowed that.
TEST_F(NntpSecurityTest, NoPasswordGoesInClearTextUnlessAllowed) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ready\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kPlainCapabilities)
                    .ExpectClosed());
  Connect(Security(TlsMode::IfOffered, "reader"));
  ExpectFailedSaying("the password was not sent");
}

// Allowed in clear text: the sign-in follows the list (which lists
// AUTHINFO USER), and the list is read again after it.
TEST_F(NntpSecurityTest, SignInWithUserAndPasswordThenReadsTheListAgain) {
  server_.Start(Script()
                    .Accept()
                    .Send("201 ready\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send("101 list\r\nVERSION 2\r\nMODE-READER\r\nAUTHINFO USER\r\n.\r\n")
                    .ExpectLine("MODE READER")
                    .Send("200 reader\r\n")
                    .ExpectLine("AUTHINFO USER reader")
                    .Send("381 Enter password\r\n")
                    .ExpectLine("AUTHINFO PASS secret")
                    .Send("281 Authentication accepted\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send("101 list\r\nVERSION 2\r\nREADER\r\nOVER\r\n.\r\n")
                    .ExpectLine("LIST")
                    .Send("215 list\r\nlocal.test 2 1 y\r\n.\r\n")
                    .ExpectLine("QUIT")
                    .Send("205 bye\r\n")
                    .Close());
  NntpSecurity security = Security(TlsMode::Off, "reader");
  security.plainSignInAllowed = true;
  Connect(security);
  ASSERT_EQ(connection_->QueueCommand(kNntpList), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitFor([](const RecordedNntp& r) { return r.lists.size() == 1; }));
  EXPECT_EQ(connection_->Overview(), NntpOverview::Over);  // from the list after the sign-in
  connection_->Disconnect();
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  EXPECT_TRUE(events_.Seen().refusals.empty());
  // Sign-in commands are the engine's own: a caller cannot queue them.
  EXPECT_EQ(connection_->QueueCommand(kNntpAuthPass, "x"), QueueOutcome::NotSent);
  EXPECT_EQ(connection_->QueueCommand(kNntpStartTls), QueueOutcome::NotSent);
}

// A server that lists no AUTHINFO asks with 480 when it wants a sign-in:
// then the command goes again after it.
TEST_F(NntpSecurityTest, SignsInWhenAskedAndSendsTheCommandAgain) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ready\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send("101 list\r\nVERSION 2\r\nREADER\r\n.\r\n")
                    .ExpectLine("GROUP local.test")
                    .Send("480 Authentication required\r\n")
                    .ExpectLine("AUTHINFO USER reader")
                    .Send("381 more\r\n")
                    .ExpectLine("AUTHINFO PASS secret")
                    .Send("281 ok\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send("101 list\r\nVERSION 2\r\nREADER\r\n.\r\n")
                    .ExpectLine("GROUP local.test")
                    .Send("211 3 1 3 local.test\r\n")
                    .ExpectLine("QUIT")
                    .Send("205 bye\r\n")
                    .Close());
  NntpSecurity security = Security(TlsMode::Off, "reader");
  security.plainSignInAllowed = true;
  Connect(security);
  ASSERT_EQ(connection_->QueueCommand(kNntpGroup, "local.test"), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitFor([](const RecordedNntp& r) { return r.groups.size() == 1; }));
  EXPECT_EQ(events_.Seen().groups[0].last, 3);
  connection_->Disconnect();
  ASSERT_TRUE(events_.WaitClosed());
  EXPECT_TRUE(server_.Finished());
  EXPECT_TRUE(events_.Seen().refusals.empty());
}

// A refused password ends the connection with the server's words; without
// a user name a 480 is an ordinary refusal the user is told about.
TEST_F(NntpSecurityTest, RefusedSignInEndsTheConnectionAndA480WithoutUserIsReported) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ready\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kPlainCapabilities)
                    .ExpectLine("AUTHINFO USER reader")
                    .Send("381 more\r\n")
                    .ExpectLine("AUTHINFO PASS secret")
                    .Send("481 Authentication failed\r\n")
                    .ExpectClosed()
                    .Accept()
                    .Send("200 ready\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kPlainCapabilities)
                    .ExpectLine("GROUP local.test")
                    .Send("480 Authentication required\r\n")
                    .ExpectLine("QUIT")
                    .Send("205 bye\r\n")
                    .Close());
  NntpSecurity security = Security(TlsMode::Off, "reader");
  security.plainSignInAllowed = true;
  Connect(security);
  ASSERT_EQ(connection_->QueueCommand(kNntpGroup, "local.test"), QueueOutcome::Queued);
  ASSERT_TRUE(events_.WaitClosed());
  RecordedNntp seen = events_.Seen();
  EXPECT_EQ(seen.end, NntpEnd::Failed);
  ASSERT_EQ(seen.refusals.size(), 1u);
  EXPECT_EQ(seen.refusals[0].command, kNntpAuthPass);
  EXPECT_EQ(seen.refusals[0].reply, "481 Authentication failed");
  EXPECT_TRUE(seen.groups.empty());

  NntpRecorder second;
  CNNTPConnection anonymous(server_.port(), second, reporter_, "127.0.0.1");
  ASSERT_TRUE(anonymous.Start());
  ASSERT_EQ(anonymous.QueueCommand(kNntpGroup, "local.test"), QueueOutcome::Queued);
  ASSERT_TRUE(second.WaitIdle());
  anonymous.Disconnect();
  ASSERT_TRUE(second.WaitClosed());
  seen = second.Seen();
  ASSERT_EQ(seen.refusals.size(), 1u);
  EXPECT_EQ(seen.refusals[0].command, kNntpGroup);
  EXPECT_TRUE(server_.Finished());
}

// A user name or password that would end the command line early is never
// sent: it could smuggle in a command of its own.
TEST_F(NntpSecurityTest, ALineEndInThePasswordIsNotSent) {
  server_.Start(Script()
                    .Accept()
                    .Send("200 ready\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kPlainCapabilities)
                    .ExpectClosed());
  NntpSecurity security = Security(TlsMode::Off, "reader");
  security.password = "x\r\nPOST";
  security.plainSignInAllowed = true;
  Connect(security);
  ExpectFailedSaying("holds a line end");
}

}  // namespace
}  // namespace netrove
