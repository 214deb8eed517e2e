#include "app/main_frame.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <thread>

#include "app/clock_wnd.h"
#include "app/help_window.h"
#include "app/mdi_child_wnd.h"
#include "app/shell_settings.h"
#include "base/net_socket.h"
#include "base/settings_store.h"
#include "shell_ui_support.h"
#include "support/event_loop.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "widgets/main_window_reporter.h"
#include "widgets/tool_message_box.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

using test::CTestToolView;
using test::RecordingBoxes;

const QString kBusyText = QStringLiteral(
    "You cannot close Netrove while one or more connections are in progress. Terminate the "
    "connection(s) before closing Netrove.");

std::uint32_t ReadValue(std::string_view key, std::string_view value, std::uint32_t fallback = 99) {
  if (const auto open = OpenToolKey(key, false)) open->ReadDword(value, fallback);
  return fallback;
}

void WritePlacement(std::string_view key, int left, int top, int right, int bottom) {
  auto open = CreateToolKey(key);
  open->WriteDword("SizeAndPosition", 1);
  open->WriteDword("wpFlags", 0);
  open->WriteDword("wpShowCmd", 1);
  open->WriteDword("wpLeft", static_cast<std::uint32_t>(left));
  open->WriteDword("wpTop", static_cast<std::uint32_t>(top));
  open->WriteDword("wpRight", static_cast<std::uint32_t>(right));
  open->WriteDword("wpBottom", static_cast<std::uint32_t>(bottom));
}

class MainFrameTest : public ::testing::Test {
 protected:
  MainFrameTest() : display(boxes), reporter(display) {}

  void SetUp() override {
    frame = std::make_unique<CMainFrame>(catalog, reporter, boxes);
    display.setMainWindow(frame.get());
    frame->resize(800, 560);
  }

  CMyMDIChildWnd* openPing() {
    EXPECT_NE(frame->openTool(kCmdPing), nullptr);
    return frame->activeToolWindow();
  }

  test::ScopedHome home;
  RecordingBoxes boxes;
  CToolMessageBox display;
  CMainWindowReporter reporter;
  ToolCatalog catalog = test::TestCatalog();
  std::unique_ptr<CMainFrame> frame;
};

struct MenuRow {
  const char* menu;
  int id;
  const char* label;
};

// The launcher's commands: the menu, id and label each must carry.
const MenuRow kMenuRows[] = {
    {"&Internet", 32804, "&Who am I?..."},
    {"&Internet", 32782, "&FTP..."},
    {"&Internet", 32777, "&TFTP..."},
    {"&Internet", 32844, "Newsreader..."},
    {"&Internet", 32776, "&Ping..."},
    {"&Internet", 32842, "trace&route..."},
    {"&Internet", 32833, "F&inger..."},
    {"&Internet", 32803, "&NicName/WhoIs..."},
    {"&Internet", 32773, "&Daytime..."},
    {"&Internet", 32809, "&Quote of the Day..."},
    {"&Internet", 32780, "&Local Broadcast..."},
    {"&Internet", 32771, "&Chat..."},
    {"&Tools", 32778, "&Address Book..."},
    {"&Tools", 32805, "&Hardware..."},
    {"&Tools", 32808, "&Software..."},
    {"&Tools", 32843, "Ca&lendar"},
    {"&Tools", 32781, "&Customize..."},
    {"&Window", 103, "&Next"},
    {"&Window", 104, "&Previous"},
    {"&Window", 57651, "Tile &Horizontally"},
    {"&Window", 57652, "Tile &Vertically"},
    {"&Window", 57650, "&Cascade"},
    {"&Window", 57649, "&Arrange Icons"},
    {"&Window", 32800, "Always on &Top"},
    {"&Help", 57667, "&Help Topics"},
    {"&Help", 57666, "&Index"},
    {"&Help", 57668, "&Using Help"},
    {"&Help", 32802, "&Delete from Registry..."},
    {"&Help", 57664, "&About Netrove..."},
};

QMenu* MenuTitled(QMainWindow& window, const QString& title) {
  for (QAction* action : window.menuBar()->actions()) {
    if (action->text() == title) return action->menu();
  }
  return nullptr;
}

