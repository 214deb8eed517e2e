// The traceroute window and its Customize page, driven offscreen.
#include "diagnostics/traceroute_view.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <fstream>

#include "base/command_ids.h"
#include "base/settings_store.h"
#include "diagnostics/customize_traceroute_page.h"
#include "diagnostics/diagnostics_tools.h"
#include "diagnostics/netns_lab.h"
#include "diagnostics/tool_view_contract.h"
#include "diagnostics/tool_view_fixtures.h"
#include "diagnostics/traceroute_options_form.h"
#include "diagnostics/traceroute_settings.h"
#include "support/event_loop.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "widgets/arrow_spin_box.h"
#include "widgets/tool_catalog.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

using test::Click;
using test::ExpectIdle;
using test::FakeServices;
using test::TurnEventLoop;
using test::WaitUntil;

std::optional<std::uint32_t> Stored(std::string_view value) {
  return test::StoredDword(kTraceRouteToolName, value);
}

void Step(QWidget* field, Qt::Key key, int times = 1) {
  for (int i = 0; i < times; ++i) QTest::keyClick(field, key);
}

// A settings folder beneath a plain file cannot be created, even by root.
class UnwritableStore {
 public:
  explicit UnwritableStore(const test::ScopedHome& home) : home_(home) {
    const auto blocker = home.path() / "blocker";
    std::ofstream(blocker) << "x";
    qputenv("NETROVE_HOME", QByteArray::fromStdString((blocker / "home").string()));
  }
  ~UnwritableStore() { qputenv("NETROVE_HOME", QByteArray::fromStdString(home_.path().string())); }

 private:
  const test::ScopedHome& home_;
};

TEST(TraceRouteView, OpensWithTheStoredDefaults) {
  test::ScopedHome home;
  WriteTraceRouteSetting(kTraceProbesToSendValue, 7);
  WriteTraceRouteSetting(kTraceInitialTtlValue, 2);
  WriteTraceRouteSetting(kTraceMaximumTtlValue, 9);
  WriteTraceRouteSetting(kTracePacketSizeValue, 100);
  WriteTraceRouteSetting(kTraceInitialDestPortValue, 40000);
  WriteTraceRouteSetting(kTraceVerboseValue, 1);
  FakeServices services;
  CTraceRouteView view(services);
  const CTraceRouteOptionsForm& options = *view.options();
  EXPECT_EQ(options.probesField()->value(), 7);
  EXPECT_EQ(options.timeoutField()->value(), 5);
  EXPECT_EQ(options.initialTtlField()->value(), 2);
  EXPECT_EQ(options.maximumTtlField()->value(), 9);
  EXPECT_EQ(options.sizeField()->value(), 100);
  EXPECT_EQ(options.portField()->text(), QStringLiteral("40000"));
  EXPECT_TRUE(options.verboseBox()->isChecked());
  EXPECT_FALSE(options.resolveBox()->isChecked());
  EXPECT_EQ(view.helpContext(), 0x1804A);
  EXPECT_EQ(view.printTitle(), QStringLiteral("traceroute"));
  ExpectIdle(view);
  // Changes in the window are its own: nothing is written back.
  Step(options.probesField(), Qt::Key_Up);
  Click(options.resolveBox());
  EXPECT_EQ(Stored(kTraceProbesToSendValue), 7u);
  EXPECT_EQ(Stored(kTraceResolveAddressValue), std::nullopt);
}

