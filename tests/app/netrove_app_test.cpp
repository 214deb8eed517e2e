#include "app/netrove_app.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/customize_netrove.h"
#include "app/main_frame.h"
#include "app/program_catalog.h"
#include "app/single_instance.h"
#include "app/splash_wnd.h"
#include "app/termination_signals.h"
#include "base/product.h"
#include "base/settings_store.h"
#include "peer/broadcast_dlg.h"
#include "shell_ui_support.h"
#include "support/event_loop.h"
#include "support/loopback_socket.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "widgets/message_boxes.h"

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

void SendBroadcast(std::uint16_t port, const std::string& text) {
  const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(port);
  ::sendto(sender, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  ::close(sender);
}

// Boxes that stay open while `whileOpen` runs, as a modal box keeps
// dispatching the datagrams that arrive while it is open.
class StackingBoxes : public IMessageBoxes {
 public:
  void information(QWidget*, const QString& caption, const QString& text) override {
    shown.push_back({caption, text});
    if (whileOpen) whileOpen(text);
  }
  bool askYesNo(QWidget*, const QString&, const QString&) override { return false; }
  std::function<void(const QString& text)> whileOpen;
  std::vector<test::RecordedBox> shown;
};

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

// The local address (as /proc/net shows it: "00000000" every interface,
// "0100007F" loopback) of this process's socket on `port` in `table`
// (tcp or udp) in `state` (0A listening, 07 unconnected); empty when none.
std::string BoundAddress(const std::string& table, std::uint16_t port, const std::string& state) {
  std::ifstream file("/proc/net/" + table);
  std::string line;
  char portText[8];
  std::snprintf(portText, sizeof portText, ":%04X", port);
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, st;
    fields >> slot >> local >> remote >> st;
    if (local.ends_with(portText) && st == state) return local.substr(0, local.find(':'));
  }
  return {};
}

// The listeners follow the General page at once: off closes both sockets,
// on reopens them, and the loopback choice binds them to 127.0.0.1.
TEST_F(NetroveAppTest, ListenersFollowTheGeneralPage) {
  const AppOptions options = Options();
  // On every interface chat listens dual-stack: one IPv6 socket for both families.
  const auto chat = [&] {
    const std::string six = BoundAddress("tcp6", options.chatPort, "0A");
    return six.empty() ? BoundAddress("tcp", options.chatPort, "0A") : six;
  };
  const auto everyInterface = [](const std::string& address) {
    return address == "00000000" || address == std::string(32, '0');
  };
  const auto broadcast = [&] { return BoundAddress("udp", options.broadcastPort, "07"); };
  {
    CNetroveApp app(options, test::TestCatalog(), boxes);
    ASSERT_EQ(app.InitInstance(), CNetroveApp::StartResult::Running);
    EXPECT_TRUE(everyInterface(chat())) << chat();
    EXPECT_EQ(broadcast(), "00000000");

    CCustomizeNetrove page(*app.mainFrame());
    page.show();
    ASSERT_TRUE(page.answerPeersBox()->isChecked()) << "on by default";
    page.answerPeersBox()->click();
    EXPECT_EQ(chat(), "");
    EXPECT_EQ(broadcast(), "");
    EXPECT_FALSE(page.listenAddressBox()->isEnabled());

    page.answerPeersBox()->click();
    EXPECT_TRUE(everyInterface(chat())) << chat();
    page.listenAddressBox()->setCurrentIndex(1);
    EXPECT_EQ(chat(), "0100007F");
    EXPECT_EQ(broadcast(), "0100007F");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(app.mainFrame()->close());
    app.ExitInstance();
  }
  // The next start keeps the choice; turned off, nothing listens at all.
  {
    CNetroveApp again(options, test::TestCatalog(), boxes);
    ASSERT_EQ(again.InitInstance(), CNetroveApp::StartResult::Running);
    EXPECT_EQ(chat(), "0100007F");
    CCustomizeNetrove againPage(*again.mainFrame());
    againPage.show();
    againPage.answerPeersBox()->click();
    EXPECT_TRUE(again.mainFrame()->close());
    again.ExitInstance();
  }
  CNetroveApp off(options, test::TestCatalog(), boxes);
  ASSERT_EQ(off.InitInstance(), CNetroveApp::StartResult::Running);
  EXPECT_EQ(chat(), "");
  EXPECT_EQ(broadcast(), "");
  EXPECT_TRUE(off.mainFrame()->close());
  off.ExitInstance();
}

