// The Finger and NicName/WhoIs windows and their Customize pages, offscreen,
// against scripted servers: what each control sends, the busy and idle
// states, Interrupt, and the values the pages store.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <atomic>

#include "base/settings_store.h"
#include "query/finger_customize_page.h"
#include "query/finger_settings.h"
#include "query/finger_view.h"
#include "query/nicname_customize_page.h"
#include "query/nicname_server_group.h"
#include "query/nicname_settings.h"
#include "query/nicname_view.h"
#include "query/query_engine.h"
#include "query/query_request.h"
#include "support/event_loop.h"
#include "support/fake_tool_services.h"
#include "support/private_inetd.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"
#include "support/wait_until.h"
#include "widgets/recent_host_box.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

using test::CScriptedServer;
using test::Script;

using FakeServices = test::FakeToolServices;

bool WaitUntil(const std::function<bool()>& condition) {
  return test::WaitUntil(condition, test::TurnEventLoop);
}

std::optional<std::uint32_t> StoredDword(std::string_view tool, std::string_view value) {
  std::uint32_t number = 0;
  const auto key = OpenToolKey(tool, false);
  if (!key || !key->ReadDword(value, number)) return std::nullopt;
  return number;
}

std::string StoredText(std::string_view tool, std::string_view value) {
  std::string text;
  if (const auto key = OpenToolKey(tool, false)) key->ReadText(value, text);
  return text;
}

TEST(FingerView, OpensWithTheStoredDefaultsAndNeedsAServer) {
  test::ScopedHome home;
  ASSERT_TRUE(WriteFingerServer("finger.example.test"));
  FakeServices services;
  {
    CFingerView view(services);
    EXPECT_EQ(view.serverEdit()->text(), QStringLiteral("finger.example.test"));
    EXPECT_FALSE(view.queryTokenBox()->isChecked());
    EXPECT_EQ(view.helpContext(), 0x18041);
    EXPECT_EQ(view.printTitle(), QStringLiteral("Finger"));
    EXPECT_EQ(view.port(), 79);
  }
  auto key = CreateToolKey(kFingerToolName);
  ASSERT_TRUE(key && key->WriteDword(kQueryTokenValue, 1) &&
              key->WriteText(kServerLocationValue, ""));
  CFingerView view(services);
  EXPECT_TRUE(view.queryTokenBox()->isChecked());
  QTest::mouseClick(view.connectButton(), Qt::LeftButton);
  EXPECT_FALSE(view.isBusy());
  EXPECT_EQ(view.focusWidget(), view.serverBox());
}

// Connect sends the request, the window is busy with "Interrupt" in place of
// "Close" until the server ends, and answers accumulate in the Reply box.
TEST(FingerView, QueryRunsBusyAndAnswersAccumulate) {
  test::ScopedHome home;
  FakeServices services;
  CFingerView view(services);
  view.show();
  for (const char* name : {"alice", "bob"}) {
    CScriptedServer server;
    std::atomic<bool> requestSeen = false;
    server.Start(Script()
                     .Accept()
                     .Expect("/W " + std::string(name) + "\r\n")
                     .Do("note the request",
                         [&](test::StepContext&) {
                           requestSeen = true;
                           return std::string();
                         })
                     .ExpectClosed());
    view.setPort(server.port());
    view.serverEdit()->setText(QStringLiteral("127.0.0.1"));
    view.queryEdit()->setText(QString::fromLatin1(name));
    view.queryTokenBox()->setChecked(true);
    QTest::mouseClick(view.connectButton(), Qt::LeftButton);
    EXPECT_TRUE(view.isBusy());
    EXPECT_FALSE(view.isCloseEnabled());
    EXPECT_FALSE(view.canPrint());
    for (QWidget* control :
         std::initializer_list<QWidget*>{view.serverEdit(), view.addressButton(), view.queryEdit(),
                                         view.queryTokenBox(), view.connectButton()}) {
      EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_EQ(view.closeButton()->text(), QStringLiteral("Interrupt"));
    ASSERT_TRUE(WaitUntil([&] { return requestSeen.load(); }));
    QTest::mouseClick(view.closeButton(), Qt::LeftButton);  // Interrupt
    ASSERT_TRUE(WaitUntil([&] { return !view.isBusy(); }));
    EXPECT_TRUE(server.Finished());
    EXPECT_EQ(view.closeButton()->text(), QStringLiteral("Close"));
    EXPECT_TRUE(view.closeButton()->isEnabled());
    EXPECT_TRUE(view.connectButton()->isEnabled());
    EXPECT_TRUE(view.connectButton()->isDefault());
    EXPECT_TRUE(view.isCloseEnabled());
    EXPECT_EQ(view.focusWidget(), view.queryEdit());
  }
  EXPECT_EQ(view.replyBox()->text(), "\r\n\r\n\r\n\r\n");
  EXPECT_TRUE(services.reporter_.Messages().empty());

  CScriptedServer server;
  server.Start(
      Script().Accept().Expect("/W bob\r\n").Send("<img src=\"/dev/zero\">\n\x1b]0;x\x07").Close());
  view.setPort(server.port());
  QTest::mouseClick(view.connectButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !view.isBusy(); }));
  QApplication::processEvents();
  EXPECT_TRUE(view.replyBox()->toPlainText().contains(QStringLiteral("<img src=\"/dev/zero\">")));
  EXPECT_TRUE(view.replyBox()->toPlainText().contains(QStringLiteral("^[]0;x^G")));
  EXPECT_TRUE(view.canPrint());

  bool closeAsked = false;
  QObject::connect(&view, &CToolView::closeRequested, [&] { closeAsked = true; });
  QTest::mouseClick(view.closeButton(), Qt::LeftButton);
  EXPECT_TRUE(closeAsked);
}