TEST(TraceRouteView, NumberFieldsWrapOrStopAndTheTimeToLivesNeverCross) {
  test::ScopedHome home;
  FakeServices services;
  CTraceRouteView view(services);
  const CTraceRouteOptionsForm& options = *view.options();
  // Probes, timeout and size wrap from one end to the other.
  options.probesField()->setValue(20);
  Step(options.probesField(), Qt::Key_Up);
  EXPECT_EQ(options.probesField()->value(), 1);
  Step(options.timeoutField(), Qt::Key_Down, 5);
  EXPECT_EQ(options.timeoutField()->value(), 59);
  Step(options.sizeField(), Qt::Key_Down);
  EXPECT_EQ(options.sizeField()->value(), 16384);
  // Typing is not offered.
  QTest::keyClicks(options.sizeField(), QStringLiteral("5"));
  EXPECT_EQ(options.sizeField()->value(), 16384);
  // The time-to-live fields stop at their ends.
  Step(options.initialTtlField(), Qt::Key_Down);
  EXPECT_EQ(options.initialTtlField()->value(), 1);
  options.maximumTtlField()->setValue(255);
  Step(options.maximumTtlField(), Qt::Key_Up);
  EXPECT_EQ(options.maximumTtlField()->value(), 255);
  // Stepping the maximum to 4 while the initial one is 5 sets it back to 5.
  options.maximumTtlField()->setValue(5);
  options.initialTtlField()->setValue(5);
  Step(options.maximumTtlField(), Qt::Key_Down);
  EXPECT_EQ(options.maximumTtlField()->value(), 5);
  Step(options.initialTtlField(), Qt::Key_Up);
  EXPECT_EQ(options.initialTtlField()->value(), 5);
  Step(options.maximumTtlField(), Qt::Key_Up);
  Step(options.initialTtlField(), Qt::Key_Up);
  EXPECT_EQ(options.initialTtlField()->value(), 6);
}

TEST(TraceRouteView, ThePortFieldTakesDigitsAndStaysAPort) {
  test::ScopedHome home;
  FakeServices services;
  CTraceRouteView view(services);
  QLineEdit* port = view.options()->portField();
  const auto type = [&](const QString& text) {
    port->selectAll();
    QTest::keyClicks(port, text);
    return port->text();
  };
  EXPECT_EQ(type(QStringLiteral("99999")), QStringLiteral("65535"));
  EXPECT_EQ(type(QStringLiteral("0")), QStringLiteral("1"));
  EXPECT_EQ(type(QStringLiteral("8a0b")), QStringLiteral("80"));
  EXPECT_EQ(type(QStringLiteral("1234567")), QStringLiteral("12345"));
  port->selectAll();
  QTest::keyClick(port, Qt::Key_Backspace);
  EXPECT_EQ(port->text(), QStringLiteral("1"));
  EXPECT_EQ(view.options()->values().initialDestPort, 1);
}

TEST(TraceRouteCatalog, WindowAndPageAreBuiltIn) {
  ToolCatalog catalog;
  AddDiagnosticsTools(catalog);
  const ToolTemplate* tool = catalog.findByCommand(kCmdTraceRoute);
  ASSERT_NE(tool, nullptr);
  EXPECT_TRUE(static_cast<bool>(tool->create));
  EXPECT_TRUE(static_cast<bool>(catalog.page(CustomizeTab::TraceRoute)));
}