bool HasSavedPlacement(const std::string& key) {
  std::uint32_t value = 0;
  const auto opened = OpenToolKey(key, false);
  return opened && opened->ReadDword("wpShowCmd", value);
}

// SIGTERM and SIGINT end the program as Exit does: the tool windows close and
// every placement is saved. A busy tool, which Exit would stop at, does not
// keep the program from ending: the shell's placement is saved all the same.
TEST_F(NetroveAppTest, TerminationSignalsEndTheProgramInOrder) {
  for (const int signalNumber : {SIGTERM, SIGINT}) {
    for (const bool busy : {false, true}) {
      SCOPED_TRACE(testing::Message() << "signal " << signalNumber << (busy ? ", busy" : ""));
      test::ScopedHome fresh;
      for (const char* key : {"Netrove", "Ping"})
        ASSERT_TRUE(CreateToolKey(key)->WriteDword("SizeAndPosition", 1));
      CNetroveApp app(Options(), test::TestCatalog(), boxes);
      ASSERT_EQ(app.InitInstance(), CNetroveApp::StartResult::Running);
      CTerminationSignals termination;
      QObject::connect(&termination, &CTerminationSignals::terminationRequested, &app,
                       &CNetroveApp::EndOnRequest);
      bool finished = false;
      QObject::connect(&app, &CNetroveApp::finished, [&] { finished = true; });
      CToolView* tool = app.mainFrame()->openTool(kCmdPing);
      ASSERT_NE(tool, nullptr);
      tool->setBusy(busy);
      ASSERT_FALSE(HasSavedPlacement("Netrove"));

      ASSERT_EQ(::kill(::getpid(), signalNumber), 0);
      EXPECT_TRUE(WaitUntil([&] { return finished; }, TurnEventLoop));
      EXPECT_TRUE(HasSavedPlacement("Netrove"));
      if (!busy) {
        EXPECT_EQ(app.mainFrame()->openWindowCount(), 0);
        EXPECT_TRUE(HasSavedPlacement("Ping"));
      }
      EXPECT_TRUE(boxes.shown.empty()) << "nobody is there to answer a box";
      app.ExitInstance();
    }
  }
}

// A damaged store found while starting (and again from another thread) is
// shown once, as a box of this program; the store itself keeps no handler.
TEST_F(NetroveAppTest, DamagedSettingsAreShownOnceInABox) {
  { std::ofstream(SettingsFile()) << "not a registry file"; }
  CNetroveApp app(Options(), test::TestCatalog(), boxes);
  ASSERT_EQ(app.InitInstance(), CNetroveApp::StartResult::Running);
  std::ofstream(SettingsFile()) << "damaged again";
  std::thread([] { (void)OpenToolKey("Ping", false); }).join();
  EXPECT_TRUE(WaitUntil([&] { return !boxes.shown.empty(); }, TurnEventLoop));
  TurnEventLoop();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("The settings file was damaged.")));
  EXPECT_TRUE(app.mainFrame()->close());
}