TEST(NicNameView, StoredChoiceAndItsServer) {
  test::ScopedHome home;
  FakeServices services;
  {
    CNicNameView view(services);  // no key: the default server
    EXPECT_EQ(view.serverGroup()->choice(), WhoIsServerChoice::Default);
    EXPECT_FALSE(view.serverGroup()->otherEdit()->isEnabled());
    EXPECT_FALSE(view.serverGroup()->addressButton()->isEnabled());
    EXPECT_EQ(view.helpContext(), 0x18023);
    EXPECT_EQ(view.printTitle(), QStringLiteral("NicName/WhoIs"));
    EXPECT_EQ(view.port(), 43);
  }
  auto key = CreateToolKey(kNicNameToolName);
  ASSERT_TRUE(key && key->WriteDword(kDBaseValue, 5) &&
              key->WriteText(kDBaseLocationValue, "whois.example.test"));
  CNicNameView view(services);
  EXPECT_EQ(view.serverGroup()->choice(), WhoIsServerChoice::Other);
  EXPECT_EQ(view.serverGroup()->otherEdit()->text(), QStringLiteral("whois.example.test"));
  EXPECT_TRUE(view.serverGroup()->otherEdit()->isEnabled());
  view.serverGroup()->button(WhoIsServerChoice::Alternative)->click();
  EXPECT_FALSE(view.serverGroup()->otherEdit()->isEnabled());
  EXPECT_EQ(StoredDword(kNicNameToolName, kDBaseValue), 5u);  // the window saves nothing
}

TEST(NicNameView, EmptyFieldsSendNothing) {
  test::ScopedHome home;
  FakeServices services;
  CNicNameView view(services);
  QTest::mouseClick(view.connectButton(), Qt::LeftButton);
  EXPECT_FALSE(view.isBusy());
  EXPECT_EQ(view.focusWidget(), view.commandEdit());
  view.serverGroup()->button(WhoIsServerChoice::Other)->click();
  view.serverGroup()->otherEdit()->clear();
  QTest::mouseClick(view.helpRequestButton(), Qt::LeftButton);
  EXPECT_FALSE(view.isBusy());
  EXPECT_EQ(view.focusWidget(), view.serverGroup()->otherBox());
}

TEST(NicNameView, CommandLineAndHelpRequestReachTheOtherServer) {
  test::ScopedHome home;
  FakeServices services;
  CNicNameView view(services);
  view.serverGroup()->button(WhoIsServerChoice::Other)->click();
  view.serverGroup()->otherEdit()->setText(QStringLiteral("127.0.0.1"));
  const QString longest(kWhoIsCommandLimit, QLatin1Char('n'));
  view.commandEdit()->setText(longest + QStringLiteral("cut"));  // the edit keeps 256
  struct Case {
    QPushButton* button;
    std::string expected;
    bool headed;  // a command line's answer is shown under its server, the help text is not
  };
  std::string shown;
  for (const Case& c : {Case{view.connectButton(), longest.toStdString() + "\r\n", true},
                        Case{view.helpRequestButton(), "?\r\n", false}}) {
    CScriptedServer server;
    server.Start(Script().Accept().Expect(c.expected).Send("domain: EXAMPLE.TEST\n").Close());
    view.setPort(server.port());
    if (c.headed) shown += "[127.0.0.1:" + std::to_string(server.port()) + "]\r\n";
    shown += "domain: EXAMPLE.TEST\r\n\r\n\r\n";
    QTest::mouseClick(c.button, Qt::LeftButton);
    EXPECT_TRUE(view.isBusy());
    EXPECT_FALSE(view.serverGroup()->otherEdit()->isEnabled());
    EXPECT_FALSE(view.helpRequestButton()->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !view.isBusy(); }));
    EXPECT_TRUE(server.Finished());
    EXPECT_TRUE(view.serverGroup()->otherEdit()->isEnabled());
    EXPECT_TRUE(view.connectButton()->isDefault());
    EXPECT_FALSE(view.helpRequestButton()->isDefault());
    EXPECT_EQ(view.focusWidget(), view.connectButton());
  }
  EXPECT_EQ(view.replyBox()->text(), shown);
}