TEST(CustomizeTraceRoute, WritesEachChangeAtOnceUnderTheToolKey) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  CCustomizeTraceRoute page(reporter);
  page.show();
  const CTraceRouteOptionsForm& options = *page.options();
  EXPECT_EQ(options.probesField()->value(), 3);
  EXPECT_EQ(options.portField()->text(), QStringLiteral("33434"));
  Step(options.probesField(), Qt::Key_Up);
  EXPECT_EQ(Stored(kTraceProbesToSendValue), 4u);
  Step(options.timeoutField(), Qt::Key_Down);
  EXPECT_EQ(Stored(kTraceReplyTimeOutValue), 4u);
  Step(options.sizeField(), Qt::Key_Up);
  EXPECT_EQ(Stored(kTracePacketSizeValue), 11u);
  Step(options.initialTtlField(), Qt::Key_Up, 2);
  EXPECT_EQ(Stored(kTraceInitialTtlValue), 3u);
  // The fields are compared with each other's current value.
  options.maximumTtlField()->setValue(3);
  Step(options.maximumTtlField(), Qt::Key_Down);
  EXPECT_EQ(options.maximumTtlField()->value(), 3);
  EXPECT_EQ(Stored(kTraceMaximumTtlValue), 3u);
  // The port is written when its field loses the focus.
  options.portField()->setFocus();
  options.portField()->selectAll();
  QTest::keyClicks(options.portField(), QStringLiteral("70000"));
  EXPECT_EQ(Stored(kTraceInitialDestPortValue), std::nullopt);
  QTest::keyClick(options.portField(), Qt::Key_Return);
  EXPECT_EQ(Stored(kTraceInitialDestPortValue), 65535u);
  Click(options.verboseBox());
  EXPECT_EQ(Stored(kTraceVerboseValue), 1u);
  Click(options.dontRouteBox());
  EXPECT_EQ(Stored(kTraceDontRouteValue), 1u);
  Click(page.sizeAndPositionBox());
  EXPECT_EQ(Stored("SizeAndPosition"), 1u);
  EXPECT_TRUE(reporter.Messages().empty());
  EXPECT_EQ(page.helpContext(), 0x1804A);
  // Readable under the window template's spelling of the key.
  std::uint32_t probes = 0;
  ASSERT_TRUE(OpenToolKey("TraceRoute", false)->ReadDword(kTraceProbesToSendValue, probes));
  EXPECT_EQ(probes, 4u);
}

TEST(CustomizeTraceRoute, AChangeTheStoreRefusesIsPutBackAndReported) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  CCustomizeTraceRoute page(reporter);
  page.show();
  const CTraceRouteOptionsForm& options = *page.options();
  UnwritableStore refusing(home);
  Step(options.probesField(), Qt::Key_Up);
  EXPECT_EQ(options.probesField()->value(), 3);
  Click(options.resolveBox());
  EXPECT_FALSE(options.resolveBox()->isChecked());
  Click(page.sizeAndPositionBox());
  EXPECT_FALSE(page.sizeAndPositionBox()->isChecked());
  options.portField()->setFocus();
  options.portField()->selectAll();
  QTest::keyClicks(options.portField(), QStringLiteral("8080"));
  QTest::keyClick(options.portField(), Qt::Key_Return);
  EXPECT_EQ(options.portField()->text(), QStringLiteral("33434"));
  const auto messages = reporter.Messages();
  ASSERT_EQ(messages.size(), 4u);
  for (const auto& message : messages) {
    EXPECT_EQ(message.source, kSourceSystemMessage);
    EXPECT_NE(message.errorCode, 0);
  }
}

// With NETROVE_SCREENSHOTS set to a folder, renders the window after a
// trace across three routed namespaces (when root) and the Customize page.
TEST(TraceRouteScreenshots, WindowAndPage) {
  const QByteArray folder = qgetenv("NETROVE_SCREENSHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set NETROVE_SCREENSHOTS to a folder to render them";
  test::ScopedHome home;
  FakeServices services;
  CTraceRouteView view(services);
  view.resize(640, 520);
  view.show();
  if (test::IsPrivileged()) {
    test::RoutedChain chain;
    ASSERT_TRUE(chain.ok());
    {
      // The run's thread starts inside the client namespace and stays there.
      test::ScopedNetns inside(chain.name("client"));
      ASSERT_TRUE(inside.ok());
      view.startRun(QStringLiteral("10.201.3.2"));
    }
    ASSERT_TRUE(
        WaitUntil([&] { return view.state() == CTraceRouteView::State::Idle; }, TurnEventLoop));
  }
  const QDir out(QString::fromLocal8Bit(folder));
  EXPECT_TRUE(view.grab().save(out.filePath(QStringLiteral("traceroute.png"))));
  test::RecordingReporter reporter;
  CCustomizeTraceRoute page(reporter);
  page.resize(640, 300);
  page.show();
  EXPECT_TRUE(page.grab().save(out.filePath(QStringLiteral("traceroute-customize.png"))));
}

}  // namespace
}  // namespace netrove
