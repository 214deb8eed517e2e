// The Ping window and its Customize page, driven offscreen.
#include "diagnostics/ping_view.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <fstream>

#include "base/settings_store.h"
#include "diagnostics/customize_ping_page.h"
#include "diagnostics/ping_options_form.h"
#include "diagnostics/ping_settings.h"
#include "diagnostics/tool_view_contract.h"
#include "diagnostics/tool_view_fixtures.h"
#include "support/event_loop.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "widgets/arrow_spin_box.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

using test::Click;
using test::ExpectIdle;
using test::FakeServices;
using test::TurnEventLoop;
using test::WaitUntil;

std::optional<std::uint32_t> Stored(std::string_view value) {
  return test::StoredDword(kPingToolName, value);
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
    ASSERT_TRUE(WaitUntil([&] { return view.state() == CPingView::State::Idle; }, TurnEventLoop));
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
