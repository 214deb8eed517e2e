// The SMTP dialogue's logic without a network: what may go into a command,
// and the walk from greeting to QUIT as the reply handler takes it, reply by
// reply.
#include "query/smtp_conversation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  EXPECT_EQ(Answer({220}), Lines{"HELO [192.0.2.1]\r\n"});
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
  EXPECT_EQ(wire.sent, std::vector<std::string>{"HELO [192.0.2.1]\r\n"});
}

}  // namespace
}  // namespace netrove
