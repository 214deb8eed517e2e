// The Ping window and its Customize page, driven offscreen.
#include "diagnostics/ping_view.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <fstream>

#include "base/net_socket.h"
#include "base/settings_store.h"
#include "diagnostics/customize_ping_page.h"
#include "diagnostics/ping_options_form.h"
#include "diagnostics/ping_settings.h"
#include "diagnostics/tool_view_fixtures.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "widgets/arrow_spin_box.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

using test::Click;
using test::FakeServices;
using test::NoNames;
using test::WaitUntil;

std::optional<std::uint32_t> Stored(std::string_view value) {
  return test::StoredDword(kPingToolName, value);
}

void ExpectIdle(const CPingView& view) {
  EXPECT_EQ(view.state(), CPingView::State::Idle);
  EXPECT_FALSE(view.isBusy());
  EXPECT_TRUE(view.isCloseEnabled());
  EXPECT_TRUE(view.canPrint());
  EXPECT_TRUE(view.pingButton()->isEnabled());
  EXPECT_EQ(view.closeButton()->text(), QStringLiteral("Close"));
  EXPECT_TRUE(view.closeButton()->isEnabled());
  EXPECT_TRUE(view.options()->sizeField()->isEnabled());
  EXPECT_TRUE(view.options()->specifyButton()->isEnabled());
  EXPECT_FALSE(view.options()->dontFragmentBox()->isEnabled());
}

TEST(ArrowSpinBox, ChangesOnlyWithArrowsAndWraps) {
  CArrowSpinBox field(1, 50);
  field.setValue(50);
  QTest::keyClick(&field, Qt::Key_Up);
  EXPECT_EQ(field.value(), 1);
  QTest::keyClick(&field, Qt::Key_Down);
  EXPECT_EQ(field.value(), 50);
  QTest::keyClicks(&field, QStringLiteral("7"));
  QTest::keyClick(&field, Qt::Key_Backspace);
  QTest::keyClick(&field, Qt::Key_PageDown);
  EXPECT_EQ(field.value(), 50);
}

TEST(PingView, OpensWithTheStoredDefaults) {
  test::ScopedHome home;
  WritePingSetting(kSpecifyValue, 0);
  WritePingSetting(kPacketSizeValue, 100);
  WritePingSetting(kTimeToLiveValue, 1);
  WritePingSetting(kTtlValue, 9);
  FakeServices services;
  CPingView view(services);
  const CPingOptionsForm& options = *view.options();
  EXPECT_TRUE(options.continuousButton()->isChecked());
  EXPECT_FALSE(options.packetsField()->isEnabled());
  EXPECT_EQ(options.packetsField()->value(), 4);
  EXPECT_EQ(options.sizeField()->value(), 100);
  EXPECT_TRUE(options.ttlField()->isEnabled());
  EXPECT_EQ(options.ttlField()->value(), 9);
  EXPECT_EQ(view.helpContext(), 0x18008);
  EXPECT_EQ(view.printTitle(), QStringLiteral("Ping"));
  ExpectIdle(view);
  // Changes in the window are its own: nothing is written back.
  Click(options.specifyButton());
  EXPECT_EQ(Stored(kSpecifyValue), 0u);
}

TEST(PingView, RunGoesFromRunningBackToIdleOnTheFinishedNotice) {
  test::ScopedHome home;
  NoNames resolver;
  FakeServices services;
  CPingView view(services, nullptr, resolver);
  QSignalSpy busy(&view, &CToolView::busyChanged);
  view.startRun(QStringLiteral("nosuchhost"));
  EXPECT_EQ(view.state(), CPingView::State::Running);
  EXPECT_EQ(view.documentTitle(), QStringLiteral("Ping nosuchhost"));
  EXPECT_TRUE(view.isBusy());
  EXPECT_FALSE(view.isCloseEnabled());
  EXPECT_FALSE(view.canPrint());
  EXPECT_FALSE(view.pingButton()->isEnabled());
  EXPECT_EQ(view.closeButton()->text(), QStringLiteral("Interrupt"));
  EXPECT_FALSE(view.options()->sizeField()->isEnabled());
  EXPECT_FALSE(view.options()->resolveBox()->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return view.state() == CPingView::State::Idle; }));
  ExpectIdle(view);
  EXPECT_EQ(busy.count(), 2);
  ASSERT_EQ(services.reporter_.Texts().size(), 1u);
  EXPECT_EQ(services.reporter_.Texts()[0], SocketErrorText(WSAHOST_NOT_FOUND));
}

