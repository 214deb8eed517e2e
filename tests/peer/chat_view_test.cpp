// Two chat windows of the same process talking over the loopback, as a copy
// that calls its own host does, and the Chat page.
#include "peer/chat_view.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <map>

#include "base/settings_store.h"
#include "peer/chat_customize_page.h"
#include "support/event_loop.h"
#include "support/fake_tool_services.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"

namespace netrove {
namespace {

using FakeServices = test::FakeToolServices;

bool WaitUntil(const std::function<bool()>& condition) {
  return test::WaitUntil(condition, test::TurnEventLoop);
}

struct Call {
  std::shared_ptr<CNetSocket> caller = std::make_shared<CNetSocket>();
  std::shared_ptr<CNetSocket> callee = std::make_shared<CNetSocket>();
  Call() {
    CNetSocket listener;
    EXPECT_TRUE(listener.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_TRUE(listener.Bind(0));
    EXPECT_TRUE(listener.Listen(1));
    SocketAddress bound;
    EXPECT_TRUE(listener.LocalAddress(bound));
    EXPECT_TRUE(caller->Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_TRUE(caller->Connect("127.0.0.1", bound.port()));
    EXPECT_TRUE(listener.Accept(*callee));
  }
};

bool Ended(const CChatView& view) {
  return !view.isBusy() && view.isCloseEnabled() && view.sendButton()->isEnabled() &&
         view.sendButton()->text() == QStringLiteral("Close");
}

TEST(ChatWindows, TalkAndHangUpTogether) {
  test::ScopedHome home;
  FakeServices services;
  Call call;
  CChatView caller(services);
  CChatView callee(services);
  caller.attach(call.caller);
  callee.attach(call.callee);
  EXPECT_TRUE(caller.isBusy());
  EXPECT_FALSE(caller.isCloseEnabled());

  QTest::keyClicks(caller.outgoingBox(), QStringLiteral("hello"));
  caller.sendButton()->click();
  ASSERT_TRUE(WaitUntil([&] {
    return callee.incomingBox()->toPlainText() == QStringLiteral("hello\n\n");
  })) << callee.incomingBox()->toPlainText().toStdString();
  // The box is kept: SEND again (here Ctrl+Enter) sends it again.
  EXPECT_EQ(caller.outgoingBox()->toPlainText(), QStringLiteral("hello"));
  QTest::keyClick(caller.outgoingBox(), Qt::Key_Return, Qt::ControlModifier);
  ASSERT_TRUE(WaitUntil([&] {
    return callee.incomingBox()->toPlainText() == QStringLiteral("hello\n\nhello\n\n");
  })) << callee.incomingBox()->toPlainText().toStdString();

  QSignalSpy closing(&callee, &CToolView::closeRequested);
  caller.hangUpButton()->click();
  ASSERT_TRUE(WaitUntil([&] { return Ended(caller) && Ended(callee); }));
  EXPECT_FALSE(caller.hangUpButton()->isVisible());
  const QString notice = QStringLiteral(" : The remote host has shut down the connection!");
  EXPECT_EQ(callee.incomingBox()->toPlainText(), QStringLiteral("hello\n\nhello\n\n") + notice);
  EXPECT_EQ(caller.incomingBox()->toPlainText(), notice);
  EXPECT_EQ(closing.count(), 0);  // CloseWindowOnHangUp is off by default
  callee.sendButton()->click();   // "Close"
  EXPECT_EQ(closing.count(), 1);
}

TEST(ChatWindows, ControlBytesShowHarmlesslyAndTheWindowClosesWhenAsked) {
  test::ScopedHome home;
  CreateToolKey("Chat")->WriteDword("CloseWindowOnHangUp", 1);
  FakeServices services;
  Call call;
  CChatView view(services);
  QSignalSpy closing(&view, &CToolView::closeRequested);
  view.attach(call.caller);
  const std::string bytes(
      "a\0b\x07"
      "c\r\n",
      7);
  ASSERT_TRUE(call.callee->Send(bytes.data(), bytes.size()));
  ASSERT_TRUE(WaitUntil([&] { return view.incomingBox()->toPlainText().size() >= 5; }));
  EXPECT_EQ(view.incomingBox()->toPlainText(), QStringLiteral("a\uFFFDb\uFFFDc\n"));
  // Many chunks: one attention signal, not one per chunk.
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(call.callee->Send("x", 1));
  call.callee->Interrupt();  // the peer says No
  ASSERT_TRUE(WaitUntil([&] { return closing.count() == 1; }));
  int attention = 0;
  for (const auto& message : services.reporter_.Messages()) {
    attention += message.source == kSourceAttention ? 1 : 0;
  }
  EXPECT_EQ(attention, 1);
}

// A peer that never stops: the box keeps the latest text within its limit,
// after one note that older text was dropped.
TEST(ChatWindows, IncomingTextBeyondTheLimitDropsTheOldestWithANote) {
  test::ScopedHome home;
  FakeServices services;
  Call call;
  constexpr qsizetype kLimit = 4000;
  CChatView view(services, nullptr, kLimit);
  view.attach(call.caller);
  std::string sent;
  for (int i = 0; i < 1000; ++i) {
    const std::string line = "line " + std::to_string(i) + "\n";
    ASSERT_TRUE(call.callee->Send(line.data(), line.size()));
    sent += line;
  }
  ASSERT_TRUE(WaitUntil(
      [&] { return view.incomingBox()->toPlainText().endsWith(QStringLiteral("line 999\n")); }));
  const QString shown = view.incomingBox()->toPlainText();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("[Older text was dropped")))
      << shown.left(80).toStdString();
  EXPECT_EQ(shown.count(QStringLiteral("[Older text")), 1);
  EXPECT_LE(shown.size(), kLimit + 80);
  const qsizetype noteEnd = shown.indexOf(QLatin1Char('\n')) + 1;
  EXPECT_TRUE(QString::fromStdString(sent).endsWith(shown.mid(noteEnd)));
  EXPECT_GT(shown.size() - noteEnd, kLimit - 100);
}

// A peer that sends a megabyte without a line break, in Latin-1: the box
// shows it in lines of bounded length (each append lays out only what it
// adds, not the whole line again), every character there, none lost.
TEST(ChatWindows, ALongLineWithoutBreaksShowsInBoundedLinesAndLatin1AsItsCharacters) {
  test::ScopedHome home;
  FakeServices services;
  Call call;
  CChatView view(services);
  view.attach(call.caller);
  EXPECT_FALSE(view.incomingBox()->isUndoRedoEnabled());
  const std::string line(1024 * 1024, 'w');
  ASSERT_TRUE(call.callee->Send(line.data(), line.size()));
  ASSERT_TRUE(
      call.callee->Send("Gr\xfc\xdf"
                        "e\r\n",
                        7));
  const QString ending = QStringLiteral(
      "Gr\u00fc\u00df"
      "e\n");
  ASSERT_TRUE(WaitUntil([&] { return view.incomingBox()->toPlainText().endsWith(ending); }));
  const QTextDocument* document = view.incomingBox()->document();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    ASSERT_LE(block.length() - 1, static_cast<int>(kChatDisplayLineLimit));
  }
  QString shown = view.incomingBox()->toPlainText();
  shown.chop(ending.size());
  EXPECT_EQ(shown.remove(QLatin1Char('\n')), QString::fromStdString(line));
}

// The Edit menu's commands as the focused box allows them: "U", "T", "C",
// "P", "D", "A" for Undo, Cut, Copy, Paste, Delete and Select All.
QString Offered(const CChatView& view) {
  const std::map<QString, QChar> letters{{QStringLiteral("Undo"), QLatin1Char('U')},
                                         {QStringLiteral("Cut"), QLatin1Char('T')},
                                         {QStringLiteral("Copy"), QLatin1Char('C')},
                                         {QStringLiteral("Paste"), QLatin1Char('P')},
                                         {QStringLiteral("Delete"), QLatin1Char('D')},
                                         {QStringLiteral("Select All"), QLatin1Char('A')}};
  QString offered;
  for (QAction* action : view.editMenu()->actions()) {
    if (action->isEnabled() && !action->isSeparator()) {
      offered += letters.at(action->text().remove(QLatin1Char('&')));
    }
  }
  return offered;
}

QAction* EditCommand(const CChatView& view, const QString& text) {
  for (QAction* action : view.editMenu()->actions()) {
    if (action->text().remove(QLatin1Char('&')) == text) return action;
  }
  return nullptr;
}

TEST(ChatWindows, EditMenuOffersWhatTheFocusedBoxAllows) {
  test::ScopedHome home;
  FakeServices services;
  CChatView view(services);
  view.show();
  QApplication::setActiveWindow(&view);
  QGuiApplication::clipboard()->clear();
  test::TurnEventLoop();
  EXPECT_EQ(QApplication::focusWidget(), view.outgoingBox());
  EXPECT_EQ(Offered(view), QStringLiteral("A"));

  QTest::keyClicks(view.outgoingBox(), QStringLiteral("hello"));
  EXPECT_EQ(Offered(view), QStringLiteral("UA"));
  EditCommand(view, QStringLiteral("Select All"))->trigger();
  EXPECT_EQ(Offered(view), QStringLiteral("UTCDA"));
  EditCommand(view, QStringLiteral("Copy"))->trigger();
  EXPECT_EQ(Offered(view), QStringLiteral("UTCPDA"));
  EditCommand(view, QStringLiteral("Delete"))->trigger();
  EXPECT_TRUE(view.outgoingBox()->toPlainText().isEmpty());
  EditCommand(view, QStringLiteral("Undo"))->trigger();
  EXPECT_EQ(view.outgoingBox()->toPlainText(), QStringLiteral("hello"));
  view.outgoingBox()->moveCursor(QTextCursor::End);
  EditCommand(view, QStringLiteral("Paste"))->trigger();
  EXPECT_EQ(view.outgoingBox()->toPlainText(), QStringLiteral("hellohello"));

  // The incoming box is read-only: copying and selecting only.
  view.incomingBox()->setPlainText(QStringLiteral("from afar"));
  view.incomingBox()->setFocus();
  EXPECT_EQ(Offered(view), QStringLiteral("A"));
  EditCommand(view, QStringLiteral("Select All"))->trigger();
  EXPECT_EQ(Offered(view), QStringLiteral("CA"));
  EditCommand(view, QStringLiteral("Copy"))->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("from afar"));
  EXPECT_EQ(view.incomingBox()->toPlainText(), QStringLiteral("from afar"));
}

TEST(ChatPage, WritesCloseWindowOnHangUpWhenClicked) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  CCustomizeChat page(reporter);
  page.show();
  EXPECT_FALSE(page.closeOnHangUpBox()->isChecked());
  page.closeOnHangUpBox()->click();
  EXPECT_TRUE(ReadCloseWindowOnHangUp());
  page.closeOnHangUpBox()->click();
  EXPECT_FALSE(ReadCloseWindowOnHangUp());
}

}  // namespace
}  // namespace netrove