// A neighbour's datagram full of markup is shown as the characters it holds;
// the image it names is never opened.
TEST_F(NetroveAppTest, BroadcastMarkupIsShownAsTextAndLoadsNothing) {
  const std::string image = home.path().string() + "/x.png";
  QImage(4, 4, QImage::Format_RGB32).save(QString::fromStdString(image));
  const int watch = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(inotify_add_watch(watch, image.c_str(), IN_OPEN | IN_ACCESS), 0);
  const std::string markup =
      "<h1>Hi</h1><a href='http://example.invalid/'>click</a><img src='" + image + "'>";

  CMessageBoxes realBoxes;
  const AppOptions options = Options();
  CNetroveApp app(options, test::TestCatalog(), realBoxes);
  ASSERT_EQ(app.InitInstance(), CNetroveApp::StartResult::Running);
  QString shownText;
  Qt::TextFormat format = Qt::AutoText;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    box->grab();  // paints it, as the screen would
    shownText = box->text();
    format = box->textFormat();
    box->accept();
  });
  poll.start(10);
  SendBroadcast(options.broadcastPort, markup);
  EXPECT_TRUE(WaitUntil([&] { return !shownText.isEmpty(); }, TurnEventLoop));
  EXPECT_EQ(shownText.toStdString(), markup);
  EXPECT_EQ(format, Qt::PlainText);
  char events[4096];
  EXPECT_LT(::read(watch, events, sizeof events), 0) << "the named image was opened";
  ::close(watch);
  app.ExitInstance();
}

// A flood opens five boxes and one notice; once the boxes are closed the
// next broadcast shows again.
TEST_F(NetroveAppTest, BroadcastBoxesStopAtFiveWithOneNotice) {
  StackingBoxes stacking;
  const ToolCatalog catalog = test::TestCatalog();
  test::RecordingReporter reporter;
  CMainFrame frame(catalog, reporter, stacking);
  stacking.whileOpen = [&](const QString& text) {
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (text.startsWith(QStringLiteral("More "))) {
      frame.handleBroadcast(QStringLiteral("6"));  // while the notice is open
    } else if (isNumber && number < 4) {
      frame.handleBroadcast(QString::number(number + 1));
    } else if (isNumber && number == 4) {
      frame.handleBroadcast(QStringLiteral("5"));
      frame.handleBroadcast(QStringLiteral("7"));
    }
  };
  frame.handleBroadcast(QStringLiteral("0"));
  frame.handleBroadcast(QStringLiteral("after"));
  std::vector<QString> texts;
  for (const auto& box : stacking.shown) texts.push_back(box.text.left(5));
  EXPECT_EQ(texts,
            (std::vector<QString>{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"),
                                  QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("More "),
                                  QStringLiteral("after")}));
}

// A neighbour's flood meets the program's own read-only Broadcast boxes: at
// most five stay open at once, with one notice for the rest.
TEST_F(NetroveAppTest, AFloodOfBroadcastsOpensAtMostFiveReadOnlyBoxes) {
  const AppOptions options = Options();
  CNetroveApp app(options, BuildToolCatalog(), boxes);
  ASSERT_EQ(app.InitInstance(), CNetroveApp::StartResult::Running);
  std::size_t mostOpen = 0;
  bool allReadOnly = true;
  bool flooded = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    std::size_t open = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (!window->isVisible() || window->windowTitle() != QStringLiteral("Broadcast")) continue;
      ++open;
      const auto* text = window->findChild<QPlainTextEdit*>();
      allReadOnly = allReadOnly && text != nullptr && text->isReadOnly();
    }
    mostOpen = std::max(mostOpen, open);
    if (!flooded) {
      flooded = true;
      for (int i = 0; i < 1000; ++i) SendBroadcast(options.broadcastPort, std::to_string(i));
    } else if (!boxes.shown.empty()) {
      // The flood was dropped: close the boxes, the top one first.
      if (QWidget* top = QApplication::activeModalWidget())
        QMetaObject::invokeMethod(top, "accept");
    }
  });
  watch.start(20);
  SendBroadcast(options.broadcastPort, "first");
  EXPECT_TRUE(WaitUntil(
      [&] {
        return !boxes.shown.empty() && mostOpen > 0 && QApplication::activeModalWidget() == nullptr;
      },
      TurnEventLoop));
  watch.stop();
  EXPECT_EQ(mostOpen, 5u);
  EXPECT_TRUE(allReadOnly);
  // One notice per time the boxes were full.
  for (const auto& notice : boxes.shown) {
    EXPECT_TRUE(notice.text.startsWith(QStringLiteral("More broadcasts")));
  }
  EXPECT_LT(boxes.shown.size(), 10u);
  app.ExitInstance();
}

