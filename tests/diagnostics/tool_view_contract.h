#pragma once
// What each diagnostics window adds to the contract the Ping and traceroute
// windows share: its name, help context, run button, its own option
// controls, and how to make a run that goes on until interrupted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <initializer_list>

#include "diagnostics/ping_options_form.h"
#include "diagnostics/ping_settings.h"
#include "diagnostics/ping_view.h"
#include "diagnostics/traceroute_options_form.h"
#include "diagnostics/traceroute_settings.h"
#include "diagnostics/traceroute_view.h"
#include "support/loopback_socket.h"
#include "widgets/arrow_spin_box.h"

namespace netrove::test {

template <class View>
struct ToolViewTraits;

template <>
struct ToolViewTraits<CPingView> {
  // The print title; also "Ping host" as the window title and "Ping..." as the prompt.
  static constexpr const char* kName = "Ping";
  static constexpr int kHelpContext = 0x18008;
  static QPushButton* RunButton(const CPingView& view) { return view.pingButton(); }
  static void ExpectIdleOptions(const CPingView& view) {
    EXPECT_TRUE(view.options()->sizeField()->isEnabled());
    EXPECT_TRUE(view.options()->specifyButton()->isEnabled());
  }
  static void ExpectRunningOptions(const CPingView& view) {
    EXPECT_FALSE(view.options()->sizeField()->isEnabled());
    EXPECT_FALSE(view.options()->resolveBox()->isEnabled());
  }
  // Continuous pinging of loopback: it needs raw sockets.
  static constexpr bool kEndlessRunNeedsPrivilege = true;
  struct EndlessRun {
    EndlessRun() { WritePingSetting(kSpecifyValue, 0); }
  };
  static constexpr const char* kRunningMark = "Reply from";
  // What a run to the IPv6 loopback shows once it has an answer.
  static constexpr const char* kIPv6LoopbackMark = "Reply from ::1: bytes=64 seq=1 time=";
  static constexpr const char* kInterruptedEnding = " ms.\r\n\r\n";
};

template <>
struct ToolViewTraits<CTraceRouteView> {
  static constexpr const char* kName = "traceroute";
  static constexpr int kHelpContext = 0x1804A;
  static QPushButton* RunButton(const CTraceRouteView& view) { return view.traceButton(); }
  static void ExpectIdleOptions(const CTraceRouteView& view) {
    EXPECT_TRUE(view.traceButton()->isDefault());
    const CTraceRouteOptionsForm& options = *view.options();
    for (QWidget* control : std::initializer_list<QWidget*>{
             options.probesField(), options.timeoutField(), options.initialTtlField(),
             options.maximumTtlField(), options.sizeField(), options.portField(),
             options.resolveBox(), options.dontRouteBox(), options.verboseBox()}) {
      EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
  }
  static void ExpectRunningOptions(const CTraceRouteView& view) {
    EXPECT_TRUE(view.closeButton()->isDefault());
    EXPECT_FALSE(view.options()->maximumTtlField()->isEnabled());
    EXPECT_FALSE(view.options()->portField()->isEnabled());
    EXPECT_FALSE(view.options()->verboseBox()->isEnabled());
  }
  static constexpr bool kEndlessRunNeedsPrivilege = false;
  // A listener on the first port: the probes there get no answer, and each
  // waits out the longest time-out.
  struct EndlessRun {
    EndlessRun() {
      sockaddr_in bound{};
      socklen_t size = sizeof bound;
      getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &size);
      WriteTraceRouteSetting(kTraceInitialDestPortValue, ntohs(bound.sin_port));
      WriteTraceRouteSetting(kTraceReplyTimeOutValue, 59);
    }
    ~EndlessRun() { ::close(listener); }
    const int listener = BoundSocket(SOCK_DGRAM, 0);
  };
  static constexpr const char* kRunningMark = "001  ";
  static constexpr const char* kIPv6LoopbackMark = "traceroute to ::1: 30 hops max";
  static constexpr const char* kInterruptedEnding = "\r\n\r\n\r\n";
};

// The idle window: every control usable, nothing running.
template <class View>
void ExpectIdle(const View& view) {
  EXPECT_EQ(view.state(), View::State::Idle);
  EXPECT_FALSE(view.isBusy());
  EXPECT_TRUE(view.isCloseEnabled());
  EXPECT_TRUE(view.canPrint());
  EXPECT_TRUE(ToolViewTraits<View>::RunButton(view)->isEnabled());
  EXPECT_EQ(view.closeButton()->text(), QStringLiteral("Close"));
  EXPECT_TRUE(view.closeButton()->isEnabled());
  EXPECT_FALSE(view.options()->dontFragmentBox()->isEnabled());
  ToolViewTraits<View>::ExpectIdleOptions(view);
}

}  // namespace netrove::test
