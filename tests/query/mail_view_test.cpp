// The Mail window and its Customize page, driven offscreen against a
// scripted SMTP server.
#include "query/mail_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <cerrno>
#include <memory>

#include "app/main_frame.h"
#include "app/mdi_child_wnd.h"
#include "app/program_catalog.h"
#include "base/certificate_pins.h"
#include "base/command_ids.h"
#include "base/net_socket.h"
#include "base/settings_store.h"
#include "diagnostics/tool_view_fixtures.h"
#include "query/aiosmtpd_server.h"
#include "query/mail_customize_page.h"
#include "query/mail_settings.h"
#include "query/query_tools.h"
#include "query/smtp_dialogue.h"
#include "query/smtp_scripts.h"
#include "support/event_loop.h"
#include "support/loopback_socket.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"
#include "support/test_certificates.h"
#include "support/tls_test_server.h"
#include "support/wait_until.h"
#include "widgets/certificate_trust_dialog.h"
#include "widgets/keyring_passwords.h"
#include "widgets/message_boxes.h"
#include "widgets/tool_catalog.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

using test::CScriptedServer;
using test::FakeServices;
using test::Script;
using test::WaitUntil;

std::string ServerOf(const CScriptedServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

void StoreMailSettings(const std::string& server, const std::string& sender) {
  auto key = CreateToolKey(kMailToolName);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteText(kOutgoingMailValue, server));
  ASSERT_TRUE(key->WriteText(kMailAddressValue, sender));
}

std::string Stored(std::string_view value) {
  std::string text;
  const auto key = OpenToolKey(kMailToolName, false);
  if (key) key->ReadText(value, text);
  return text;
}

// Types text key by key, as a keyboard would, letters beyond ASCII too.
void Type(QLineEdit* edit, const QString& text) {
  for (const QChar letter : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(letter));
    QApplication::sendEvent(edit, &press);
  }
}

class MailViewTest : public ::testing::Test {
 protected:
  std::unique_ptr<CMailView> OpenView() {
    auto view = std::make_unique<CMailView>(services);
    view->show();
    view->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(view.get()));
    return view;
  }

  test::ScopedHome home;
  FakeServices services;
};

TEST_F(MailViewTest, SendRefusesEmptyAndUnsafeTextsWithFocusOnTo) {
  // Bound, never listening: a dialogue that started would be refused and
  // reported.
  const int unused = test::BoundSocket(SOCK_STREAM, 0);
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(unused, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  StoreMailSettings(server, "alice@example.test");
  auto view = OpenView();
  EXPECT_EQ(QApplication::focusWidget(), view->toEdit());

  const auto sendRefused = [&](const QString& to) {
    view->toEdit()->setText(to);
    view->sendButton()->setFocus();
    QTest::mouseClick(view->sendButton(), Qt::LeftButton);
    EXPECT_FALSE(view->isDialogueRunning()) << to.toStdString();
    EXPECT_FALSE(view->isBusy());
    EXPECT_EQ(QApplication::focusWidget(), view->toEdit()) << to.toStdString();
  };
  sendRefused(QString());
  // As an address-book entry or a paste can bring it.
  sendRefused(QStringLiteral("bob@example.test>\r\nDATA\r\nSubject: forged"));
  sendRefused(QStringLiteral("bob@example.test\nRCPT TO:<eve@example.test>"));
  sendRefused(QString(258, QLatin1Char('b')));

  // A stored sender that would add commands is refused the same way.
  view.reset();
  StoreMailSettings(server, "alice@example.test>\r\nRCPT TO:<eve@example.test");
  view = OpenView();
  sendRefused(QStringLiteral("bob@example.test"));
  EXPECT_TRUE(services.reporter_.Messages().empty());
  ::close(unused);
}

TEST_F(MailViewTest, RunningDialogueIsBusyAndHangUpEndsIt) {
  CScriptedServer server;
  server.Start(test::SilentAfterEhlo());
  StoreMailSettings(ServerOf(server), "alice@example.test");
  auto view = OpenView();
  EXPECT_FALSE(view->hangUpButton()->isEnabled());
  QTest::keyClicks(view->toEdit(), QStringLiteral("bob@example.test"));
  QTest::mouseClick(view->sendButton(), Qt::LeftButton);

  EXPECT_TRUE(view->isBusy());
  EXPECT_FALSE(view->sendButton()->isEnabled());
  EXPECT_TRUE(view->hangUpButton()->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return view->dialogue().InFlight() == SmtpCommand::Ehlo; },
                        test::TurnEventLoop));
  // A Send that reaches the window anyway starts no second dialogue.
  QMetaObject::invokeMethod(view->sendButton(), "click");
  EXPECT_TRUE(view->isBusy());

  QTest::mouseClick(view->hangUpButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !view->isBusy(); }, test::TurnEventLoop));
  EXPECT_TRUE(view->sendButton()->isEnabled());
  EXPECT_FALSE(view->hangUpButton()->isEnabled());
  EXPECT_EQ(view->transcript()->text(), "220 ready\r\n\r\n\r\n\r\n");
  EXPECT_TRUE(services.reporter_.Messages().empty());
  EXPECT_TRUE(server.Finished());
}