TEST_F(MainFrameTest, MenusCarryEveryLauncherCommand) {
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("Netrove"));
  for (const MenuRow& row : kMenuRows) {
    QMenu* menu = MenuTitled(*frame, QString::fromLatin1(row.menu));
    ASSERT_NE(menu, nullptr) << row.menu;
    QAction* found = nullptr;
    for (QAction* action : menu->actions()) {
      if (action->data().toInt() == row.id) found = action;
    }
    ASSERT_NE(found, nullptr) << row.label;
    EXPECT_EQ(found->text(), QString::fromLatin1(row.label));
    EXPECT_FALSE(found->statusTip().isEmpty()) << row.label;
  }
  EXPECT_EQ(frame->commandAction(kCmdDeleteFromRegistry)->statusTip(),
            QStringLiteral("Delete all information used by Netrove from the registry."));
  EXPECT_EQ(frame->commandAction(kCmdCustomize)->statusTip(), QStringLiteral("Customize Netrove."));
  // Mail has a command but no menu item while its tool is missing.
  EXPECT_FALSE(frame->commandAction(kCmdMail)->isVisible());
}

// A tool window whose transcript can be printed.
class CPrintableToolView : public CTestToolView {
 public:
  explicit CPrintableToolView(CToolServices& services)
      : CTestToolView(services), transcript_(new CTranscriptView(this)) {}
  CTranscriptView* printableTranscript() const override { return transcript_; }
  QString printTitle() const override { return QStringLiteral("Ping"); }

 private:
  CTranscriptView* transcript_;
};

TEST_F(MainFrameTest, FileMenuPrintsOnlyAnIdleTranscript) {
  catalog.templates[0].create = [](CToolServices& services) {
    return new CPrintableToolView(services);
  };
  frame = std::make_unique<CMainFrame>(catalog, reporter, boxes);
  QStringList menus;
  for (QAction* menu : frame->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus.first(), QStringLiteral("&File"));
  EXPECT_FALSE(frame->commandAction(kCmdFilePrint)->isEnabled());
  EXPECT_TRUE(frame->commandAction(kCmdFilePrintSetup)->isEnabled());

  CMyMDIChildWnd* window = openPing();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(frame->commandAction(kCmdFilePrint)->isEnabled());
  EXPECT_TRUE(frame->commandAction(kCmdFilePrintPreview)->isEnabled());
  // A run writing to the transcript keeps it from being printed.
  window->toolView()->setBusy(true);
  EXPECT_FALSE(frame->commandAction(kCmdFilePrint)->isEnabled());
  EXPECT_FALSE(frame->commandAction(kCmdFilePrintPreview)->isEnabled());
  window->toolView()->setBusy(false);
  EXPECT_TRUE(frame->commandAction(kCmdFilePrint)->isEnabled());
}

TEST_F(MainFrameTest, CommandsOfMissingToolsAreDisabledUntilWired) {
  EXPECT_TRUE(frame->commandAction(kCmdPing)->isEnabled());
  EXPECT_FALSE(frame->commandAction(kCmdFinger)->isEnabled());
  EXPECT_FALSE(frame->commandAction(kCmdFtp)->isEnabled());
  EXPECT_FALSE(frame->commandAction(kCmdAddressBook)->isEnabled());
  EXPECT_FALSE(frame->commandAction(kCmdChat)->isEnabled());
  EXPECT_FALSE(frame->commandAction(kCmdFileNew)->isEnabled());
  EXPECT_FALSE(frame->commandAction(kCmdFilePrint)->isEnabled());

  int calendarRuns = 0;
  catalog.commands[kCmdCalendar] = [&](IShellContext& shell) {
    EXPECT_EQ(shell.mainWindow(), frame.get());
    ++calendarRuns;
  };
  frame = std::make_unique<CMainFrame>(catalog, reporter, boxes);
  ASSERT_TRUE(frame->commandAction(kCmdCalendar)->isEnabled());
  frame->commandAction(kCmdCalendar)->trigger();
  EXPECT_EQ(calendarRuns, 1);
}