TEST(PingView, PingAsksForTheHostAndCloseClosesWhenIdle) {
  test::ScopedHome home;
  NoNames resolver;
  FakeServices services;
  CPingView view(services, nullptr, resolver);
  view.show();
  const auto prompt = test::AnswerHostPrompt(view.pingButton(), QStringLiteral("nosuchhost"));
  EXPECT_EQ(prompt.caption, QStringLiteral("Ping..."));
  EXPECT_EQ(view.documentTitle(), QStringLiteral("Ping nosuchhost"));
  ASSERT_TRUE(WaitUntil([&] { return view.state() == CPingView::State::Idle; }));
  QSignalSpy close(&view, &CToolView::closeRequested);
  QTest::mouseClick(view.closeButton(), Qt::LeftButton);
  EXPECT_EQ(close.count(), 1);
}

TEST(PingView, InterruptStopsAContinuousRun) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::ScopedHome home;
  WritePingSetting(kSpecifyValue, 0);
  FakeServices services;
  CPingView view(services);
  view.show();
  view.startRun(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(WaitUntil(
      [&] { return view.printableTranscript()->text().find("Reply from") != std::string::npos; }));
  QTest::mouseClick(view.closeButton(), Qt::LeftButton);
  EXPECT_EQ(view.state(), CPingView::State::Interrupting);
  EXPECT_FALSE(view.closeButton()->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return view.state() == CPingView::State::Idle; }));
  ExpectIdle(view);
  const std::string text = view.printableTranscript()->text();
  EXPECT_EQ(text.substr(text.size() - 8), " ms.\r\n\r\n");
  // Closing a window with a run in progress stops the run without waiting.
  view.startRun(QStringLiteral("127.0.0.1"));
}

TEST(CustomizePing, WritesEachChangeAtOnce) {
  test::ScopedHome home;
  CCustomizePing page;
  page.show();
  const CPingOptionsForm& options = *page.options();
  EXPECT_TRUE(options.specifyButton()->isChecked());
  EXPECT_EQ(options.sizeField()->value(), 64);
  Click(options.continuousButton());
  EXPECT_EQ(Stored(kSpecifyValue), 0u);
  EXPECT_FALSE(options.packetsField()->isEnabled());
  QTest::keyClick(options.sizeField(), Qt::Key_Up);
  EXPECT_EQ(Stored(kPacketSizeValue), 65u);
  QTest::keyClick(options.timeoutField(), Qt::Key_Down);
  QTest::keyClick(options.timeoutField(), Qt::Key_Down);
  EXPECT_EQ(Stored(kReplyTimeOutValue), 2u);
  Click(options.timeToLiveBox());
  EXPECT_EQ(Stored(kTimeToLiveValue), 1u);
  EXPECT_TRUE(options.ttlField()->isEnabled());
  Click(options.dontRouteBox());
  EXPECT_EQ(Stored(kDontRouteValue), 1u);
  EXPECT_EQ(page.helpContext(), 0x18008);
}

TEST(CustomizePing, AClickTheStoreRefusesIsUndone) {
  test::ScopedHome home;
  CCustomizePing page;
  page.show();
  const CPingOptionsForm& options = *page.options();
  // A settings folder beneath a plain file cannot be created, even by root.
  const QString blocker = QString::fromStdString((home.path() / "blocker").string());
  std::ofstream(blocker.toStdString()) << "x";
  qputenv("NETROVE_HOME", (blocker + QStringLiteral("/home")).toLocal8Bit());
  Click(options.continuousButton());
  EXPECT_TRUE(options.specifyButton()->isChecked());
  EXPECT_TRUE(options.packetsField()->isEnabled());
  Click(options.timeToLiveBox());
  EXPECT_FALSE(options.timeToLiveBox()->isChecked());
  EXPECT_FALSE(options.ttlField()->isEnabled());
  Click(options.resolveBox());
  EXPECT_FALSE(options.resolveBox()->isChecked());
  qputenv("NETROVE_HOME", QByteArray::fromStdString(home.path().string()));
}

// With NETROVE_SCREENSHOTS set to a folder, renders the window after a run
// and the Customize page into it.
TEST(PingScreenshots, WindowAndPage) {
  const QByteArray folder = qgetenv("NETROVE_SCREENSHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set NETROVE_SCREENSHOTS to a folder to render them";
  test::ScopedHome home;
  FakeServices services;
  CPingView view(services);
  view.resize(520, 560);
  view.show();
  if (geteuid() == 0) {
    view.startRun(QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(WaitUntil([&] { return view.state() == CPingView::State::Idle; }));
  }
  const QDir out(QString::fromLocal8Bit(folder));
  EXPECT_TRUE(view.grab().save(out.filePath(QStringLiteral("ping.png"))));
  CCustomizePing page;
  page.resize(520, 400);
  page.show();
  EXPECT_TRUE(page.grab().save(out.filePath(QStringLiteral("ping-customize.png"))));
}

}  // namespace
}  // namespace netrove
