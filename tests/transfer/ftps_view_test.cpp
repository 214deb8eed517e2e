// The FTP window in TLS: the Login tab's choice starts at "TLS if offered"
// and is kept; a certificate from an unknown issuer brings up the trust
// question, and a yes pins it and logs in again over TLS.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "base/certificate_pins.h"
#include "base/settings_store.h"
#include "support/event_loop.h"
#include "support/fake_tool_services.h"
#include "support/scoped_home.h"
#include "support/test_certificates.h"
#include "support/wait_until.h"
#include "transfer/ftp_tls_choice.h"
#include "transfer/ftp_tree_ctrl.h"
#include "transfer/ftp_tree_model.h"
#include "transfer/ftp_view.h"
#include "vsftpd_server.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;

class FtpsViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(served_);
    view_ = std::make_unique<CFtpView>(services_);
  }

  test::ScopedHome home_;
  fs::path served_ = home_.path() / "served";
  test::FakeToolServices services_;
  std::unique_ptr<CFtpView> view_;
};

TEST_F(FtpsViewTest, TheTlsChoiceStartsIfOfferedAndIsKept) {
  EXPECT_EQ(view_->loginPage()->tlsChoice()->mode(), TlsMode::IfOffered);
  EXPECT_EQ(view_->loginPage()->tlsChoice()->currentText(), QStringLiteral("TLS if offered"));
  view_->loginPage()->tlsChoice()->setMode(TlsMode::Required);
  view_ = std::make_unique<CFtpView>(services_);
  EXPECT_EQ(view_->loginPage()->tlsChoice()->mode(), TlsMode::Required);
  FtpLogin login;
  ASSERT_TRUE(ReadFtpSettings(login, services_.reporter_));
  EXPECT_EQ(login.tls, TlsMode::Required);
}

TEST_F(FtpsViewTest, AnUntrustedCertificateIsAskedAboutThenPinnedAndTheLoginRunsAgain) {
  test::CTestCertificates pki(home_.path() / "pki");
  const auto issued = pki.Issue("ftp", {"127.0.0.1"});
  test::VsftpdServer server(
      served_, home_.path() / "vsftpd", false,
      test::VsftpdServer::TlsConfiguration(issued.certificate, issued.key, false));
  if (server.port() == 0) {
    if (test::PrivilegeRequired()) FAIL() << "vsftpd did not start";
    GTEST_SKIP() << "vsftpd did not start";
  }
  std::vector<std::string> asked;
  view_->setTrustQuestion([&](const TlsHandshakeReport& report, const std::string& host) {
    asked.push_back(host + " " + report.certificate.sha256);
    return true;
  });
  auto key = CreateToolKey("FTP");
  ASSERT_TRUE(key && key->WriteDword("Port Number", server.port()));
  CFtpLoginPage* login = view_->loginPage();
  login->tlsChoice()->setMode(TlsMode::Required);
  login->hostEdit()->setText(QStringLiteral("127.0.0.1"));
  login->passwordEdit()->setText(QStringLiteral("tester@netrove.test"));
  QTest::mouseClick(login->connectButton(), Qt::LeftButton);
  ASSERT_TRUE(test::WaitUntil(
      [&] { return view_->remoteTree()->treeModel()->rowCount() > 0 && !asked.empty(); },
      test::TurnEventLoop))
      << view_->transcript()->text();
  EXPECT_EQ(asked, std::vector<std::string>{"127.0.0.1 " + issued.sha256});
  EXPECT_EQ(FindPinnedCertificate(PinnedCertificatesFile(), "127.0.0.1", server.port()),
            issued.sha256);
  EXPECT_TRUE(view_->connection().ProtectsData());
  EXPECT_NE(view_->transcript()->text().find("trusted by its pin"), std::string::npos);
  view_->connection().Quit();
  ASSERT_TRUE(test::WaitUntil([&] { return !view_->isBusy(); }, test::TurnEventLoop));
}

}  // namespace
}  // namespace netrove
