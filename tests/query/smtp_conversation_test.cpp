// The SMTP dialogue's logic without a network: what may go into a command,
// and the walk from greeting to QUIT as the reply handler takes it, reply by
// reply.
#include "query/smtp_conversation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/smtp_auth.h"
#include "query/smtp_capabilities.h"
#include "query/smtp_commands.h"
#include "query/smtp_dialogue.h"

namespace netrove {
namespace {

class RecordingWire : public ISmtpWire {
 public:
  bool SendAll(std::string_view bytes) override {
    if (!accepting) return false;
    sent.emplace_back(bytes);
    return true;
  }
  std::vector<std::string> sent;
  bool accepting = true;
};

TEST(SmtpCommands, TextsThatWouldAddCommandsAreRefused) {
  EXPECT_TRUE(IsSafeSmtpArgument("bob@example.test"));
  EXPECT_TRUE(IsSafeSmtpArgument(""));
  for (const std::string& bad :
       std::vector<std::string>{"bob@example.test\r\nRCPT TO:<eve@example.test>", "bob\n", "bob\r",
                                "bob>", "<bob", std::string("bob\0eve", 7)}) {
    EXPECT_FALSE(IsSafeSmtpArgument(bad)) << bad;
  }
  // The field's size in bytes, whatever the characters.
  EXPECT_TRUE(IsSafeSmtpArgument(std::string(kSmtpArgumentMaxBytes, 'a')));
  EXPECT_FALSE(IsSafeSmtpArgument(std::string(kSmtpArgumentMaxBytes + 1, 'a')));
  EXPECT_EQ(CheckSmtpRequest({"mail", "a@x", "b@x\r\nDATA"}), SmtpRequestFault::Recipient);
  EXPECT_EQ(CheckSmtpRequest({"mail", "a@x>\nRCPT TO:<c@x", "b@x"}), SmtpRequestFault::Sender);
  EXPECT_EQ(CheckSmtpRequest({"mail\r\nQUIT", "a@x", "b@x"}), SmtpRequestFault::Server);
  // No sender would be the null sender of a bounce, MAIL FROM:<>.
  EXPECT_EQ(CheckSmtpRequest({"mail", "", "b@x"}), SmtpRequestFault::NoSender);
}

TEST(SmtpCommands, TheTestMessageHasTheHeadersEveryMessageNeeds) {
  EXPECT_EQ(FormatSmtpTestMessage("alice@example.test", "Thu, 10 Dec 2026 01:02:03 +0000"),
            "From: <alice@example.test>\r\nDate: Thu, 10 Dec 2026 01:02:03 +0000\r\n\r\n"
            "TEST - SMTP\r\n.\r\n");
  // The Date: form, whatever the time zone; day and month names in English.
  const std::string date = FormatSmtpDate(0);
  EXPECT_TRUE(date.starts_with("Thu, 1 Jan 1970 ") || date.starts_with("Wed, 31 Dec 1969 "))
      << date;
  EXPECT_EQ(date.size(), std::string("Thu, 1 Jan 1970 00:00:00 +0000").size()) << date;
}

TEST(SmtpCommands, ServerTextMayNameAPort) {
  EXPECT_EQ(ParseSmtpServer("mail.example.test").host, "mail.example.test");
  EXPECT_EQ(ParseSmtpServer("mail.example.test").port, 25);
  EXPECT_EQ(ParseSmtpServer("127.0.0.1:2525").host, "127.0.0.1");
  EXPECT_EQ(ParseSmtpServer("127.0.0.1:2525").port, 2525);
  // Not a port: the whole text is the name, which the look-up then refuses.
  EXPECT_EQ(ParseSmtpServer("mail:smtp").host, "mail:smtp");
  EXPECT_EQ(ParseSmtpServer("mail:70000").port, 25);
}

class SmtpConversationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conversation.Begin({"[192.0.2.1]", "alice@example.test", "bob@example.test", "MESSAGE"});
  }
  // Feeds replies and returns what was sent in answer to them.
  std::vector<std::string> Answer(std::initializer_list<int> codes) {
    wire.sent.clear();
    for (int code : codes) conversation.OnReply(code);
    return wire.sent;
  }

  RecordingWire wire;
  CSmtpConversation conversation{wire};
};

TEST_F(SmtpConversationTest, WalksFromGreetingToQuit) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(Answer({220}), Lines{"EHLO [192.0.2.1]\r\n"});
  EXPECT_EQ(Answer({250}), Lines{"MAIL FROM:<alice@example.test>\r\n"});
  EXPECT_EQ(Answer({250}), Lines{"RCPT TO:<bob@example.test>\r\n"});
  EXPECT_EQ(Answer({250}), Lines{"DATA\r\n"});
  EXPECT_EQ(Answer({354}), Lines{"MESSAGE"});
  EXPECT_EQ(conversation.InFlight(), SmtpCommand::Data);
  EXPECT_FALSE(conversation.Delivered());
  EXPECT_EQ(Answer({250}), Lines{"QUIT\r\n"});
  EXPECT_TRUE(conversation.Delivered());
  EXPECT_FALSE(conversation.Ended());
  EXPECT_EQ(Answer({221}), Lines{});
  EXPECT_EQ(conversation.InFlight(), SmtpCommand::None);
  EXPECT_TRUE(conversation.Ended());
}

