// The FTP Customize page, the "FTP Proxy Settings" dialog and the argument
// dialogs, driven through their controls; values are checked in the store.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "base/settings_store.h"
#include "diagnostics/tool_view_fixtures.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "transfer/customize_ftp_page.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_dialogs.h"
#include "transfer/ftp_passwords.h"

namespace netrove {
namespace {

std::string StoredText(std::string_view tool, std::string_view value) {
  std::string text;
  if (const auto key = OpenToolKey(tool, false)) key->ReadText(value, text);
  return text;
}

class QuietProxyDialog : public CFtpProxySettingsDlg {
 public:
  using CFtpProxySettingsDlg::CFtpProxySettingsDlg;
  int beeps = 0;

 protected:
  void beep() override { ++beeps; }
};

TEST(FtpSettings, ThePortFieldKeepsAPortAndTheProxyBoxSwitchesItsControls) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  CCustomizeFTP page(reporter);
  page.show();
  // No FTP key yet: the defaults, with nothing to set back.
  EXPECT_EQ(page.portEdit()->text(), QStringLiteral("21"));
  EXPECT_FALSE(page.wellKnownButton()->isEnabled());
  EXPECT_FALSE(page.settingsButton()->isEnabled());

  page.portEdit()->setFocus();
  page.portEdit()->selectAll();
  QTest::keyClicks(page.portEdit(), QStringLiteral("2121"));
  EXPECT_TRUE(page.wellKnownButton()->isEnabled());
  emit page.portEdit()->editingFinished();
  EXPECT_EQ(test::StoredDword("FTP", "Port Number"), 2121u);
  page.portEdit()->setText(QStringLiteral("70000"));
  EXPECT_EQ(page.portEdit()->text(), QStringLiteral("21"));
  page.portEdit()->setText(QStringLiteral("2121"));

  test::Click(page.proxyBox());
  EXPECT_EQ(test::StoredDword("FTP", "Proxy Server"), 1u);
  EXPECT_TRUE(page.settingsButton()->isEnabled());
  EXPECT_FALSE(page.portEdit()->isEnabled());
  EXPECT_FALSE(page.wellKnownButton()->isEnabled());
  test::Click(page.proxyBox());
  EXPECT_TRUE(page.portEdit()->isEnabled());
  EXPECT_TRUE(page.wellKnownButton()->isEnabled());

  QTest::mouseClick(page.wellKnownButton(), Qt::LeftButton);
  EXPECT_EQ(test::StoredDword("FTP", "Port Number"), 21u);
  EXPECT_FALSE(page.wellKnownButton()->isEnabled());

  page.editorEdit()->setText(QStringLiteral("/usr/bin/vi"));
  emit page.editorEdit()->editingFinished();
  EXPECT_EQ(StoredText("FTP", "Editor"), "/usr/bin/vi");
  test::Click(page.bellBox());
  EXPECT_EQ(test::StoredDword("FTP", "Bell"), 1u);

  // The reply time-out: 120 s until changed, 0 for none, read by the engine.
  EXPECT_EQ(page.timeoutBox()->value(), 120);
  page.timeoutBox()->setValue(0);
  EXPECT_EQ(test::StoredDword("FTP", "Reply Timeout"), 0u);
  FtpLogin login;
  ASSERT_TRUE(ReadFtpSettings(login, reporter));
  EXPECT_EQ(login.replyTimeout.count(), 0);
  page.timeoutBox()->setValue(30);
  ASSERT_TRUE(ReadFtpSettings(login, reporter));
  EXPECT_EQ(login.replyTimeout.count(), 30);
}

// A store that outlives the session, as the desktop keyring does.
class LastingPasswords : public CSessionPasswords {
 public:
  bool Lasting() const override { return true; }
};

TEST(FtpSettings, TheProxyDialogAsksForWhatItsModeNeedsAndStoresIt) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  CSessionPasswords passwords;
  QuietProxyDialog dialog(reporter, passwords);
  // The first mode by default: address and port, no firewall login.
  EXPECT_TRUE(dialog.modeButton(1134)->isChecked());
  EXPECT_TRUE(dialog.addressEdit()->isEnabled());
  EXPECT_FALSE(dialog.userEdit()->isEnabled());
  dialog.modeButton(1138)->click();
  EXPECT_FALSE(dialog.addressEdit()->isEnabled());
  EXPECT_FALSE(dialog.passwordEdit()->isEnabled());
  dialog.modeButton(1136)->click();
  EXPECT_TRUE(dialog.userEdit()->isEnabled());

