// The main window's arrangement of tool windows, its toolbar and its help
// window, driven with the program's real tools.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/clock_wnd.h"
#include "app/help_window.h"
#include "app/main_frame.h"
#include "app/mdi_child_wnd.h"
#include "app/program_catalog.h"
#include "shell_ui_support.h"
#include "support/scoped_home.h"
#include "widgets/main_window_reporter.h"
#include "widgets/tool_message_box.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

class ShellWindowsTest : public ::testing::Test {
 protected:
  ShellWindowsTest() : display(boxes), reporter(display) {
    frame = std::make_unique<CMainFrame>(catalog, reporter, boxes);
    frame->resize(800, 560);
    frame->show();
  }

  test::ScopedHome home;
  test::RecordingBoxes boxes;
  CToolMessageBox display;
  CMainWindowReporter reporter;
  ToolCatalog catalog = BuildToolCatalog();
  std::unique_ptr<CMainFrame> frame;
};

// Four real tool windows tiled either way are all in view, side by side
// without overlapping; a window smaller than its form scrolls inside itself
// and keeps every control whole.
TEST_F(ShellWindowsTest, TilingShowsEveryWindowAndKeepsEveryControlWhole) {
  for (int command : {kCmdPing, kCmdTraceRoute, kCmdFinger, kCmdNicName}) {
    ASSERT_NE(frame->openTool(command), nullptr) << command;
  }
  CClockWnd* area = frame->clockWnd();
  for (int command : {kCmdTileHorizontally, kCmdTileVertically}) {
    frame->commandAction(command)->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(area->verticalScrollBar()->isVisible()) << command;
    EXPECT_FALSE(area->horizontalScrollBar()->isVisible()) << command;
    const std::vector<CMyMDIChildWnd*> windows = frame->toolWindows();
    ASSERT_EQ(windows.size(), 4u);
    for (std::size_t i = 0; i < windows.size(); ++i) {
      EXPECT_TRUE(area->viewport()->rect().contains(windows[i]->geometry()))
          << command << " window " << i;
      EXPECT_GT(windows[i]->height(), 60) << command;
      for (std::size_t j = i + 1; j < windows.size(); ++j) {
        EXPECT_FALSE(windows[i]->geometry().intersects(windows[j]->geometry())) << command;
      }
      for (QWidget* control : windows[i]->findChildren<QWidget*>()) {
        if (!control->isVisible()) continue;
        if (!qobject_cast<QAbstractButton*>(control) && !qobject_cast<QAbstractSpinBox*>(control)) {
          continue;
        }
        EXPECT_GE(control->height(), control->minimumSizeHint().height())
            << command << " " << control->objectName().toStdString();
      }
    }
  }
}

// A Ping window opens wide enough for its longest lines (an IPv6 reply with
// the largest numbers, the statistics) without cutting or wrapping them.
TEST_F(ShellWindowsTest, APingWindowsLinesFitAtItsFirstSize) {
  frame->resize(1280, 1000);
  CToolView* view = frame->openTool(kCmdPing);
  ASSERT_NE(view, nullptr);
  QApplication::processEvents();
  const CTranscriptView* transcript = view->printableTranscript();
  ASSERT_NE(transcript, nullptr);
  const QFontMetrics metrics(transcript->font());
  for (const QString& line :
       {QStringLiteral("Reply from 2001:db8:85a3:1234:5678:8a2e:370:7334: bytes=65500 seq=65535 "
                       "time=10000 ms."),
        QStringLiteral("65535 packets transmitted; 65535 packets received; 100% packets loss")}) {
    EXPECT_GE(transcript->viewport()->width() -
                  2 * static_cast<int>(transcript->document()->documentMargin()),
              metrics.horizontalAdvance(line))
        << line.toStdString();
  }
}

TEST_F(ShellWindowsTest, ToolbarShowsIconsAndNamesCommandsInTooltips) {
  const QToolBar* bar = frame->findChild<QToolBar*>(QStringLiteral("StandardToolBar"));
  ASSERT_NE(bar, nullptr);
  int buttons = 0;
  for (QAction* action : bar->actions()) {
    if (action->isSeparator()) continue;
    ++buttons;
    EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
    EXPECT_FALSE(action->toolTip().isEmpty()) << action->text().toStdString();
    const auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
  }
  EXPECT_EQ(buttons, 9);
}

// Every link and picture of every help page and of the index leads to a
// file, and no page needs a horizontal scroll bar in the help window.
TEST(HelpPages, EveryLinkLeadsToAPageAndNoneScrollsSideways) {
  const QDir folder(HelpFolder());
  const QRegularExpression reference(QStringLiteral("(?:href|src)=\"([^\"#]*)"));
  const auto expectTargetsExist = [&](const QString& html, const QString& where) {
    for (const QRegularExpressionMatch& match : reference.globalMatch(html)) {
      const QString target = match.captured(1);
      if (target.isEmpty() || target.contains(QLatin1Char(':'))) continue;
      EXPECT_TRUE(QFile::exists(folder.absoluteFilePath(target)))
          << where.toStdString() << " -> " << target.toStdString();
    }
  };
  CHelpWindow help(folder.path());
  help.showContents();
  const QStringList pages = folder.entryList({QStringLiteral("*.html")});
  ASSERT_GE(pages.size(), 5);
  for (const QString& page : pages) {
    QFile file(folder.absoluteFilePath(page));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    expectTargetsExist(QString::fromUtf8(file.readAll()), page);
    help.browser()->setSource(QUrl::fromLocalFile(file.fileName()));
    QApplication::processEvents();
    EXPECT_EQ(help.browser()->horizontalScrollBar()->maximum(), 0) << page.toStdString();
  }
  help.showIndex();
  expectTargetsExist(help.browser()->toHtml(), QStringLiteral("the index"));
  EXPECT_TRUE(help.browser()->toPlainText().contains(QStringLiteral("Ping")));
}

TEST_F(ShellWindowsTest, HelpStaysUsableBesideTheCustomizeSheet) {
  int scrolledBy = -1;
  QTimer::singleShot(0, frame.get(), [&] {
    QWidget* sheet = QApplication::activeModalWidget();
    ASSERT_NE(sheet, nullptr);
    QTest::keyClick(sheet, Qt::Key_F1);
    CHelpWindow* help = frame->helpWindow();
    help->resize(300, 200);
    QApplication::processEvents();
    help->browser()->setFocus();
    const int before = help->browser()->verticalScrollBar()->value();
    // Through the window system, where a window blocked by a modal dialog
    // loses its input.
    QTest::keyClick(help->windowHandle(), Qt::Key_PageDown);
    scrolledBy = help->browser()->verticalScrollBar()->value() - before;
    static_cast<QDialog*>(sheet)->reject();
  });
  frame->commandAction(kCmdCustomize)->trigger();
  EXPECT_GT(scrolledBy, 0);
}

}  // namespace
}  // namespace netrove
