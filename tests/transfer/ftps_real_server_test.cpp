// FTP in TLS against real servers: vsftpd with AUTH TLS and with TLS from
// the first byte (both insisting on data connections that resume the
// control connection's session), pyftpdlib's TLS handler; passive and
// active data connections; certificates from a throw-away CA.
#include <gtest/gtest.h>

#include <random>

#include "pyftpd_server.h"
#include "support/file_bytes.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/test_certificates.h"
#include "support/wait_until.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_recorder.h"
#include "vsftpd_server.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;

std::string RandomBytes(std::size_t size) {
  std::mt19937 generator(11);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

enum class Server { VsftpdExplicit, VsftpdImplicit, Pyftpdlib };

struct ServerAndMode {
  Server server;
  bool passive;
};

std::string ServerName(Server server) {
  switch (server) {
    case Server::VsftpdExplicit:
      return "VsftpdExplicit";
    case Server::VsftpdImplicit:
      return "VsftpdImplicit";
    case Server::Pyftpdlib:
      break;
  }
  return "Pyftpdlib";
}

void PrintTo(const ServerAndMode& value, std::ostream* out) {
  *out << ServerName(value.server) << (value.passive ? " passive" : " active");
}

class FtpsAgainstRealServers : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(serverRoot_);
    fs::create_directories(local_);
  }

  void TearDown() override {
    connection_.Quit();
    connection_.WaitUntilEnded();
  }

  // Starts `server`; false (the test skipped or failed) when it cannot run.
  bool StartServer(Server server, bool requireTls = true) {
    if (server == Server::Pyftpdlib) {
      pyftpd_ = std::make_unique<test::PyFtpServer>(
          serverRoot_, "127.0.0.1", issued_.certificate.string(), issued_.key.string(), requireTls);
      port_ = pyftpd_->port();
      user_ = "bob";
      password_ = "secret";
    } else {
      vsftpd_ = std::make_unique<test::VsftpdServer>(
          serverRoot_, home_.path() / "vsftpd", false,
          test::VsftpdServer::TlsConfiguration(issued_.certificate, issued_.key,
                                               server == Server::VsftpdImplicit));
      port_ = vsftpd_->port();
      user_ = "anonymous";
      password_ = "tester@netrove.test";
      remoteFolder_ = serverRoot_.string() + "/";
    }
    if (port_ != 0) return true;
    if (test::PrivilegeRequired()) ADD_FAILURE() << "the FTP server did not start";
    return false;
  }

  FtpLogin Login(TlsMode tls, bool passive) const {
    FtpLogin login;
    login.host = "127.0.0.1";
    login.serverPort = port_;
    login.userName = user_;
    login.password = password_;
    login.verbose = true;
    login.mode = passive ? kFtpModePassive : 0;
    login.tls = tls;
    login.tlsOptions.caFile = pki_.caFile().string();
    return login;
  }

  void RoundTrip(const std::string& bytes) {
    test::WriteFileBytes(local_ / "up.bin", bytes);
    connection_.Start(test::RequestOf(FtpOperationKind::Upload, (local_ / "up.bin").string(),
                                      remoteFolder_ + "up.bin")
                          .Type(FtpTransferType::Image)
                          .Replace());
    ASSERT_TRUE(events_.WaitFor("upload ended 1")) << events_.Transcript() << Messages();
    EXPECT_EQ(test::ReadFileBytes(serverRoot_ / "up.bin"), bytes);
    connection_.Start(test::RequestOf(FtpOperationKind::Download, remoteFolder_ + "up.bin",
                                      (local_ / "down.bin").string())
                          .Type(FtpTransferType::Image));
    ASSERT_TRUE(events_.WaitFor("download ended 1")) << events_.Transcript() << Messages();
    EXPECT_EQ(test::ReadFileBytes(local_ / "down.bin"), bytes);
  }

  std::string Messages() const {
    std::string all;
    for (const auto& text : reporter_.Texts()) all += "\n" + text;
    return all;
  }

  test::ScopedHome home_;
  fs::path serverRoot_ = home_.path() / "server";
  fs::path local_ = home_.path() / "local";
  test::CTestCertificates pki_{home_.path() / "pki"};
  test::IssuedCertificate issued_ = pki_.Issue("ftp", {"localhost", "127.0.0.1"});
  std::unique_ptr<test::PyFtpServer> pyftpd_;
  std::unique_ptr<test::VsftpdServer> vsftpd_;
  std::uint16_t port_ = 0;
  std::string user_;
  std::string password_;
  std::string remoteFolder_;
  test::FtpRecorder events_;
  test::RecordingReporter reporter_;
  CFtpConnection connection_{events_, reporter_, events_, events_, events_, SystemResolver()};
};

class FtpsRoundTrips : public FtpsAgainstRealServers,
                       public ::testing::WithParamInterface<ServerAndMode> {};