  dialog.addressEdit()->setText(QStringLiteral("firewall.test"));
  dialog.portEdit()->setText(QStringLiteral("2100"));
  dialog.accept();
  EXPECT_EQ(dialog.beeps, 1);  // the user ID is still empty
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  dialog.userEdit()->setText(QStringLiteral("wall"));
  dialog.passwordEdit()->setText(QStringLiteral("pass"));
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(StoredText("Proxy Settings", "FTP Address"), "firewall.test");
  EXPECT_EQ(test::StoredDword("Proxy Settings", "FTP Port"), 2100u);
  EXPECT_EQ(test::StoredDword("FTP", "Proxy Access Mode"), 1136u);
  EXPECT_EQ(StoredText("FTP", "Proxy User ID"), "wall");
  // The password goes to the password store, never into the settings file.
  EXPECT_EQ(passwords.Find({"ftp-proxy", "firewall.test", 2100, "wall"}), "pass");
  EXPECT_EQ(StoredText("FTP", "Proxy Password"), "");

  QuietProxyDialog again(reporter, passwords);
  EXPECT_TRUE(again.modeButton(1136)->isChecked());
  EXPECT_EQ(again.portEdit()->text(), QStringLiteral("2100"));
  EXPECT_EQ(again.passwordEdit()->text(), QStringLiteral("pass"));
  // Without a keyring the password is not kept between sessions: the
  // dialog may then be left with it empty, and the window asks for it.
  CSessionPasswords nextSession;
  QuietProxyDialog later(reporter, nextSession);
  EXPECT_TRUE(later.passwordEdit()->text().isEmpty());
  later.accept();
  EXPECT_EQ(later.result(), QDialog::Accepted);
  EXPECT_EQ(later.beeps, 0);
}

// A proxy password an earlier version wrote into the settings file keeps
// working; with a keyring it moves there on first use and leaves the file.
TEST(FtpSettings, AProxyPasswordInTheSettingsFileMovesIntoTheKeyringOnFirstUse) {
  test::ScopedHome home;
  {
    auto key = CreateToolKey("FTP");
    ASSERT_TRUE(key && key->WriteText("Proxy Password", "old"));
  }
  FtpLogin login;
  login.proxyHost = "wall.test";
  login.proxyPort = 2100;
  login.proxyUser = "wall";
  const PasswordKey key = FtpProxyPasswordKey(login);

  CSessionPasswords session;
  EXPECT_EQ(RecallFtpProxyPassword(login, session), "old");
  EXPECT_EQ(StoredText("FTP", "Proxy Password"), "old");  // nowhere else to keep it
  EXPECT_FALSE(session.Find(key));

  LastingPasswords keyring;
  EXPECT_EQ(RecallFtpProxyPassword(login, keyring), "old");
  EXPECT_EQ(StoredText("FTP", "Proxy Password"), "");
  EXPECT_EQ(keyring.Find(key), "old");
  EXPECT_EQ(RecallFtpProxyPassword(login, keyring), "old");
  EXPECT_FALSE(RecallFtpProxyPassword(login, session));

  // A password the user types replaces the kept one and clears the file's.
  ASSERT_TRUE(CreateToolKey("FTP")->WriteText("Proxy Password", "older"));
  KeepFtpProxyPassword(login, "new", session);
  EXPECT_EQ(session.Find(key), "new");
  EXPECT_EQ(StoredText("FTP", "Proxy Password"), "");
}

TEST(FtpSettings, ArgumentDialogsOfferOkOnlyWithSomethingToSend) {
  CFtpArgumentDlg site(QStringLiteral("FTP Site Command"));
  EXPECT_EQ(site.windowTitle(), QStringLiteral("FTP Site Command"));
  EXPECT_FALSE(site.okButton()->isEnabled());
  EXPECT_TRUE(site.cancelButton()->isDefault());
  QTest::keyClicks(site.argumentEdit(), QStringLiteral("CHMOD 644 x"));
  EXPECT_TRUE(site.okButton()->isEnabled());
  EXPECT_TRUE(site.okButton()->isDefault());

  CFtpHelpCommandDlg help;
  EXPECT_EQ(help.keyword(), QStringLiteral("ABOR"));
  EXPECT_EQ(help.keywordBox()->count(), 33);
  for (const char* keyword : {"ALLO", "MODE", "REIN", "REST", "STRU"})
    EXPECT_GE(help.keywordBox()->findText(QString::fromLatin1(keyword)), 0) << keyword;
  EXPECT_TRUE(help.okButton()->isEnabled());
}

}  // namespace
}  // namespace netrove
