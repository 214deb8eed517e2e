// The contract every diagnostics window keeps, checked once for each: a run
// goes from running back to idle on its finished notice, the run button asks
// for the host, Close closes when idle and interrupts a run otherwise.
#include "diagnostics/tool_view_contract.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "base/net_socket.h"
#include "base/network_settings.h"
#include "base/settings_store.h"
#include "diagnostics/tool_view_fixtures.h"
#include "support/event_loop.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

using test::ExpectIdle;
using test::FakeServices;
using test::NoNames;
using test::TurnEventLoop;
using test::WaitUntil;

template <class View>
class ToolViewContract : public ::testing::Test {
 protected:
  using Traits = test::ToolViewTraits<View>;
  static QString Name() { return QString::fromLatin1(Traits::kName); }
  static bool WaitForIdle(const View& view,
                          std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    return WaitUntil([&] { return view.state() == View::State::Idle; }, TurnEventLoop, deadline);
  }
  test::ScopedHome home;
};

using DiagnosticsViews = ::testing::Types<CPingView, CTraceRouteView>;
TYPED_TEST_SUITE(ToolViewContract, DiagnosticsViews);

TYPED_TEST(ToolViewContract, RunGoesFromRunningBackToIdleOnTheFinishedNotice) {
  NoNames resolver;
  FakeServices services;
  TypeParam view(services, nullptr, resolver);
  QSignalSpy busy(&view, &CToolView::busyChanged);
  view.startRun(QStringLiteral("nosuchhost"));
  EXPECT_EQ(view.state(), TypeParam::State::Running);
  EXPECT_EQ(view.documentTitle(), TestFixture::Name() + QStringLiteral(" nosuchhost"));
  EXPECT_TRUE(view.isBusy());
  EXPECT_FALSE(view.isCloseEnabled());
  EXPECT_FALSE(view.canPrint());
  EXPECT_FALSE(TestFixture::Traits::RunButton(view)->isEnabled());
  EXPECT_EQ(view.closeButton()->text(), QStringLiteral("Interrupt"));
  TestFixture::Traits::ExpectRunningOptions(view);
  ASSERT_TRUE(TestFixture::WaitForIdle(view));
  ExpectIdle(view);
  EXPECT_EQ(busy.count(), 2);
  EXPECT_EQ(services.reporter_.Texts(),
            std::vector<std::string>{SocketErrorText(WSAHOST_NOT_FOUND)});
  EXPECT_EQ(view.printableTranscript()->text(), "");
}

TYPED_TEST(ToolViewContract, TheRunButtonAsksForTheHostAndCloseClosesWhenIdle) {
  NoNames resolver;
  FakeServices services;
  TypeParam view(services, nullptr, resolver);
  view.show();
  const auto prompt =
      test::AnswerHostPrompt(TestFixture::Traits::RunButton(view), QStringLiteral("nosuchhost"));
  EXPECT_EQ(prompt.caption, TestFixture::Name() + QStringLiteral("..."));
  EXPECT_EQ(prompt.helpContext, TestFixture::Traits::kHelpContext);
  EXPECT_EQ(view.documentTitle(), TestFixture::Name() + QStringLiteral(" nosuchhost"));
  ASSERT_TRUE(TestFixture::WaitForIdle(view));
  QSignalSpy close(&view, &CToolView::closeRequested);
  QTest::mouseClick(view.closeButton(), Qt::LeftButton);
  EXPECT_EQ(close.count(), 1);
}

TYPED_TEST(ToolViewContract, AnIPv6HostTypedInThePromptIsRunToTheEnd) {
  if (TestFixture::Traits::kEndlessRunNeedsPrivilege) NETROVE_REQUIRE_PRIVILEGE();
  FakeServices services;
  TypeParam view(services);
  view.show();
  test::AnswerHostPrompt(TestFixture::Traits::RunButton(view), QStringLiteral("[::1]"));
  ASSERT_TRUE(TestFixture::WaitForIdle(view, std::chrono::seconds(20)));
  const std::string text = view.printableTranscript()->text();
  EXPECT_NE(text.find(TestFixture::Traits::kIPv6LoopbackMark), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\r\n\r\n")) << text;
  EXPECT_TRUE(services.reporter_.Messages().empty());
}

// "IPv6 only" on the General page holds for a run as for a connection: an
// IPv4 address has nothing to run to, and the run says so.
TYPED_TEST(ToolViewContract, TheGeneralPagesFamilyChoiceHoldsForTheRun) {
  ASSERT_TRUE(CreateToolKey(kGeneralKeyName)
                  ->WriteDword(kValueAddressFamily, StoredFamilyValue(FamilyChoice::IPv6Only)));
  FakeServices services;
  TypeParam view(services);
  view.startRun(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(TestFixture::WaitForIdle(view));
  EXPECT_EQ(services.reporter_.Texts(), std::vector<std::string>{SocketErrorText(WSANO_DATA)});
  EXPECT_EQ(view.printableTranscript()->text(), "");
}

TYPED_TEST(ToolViewContract, InterruptEndsARunThatGoesOn) {
  if (TestFixture::Traits::kEndlessRunNeedsPrivilege) NETROVE_REQUIRE_PRIVILEGE();
  const typename TestFixture::Traits::EndlessRun endless;
  FakeServices services;
  TypeParam view(services);
  view.show();
  view.startRun(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(WaitUntil(
      [&] {
        return view.printableTranscript()->text().find(TestFixture::Traits::kRunningMark) !=
               std::string::npos;
      },
      TurnEventLoop));
  QTest::mouseClick(view.closeButton(), Qt::LeftButton);
  EXPECT_EQ(view.state(), TypeParam::State::Interrupting);
  EXPECT_FALSE(view.closeButton()->isEnabled());
  ASSERT_TRUE(TestFixture::WaitForIdle(view, std::chrono::seconds(5)));
  ExpectIdle(view);
  EXPECT_TRUE(
      view.printableTranscript()->text().ends_with(TestFixture::Traits::kInterruptedEnding));
  EXPECT_TRUE(services.reporter_.Messages().empty());
  // Closing a window with a run in progress stops the run without waiting.
  view.startRun(QStringLiteral("127.0.0.1"));
}

}  // namespace
}  // namespace netrove