// Broadcasts sent one by one over the loopback to the program with its own
// boxes: the sixth, arriving while five Broadcast boxes are open, is dropped
// and the user reads why in a box of the program's own; with the boxes
// closed, the next broadcast shows again.
TEST_F(NetroveAppTest, ADroppedBroadcastIsAnnouncedInWordsTheUserCanRead) {
  const AppOptions options = Options();
  CMessageBoxes realBoxes;
  CNetroveApp app(options, BuildToolCatalog(), realBoxes);
  ASSERT_EQ(app.InitInstance(), CNetroveApp::StartResult::Running);

  struct Notice {
    QString caption;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int boxesBeneath = 0;
  };
  std::vector<Notice> notices;
  std::vector<QString> closedInOrder;  // the texts of the Broadcast boxes, as closed
  int sent = 0;
  bool sentAgain = false;
  bool done = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    int open = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->isVisible() && qobject_cast<CBroadcastDlg*>(window) != nullptr) ++open;
    }
    QWidget* top = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(top)) {
      notices.push_back({box->windowTitle(), box->text(), box->textFormat(), box->icon(), open});
      box->accept();
    } else if (notices.empty()) {
      // The next broadcast goes once the last one's box is up.
      if (open == sent && sent < 6) SendBroadcast(options.broadcastPort, std::to_string(++sent));
    } else if (auto* shown = qobject_cast<CBroadcastDlg*>(top)) {
      closedInOrder.push_back(shown->findChild<QPlainTextEdit*>()->toPlainText());
      done = closedInOrder.back() == QStringLiteral("again");
      shown->accept();
    } else if (open == 0 && !sentAgain) {
      sentAgain = true;
      SendBroadcast(options.broadcastPort, "again");
    }
  });
  watch.start(10);
  EXPECT_TRUE(WaitUntil([&] { return done; }, TurnEventLoop));
  watch.stop();

  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].caption, QStringLiteral("Netrove"));
  EXPECT_EQ(notices[0].text,
            QStringLiteral("More broadcasts arrived while five Broadcast boxes were open. They "
                           "were dropped; broadcasts are shown again once some of the open boxes "
                           "are closed."));
  EXPECT_EQ(notices[0].format, Qt::PlainText);
  EXPECT_EQ(notices[0].icon, QMessageBox::Information);
  EXPECT_EQ(notices[0].boxesBeneath, 5);
  EXPECT_EQ(closedInOrder, (std::vector<QString>{QStringLiteral("5"), QStringLiteral("4"),
                                                 QStringLiteral("3"), QStringLiteral("2"),
                                                 QStringLiteral("1"), QStringLiteral("again")}))
      << "the dropped sixth never shows";
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

// A unix socket bound to `path`, listening or not (a stale file left by a
// crash).
int UnixSocketAt(const QString& path, bool listening) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  if (listening) ::listen(fd, 5);
  return fd;
}

TEST_F(NetroveAppTest, ASilentCopyKeepsItsSocketAndAStaleSocketIsTakenOver) {
  const QString name = QStringLiteral("netrove-silent-test-%1").arg(getpid());
  CSingleInstance first(name);
  ASSERT_EQ(first.claim(), CSingleInstance::Claim::First);
  // This thread runs no event loop now, so the first copy cannot answer.
  CSingleInstance second(name);
  EXPECT_EQ(second.claim(50), CSingleInstance::Claim::Failed);
  EXPECT_TRUE(second.problem().contains(QStringLiteral("does not answer")));
  // The socket is still the first copy's: a later start reaches it.
  CSingleInstance::Claim third = CSingleInstance::Claim::Failed;
  std::atomic<bool> asked{false};
  std::thread later([&] {
    third = CSingleInstance(name).claim();
    asked = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return asked.load(); }, TurnEventLoop, std::chrono::seconds(15)));
  later.join();
  EXPECT_EQ(third, CSingleInstance::Claim::AlreadyRunning);

  const QString stale = QString::fromStdString(home.path().string()) + QStringLiteral("/stale");
  ::close(UnixSocketAt(stale, false));
  CSingleInstance revived(stale);
  EXPECT_EQ(revived.claim(50), CSingleInstance::Claim::First);
}