// The entries the Window menu lists after its own commands.
std::vector<QAction*> WindowList(const CMainFrame& frame) {
  std::vector<QAction*> listed;
  bool past = false;
  for (QAction* action : frame.windowMenu()->actions()) {
    if (action == frame.commandAction(kCmdAlwaysOnTop)) past = true;
    if (past && !action->isSeparator() && action != frame.commandAction(kCmdAlwaysOnTop)) {
      listed.push_back(action);
    }
  }
  return listed;
}

TEST_F(MainFrameTest, WindowMenuListsToolWindowsAndCtrlF4ClosesTheActive) {
  frame->show();
  EXPECT_TRUE(WindowList(*frame).empty());
  QPointer<CMyMDIChildWnd> first = openPing();
  CMyMDIChildWnd* second = openPing();
  second->toolView()->setDocumentTitle(QStringLiteral("Mail & News"));
  CMyMDIChildWnd* third = openPing();
  third->toolView()->setDocumentTitle(QStringLiteral("traceroute"));
  std::vector<QAction*> listed = WindowList(*frame);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0]->text(), QStringLiteral("&1 Ping"));
  EXPECT_EQ(listed[1]->text(), QStringLiteral("&2 Mail && News"));
  EXPECT_EQ(listed[2]->text(), QStringLiteral("&3 traceroute"));
  EXPECT_FALSE(listed[0]->isChecked());
  EXPECT_TRUE(listed[2]->isChecked());

  // Choosing an entry activates its window and moves the check.
  listed[0]->trigger();
  EXPECT_EQ(frame->activeToolWindow(), first);
  listed = WindowList(*frame);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_TRUE(listed[0]->isChecked());
  EXPECT_FALSE(listed[2]->isChecked());

  // Ctrl+F4 closes the active window, not while its Close is greyed.
  frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  first->toolView()->setCloseEnabled(false);
  QTest::keyClick(frame.get(), Qt::Key_F4, Qt::ControlModifier);
  EXPECT_EQ(frame->openWindowCount(), 3);
  first->toolView()->setCloseEnabled(true);
  QTest::keyClick(frame.get(), Qt::Key_F4, Qt::ControlModifier);
  EXPECT_TRUE(test::WaitUntil([&] { return first.isNull(); }, test::TurnEventLoop));
  EXPECT_EQ(frame->openWindowCount(), 2);
  listed = WindowList(*frame);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0]->text(), QStringLiteral("&1 Mail && News"));
}

// A tool window with commands of its own on Ctrl+Q and Ctrl+W, as the
// newsreader's Previous and Next Thread, and a field to type in.
class CClaimingToolView : public CTestToolView {
 public:
  explicit CClaimingToolView(CToolServices& services)
      : CTestToolView(services), field(new QLineEdit(this)) {
    for (auto [key, count] : {std::pair{Qt::Key_Q, &previous}, std::pair{Qt::Key_W, &next}}) {
      auto* action = new QAction(this);
      action->setShortcut(QKeySequence(Qt::CTRL | key));
      action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
      QObject::connect(action, &QAction::triggered, [count] { ++*count; });
      addAction(action);
    }
  }
  QLineEdit* field;
  int previous = 0;
  int next = 0;
};

