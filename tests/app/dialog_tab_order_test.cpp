// Tab through every dialog of the program: it visits the controls as the
// dialog reads, top to bottom and left to right, and reaches every control
// that takes focus, trapped by none.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "base/password_store.h"
#include "base/settings_store.h"
#include "base/tls.h"
#include "desktop/calendar_dialog.h"
#include "news/news_dialogs.h"
#include "peer/broadcast_dlg.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/tab_walk.h"
#include "transfer/ftp_dialogs.h"
#include "transfer/ftp_prompts.h"
#include "widgets/address_book_dialog.h"
#include "widgets/certificate_trust_dialog.h"
#include "widgets/host_prompt_dialog.h"
#include "widgets/message_boxes.h"

namespace netrove {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

std::vector<std::string> Names(const std::vector<QWidget*>& widgets) {
  std::vector<std::string> names;
  for (const QWidget* widget : widgets) names.push_back(test::ControlName(widget));
  return names;
}

// Tab from the control the dialog reads first: every step reads on, and
// after one press per control focus is back where it started, each met once.
void ExpectTabReadsDown(QDialog& dialog) {
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  const std::vector<QWidget*> stops =
      test::FromFirstInReading(test::TabStops(dialog, dialog), dialog);
  ASSERT_FALSE(stops.empty());
  EXPECT_THAT(test::StepsAgainstReading(stops, dialog), IsEmpty());
  std::vector<QWidget*> round = stops;
  round.push_back(stops.front());
  EXPECT_THAT(Names(test::PressTab(dialog, stops.front(), stops.size())),
              ElementsAreArray(Names(round)));
}

// A dialog the program opens modally from a function: walked while it runs,
// then dismissed.
void WalkWhileRunning(const std::function<void()>& run) {
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    ExpectTabReadsDown(*dialog);
    dialog->reject();
  });
  run();
}

CAddressBookDlg::Prompts SilentPrompts() {
  return {[](QWidget*) { return false; }, [](QWidget*, const QString&) {}};
}

template <typename Widget>
Widget* Child(QWidget& parent, const char* name) {
  return parent.findChild<Widget*>(QString::fromLatin1(name));
}

void StartAddingAnEntry(CAddressBookDlg& book) { Child<QPushButton>(book, "addButton")->click(); }

void AddAnEntry(CAddressBookDlg& book) {
  StartAddingAnEntry(book);
  Child<QLineEdit>(book, "nameEdit")->setText(QStringLiteral("loopback"));
  Child<QLineEdit>(book, "addressEdit")->setText(QStringLiteral("127.0.0.1"));
  book.accept();
}

TlsHandshakeReport ReportOf(CertificateProblem problem) {
  TlsHandshakeReport report;
  report.problem = problem;
  report.detail = "self-signed certificate";
  return report;
}

struct DialogCase {
  std::string name;
  std::function<void()> walk;
};

void WalkAddressBook(CAddressBookDlg::Mode mode,
                     const std::function<void(CAddressBookDlg&)>& prepare) {
  CAddressBookDlg book(mode, nullptr, SilentPrompts());
  book.show();
  prepare(book);
  ExpectTabReadsDown(book);
}

// The dialog as it opens with `mode` stored: each mode enables other fields.
void WalkProxySettings(std::uint32_t mode) {
  ASSERT_TRUE(CreateToolKey("FTP")->WriteDword("Proxy Access Mode", mode));
  test::RecordingReporter reporter;
  CSessionPasswords passwords;
  CFtpProxySettingsDlg proxy(reporter, passwords);
  ASSERT_TRUE(proxy.modeButton(static_cast<int>(mode))->isChecked());
  ExpectTabReadsDown(proxy);
}

std::vector<DialogCase> EveryDialog() {
  using Mode = CAddressBookDlg::Mode;
  std::vector<DialogCase> cases = {
      {"About",
       [] {
         CAboutDlg about;
         ExpectTabReadsDown(about);
       }},
      {"Calendar",
       [] {
         CCalendarDlg calendar(CCalendarDate(10, 16, 1582));
         ExpectTabReadsDown(calendar);
       }},
      {"Address Book, empty", [] { WalkAddressBook(Mode::kManage, [](CAddressBookDlg&) {}); }},
      {"Address Book, adding", [] { WalkAddressBook(Mode::kManage, StartAddingAnEntry); }},
      {"Address Book, one entry", [] { WalkAddressBook(Mode::kManage, AddAnEntry); }},
      {"Address Book picking, one entry", [] { WalkAddressBook(Mode::kPick, AddAnEntry); }},
      {"Address Book picking, adding", [] { WalkAddressBook(Mode::kPick, StartAddingAnEntry); }},
      {"Host prompt",
       [] {
         CHostPromptDlg prompt(QStringLiteral("Finger..."), 0);
         ExpectTabReadsDown(prompt);
       }},
      {"Certificate not trusted",
       [] {
         CCertificateTrustDialog trust(ReportOf(CertificateProblem::SelfSigned), "localhost");
         ExpectTabReadsDown(trust);
       }},
      {"Certificate changed",
       [] {
         CCertificateTrustDialog trust(ReportOf(CertificateProblem::Changed), "localhost");
         ExpectTabReadsDown(trust);
       }},
      {"FTP argument",
       [] {
         CFtpArgumentDlg argument(QStringLiteral("SITE"));
         argument.argumentEdit()->setText(QStringLiteral("chmod"));
         ExpectTabReadsDown(argument);
       }},
      {"FTP help command",
       [] {
         CFtpHelpCommandDlg help;
         ExpectTabReadsDown(help);
       }},
      {"Broadcast to send",
       [] {
         CBroadcastDlg compose;
         ExpectTabReadsDown(compose);
       }},
      {"Broadcast received",
       [] {
         CBroadcastDlg received(QStringLiteral("The lab closes at six."), nullptr);
         ExpectTabReadsDown(received);
       }},
      {"FTP target exists already",
       [] {
         WalkWhileRunning(
             [] { CFtpPrompts().askExisting(nullptr, QStringLiteral("notes.txt"), false); });
       }},
      {"Yes or no",
       [] {
         WalkWhileRunning([] {
           AskPlainYesNo(nullptr, QStringLiteral("Netrove"), QStringLiteral("Delete notes.txt?"));
         });
       }},
      {"Article headers to retrieve",
       [] { WalkWhileRunning([] { RealNewsDialogs().askHeaderCount(nullptr, 50, 500); }); }},
  };
  for (std::uint32_t mode = 1134; mode <= 1138; ++mode) {
    cases.push_back(
        {"FTP proxy settings, mode " + std::to_string(mode), [mode] { WalkProxySettings(mode); }});
  }
  return cases;
}

TEST(DialogTabOrder, EveryDialogTabsInReadingOrderThroughEveryControl) {
  test::ScopedHome home;
  for (const DialogCase& dialog : EveryDialog()) {
    SCOPED_TRACE(dialog.name);
    dialog.walk();
  }
}

}  // namespace
}  // namespace netrove