// The server fields take HOST:PORT as the command line does: the port given
// wins over the tool's; a port out of range is reported, nothing is sent.
TEST(QueryViews, ServerFieldsTakeAPort) {
  test::ScopedHome home;
  FakeServices services;
  CFingerView finger(services);
  CNicNameView whois(services);
  whois.serverGroup()->button(WhoIsServerChoice::Other)->click();
  finger.queryEdit()->setText(QStringLiteral("alice"));
  whois.commandEdit()->setText(QStringLiteral("example.test"));
  struct Case {
    CQueryView* view;
    QLineEdit* server;
    QPushButton* connect;
    std::string expected;
  };
  for (const Case& c : {Case{&finger, finger.serverEdit(), finger.connectButton(), "alice\r\n"},
                        Case{&whois, whois.serverGroup()->otherEdit(), whois.connectButton(),
                             "example.test\r\n"}}) {
    CScriptedServer server;
    server.Start(Script().Accept().Expect(c.expected).Send("answer\n").Close());
    c.view->setPort(1);  // nothing listens there: only the typed port reaches the server
    c.server->setText(QStringLiteral("127.0.0.1:%1").arg(server.port()));
    QTest::mouseClick(c.connect, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !c.view->isBusy(); }));
    EXPECT_TRUE(server.Finished());
    EXPECT_NE(c.view->replyBox()->text().find("answer\r\n"), std::string::npos);

    c.server->setText(QStringLiteral("127.0.0.1:65536"));
    QTest::mouseClick(c.connect, Qt::LeftButton);
    EXPECT_FALSE(c.view->isBusy());
  }
  const auto messages = services.reporter_.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].text.find("\"127.0.0.1:65536\" names no host"), std::string::npos);
}

QStringList Offered(const QComboBox& box) {
  QStringList hosts;
  for (int i = 0; i < box.count(); ++i) hosts << box.itemText(i);
  return hosts;
}

// Sends `request` through `field` to a scripted server at each of two ports,
// then tries a port out of range, refused before anything is sent; answers
// the servers queried, the latest first.
QStringList QueryTwoServersThenARefusedOne(CQueryView& view, QLineEdit* field, QPushButton* connect,
                                           const std::string& request) {
  QStringList queried;
  for (int i = 0; i < 2; ++i) {
    CScriptedServer server;
    server.Start(Script().Accept().Expect(request).Send("answer\n").Close());
    queried.prepend(QStringLiteral("127.0.0.1:%1").arg(server.port()));
    field->setText(queried.front());
    QTest::mouseClick(connect, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return !view.isBusy(); }));
    EXPECT_TRUE(server.Finished());
  }
  field->setText(QStringLiteral("127.0.0.1:65536"));
  QTest::mouseClick(connect, Qt::LeftButton);
  EXPECT_FALSE(view.isBusy());
  return queried;
}

// The servers each tool queried are offered by its next window, most recent
// first; one refused before any query is not among them, nor are the other
// tool's.
TEST(QueryViews, NewWindowsOfferTheServersLastQueriedMostRecentFirst) {
  test::ScopedHome home;
  FakeServices services;
  QStringList fingered;
  QStringList whoised;
  {
    CFingerView finger(services);
    finger.queryEdit()->setText(QStringLiteral("alice"));
    fingered = QueryTwoServersThenARefusedOne(finger, finger.serverEdit(), finger.connectButton(),
                                              "alice\r\n");
    CNicNameView whois(services);
    whois.serverGroup()->button(WhoIsServerChoice::Other)->click();
    whois.commandEdit()->setText(QStringLiteral("example.test"));
    whoised = QueryTwoServersThenARefusedOne(whois, whois.serverGroup()->otherEdit(),
                                             whois.connectButton(), "example.test\r\n");
  }
  CFingerView finger(services);
  CNicNameView whois(services);
  EXPECT_EQ(Offered(*finger.serverBox()), fingered);
  EXPECT_TRUE(finger.serverEdit()->text().isEmpty());
  EXPECT_EQ(Offered(*whois.serverGroup()->otherBox()), whoised);
}