TEST_F(SmtpConversationTest, AFinalRefusalAtAnyStepSaysGoodbye) {
  using Lines = std::vector<std::string>;
  Answer({220, 250, 250});
  EXPECT_EQ(Answer({550}), Lines{"QUIT\r\n"});
  EXPECT_EQ(conversation.InFlight(), SmtpCommand::Quit);
  // Neither a later 354 nor a stray 250 carries the message on.
  EXPECT_TRUE(Answer({354}).empty());
  EXPECT_EQ(Answer({221}), Lines{});
  EXPECT_TRUE(conversation.Ended());
  EXPECT_FALSE(conversation.Delivered());

  // A greeting that refuses service, a refused message, a refused QUIT.
  conversation.Begin({"[192.0.2.1]", "a@x", "b@x", "MESSAGE"});
  EXPECT_EQ(Answer({421}), Lines{"QUIT\r\n"});
  conversation.Begin({"[192.0.2.1]", "a@x", "b@x", "MESSAGE"});
  Answer({220, 250, 250, 250, 354});
  EXPECT_EQ(Answer({554}), Lines{"QUIT\r\n"});
  EXPECT_FALSE(conversation.Delivered());
  EXPECT_EQ(Answer({500}), Lines{});
  EXPECT_TRUE(conversation.Ended());
}

TEST_F(SmtpConversationTest, A250ToDataWithoutTheGoAheadDeliversNothing) {
  Answer({220, 250, 250, 250});
  EXPECT_EQ(conversation.InFlight(), SmtpCommand::Data);
  EXPECT_EQ(Answer({250}), std::vector<std::string>{"QUIT\r\n"});
  EXPECT_FALSE(conversation.Delivered());
}

TEST_F(SmtpConversationTest, ForwardedRecipientIsAcceptedLike250) {
  Answer({220, 250, 250});
  EXPECT_EQ(Answer({251}), std::vector<std::string>{"DATA\r\n"});
  // After any other command 251 means nothing.
  conversation.Begin({"m", "a@x", "b@x", {}});
  Answer({220, 250});
  EXPECT_TRUE(Answer({251}).empty());
  EXPECT_EQ(conversation.InFlight(), SmtpCommand::None);
}

TEST_F(SmtpConversationTest, FailedSendKeepsTheQueueAndItsBound) {
  wire.accepting = false;
  conversation.OnReply(220);
  EXPECT_EQ(conversation.InFlight(), SmtpCommand::None);
  EXPECT_EQ(conversation.QueuedCount(), 1u);
  EXPECT_TRUE(conversation.Enqueue(SmtpCommand::Noop, {}));
  EXPECT_TRUE(conversation.Enqueue(SmtpCommand::Noop, {}));
  EXPECT_FALSE(conversation.Enqueue(SmtpCommand::Noop, {}));
  EXPECT_EQ(conversation.QueuedCount(), CSmtpConversation::kQueueLimit);
  // Once the wire takes lines again the first queued command goes first.
  wire.accepting = true;
  conversation.OnReply(250);
  EXPECT_EQ(wire.sent, std::vector<std::string>{"EHLO [192.0.2.1]\r\n"});
}

// The walk with TLS and sign-in, reply by reply, with the lines of each
// EHLO answer.
class SmtpSecureConversationTest : public ::testing::Test {
 protected:
  using Lines = std::vector<std::string>;
  void Begin(TlsMode tls, std::string user = {}) {
    conversation.Begin({"[192.0.2.1]", "alice@example.test", "bob@example.test", "MESSAGE", tls,
                        std::move(user), "secret"});
  }
  Lines Answer(int code, const Lines& lines = {}) {
    wire.sent.clear();
    conversation.OnReply(code, lines);
    return wire.sent;
  }

  RecordingWire wire;
  CSmtpConversation conversation{wire};
  const Lines offersTls{"250-mail.test", "250-PIPELINING", "250 STARTTLS"};
  const Lines offersAuth{"250-mail.test", "250-AUTH LOGIN PLAIN", "250 8BITMIME"};
};

TEST_F(SmtpSecureConversationTest, UpgradesThenSignsInWithPlain) {
  Begin(TlsMode::Required, "alice");
  EXPECT_EQ(Answer(220), Lines{"EHLO [192.0.2.1]\r\n"});
  EXPECT_EQ(Answer(250, offersTls), Lines{"STARTTLS\r\n"});
  // The go-ahead: nothing more in clear text, whatever else comes.
  EXPECT_EQ(Answer(220), Lines{});
  EXPECT_TRUE(conversation.UpgradeDue());
  EXPECT_TRUE(conversation.Enqueue(SmtpCommand::Noop, {}));
  EXPECT_TRUE(wire.sent.empty());
  Begin(TlsMode::Required, "alice");
  Answer(220);
  Answer(250, offersTls);
  Answer(220);
  wire.sent.clear();
  conversation.OnSecured();
  EXPECT_FALSE(conversation.UpgradeDue());
  EXPECT_EQ(wire.sent, Lines{"EHLO [192.0.2.1]\r\n"});
  // base64 of "\0alice\0secret".
  EXPECT_EQ(Answer(250, offersAuth), Lines{"AUTH PLAIN AGFsaWNlAHNlY3JldA==\r\n"});
  EXPECT_EQ(Answer(235), Lines{"MAIL FROM:<alice@example.test>\r\n"});
  EXPECT_EQ(conversation.Stop(), SmtpStop::None);
}