TEST_F(NetroveAppTest, SocketFolderIsPrivate) {
  const std::string open = home.path().string() + "/open";
  ASSERT_EQ(::mkdir(open.c_str(), 0777), 0);
  ::chmod(open.c_str(), 0777);
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(open));
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(home.path().string() + "/cache"));
  QString problem;
  const QString folder = SingleInstanceFolder(&problem);
  qputenv("XDG_RUNTIME_DIR", runtime);
  qunsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(folder.toStdString(), home.path().string() + "/cache/netrove-run");
  struct stat info {};
  ASSERT_EQ(::stat(folder.toLocal8Bit().constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

// Another user listening on the name is never taken for the running copy.
TEST_F(NetroveAppTest, ASocketOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to listen as another user";
  const QString path = QString::fromStdString(home.path().string()) + QStringLiteral("/foreign");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = UnixSocketAt(path, false);
    if (::setuid(65534) != 0 || ::listen(fd, 5) != 0) _exit(1);
    ::close(ready[1]);  // listening now
    for (;;) {
      const int client = ::accept(fd, nullptr, nullptr);
      if (client >= 0) (void)!::write(client, "ok\n", 3);
    }
  }
  ASSERT_GT(child, 0);
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 0);
  ::close(ready[0]);
  CSingleInstance instance(path);
  EXPECT_EQ(instance.claim(1000), CSingleInstance::Claim::Failed);
  EXPECT_TRUE(instance.problem().contains(QStringLiteral("another user")));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST_F(NetroveAppTest, BadPortOptionsAreRefusedWithAClearMessage) {
  const auto run = [](const QStringList& arguments) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(NETROVE_BINARY), arguments);
    EXPECT_TRUE(program.waitForFinished(20000));
    return std::pair(program.exitCode(), QString::fromUtf8(program.readAllStandardError()));
  };
  const auto [status, error] = run({QStringLiteral("--chat-port"), QStringLiteral("abc"),
                                    QStringLiteral("--broadcast-port"), QStringLiteral("99999")});
  EXPECT_EQ(status, 2);
  EXPECT_EQ(error,
            QStringLiteral("netrove: --chat-port 'abc' is not a port number (1 to 65535).\n"));
  const auto [status2, error2] = run({QStringLiteral("--broadcast-port"), QStringLiteral("0")});
  EXPECT_EQ(status2, 2);
  EXPECT_TRUE(error2.contains(QStringLiteral("--broadcast-port '0'"))) << error2.toStdString();
}

// Over ssh or in a script there is no display: the version line and the
// help must still come, not an abort from the window system.
TEST_F(NetroveAppTest, VersionAndHelpNeedNoDisplay) {
  const auto run = [](const QString& option) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      environment.remove(QString::fromLatin1(name));
    }
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(NETROVE_BINARY), {option});
    EXPECT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << option.toStdString();
    return std::pair(program.exitCode(), QString::fromUtf8(program.readAllStandardOutput()));
  };
  const auto [versionStatus, version] = run(QStringLiteral("--version"));
  EXPECT_EQ(versionStatus, 0);
  EXPECT_EQ(version,
            QString::fromUtf8(kVersionLine.data(), kVersionLine.size()) + QLatin1Char('\n'));
  const auto [helpStatus, help] = run(QStringLiteral("--help"));
  EXPECT_EQ(helpStatus, 0);
  EXPECT_TRUE(help.contains(QStringLiteral("--chat-port"))) << help.toStdString();
}

}  // namespace
}  // namespace netrove