TEST(QueryCustomizePages, WriteEachValueAsItChanges) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  CCustomizeFinger finger(reporter);
  finger.show();
  finger.serverEdit()->setText(QStringLiteral("finger.example.test"));
  emit finger.serverEdit()->editingFinished();
  EXPECT_EQ(StoredText(kFingerToolName, kServerLocationValue), "finger.example.test");
  finger.queryTokenBox()->click();
  EXPECT_EQ(StoredDword(kFingerToolName, kQueryTokenValue), 1u);

  auto key = CreateToolKey(kNicNameToolName);
  ASSERT_TRUE(key && key->WriteText(kDBaseLocationValue, "whois.example.test"));
  CCustomizeNicName nicName(reporter);
  nicName.show();
  CWhoIsServerGroup& group = *nicName.serverGroup();
  EXPECT_EQ(group.choice(), WhoIsServerChoice::Default);
  EXPECT_FALSE(group.otherEdit()->isEnabled());
  group.button(WhoIsServerChoice::Alternative)->click();
  EXPECT_EQ(StoredDword(kNicNameToolName, kDBaseValue), 1u);
  group.otherEdit()->setText(QStringLiteral("typed but not stored"));
  group.button(WhoIsServerChoice::Other)->click();
  EXPECT_EQ(StoredDword(kNicNameToolName, kDBaseValue), 2u);
  EXPECT_TRUE(group.otherEdit()->isEnabled());
  EXPECT_EQ(group.otherEdit()->text(), QStringLiteral("whois.example.test"));
  group.otherEdit()->setText(QStringLiteral("whois.example.org"));
  emit group.otherEdit()->editingFinished();
  EXPECT_EQ(StoredText(kNicNameToolName, kDBaseLocationValue), "whois.example.org");
  group.button(WhoIsServerChoice::Default)->click();
  EXPECT_EQ(StoredDword(kNicNameToolName, kDBaseValue), 0u);
  EXPECT_TRUE(reporter.Messages().empty());
}

// With NETROVE_SCREENSHOTS set to a folder, renders both windows after a
// query and their Customize pages into it.
TEST(QueryScreenshots, WindowsAndPages) {
  const QByteArray folder = qgetenv("NETROVE_SCREENSHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set NETROVE_SCREENSHOTS to a folder to render them";
  test::ScopedHome home;
  FakeServices services;
  const QDir out(QString::fromLocal8Bit(folder));
  test::PrivateInetd daemon;
  const std::vector<std::string> fingerd{"/usr/sbin/in.fingerd", "in.fingerd"};
  std::string problem;
  CFingerView finger(services);
  finger.resize(560, 480);
  finger.show();
  finger.serverEdit()->setText(QStringLiteral("127.0.0.1"));
  finger.queryEdit()->setText(QStringLiteral("root"));
  finger.queryTokenBox()->setChecked(true);
  if (test::PrivateInetd::ProgramUnavailable(fingerd[0]).empty() &&
      daemon.StartProgram(fingerd, problem)) {
    finger.setPort(daemon.port());
    finger.connectToServer();
    ASSERT_TRUE(WaitUntil([&] { return !finger.isBusy(); }));
  }
  QApplication::processEvents();
  EXPECT_TRUE(finger.grab().save(out.filePath(QStringLiteral("finger.png"))));

  CNicNameView nicName(services);
  nicName.resize(560, 520);
  nicName.show();
  nicName.serverGroup()->button(WhoIsServerChoice::Other)->click();
  nicName.serverGroup()->otherEdit()->setText(QStringLiteral("127.0.0.1"));
  nicName.commandEdit()->setText(QStringLiteral("example.test"));
  CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Expect("example.test\r\n")
                   .Send("% Scripted WhoIs server on the loopback\n\ndomain:       EXAMPLE.TEST\n"
                         "status:       reserved for testing\nsource:       RFC 2606\n")
                   .Close());
  nicName.setPort(server.port());
  nicName.sendCommandLine();
  ASSERT_TRUE(WaitUntil([&] { return !nicName.isBusy(); }));
  QApplication::processEvents();
  EXPECT_TRUE(nicName.grab().save(out.filePath(QStringLiteral("nicname.png"))));

  test::RecordingReporter reporter;
  CCustomizeFinger fingerPage(reporter);
  fingerPage.resize(520, 300);
  fingerPage.show();
  EXPECT_TRUE(fingerPage.grab().save(out.filePath(QStringLiteral("finger-customize.png"))));
  CCustomizeNicName nicNamePage(reporter);
  nicNamePage.resize(520, 300);
  nicNamePage.show();
  EXPECT_TRUE(nicNamePage.grab().save(out.filePath(QStringLiteral("nicname-customize.png"))));
}

}  // namespace
}  // namespace netrove