TEST_F(MainFrameTest, TheActiveToolWindowsKeysWinOverTheMainWindows) {
  catalog.templates[1].create = [](CToolServices& services) {
    return new CClaimingToolView(services);
  };
  frame = std::make_unique<CMainFrame>(catalog, reporter, boxes);
  frame->show();
  frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  QSignalSpy closed(frame.get(), &CMainFrame::closed);

  auto* reader = static_cast<CClaimingToolView*>(frame->openTool(kCmdFinger));
  ASSERT_NE(reader, nullptr);
  reader->field->setFocus();
  QTest::keyClick(reader->field, Qt::Key_Q, Qt::ControlModifier);
  QTest::keyClick(reader->field, Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(reader->previous, 1);
  EXPECT_EQ(reader->next, 1);
  EXPECT_EQ(closed.count(), 0);
  EXPECT_EQ(frame->openWindowCount(), 1);

  // With another tool window active, Ctrl+Q is Exit again.
  openPing();
  QTest::keyClick(frame.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(reader->previous, 1);
  EXPECT_EQ(closed.count(), 1);
}

TEST_F(MainFrameTest, NextAndPreviousNeedTwoToolWindows) {
  QAction* next = frame->commandAction(kCmdNextWindow);
  QAction* previous = frame->commandAction(kCmdPreviousWindow);
  EXPECT_FALSE(next->isEnabled());
  CMyMDIChildWnd* first = openPing();
  EXPECT_EQ(frame->openWindowCount(), 1);
  EXPECT_FALSE(next->isEnabled());
  EXPECT_FALSE(previous->isEnabled());
  CMyMDIChildWnd* second = openPing();
  EXPECT_EQ(frame->openWindowCount(), 2);
  EXPECT_TRUE(next->isEnabled());
  EXPECT_TRUE(previous->isEnabled());
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("Netrove - Ping"));
  EXPECT_EQ(second->windowTitle(), QStringLiteral("Ping"));

  frame->clockWnd()->setActiveSubWindow(second);
  next->trigger();
  EXPECT_EQ(frame->clockWnd()->currentSubWindow(), first);
  ASSERT_TRUE(second->close());
  EXPECT_EQ(frame->openWindowCount(), 1);
  EXPECT_FALSE(next->isEnabled());
}

TEST_F(MainFrameTest, ClosingStopsAtTheFirstBusyWindow) {
  frame->show();
  CMyMDIChildWnd* busy = openPing();
  busy->toolView()->setBusy(true);
  openPing();
  openPing();
  EXPECT_FALSE(frame->close());
  // The two idle windows activated before the busy one are gone.
  ASSERT_EQ(frame->openWindowCount(), 1);
  EXPECT_EQ(frame->toolWindows().front(), busy);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Netrove"));
  EXPECT_EQ(boxes.shown[0].text, kBusyText);

  busy->toolView()->setBusy(false);
  EXPECT_TRUE(frame->close());
  EXPECT_EQ(frame->openWindowCount(), 0);
}

TEST_F(MainFrameTest, AWindowWithItsCloseGreyedStopsClosingSilently) {
  CMyMDIChildWnd* running = openPing();
  running->toolView()->setCloseEnabled(false);
  EXPECT_FALSE(running->close());
  EXPECT_FALSE(frame->close());
  EXPECT_EQ(frame->openWindowCount(), 1);
  EXPECT_TRUE(boxes.shown.empty());
  running->toolView()->setCloseEnabled(true);
  emit running->toolView()->closeRequested();
  EXPECT_EQ(frame->openWindowCount(), 0);
}

TEST_F(MainFrameTest, ToolPlacementIsSavedOnCloseAndRestoredOnFirstActivation) {
  frame->show();
  CMyMDIChildWnd* window = openPing();
  window->setGeometry(10, 20, 300, 200);
  ASSERT_TRUE(window->close());
  EXPECT_EQ(ReadValue("Ping", "wpLeft"), 99u);  // the switch is off: nothing saved

  WritePlacement("Ping", 0, 0, 10, 10);
  window = openPing();
  window->setGeometry(10, 20, 300, 200);
  ASSERT_TRUE(window->close());
  EXPECT_EQ(ReadValue("Ping", "wpLeft"), 10u);
  EXPECT_EQ(ReadValue("Ping", "wpTop"), 20u);
  EXPECT_EQ(ReadValue("Ping", "wpRight"), 310u);
  EXPECT_EQ(ReadValue("Ping", "wpBottom"), 220u);

  window = openPing();
  EXPECT_EQ(window->geometry(), QRect(10, 20, 300, 200));
}

TEST_F(MainFrameTest, FirstStartUsesTheDefaultGeometry) {
  frame->restoreSettings();
  const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
  EXPECT_EQ(frame->geometry(), QRect(screen.width() / 20, screen.height() / 10,
                                     9 * screen.width() / 10, 4 * screen.height() / 5));
  EXPECT_FALSE(frame->isAlwaysOnTop());
  EXPECT_FALSE(frame->clockWnd()->isClockShown());
}

TEST_F(MainFrameTest, MainPlacementIsSavedRestoredAndClamped) {
  WritePlacement("Netrove", 40, 30, 640, 430);
  frame->restoreSettings();
  EXPECT_EQ(frame->geometry(), QRect(40, 30, 600, 400));
  frame->setGeometry(50, 60, 500, 300);
  ASSERT_TRUE(frame->close());
  EXPECT_EQ(ReadValue("Netrove", "wpLeft"), 50u);
  EXPECT_EQ(ReadValue("Netrove", "wpBottom"), 360u);

  // Saved on a larger screen: the whole window comes back inside the
  // available area, shrunk where it was larger.
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  for (const QRect& stored : {QRect(5000, 5000, 800, 600), QRect(0, 0, INT32_MAX, INT32_MAX)}) {
    WritePlacement("Netrove", stored.left(), stored.top(), stored.left() + stored.width(),
                   stored.top() + stored.height());
    auto second = std::make_unique<CMainFrame>(catalog, reporter, boxes);
    second->restoreSettings();
    // The window system may shift the window by its frame; the size is ours.
    EXPECT_TRUE(area.contains(second->geometry().topLeft()));
    EXPECT_EQ(second->geometry().size(), stored.size().boundedTo(area.size()));
  }
}

TEST_F(MainFrameTest, AlwaysOnTopTogglesAndPersists) {
  frame->show();
  QAction* onTop = frame->commandAction(kCmdAlwaysOnTop);
  ASSERT_TRUE(onTop->isCheckable());
  onTop->trigger();
  EXPECT_TRUE(onTop->isChecked());
  EXPECT_TRUE(frame->isAlwaysOnTop());
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(ReadValue("Netrove", "AlwaysOnTop"), 1u);
  onTop->trigger();
  EXPECT_FALSE(frame->isAlwaysOnTop());
  EXPECT_EQ(ReadValue("Netrove", "AlwaysOnTop"), 0u);

  WriteShellSwitch(kValueAlwaysOnTop, true);
  WriteShellSwitch(kValueClock, true);
  auto restored = std::make_unique<CMainFrame>(catalog, reporter, boxes);
  restored->restoreSettings();
  EXPECT_TRUE(restored->isAlwaysOnTop());
  EXPECT_TRUE(restored->commandAction(kCmdAlwaysOnTop)->isChecked());
  EXPECT_TRUE(restored->clockWnd()->isClockShown());
}

TEST_F(MainFrameTest, DeleteFromRegistryAsksThenLeavesDefaults) {
  WriteShellSwitch(kValueAlwaysOnTop, true);
  CreateToolKey("Ping")->WriteDword("PacketSize", 512);
  frame->restoreSettings();
  ASSERT_TRUE(frame->isAlwaysOnTop());

  frame->commandAction(kCmdDeleteFromRegistry)->trigger();
  ASSERT_EQ(boxes.asked.size(), 1u);
  EXPECT_EQ(boxes.asked[0].text,
            QStringLiteral("Are you sure you want to delete 'the Registry Entry'?"));
  EXPECT_EQ(ReadValue("Ping", "PacketSize"), 512u);  // "No" keeps everything

  boxes.answerYes = true;
  frame->commandAction(kCmdDeleteFromRegistry)->trigger();
  EXPECT_FALSE(OpenToolKey("Ping", false).has_value());
  EXPECT_FALSE(ReadShellSwitches().alwaysOnTop);
  EXPECT_FALSE(frame->isAlwaysOnTop());
  EXPECT_FALSE(frame->commandAction(kCmdAlwaysOnTop)->isChecked());
}

int OrangePixels(const QImage& image, const QRect& area) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (image.pixelColor(x, y) == QColor(255, 64, 0)) ++count;
    }
  }
  return count;
}