TEST_F(SmtpSecureConversationTest, SignsInWithLoginFromTheFirstByte) {
  Begin(TlsMode::Implicit, "alice");
  conversation.OnSecured();
  EXPECT_TRUE(wire.sent.empty());  // secured before the greeting: no second EHLO
  Answer(220);
  EXPECT_EQ(Answer(250, {"250-mail.test", "250 AUTH=LOGIN"}), Lines{"AUTH LOGIN\r\n"});
  EXPECT_EQ(Answer(334), Lines{"YWxpY2U=\r\n"});
  EXPECT_EQ(Answer(334), Lines{"c2VjcmV0\r\n"});
  EXPECT_EQ(Answer(334), Lines{"*\r\n"});  // a third question cancels
  EXPECT_EQ(Answer(535), Lines{"QUIT\r\n"});
  EXPECT_EQ(conversation.Stop(), SmtpStop::AuthRefused);
}

TEST_F(SmtpSecureConversationTest, NeverGoesOnInClearTextWhereTlsIsRequired) {
  Begin(TlsMode::Required);
  Answer(220);
  EXPECT_EQ(Answer(250, offersAuth), Lines{"QUIT\r\n"});
  EXPECT_EQ(conversation.Stop(), SmtpStop::TlsNotOffered);

  Begin(TlsMode::Required);
  Answer(220);
  Answer(250, offersTls);
  EXPECT_EQ(Answer(454), Lines{"QUIT\r\n"});
  EXPECT_EQ(conversation.Stop(), SmtpStop::TlsRefused);

  // Only if offered: a refused upgrade goes on as before, but a password
  // does not go in clear text.
  Begin(TlsMode::IfOffered);
  Answer(220);
  Answer(250, offersTls);
  EXPECT_EQ(Answer(454), Lines{"MAIL FROM:<alice@example.test>\r\n"});
  Begin(TlsMode::IfOffered, "alice");
  Answer(220);
  EXPECT_EQ(Answer(250, offersAuth), Lines{"QUIT\r\n"});
  EXPECT_EQ(conversation.Stop(), SmtpStop::PasswordNeedsTls);
  // The user's own choice of no TLS sends it.
  Begin(TlsMode::Off, "alice");
  Answer(220);
  EXPECT_EQ(Answer(250, offersAuth), Lines{"AUTH PLAIN AGFsaWNlAHNlY3JldA==\r\n"});
}

TEST_F(SmtpSecureConversationTest, HeloFollowsARefusedEhlo) {
  Begin(TlsMode::IfOffered);
  Answer(220);
  EXPECT_EQ(Answer(502), Lines{"HELO [192.0.2.1]\r\n"});
  EXPECT_EQ(Answer(250), Lines{"MAIL FROM:<alice@example.test>\r\n"});
  // A server without EHLO offers no sign-in either.
  Begin(TlsMode::Off, "alice");
  Answer(220);
  Answer(500);
  EXPECT_EQ(Answer(250), Lines{"QUIT\r\n"});
  EXPECT_EQ(conversation.Stop(), SmtpStop::AuthNotOffered);
  // A passing failure (4xx) to EHLO is no reason to try HELO.
  Begin(TlsMode::Off);
  Answer(220);
  EXPECT_EQ(Answer(421), Lines{"QUIT\r\n"});
}

TEST(SmtpCapabilities, KeywordsAndMechanismsAreReadWhateverTheirCase) {
  const SmtpCapabilities capabilities =
      ParseEhloReply({"250-mail.test STARTTLS greets you", "250-starttls", "250-Auth=Login",
                      "250-AUTH cram-md5 plain", "250-", "250 SIZE 1000"});
  EXPECT_TRUE(capabilities.startTls);
  EXPECT_TRUE(capabilities.authPlain);
  EXPECT_TRUE(capabilities.authLogin);
  EXPECT_EQ(capabilities.keywords, (std::vector<std::string>{"STARTTLS", "AUTH", "AUTH", "SIZE"}));
  // The greeting line names no capability.
  EXPECT_FALSE(ParseEhloReply({"250 STARTTLS"}).startTls);
  EXPECT_FALSE(ParseEhloReply({}).startTls);
}

TEST(SmtpAuth, Base64PadsAsTheStandardSays) {
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("f"), "Zg==");
  EXPECT_EQ(Base64("fo"), "Zm8=");
  EXPECT_EQ(Base64("foo"), "Zm9v");
  EXPECT_EQ(Base64("\xff\xfe\xfd\xfc"), "//79/A==");
}

}  // namespace
}  // namespace netrove