// Listing, upload and download all in TLS, byte for byte; the servers
// refuse anything in the clear, so a data connection that did not resume
// the session or was not protected fails the transfer.
TEST_P(FtpsRoundTrips, ListsUploadsAndDownloadsByteForByte) {
  const Server server = GetParam().server;
  if (!StartServer(server)) GTEST_SKIP() << "the FTP server did not start";
  const TlsMode tls = server == Server::VsftpdImplicit ? TlsMode::Implicit : TlsMode::Required;
  ASSERT_TRUE(connection_.Connect(Login(tls, GetParam().passive)));
  ASSERT_TRUE(events_.WaitFor("listing")) << events_.Transcript() << Messages();
  EXPECT_TRUE(connection_.IsSecured());
  EXPECT_TRUE(connection_.ProtectsData());
  const std::string transcript = events_.Transcript();
  if (tls != TlsMode::Implicit) {
    EXPECT_LT(transcript.find("AUTH TLS\r\n234"), transcript.find("USER ")) << transcript;
  }
  EXPECT_NE(transcript.find("PBSZ 0\r\n200"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("PROT P\r\n200"), std::string::npos) << transcript;
  RoundTrip(RandomBytes(5 * 1024 * 1024 + 3));
  EXPECT_TRUE(reporter_.Messages().empty()) << Messages();
}

INSTANTIATE_TEST_SUITE_P(ServersAndModes, FtpsRoundTrips,
                         ::testing::Values(ServerAndMode{Server::VsftpdExplicit, true},
                                           ServerAndMode{Server::VsftpdExplicit, false},
                                           ServerAndMode{Server::VsftpdImplicit, true},
                                           ServerAndMode{Server::VsftpdImplicit, false},
                                           ServerAndMode{Server::Pyftpdlib, true},
                                           ServerAndMode{Server::Pyftpdlib, false}),
                         [](const auto& info) {
                           return ServerName(info.param.server) +
                                  (info.param.passive ? "Passive" : "Active");
                         });

// A certificate from an unknown issuer ends the connection before the login
// and is kept for the user's decision; pinned, it is accepted.
TEST_F(FtpsAgainstRealServers, AnUntrustedCertificateIsKeptForTheUserThenAcceptedByItsPin) {
  if (!StartServer(Server::VsftpdExplicit)) GTEST_SKIP() << "vsftpd did not start";
  FtpLogin login = Login(TlsMode::Required, true);
  login.tlsOptions.caFile.clear();
  ASSERT_TRUE(connection_.Connect(login));
  connection_.WaitUntilEnded();
  const auto failure = connection_.TrustFailure();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->problem, CertificateProblem::UnknownIssuer);
  EXPECT_EQ(failure->certificate.sha256, issued_.sha256);
  EXPECT_EQ(events_.Transcript().find("USER"), std::string::npos) << events_.Transcript();

  login.tlsOptions.pinnedSha256 = issued_.sha256;
  ASSERT_TRUE(connection_.Connect(login));
  ASSERT_TRUE(events_.WaitFor("listing")) << events_.Transcript() << Messages();
  EXPECT_FALSE(connection_.TrustFailure());
  RoundTrip("pinned");
}

// pyftpdlib with TLS optional: "if offered" takes it, "plain" never asks.
TEST_F(FtpsAgainstRealServers, IfOfferedTakesTlsWherePlainDoesNotAsk) {
  if (!StartServer(Server::Pyftpdlib, false)) GTEST_SKIP() << "pyftpdlib did not start";
  ASSERT_TRUE(connection_.Connect(Login(TlsMode::IfOffered, true)));
  ASSERT_TRUE(events_.WaitFor("listing")) << events_.Transcript() << Messages();
  EXPECT_TRUE(connection_.ProtectsData());
  connection_.Quit();
  connection_.WaitUntilEnded();

  ASSERT_TRUE(connection_.Connect(Login(TlsMode::Off, true)));
  ASSERT_TRUE(events_.WaitFor("listing", 2)) << events_.Transcript() << Messages();
  EXPECT_FALSE(connection_.IsSecured());
  RoundTrip("in the clear");
  // The first connection's command only (FEAT names AUTH TLS, indented).
  const std::string transcript = events_.Transcript();
  EXPECT_EQ(transcript.rfind("\nAUTH TLS"), transcript.find("\nAUTH TLS")) << transcript;
}

// An aborted TLS download leaves nothing behind and the connection works on.
TEST_F(FtpsAgainstRealServers, AbortDuringASecureDownloadLeavesNoFile) {
  if (!StartServer(Server::VsftpdExplicit)) GTEST_SKIP() << "vsftpd did not start";
  test::WriteFileBytes(serverRoot_ / "huge.bin", std::string(64 * 1024 * 1024, 'x'));
  ASSERT_TRUE(connection_.Connect(Login(TlsMode::Required, true)));
  ASSERT_TRUE(events_.WaitFor("listing")) << events_.Transcript() << Messages();
  connection_.Start(test::RequestOf(FtpOperationKind::Download, remoteFolder_ + "huge.bin",
                                    (local_ / "huge.bin").string())
                        .Type(FtpTransferType::Image));
  ASSERT_TRUE(test::WaitUntil([&] { return events_.Progress() > 0; }));
  ASSERT_TRUE(connection_.QueueCommand(FtpCommand::Abor));
  ASSERT_TRUE(events_.WaitFor("download ended 0"));
  EXPECT_TRUE(fs::is_empty(local_));
  connection_.Start(test::RequestOf(FtpOperationKind::List));
  ASSERT_TRUE(events_.WaitFor("listing", 2)) << events_.Transcript() << Messages();
}

}  // namespace
}  // namespace netrove
