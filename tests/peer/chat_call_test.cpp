// The called side of a chat over the loopback: one question at a time, a
// caller's name that never comes, and Yes opening the conversation.
#include "peer/chat_call.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <future>
#include <set>

#include "peer/chat_view.h"
#include "support/event_loop.h"
#include "support/fake_tool_services.h"
#include "support/recording_reporter.h"
#include "support/refusing_threads.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "widgets/shell_context.h"
#include "widgets/tool_view.h"

namespace netrove {
namespace {

using FakeServices = test::FakeToolServices;

class FakeShell : public IShellContext {
 public:
  QWidget* mainWindow() override { return &window; }
  CToolServices& toolServices() override { return services; }
  CToolView* openTool(int) override { return nullptr; }
  void openToolWindow(CToolView* view, const QString&) override { opened.emplace_back(view); }
  ITftpServer* tftpServer() override { return nullptr; }
  void setAlwaysOnTop(bool) override {}
  void setClockShown(bool) override {}

  QWidget window;
  FakeServices services;
  std::vector<std::unique_ptr<CToolView>> opened;
};

// A caller connected to 127.0.0.1 and the accepted socket the listener
// hands the answerer.
struct Call {
  CNetSocket caller;
  std::unique_ptr<CNetSocket> accepted = std::make_unique<CNetSocket>();
  SocketAddress from;
  Call() {
    CNetSocket listener;
    EXPECT_TRUE(listener.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_TRUE(listener.Bind(0));
    EXPECT_TRUE(listener.Listen(1));
    SocketAddress bound;
    EXPECT_TRUE(listener.LocalAddress(bound));
    EXPECT_TRUE(caller.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_TRUE(caller.Connect("127.0.0.1", bound.port()));
    EXPECT_TRUE(listener.Accept(*accepted, &from));
  }
  // The caller sees the end of the stream: the call was hung up.
  bool HungUp() {
    char byte = 0;
    const SocketCount got = caller.Recv(&byte, 1, MSG_DONTWAIT);
    return got && got.bytes == 0;
  }
};

// Answers every question box that opens after it with `button`, after
// `whileAsked` ran once for the first; records the questions seen. A timer
// does not fire again inside its own handler, so a question opened from
// `whileAsked` needs an answerer of its own.
class QuestionAnswerer {
 public:
  QuestionAnswerer(QMessageBox::StandardButton button, std::function<void()> whileAsked = {})
      : button_(button), whileAsked_(std::move(whileAsked)) {
    if (auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen_.insert(open);
    }
    QObject::connect(&poll_, &QTimer::timeout, [this] { answer(); });
    poll_.start(10);
  }
  std::vector<QString> questions;

 private:
  void answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !seen_.insert(box).second) return;
    questions.push_back(box->text());
    if (whileAsked_) std::exchange(whileAsked_, {})();
    box->button(button_)->click();
  }
  QMessageBox::StandardButton button_;
  std::function<void()> whileAsked_;
  std::set<QMessageBox*> seen_;
  QTimer poll_;
};

TEST(ChatCall, OneQuestionAtATimeAndANameThatNeverComesIsUnknownHost) {
  test::ScopedHome home;
  FakeShell shell;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  CChatCallAnswerer answerer(
      [released](const SocketAddress&, std::string&) {
        released.wait();
        return SocketStatus{WSAHOST_NOT_FOUND};
      },
      std::chrono::milliseconds(100));
  Call first;
  Call second;
  bool secondHungUpAtOnce = false;
  std::vector<QString> questions;
  std::vector<QString> furtherQuestions;
  {
    QuestionAnswerer no(QMessageBox::No, [&] {
      QuestionAnswerer further(QMessageBox::No);
      answerer.Answer(shell, std::move(second.accepted), second.from);
      furtherQuestions = further.questions;
      secondHungUpAtOnce = test::WaitUntil([&] { return second.HungUp(); });
    });
    answerer.Answer(shell, std::move(first.accepted), first.from);
    questions = no.questions;
  }
  release.set_value();

  EXPECT_TRUE(secondHungUpAtOnce);
  EXPECT_TRUE(furtherQuestions.empty());
  EXPECT_EQ(questions,
            std::vector<QString>{QStringLiteral("Would you want to chat with Unknown Host?")});
  EXPECT_TRUE(test::WaitUntil([&] { return first.HungUp(); }));
  EXPECT_TRUE(shell.opened.empty());
  // The look-up that did not end in time is reported once.
  EXPECT_EQ(shell.services.reporter_.Messages().size(), 1u);

  // The question is asked again for the next call.
  Call third;
  QuestionAnswerer again(QMessageBox::No);
  answerer.Answer(shell, std::move(third.accepted), third.from);
  EXPECT_EQ(again.questions.size(), 1u);
}

TEST(ChatCall, NoThreadForTheLookUpAsksAboutAnUnknownHostAndSaysWhy) {
  test::ScopedHome home;
  FakeShell shell;
  CRefusingThreads refusing;
  CChatCallAnswerer answerer(
      [](const SocketAddress&, std::string& name) {
        name = "never.asked.test";
        return SocketStatus{};
      },
      kCallerLookUpLimit, refusing);
  Call call;
  QuestionAnswerer no(QMessageBox::No);
  answerer.Answer(shell, std::move(call.accepted), call.from);
  EXPECT_EQ(no.questions,
            std::vector<QString>{QStringLiteral("Would you want to chat with Unknown Host?")});
  const auto messages = shell.services.reporter_.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, kNoThreadText);
  EXPECT_TRUE(test::WaitUntil([&] { return call.HungUp(); }));
}

TEST(ChatCall, YesOpensAConversationWithTheCallerByName) {
  test::ScopedHome home;
  FakeShell shell;
  CChatCallAnswerer answerer([](const SocketAddress&, std::string& name) {
    name = "peer.example.test";
    return SocketStatus{};
  });
  Call call;
  QuestionAnswerer yes(QMessageBox::Yes);
  answerer.Answer(shell, std::move(call.accepted), call.from);
  ASSERT_EQ(yes.questions,
            std::vector<QString>{QStringLiteral("Would you want to chat with peer.example.test?")});
  ASSERT_EQ(shell.opened.size(), 1u);
  auto* view = static_cast<CChatView*>(shell.opened[0].get());
  EXPECT_EQ(view->documentTitle(), QStringLiteral("Chatting with peer.example.test"));
  EXPECT_TRUE(view->isBusy());
  ASSERT_TRUE(call.caller.Send("hi\r\n", 4));
  EXPECT_TRUE(
      test::WaitUntil([&] { return view->incomingBox()->toPlainText() == QStringLiteral("hi\n"); },
                      test::TurnEventLoop));
  EXPECT_TRUE(shell.services.reporter_.Messages().empty() ||
              shell.services.reporter_.Messages()[0].source == kSourceAttention);
}

}  // namespace
}  // namespace netrove