TEST_F(MailViewTest, ClosingTheWindowEndsItsDialogue) {
  // The server greets and then never answers EHLO: the worker sits in its
  // receive until the window goes.
  CScriptedServer server;
  server.Start(test::SilentAfterEhlo());
  StoreMailSettings(ServerOf(server), "alice@example.test");
  auto view = OpenView();
  QTest::keyClicks(view->toEdit(), QStringLiteral("bob@example.test"));
  QTest::mouseClick(view->sendButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return view->dialogue().InFlight() == SmtpCommand::Ehlo; },
                        test::TurnEventLoop));
  view.reset();
  EXPECT_TRUE(server.Finished());
  EXPECT_TRUE(services.reporter_.Messages().empty());
}

TEST_F(MailViewTest, AFirstOpenWithNoSettingsShowsAHintNotAnError) {
  auto view = OpenView();
  EXPECT_TRUE(services.reporter_.Messages().empty());
  EXPECT_EQ(view->documentTitle(), QStringLiteral("Mail"));
  EXPECT_FALSE(view->settingsHint()->isHidden());
  // Send stays in the window until the page is filled in, which counts at once.
  QTest::keyClicks(view->toEdit(), QStringLiteral("bob@example.test"));
  QTest::mouseClick(view->sendButton(), Qt::LeftButton);
  EXPECT_FALSE(view->isDialogueRunning());
  EXPECT_TRUE(services.reporter_.Messages().empty());

  CScriptedServer server;
  server.Start(test::SilentAfterEhlo());
  StoreMailSettings(ServerOf(server), "alice@example.test");
  QTest::mouseClick(view->sendButton(), Qt::LeftButton);
  EXPECT_TRUE(view->isDialogueRunning());
  EXPECT_TRUE(view->settingsHint()->isHidden());
  ASSERT_TRUE(WaitUntil([&] { return view->dialogue().InFlight() == SmtpCommand::Ehlo; },
                        test::TurnEventLoop));
}

TEST_F(MailViewTest, CatalogOffersTheWindowAndItsPage) {
  ToolCatalog catalog;
  AddQueryTools(catalog);
  const ToolTemplate* mail = catalog.findByCommand(32841);
  ASSERT_NE(mail, nullptr);
  EXPECT_EQ(mail->typeName, QStringLiteral("Mail"));
  ASSERT_TRUE(static_cast<bool>(mail->create));
  std::unique_ptr<CToolView> view(mail->create(services));
  EXPECT_NE(dynamic_cast<CMailView*>(view.get()), nullptr);
  EXPECT_TRUE(static_cast<bool>(catalog.page(CustomizeTab::Mail)));
  EXPECT_EQ(CustomizeTabCaption(CustomizeTab::Mail), QStringLiteral("Mail"));
}

class SilentBoxes : public IMessageBoxes {
 public:
  void information(QWidget*, const QString&, const QString&) override {}
  bool askYesNo(QWidget*, const QString&, const QString&) override { return false; }
};

TEST_F(MailViewTest, ToolsMenuOpensMailWindows) {
  StoreMailSettings("127.0.0.1", "alice@example.test");
  SilentBoxes boxes;
  const ToolCatalog catalog = BuildToolCatalog();
  CMainFrame frame(catalog, services.reporter_, boxes);
  frame.show();
  QAction* mail = frame.commandAction(kCmdMail);
  ASSERT_NE(mail, nullptr);
  EXPECT_TRUE(mail->isVisible());
  EXPECT_TRUE(mail->isEnabled());
  mail->trigger();
  ASSERT_NE(frame.activeToolWindow(), nullptr);
  auto* view = qobject_cast<CMailView*>(frame.activeToolWindow()->toolView());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->documentTitle(), QStringLiteral("Mail"));
  EXPECT_EQ(view->helpContext(), 0x10000 + 32841);
}