TEST_F(MainFrameTest, ClientAreaDrawsTheFanAndTheClock) {
  CClockWnd* clock = frame->clockWnd();
  clock->setTimeSource([] { return std::string("10:08:30 AM"); });
  frame->show();
  QApplication::processEvents();
  const QRect quarter = clock->clockRect().adjusted(4, 0, 0, -4);
  QImage image = clock->viewport()->grab().toImage();
  EXPECT_EQ(image.pixelColor(0, 5), QColor(255, 64, 0));                   // first line
  EXPECT_EQ(image.pixelColor(image.width() - 2, 2), QColor(0, 255, 255));  // above the fan
  EXPECT_EQ(OrangePixels(image, quarter), 0);

  frame->setClockShown(true);
  EXPECT_GT(clock->clockFontHeight(), 0);
  image = clock->viewport()->grab().toImage();
  EXPECT_GT(OrangePixels(image, quarter), 100);

  frame->setClockShown(false);  // the time goes at once
  image = clock->viewport()->grab().toImage();
  EXPECT_EQ(OrangePixels(image, quarter), 0);
}

TEST(ClockWnd, TinyClientAreaUsesTheDefaultFontHeight) {
  CClockWnd clock;
  clock.resize(30, 12);
  clock.show();
  QApplication::processEvents();
  EXPECT_EQ(clock.clockFontHeight(), 0);
  clock.resize(600, 400);
  QApplication::processEvents();
  EXPECT_GE(clock.clockFontHeight(), 25);
  EXPECT_EQ(clock.clockFontHeight() % 5, 0);
}

