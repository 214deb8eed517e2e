// Daytime and Quote of the Day as the user runs them from the main window's
// menu: the host prompt answered with HOST:PORT, a private inetd on the
// loopback answering, and the answer read from the box that shows it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>

#include "app/main_frame.h"
#include "base/command_ids.h"
#include "peer/peer_tools.h"
#include "support/event_loop.h"
#include "support/private_inetd.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "widgets/host_prompt_dialog.h"
#include "widgets/main_window_reporter.h"
#include "widgets/message_boxes.h"
#include "widgets/tool_catalog.h"
#include "widgets/tool_message_box.h"

namespace netrove {
namespace {

// What the user saw: the prompt, what it offered, and the box that followed.
struct Exchange {
  QString promptCaption;
  QStringList offeredHosts;
  QString boxCaption;
  QString boxText;
  Qt::TextFormat boxFormat = Qt::AutoText;
};

class ServiceCommandsTest : public ::testing::Test {
 protected:
  ServiceCommandsTest() : display_(boxes_), reporter_(display_) {
    AddPeerTools(catalog_);
    frame_ = std::make_unique<CMainFrame>(catalog_, reporter_, boxes_);
    display_.setMainWindow(frame_.get());
    frame_->show();
  }

  // Picks the command from the menu, types `host` into its prompt and
  // accepts, then reads and closes the box the answer comes in.
  Exchange Run(int commandId, const QString& host) {
    Exchange seen;
    bool answered = false;
    bool shown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* top = QApplication::activeModalWidget();
      if (auto* prompt = qobject_cast<CHostPromptDlg*>(top); prompt != nullptr && !answered) {
        answered = true;
        seen.promptCaption = prompt->windowTitle();
        if (const auto* hosts = prompt->findChild<QComboBox*>()) {
          for (int i = 0; i < hosts->count(); ++i) seen.offeredHosts << hosts->itemText(i);
        }
        QLineEdit* field = prompt->findChild<QLineEdit*>();
        field->clear();
        QTest::keyClicks(field, host);
        prompt->accept();
      } else if (auto* box = qobject_cast<QMessageBox*>(top); box != nullptr && !shown) {
        shown = true;
        seen.boxCaption = box->windowTitle();
        seen.boxText = box->text();
        seen.boxFormat = box->textFormat();
        box->accept();
      }
    });
    poll.start(10);
    frame_->commandAction(commandId)->trigger();
    EXPECT_TRUE(answered) << "no host prompt";
    EXPECT_TRUE(test::WaitUntil([&] { return shown; }, test::TurnEventLoop)) << "no answer box";
    return seen;
  }

  test::ScopedHome home_;
  CMessageBoxes boxes_;
  CToolMessageBox display_;
  CMainWindowReporter reporter_;
  ToolCatalog catalog_;
  std::unique_ptr<CMainFrame> frame_;
};

TEST_F(ServiceCommandsTest, DaytimeTakesHostAndPortAndShowsInetdsDateLine) {
  if (const std::string why = test::PrivateInetd::BuiltInUnavailable(); !why.empty()) {
    if (test::PrivilegeRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  test::PrivateInetd inetd;
  std::string problem;
  ASSERT_TRUE(inetd.StartBuiltIn("daytime", problem)) << problem;
  const QString target = QStringLiteral("127.0.0.1:%1").arg(inetd.port());

  // On the standard port 13 nothing listens, so a date line came from the
  // port typed.
  Exchange seen = Run(kCmdDaytime, target);
  EXPECT_EQ(seen.promptCaption, QStringLiteral("Obtain the current date and time of day for..."));
  EXPECT_EQ(seen.boxCaption, QStringLiteral("Netrove:Daytime"));
  EXPECT_TRUE(test::IsDaytimeLine(seen.boxText.toStdString())) << seen.boxText.toStdString();
  EXPECT_EQ(seen.boxFormat, Qt::PlainText);

  // The next prompt offers the host and port just used, first.
  seen = Run(kCmdDaytime, target);
  ASSERT_FALSE(seen.offeredHosts.isEmpty());
  EXPECT_EQ(seen.offeredHosts.front(), target);
  EXPECT_TRUE(test::IsDaytimeLine(seen.boxText.toStdString())) << seen.boxText.toStdString();

  // A port outside 1 to 65535 asks nothing of the network: the box says why.
  seen = Run(kCmdDaytime, QStringLiteral("127.0.0.1:70000"));
  EXPECT_EQ(seen.boxCaption, QStringLiteral("Netrove:Daytime"));
  EXPECT_EQ(seen.boxText,
            QStringLiteral("\"127.0.0.1:70000\" names no host, or a port outside 1 to 65535."));
}

// inetd runs a program that writes one quote, as it would run fortune.
TEST_F(ServiceCommandsTest, QuoteOfTheDayTakesHostAndPortAndShowsTheQuote) {
  const std::vector<std::string> quote{"/bin/echo", "echo", "Measure", "twice,", "cut", "once."};
  if (const std::string why = test::PrivateInetd::ProgramUnavailable(quote[0]); !why.empty()) {
    if (test::PrivilegeRequired()) FAIL() << why;
    GTEST_SKIP() << why << " (scripts/install-deps test)";
  }
  test::PrivateInetd inetd;
  std::string problem;
  ASSERT_TRUE(inetd.StartProgram(quote, problem)) << problem;

  const Exchange seen = Run(kCmdQuoteOfTheDay, QStringLiteral("127.0.0.1:%1").arg(inetd.port()));
  EXPECT_EQ(seen.promptCaption, QStringLiteral("Obtain the quote of the day for..."));
  EXPECT_EQ(seen.boxCaption, QStringLiteral("Netrove:Quote of the Day"));
  EXPECT_EQ(seen.boxText, QStringLiteral("Measure twice, cut once.\n"));
  EXPECT_EQ(seen.boxFormat, Qt::PlainText);
}

}  // namespace
}  // namespace netrove
