#include "app/netrove_app.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QProcess>
#include <QTest>

#include "app/main_frame.h"
#include "app/splash_wnd.h"
#include "shell_ui_support.h"
#include "support/event_loop.h"
#include "support/loopback_socket.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"

namespace netrove {
namespace {

const QString kAddressInUse =
    QStringLiteral("WSAEADDRINUSE\nThe specified address is already in use.");

using test::BoundSocket;

// A port free for both TCP and UDP at the moment of asking.
std::uint16_t FreePort() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int tcp = BoundSocket(SOCK_STREAM, 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(tcp, reinterpret_cast<sockaddr*>(&address), &length);
    const std::uint16_t port = ntohs(address.sin_port);
    const int udp = BoundSocket(SOCK_DGRAM, port);
    ::close(tcp);
    if (udp >= 0) {
      ::close(udp);
      return port;
    }
  }
  return 0;
}

using test::TurnEventLoop;
using test::WaitUntil;

class NetroveAppTest : public ::testing::Test {
 protected:
  AppOptions Options() {
    AppOptions options;
    options.chatPort = FreePort();
    options.broadcastPort = FreePort();
    options.showSplash = false;
    return options;
  }

  test::ScopedHome home;
  test::RecordingBoxes boxes;
};

TEST_F(NetroveAppTest, StartsListensAndShutsDown) {
  const AppOptions options = Options();
  CNetroveApp app(options, test::TestCatalog(), boxes);
  ASSERT_EQ(app.InitInstance(), CNetroveApp::StartResult::Running);
  ASSERT_NE(app.mainFrame(), nullptr);
  EXPECT_EQ(app.mainFrame()->windowTitle(), QStringLiteral("Netrove"));
  EXPECT_TRUE(app.mainFrame()->isVisible());
  EXPECT_EQ(app.mainFrame()->openWindowCount(), 0);

  // A broadcast shows in a plain box; a chat call is hung up.
  const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(options.broadcastPort);
  ::sendto(sender, "Lunch", 5, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  ::close(sender);
  EXPECT_TRUE(WaitUntil([&] { return !boxes.shown.empty(); }, TurnEventLoop));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Lunch"));

  const int caller = ::socket(AF_INET, SOCK_STREAM, 0);
  to.sin_port = htons(options.chatPort);
  ASSERT_EQ(::connect(caller, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  char byte = 0;
  long got = -1;
  EXPECT_TRUE(WaitUntil(
      [&] {
        got = ::recv(caller, &byte, 1, MSG_DONTWAIT);
        return got == 0;
      },
      TurnEventLoop));
  EXPECT_EQ(got, 0);
  ::close(caller);

  EXPECT_TRUE(app.mainFrame()->close());
  app.ExitInstance();
}

TEST_F(NetroveAppTest, TakenChatPortEndsStartUpWithTheWinSockText) {
  const AppOptions options = Options();
  const int owner = BoundSocket(SOCK_STREAM, options.chatPort);
  ASSERT_EQ(::listen(owner, 1), 0);
  CNetroveApp app(options, test::TestCatalog(), boxes);
  EXPECT_EQ(app.InitInstance(), CNetroveApp::StartResult::Failed);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Netrove:WinSock"));
  EXPECT_EQ(boxes.shown[0].text, kAddressInUse);
  ::close(owner);
}

TEST_F(NetroveAppTest, TakenBroadcastPortEndsStartUpWithTheWinSockText) {
  const AppOptions options = Options();
  const int owner = BoundSocket(SOCK_DGRAM, options.broadcastPort);
  ASSERT_GE(owner, 0);
  CNetroveApp app(options, test::TestCatalog(), boxes);
  EXPECT_EQ(app.InitInstance(), CNetroveApp::StartResult::Failed);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Netrove:WinSock"));
  EXPECT_EQ(boxes.shown[0].text, kAddressInUse);
  app.ExitInstance();  // the chat listener had started: it ends too
  ::close(owner);
}

TEST_F(NetroveAppTest, SplashGoesAtAKeyPressOrAtTheEndOfItsTime) {
  AppOptions options = Options();
  options.showSplash = true;
  options.splashMilliseconds = 60000;
  CNetroveApp app(options, test::TestCatalog(), boxes);
  ASSERT_EQ(app.InitInstance(), CNetroveApp::StartResult::Running);
  ASSERT_NE(app.splashWindow(), nullptr);
  EXPECT_TRUE(app.splashWindow()->isVisible());
  QTest::keyClick(app.mainFrame(), Qt::Key_A);
  EXPECT_FALSE(app.splashWindow()->isVisible());
  app.ExitInstance();

  options = Options();
  options.showSplash = true;
  options.splashMilliseconds = 30;
  options.instanceName = QStringLiteral("netrove-splash-test-%1").arg(getpid());
  CNetroveApp timed(options, test::TestCatalog(), boxes);
  ASSERT_EQ(timed.InitInstance(), CNetroveApp::StartResult::Running);
  EXPECT_TRUE(WaitUntil([&] { return !timed.splashWindow()->isVisible(); }, TurnEventLoop));
  EXPECT_FALSE(timed.splashWindow()->isVisible());
}

// The first copy runs in this process; the second is the real program.
TEST_F(NetroveAppTest, ASecondStartRaisesTheFirstAndEnds) {
  CNetroveApp first(Options(), test::TestCatalog(), boxes);
  ASSERT_EQ(first.InitInstance(), CNetroveApp::StartResult::Running);
  first.mainFrame()->showMinimized();
  ASSERT_TRUE(first.mainFrame()->isMinimized());

  QProcess second;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  second.setProcessEnvironment(environment);
  second.start(QStringLiteral(NETROVE_BINARY),
               {QStringLiteral("--chat-port"), QString::number(FreePort()),
                QStringLiteral("--broadcast-port"), QString::number(FreePort())});
  ASSERT_TRUE(second.waitForStarted());
  EXPECT_TRUE(WaitUntil([&] { return second.state() == QProcess::NotRunning; }, TurnEventLoop,
                        std::chrono::seconds(20)));
  ASSERT_EQ(second.state(), QProcess::NotRunning) << "the second start did not end";
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_FALSE(first.mainFrame()->isMinimized());
}

}  // namespace
}  // namespace netrove