TEST_F(MailViewTest, MailPageFieldsHoldBytesAndKeepStoredValuesWhole) {
  // 128 two-byte letters and one more byte fill the 257 bytes exactly.
  std::string full;
  for (int i = 0; i < 128; ++i) full += "\xC3\xA9";
  full += "a";
  const std::string overLong(300, 'x');
  {
    auto key = CreateToolKey(kMailToolName);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteText(kMailAddressValue, full));
    ASSERT_TRUE(key->WriteText(kIncomingMailValue, overLong));
  }
  CCustomizeMail page;
  page.show();
  page.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
  EXPECT_EQ(page.addressEdit()->text().toUtf8().toStdString(), full);
  EXPECT_EQ(page.incomingEdit()->text().size(), 300);
  EXPECT_NE(page.findChild<QLabel*>()->text().indexOf(QStringLiteral("Note: The information")), -1);

  // The field is full in bytes: a typed letter is refused; one taken away
  // and typed again is written back whole when the field loses the focus.
  page.addressEdit()->setFocus();
  page.addressEdit()->end(false);
  QTest::keyClicks(page.addressEdit(), QStringLiteral("z"));
  EXPECT_EQ(page.addressEdit()->text().toUtf8().toStdString(), full);
  QTest::keyClick(page.addressEdit(), Qt::Key_Backspace);
  QTest::keyClicks(page.addressEdit(), QStringLiteral("a"));
  page.nameEdit()->setFocus();
  EXPECT_EQ(Stored(kMailAddressValue), full);

  // The name takes 75 bytes: 37 two-byte letters and one more byte.
  Type(page.nameEdit(), QString(40, QChar(0xE9)));
  EXPECT_EQ(page.nameEdit()->text().toUtf8().size(), 74);
  QTest::keyClicks(page.nameEdit(), QStringLiteral("ab"));
  EXPECT_EQ(page.nameEdit()->text().toUtf8().size(), 75);
  page.outgoingEdit()->setFocus();
  EXPECT_EQ(Stored(kMailNameValue).size(), 75u);

  // An over-long stored value is never cut by visiting its field.
  page.incomingEdit()->setFocus();
  QTest::keyClicks(page.incomingEdit(), QStringLiteral("y"));
  page.outgoingEdit()->setFocus();
  EXPECT_EQ(Stored(kIncomingMailValue), overLong);
}

TEST_F(MailViewTest, AnUntrustedCertificateIsAskedAboutPinnedAndSentAgain) {
  NETROVE_REQUIRE_AIOSMTPD();
  test::CTestCertificates pki(home.path() / "pki");
  const auto certificate = pki.Issue("mail", {"127.0.0.1"});
  test::AiosmtpdServer server(home.path() / "smtp",
                              {certificate.certificate, certificate.key, "alice", "s3cret"});
  ASSERT_TRUE(server.Ready());
  StoreMailSettings(server.server(), "alice@example.test");
  ASSERT_TRUE(WriteMailSetting(kMailUserNameValue, "alice"));
  ASSERT_TRUE(WriteMailSetting(kOutgoingSecurityValue, "required"));
  CSessionPasswords passwords;
  auto view = OpenView();
  view->setPasswordStore(passwords);
  int passwordsAsked = 0;
  view->setPasswordQuestion([&](const std::string&) -> std::optional<std::string> {
    ++passwordsAsked;
    return "s3cret";
  });
  std::optional<TlsHandshakeReport> asked;
  std::string askedHost;
  view->setTrustQuestion([&](const TlsHandshakeReport& report, const std::string& host) {
    asked = report;
    askedHost = host;
    return true;
  });
  view->toEdit()->setText(QStringLiteral("bob@example.test"));
  QTest::mouseClick(view->sendButton(), Qt::LeftButton);
  ASSERT_TRUE(
      WaitUntil([&] { return asked && !view->isDialogueRunning() && view->dialogue().Delivered(); },
                test::TurnEventLoop));
  // The test CA is no system CA: the certificate's issuer is unknown.
  EXPECT_EQ(asked->problem, CertificateProblem::UnknownIssuer);
  EXPECT_EQ(askedHost, "127.0.0.1");
  EXPECT_EQ(FindPinnedCertificate(PinnedCertificatesFile(), "127.0.0.1", server.port()),
            certificate.sha256);
  // Asked once, then kept for the Send that followed the trust.
  EXPECT_EQ(passwordsAsked, 1);
  EXPECT_EQ(server.Messages().size(), 1u);
  EXPECT_TRUE(services.reporter_.Messages().empty());
}

