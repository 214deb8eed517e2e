// AUTH TLS refused or abused, against scripted servers: what a client
// requiring TLS must never send in the clear, and where it may go on.
#include <gtest/gtest.h>

#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_recorder.h"

namespace netrove {
namespace {

using namespace std::chrono_literals;
using test::Script;

class FtpsScripted : public ::testing::Test {
 protected:
  void SetUp() override { connection_.SetQuitGrace(200ms); }
  void TearDown() override {
    connection_.Quit();
    connection_.WaitUntilEnded();
  }
  void Connect(TlsMode tls) {
    FtpLogin login;
    login.host = "127.0.0.1";
    login.serverPort = control_.port();
    login.mode = kFtpModePassive;
    login.verbose = true;
    login.tls = tls;
    ASSERT_TRUE(connection_.Connect(login));
  }

  test::ScopedHome home_;
  test::CScriptedServer control_;
  test::FtpRecorder events_;
  test::RecordingReporter reporter_;
  CFtpConnection connection_{events_, reporter_, events_, events_, events_, SystemResolver()};
};

// Required: a refusal ends the connection with nothing more sent, not even
// QUIT, and says why.
TEST_F(FtpsScripted, RequiredSendsNothingMoreWhenAuthTlsIsRefused) {
  control_.Start(Script()
                     .Accept()
                     .Send("220 ready\r\n")
                     .ExpectLine("AUTH TLS")
                     .Send("502 not here\r\n")
                     .ExpectClosed());
  Connect(TlsMode::Required);
  connection_.WaitUntilEnded();
  EXPECT_TRUE(control_.Finished());
  ASSERT_EQ(reporter_.Texts().size(), 1u);
  EXPECT_NE(reporter_.Texts()[0].find("refused TLS: 502 not here"), std::string::npos);
  EXPECT_FALSE(connection_.IsConnected());
}

// If offered: a refusal is noted and the login goes on in plain text; a
// server without TLS may refuse with 530, as if it were a login command.
TEST_F(FtpsScripted, IfOfferedLogsInInPlainTextWhenAuthTlsIsRefused) {
  control_.Start(Script()
                     .Accept()
                     .Send("220 ready\r\n")
                     .ExpectLine("AUTH TLS")
                     .Send("530 Please login with USER and PASS.\r\n")
                     .ExpectLine("USER anonymous")
                     .Send("331 password\r\n")
                     .ExpectLine("PASS plume")
                     .Send("230 in\r\n")
                     .ExpectLine("FEAT"));
  Connect(TlsMode::IfOffered);
  ASSERT_TRUE(control_.Finished());
  EXPECT_FALSE(connection_.IsSecured());
  EXPECT_NE(events_.Transcript().find("going on in plain text"), std::string::npos);
  EXPECT_TRUE(reporter_.Messages().empty());
}

// A yes to AUTH TLS with more plain text behind it in the same segment is
// someone else's text, slipped in before the handshake: the client closes
// without starting TLS on it or reading it as a reply.
TEST_F(FtpsScripted, PlainTextBehindTheYesToAuthTlsEndsTheConnection) {
  control_.Start(Script()
                     .Accept()
                     .Send("220 ready\r\n")
                     .ExpectLine("AUTH TLS")
                     .Send("234 go ahead\r\n230 logged in\r\n")
                     .ExpectClosed());
  Connect(TlsMode::Required);
  connection_.WaitUntilEnded();
  EXPECT_TRUE(control_.Finished());
  ASSERT_EQ(reporter_.Texts().size(), 1u);
  EXPECT_NE(reporter_.Texts()[0].find("plain text after agreeing to TLS"), std::string::npos);
  EXPECT_FALSE(connection_.IsSecured());
}

// A server that drops the connection in the middle of the handshake fails
// the login with a reason; no USER goes out.
TEST_F(FtpsScripted, AHandshakeCutShortFailsTheLogin) {
  control_.Start(Script()
                     .Accept()
                     .Send("220 ready\r\n")
                     .ExpectLine("AUTH TLS")
                     .Send("234 go ahead\r\n")
                     .Close());
  Connect(TlsMode::Required);
  connection_.WaitUntilEnded();
  EXPECT_TRUE(control_.Finished());
  EXPECT_FALSE(connection_.IsSecured());
  EXPECT_EQ(events_.Transcript().find("USER"), std::string::npos);
  EXPECT_EQ(reporter_.Texts().size(), 1u);
}

}  // namespace
}  // namespace netrove
