// netrove-cli ftp in TLS against vsftpd (AUTH TLS and TLS from the first
// byte, data connections resuming the session) and pyftpdlib with a named
// user whose password comes from a file; a certificate nobody vouches for
// is refused with its fingerprint, then accepted by --pin.
#include <gtest/gtest.h>

#include <fstream>

#include "cli/cli_runner.h"
#include "support/test_certificates.h"
#include "transfer/pyftpd_server.h"
#include "transfer/vsftpd_server.h"

namespace netrove::test {
namespace {

namespace fs = std::filesystem;

class CliFtps : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_);
    for (std::size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<char>(i * 131 % 251);
    std::ofstream(local_, std::ios::binary) << bytes_;
  }

  bool StartVsftpd(bool implicit) {
    vsftpd_ = std::make_unique<VsftpdServer>(
        root_, home_.path() / "vsftpd", false,
        VsftpdServer::TlsConfiguration(issued_.certificate, issued_.key, implicit));
    if (vsftpd_->port() != 0) return true;
    if (PrivilegeRequired()) ADD_FAILURE() << "vsftpd did not start";
    return false;
  }

  std::string Address(std::uint16_t port) const { return "127.0.0.1:" + std::to_string(port); }

  ScopedHome home_;
  fs::path root_ = home_.path() / "server";
  fs::path local_ = home_.path() / "up.bin";
  std::string bytes_ = std::string(2 * 1024 * 1024 + 5, '\0');
  CTestCertificates pki_{home_.path() / "pki"};
  IssuedCertificate issued_ = pki_.Issue("ftp", {"localhost", "127.0.0.1"});
  std::unique_ptr<VsftpdServer> vsftpd_;
};

TEST_F(CliFtps, RequiredRoundTripsAgainstVsftpdInBothModes) {
  if (!StartVsftpd(false)) GTEST_SKIP() << "vsftpd did not start";
  const std::string remote = (root_ / "up.bin").string();
  for (const char* mode : {"--passive", "--verbose"}) {
    const CliRun put = RunCli(home_, {"ftp", "--tls", "required", "--cacert", pki_.caFile(), mode,
                                      Address(vsftpd_->port()), "put", local_.string(), remote});
    ASSERT_EQ(put.status, 0) << put.out << put.err;
    EXPECT_EQ(ReadFile(root_ / "up.bin"), bytes_);
    EXPECT_NE(put.out.find("200 PROT now Private"), std::string::npos) << put.out;
    const fs::path back = home_.path() / (std::string("back") + mode);
    const CliRun get = RunCli(home_, {"ftp", "--tls", "required", "--cacert", pki_.caFile(), mode,
                                      Address(vsftpd_->port()), "get", remote, back.string()});
    ASSERT_EQ(get.status, 0) << get.out << get.err;
    EXPECT_EQ(ReadFile(back), bytes_);
    fs::remove(root_ / "up.bin");
  }
}

TEST_F(CliFtps, ImplicitTlsListsFromTheFirstByte) {
  if (!StartVsftpd(true)) GTEST_SKIP() << "vsftpd did not start";
  std::ofstream(root_ / "listed.txt") << "x";
  const CliRun run = RunCli(home_, {"ftp", "--tls", "implicit", "--cacert", pki_.caFile(),
                                    "--passive", Address(vsftpd_->port()), "ls", root_.string()});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out.find("234 "), std::string::npos) << run.out;  // no AUTH TLS
  EXPECT_NE(run.out.find("(Secure connection: TLS"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("      listed.txt\r\n"), std::string::npos) << run.out;
}

// Refused with what a user needs to judge it, nothing sent but AUTH TLS;
// the fingerprint printed is the one --pin then accepts.
TEST_F(CliFtps, AnUnknownIssuerIsRefusedThenAcceptedByPin) {
  if (!StartVsftpd(false)) GTEST_SKIP() << "vsftpd did not start";
  const CliRun refused =
      RunCli(home_, {"ftp", "--tls", "required", "--passive", Address(vsftpd_->port()), "pwd"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("issuer is not known"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("--pin " + issued_.sha256), std::string::npos) << refused.err;
  EXPECT_EQ(refused.out.find("USER"), std::string::npos) << refused.out;
  const CliRun pinned = RunCli(home_, {"ftp", "--tls", "required", "--pin", issued_.sha256,
                                       "--passive", Address(vsftpd_->port()), "pwd"});
  EXPECT_EQ(pinned.status, 0) << pinned.out << pinned.err;
  EXPECT_NE(pinned.out.find("trusted by its pin"), std::string::npos) << pinned.out;
}

// A named user's password from --password-file never shows; the one given
// on the command line works with a warning.
TEST_F(CliFtps, APasswordFileSignsInOverTls) {
  PyFtpServer server(root_, "127.0.0.1", issued_.certificate.string(), issued_.key.string(), true);
  if (server.port() == 0) GTEST_SKIP() << "pyftpdlib did not start";
  const fs::path passwordFile = home_.path() / "password";
  std::ofstream(passwordFile) << "secret\n";
  const CliRun run =
      RunCli(home_, {"ftp", "--user", "bob", "--password-file", passwordFile.string(), "--tls",
                     "required", "--cacert", pki_.caFile(), "--passive", Address(server.port()),
                     "put", local_.string(), "up.bin"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadFile(root_ / "up.bin"), bytes_);
  EXPECT_EQ(run.out.find("secret"), std::string::npos);
  const CliRun typed =
      RunCli(home_, {"ftp", "--user", "bob", "--password", "secret", "--tls", "required",
                     "--cacert", pki_.caFile(), "--passive", Address(server.port()), "pwd"});
  EXPECT_EQ(typed.status, 0) << typed.out << typed.err;
  EXPECT_NE(typed.err.find("warning: a password given on the command line"), std::string::npos);
}

}  // namespace
}  // namespace netrove::test