TEST_F(MailViewTest, CustomizePageStoresPortAndSecurity) {
  CCustomizeMail page;
  page.show();
  EXPECT_EQ(page.securityBox()->currentIndex(), 1);  // if offered, the default
  page.portSpin()->setValue(587);
  page.securityBox()->setCurrentIndex(2);
  emit page.securityBox()->activated(2);
  const MailSettings settings = ReadMailSettings().value_or(MailSettings{});
  EXPECT_EQ(settings.port, 587);
  EXPECT_EQ(settings.tls, TlsMode::Required);
  EXPECT_EQ(Stored(kOutgoingSecurityValue), "required");
}

// A real refusal, for the question to show.
TlsHandshakeReport SelfSignedReport(const std::filesystem::path& folder) {
  test::CTestCertificates pki(folder);
  test::CTlsTestServer server(pki.Issue("self", {"mail.example.test"}, {}, true));
  CNetSocket socket;
  TlsHandshakeReport report;
  TlsClientOptions options;
  options.host = "mail.example.test";
  options.port = server.port();
  EXPECT_TRUE(socket.Connect("127.0.0.1", server.port()));
  EXPECT_EQ(socket.StartTls(options, report).error, kTlsCertificateUntrusted);
  return report;
}

TEST_F(MailViewTest, TrustQuestionDefaultsToCancelAndNeverOffersAChangedCertificate) {
  TlsHandshakeReport report = SelfSignedReport(home.path() / "pki");
  CCertificateTrustDialog question(report, "mail.example.test");
  question.show();
  ASSERT_NE(question.trustButton(), nullptr);
  EXPECT_EQ(question.trustButton()->text(),
            QStringLiteral("Trust this certificate for mail.example.test"));
  EXPECT_TRUE(question.cancelButton()->isDefault());
  const auto* text = question.findChild<QLabel*>(QStringLiteral("certificateText"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->textFormat(), Qt::PlainText);
  EXPECT_TRUE(text->text().contains(QString::fromStdString(report.certificate.sha256)));
  QTest::keyClick(&question, Qt::Key_Return);
  EXPECT_EQ(question.result(), QDialog::Rejected);

  report.problem = CertificateProblem::Changed;
  CCertificateTrustDialog changed(report, "mail.example.test");
  EXPECT_EQ(changed.trustButton(), nullptr);

  // With NETROVE_SCREENSHOTS set to a folder, the question is rendered there.
  const QByteArray folder = qgetenv("NETROVE_SCREENSHOTS");
  if (folder.isEmpty()) return;
  report.problem = CertificateProblem::SelfSigned;
  CCertificateTrustDialog shown(report, "mail.example.test");
  shown.resize(620, 330);
  shown.show();
  QApplication::processEvents();
  EXPECT_TRUE(shown.grab().save(
      QDir(QString::fromLocal8Bit(folder)).filePath(QStringLiteral("certificate-trust.png"))));
}

TEST(KeyringPasswords, WithoutAKeyringPasswordsLastOnlyThisSession) {
  test::ScopedHome home;
  const QByteArray saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
  // A bus that is not there: nothing answers, nothing is written.
  qputenv("DBUS_SESSION_BUS_ADDRESS",
          QByteArray("unix:path=") + QByteArray::fromStdString((home.path() / "no-bus").string()));
  CKeyringPasswords passwords;
  EXPECT_FALSE(passwords.Lasting());
  const PasswordKey key{"smtp", "mail.test", 587, "alice"};
  EXPECT_FALSE(passwords.Find(key));
  passwords.Remember(key, "s3cret");
  EXPECT_EQ(passwords.Find(key), "s3cret");
  EXPECT_FALSE(passwords.Find({"smtp", "mail.test", 465, "alice"}));
  passwords.Forget(key);
  EXPECT_FALSE(passwords.Find(key));
  EXPECT_TRUE(std::filesystem::is_empty(home.path()));
  if (saved.isEmpty())
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  else
    qputenv("DBUS_SESSION_BUS_ADDRESS", saved);
}

}  // namespace
}  // namespace netrove