TEST_F(MainFrameTest, RightClickAndF1OpenTheHelpOfWhatIsActive) {
  frame->show();
  QWidget* viewport = frame->clockWnd()->viewport();
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 200),
                          viewport->mapToGlobal(QPoint(20, 200)));
  QApplication::sendEvent(viewport, &click);
  ASSERT_NE(frame->helpWindow(), nullptr);
  EXPECT_TRUE(frame->helpWindow()->isVisible());
  EXPECT_EQ(frame->helpWindow()->currentPage(), QStringLiteral("main-window.html"));

  // F1 asks for the active tool window's topic.
  openPing();
  frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  QTest::keyClick(frame.get(), Qt::Key_F1);
  EXPECT_TRUE(frame->helpWindow()->browser()->toPlainText().contains(QStringLiteral("ping"),
                                                                     Qt::CaseInsensitive));
  EXPECT_FALSE(
      frame->helpWindow()->browser()->toPlainText().contains(QStringLiteral("right click")));

  frame->commandAction(kCmdHelpTopics)->trigger();
  EXPECT_EQ(frame->helpWindow()->currentPage(), QStringLiteral("contents.html"));
  frame->commandAction(kCmdUsingHelp)->trigger();
  EXPECT_EQ(frame->helpWindow()->currentPage(), QStringLiteral("using-help.html"));
}

TEST_F(MainFrameTest, ToolMessagesFromAnyThreadAreShownQueued) {
  std::thread worker([this] {
    reporter.PostToolMessage(1130, "Tue Dec  8 17:00:00 2026");
    reporter.PostSystemError(2);
    reporter.PostToolMessage(1140, "nobody shows this");
    reporter.PostAttention();
  });
  worker.join();
  EXPECT_TRUE(boxes.shown.empty());  // nothing until the GUI thread runs
  QApplication::processEvents();
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Netrove:Daytime"));
  EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Tue Dec  8 17:00:00 2026"));
  EXPECT_EQ(boxes.shown[1].caption, QStringLiteral("Netrove:System Message"));
  EXPECT_EQ(boxes.shown[1].text, QStringLiteral("No such file or directory"));
}

TEST_F(MainFrameTest, StandInsHangUpChatCallsAndShowBroadcasts) {
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  auto call = std::make_unique<CNetSocket>();
  call->Adopt(ends[0]);
  frame->handleChatCall(std::move(call), SocketAddress{});
  char byte = 0;
  EXPECT_EQ(::read(ends[1], &byte, 1), 0);  // the caller sees the end
  ::close(ends[1]);

  frame->handleBroadcast(QStringLiteral("Lunch is ready"));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Broadcast"));
  EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Lunch is ready"));
}

}  // namespace
}  // namespace netrove
