// The secure layer against a real TLS peer: certificates made for the run,
// an echo server, and the scripted server for peers that misbehave.
#include "base/tls.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <future>
#include <string>
#include <thread>

#include "base/certificate_pins.h"
#include "base/net_socket.h"
#include "support/loopback_socket.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"
#include "support/test_certificates.h"
#include "support/tls_test_server.h"

namespace netrove {
namespace {

using test::CTestCertificates;
using test::CTlsTestServer;

class TlsTest : public ::testing::Test {
 protected:
  TlsClientOptions OptionsFor(const std::string& host, std::uint16_t port) {
    TlsClientOptions options;
    options.host = host;
    options.port = port;
    options.caFile = pki_.caFile();
    return options;
  }

  // Connects and secures; the handshake's report comes back in `report`.
  SocketStatus ConnectSecured(CNetSocket& socket, const TlsClientOptions& options,
                              TlsHandshakeReport& report) {
    socket.SetConnectTimeout(5000);
    if (SocketStatus connected = socket.Connect(options.host, options.port); !connected)
      return connected;
    return socket.StartTls(options, report);
  }

  static std::string Echo(CNetSocket& socket, const std::string& text) {
    EXPECT_TRUE(socket.Send(text.data(), text.size()));
    std::string answer(text.size(), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
      const SocketCount received = socket.Recv(answer.data() + got, answer.size() - got);
      if (!received || received.bytes == 0) break;
      got += static_cast<std::size_t>(received.bytes);
    }
    return answer.substr(0, got);
  }

  test::ScopedHome home_;
  CTestCertificates pki_{home_.path() / "pki"};
};

TEST_F(TlsTest, ValidCertificateCarriesDataResumesAndEndsCleanly) {
  const auto valid = pki_.Issue("valid", {"localhost", "127.0.0.1"});
  CTlsTestServer server(valid);
  // The second connection resumes the first one's session (as an FTP data
  // connection must); the third goes to the address and is checked as one.
  std::shared_ptr<const TlsSession> session;
  for (const std::string host : {"localhost", "localhost", "127.0.0.1"}) {
    SCOPED_TRACE(host);
    CNetSocket socket;
    TlsHandshakeReport report;
    TlsClientOptions options = OptionsFor(host, server.port());
    if (host == "127.0.0.1") session = nullptr;
    options.resume = session;
    ASSERT_TRUE(ConnectSecured(socket, options, report)) << report.detail;
    EXPECT_TRUE(socket.IsSecured());
    EXPECT_EQ(report.certificate.sha256, valid.sha256);
    EXPECT_FALSE(report.acceptedByPin);
    EXPECT_EQ(report.resumed, session != nullptr);
    // More than one record's worth, to cross record boundaries.
    const std::string big(40000, 'x');
    EXPECT_EQ(Echo(socket, "hello\r\n"), "hello\r\n");
    EXPECT_EQ(Echo(socket, big), big);
    session = socket.TlsSessionForResumption();
    ASSERT_NE(session, nullptr);
    ASSERT_TRUE(socket.Send("bye", 3));
    char byte;
    const SocketCount end = socket.Recv(&byte, 1);
    EXPECT_TRUE(end);
    EXPECT_EQ(end.bytes, 0);
    EXPECT_TRUE(socket.TlsEndedCleanly());
  }
}

TEST_F(TlsTest, UpgradesInPlaceAfterPlainExchange) {
  CTlsTestServer server(pki_.Issue("upgrade", {"localhost"}),
                        CTlsTestServer::Opening::AfterUpgrade);
  CNetSocket socket;
  ASSERT_TRUE(socket.Connect("localhost", server.port()));
  char greeting[11];
  ASSERT_EQ(socket.Recv(greeting, sizeof greeting).bytes, 11);
  ASSERT_TRUE(socket.Send("STARTTLS\r\n", 10));
  char goAhead[14];
  ASSERT_EQ(socket.Recv(goAhead, sizeof goAhead).bytes, 14);
  EXPECT_FALSE(socket.IsSecured());
  TlsHandshakeReport report;
  ASSERT_TRUE(socket.StartTls(OptionsFor("localhost", server.port()), report)) << report.detail;
  EXPECT_EQ(Echo(socket, "EHLO\r\n"), "EHLO\r\n");
}

struct TrustCase {
  const char* label;
  std::vector<std::string> names;
  test::Validity validity;
  bool selfSigned;
  bool systemStore;
  CertificateProblem problem;
  const char* words;
};

TEST_F(TlsTest, UntrustedCertificatesAreRefusedWithTheirDescription) {
  const TrustCase cases[] = {
      {"expired",
       {"localhost"},
       {-7200, -3600},
       false,
       false,
       CertificateProblem::Expired,
       "expired"},
      {"future",
       {"localhost"},
       {3600, 7200},
       false,
       false,
       CertificateProblem::NotYetValid,
       "not valid yet"},
      {"other-name",
       {"other.test"},
       {},
       false,
       false,
       CertificateProblem::WrongName,
       "another name"},
      {"self-signed",
       {"localhost"},
       {},
       true,
       false,
       CertificateProblem::SelfSigned,
       "self-signed"},
      {"unknown-ca",
       {"localhost"},
       {},
       false,
       true,
       CertificateProblem::UnknownIssuer,
       "issuer is not known"},
  };
  for (const TrustCase& each : cases) {
    SCOPED_TRACE(each.label);
    const auto issued = pki_.Issue(each.label, each.names, each.validity, each.selfSigned);
    CTlsTestServer server(issued);
    CNetSocket socket;
    TlsClientOptions options = OptionsFor("localhost", server.port());
    if (each.systemStore) options.caFile.clear();
    TlsHandshakeReport report;
    const SocketStatus status = ConnectSecured(socket, options, report);
    EXPECT_EQ(status.error, kTlsCertificateUntrusted);
    EXPECT_FALSE(socket.IsSecured());
    EXPECT_EQ(report.problem, each.problem);
    EXPECT_EQ(report.certificate.sha256, issued.sha256);
    EXPECT_NE(report.certificate.subject.find("CN=" + each.names.front()), std::string::npos);
    const std::string description = DescribeTrustFailure(report, "localhost");
    EXPECT_NE(description.find(each.words), std::string::npos) << description;
    EXPECT_NE(description.find(issued.sha256), std::string::npos);
    EXPECT_NE(description.find("Valid until: 20"), std::string::npos);
  }
}

TEST_F(TlsTest, AnAddressIsCheckedAsAnAddress) {
  CTlsTestServer server(pki_.Issue("name-only", {"localhost"}));
  CNetSocket socket;
  TlsHandshakeReport report;
  EXPECT_EQ(ConnectSecured(socket, OptionsFor("127.0.0.1", server.port()), report).error,
            kTlsCertificateUntrusted);
  EXPECT_EQ(report.problem, CertificateProblem::WrongName);
}

TEST_F(TlsTest, SelfSignedIsTrustedOncePinnedAndAChangedCertificateIsRefused) {
  const auto first = pki_.Issue("first", {"localhost"}, {}, true);
  const auto second = pki_.Issue("second", {"localhost"}, {}, true);
  const auto pins = PinnedCertificatesFile();
  CTlsTestServer server(first);
  TlsClientOptions options = OptionsFor("localhost", server.port());
  {
    CNetSocket socket;
    TlsHandshakeReport report;
    ASSERT_EQ(ConnectSecured(socket, options, report).error, kTlsCertificateUntrusted);
    // What the window does when the user trusts it: pin what was shown.
    ASSERT_EQ(PinCertificate(pins, "localhost", server.port(), report.certificate.sha256), "");
  }
  options.pinnedSha256 = FindPinnedCertificate(pins, "localhost", server.port()).value_or("");
  {
    CNetSocket socket;
    TlsHandshakeReport report;
    ASSERT_TRUE(ConnectSecured(socket, options, report));
    EXPECT_TRUE(report.acceptedByPin);
    EXPECT_EQ(Echo(socket, "ok"), "ok");
  }
  CTlsTestServer replaced(second);
  options.port = replaced.port();
  CNetSocket socket;
  TlsHandshakeReport report;
  EXPECT_EQ(ConnectSecured(socket, options, report).error, kTlsCertificateChanged);
  EXPECT_EQ(report.problem, CertificateProblem::Changed);
  EXPECT_EQ(report.certificate.sha256, second.sha256);
  EXPECT_NE(DescribeTrustFailure(report, "localhost").find("HAS CHANGED"), std::string::npos);
}

TEST_F(TlsTest, InsecureAcceptsAnyCertificate) {
  CTlsTestServer server(pki_.Issue("any", {"other.test"}, {-7200, -3600}, true));
  TlsClientOptions options = OptionsFor("localhost", server.port());
  options.insecure = true;
  CNetSocket socket;
  TlsHandshakeReport report;
  ASSERT_TRUE(ConnectSecured(socket, options, report));
  EXPECT_EQ(Echo(socket, "ok"), "ok");
}

// A client that still takes TLS 1.1, as an old one would: the protocol it
// agreed on, or 0 when no handshake came about.
int LegacyHandshake(std::uint16_t port) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_security_level(context, 0);
  SSL_CTX_set_min_proto_version(context, TLS1_VERSION);
  SSL_CTX_set_cipher_list(context, "DEFAULT:@SECLEVEL=0");
  SSL* ssl = SSL_new(context);
  const int connection = test::ConnectedToLoopback(port, false);
  SSL_set_fd(ssl, connection);
  int version = 0;
  if (connection >= 0 && SSL_connect(ssl) == 1) {
    version = SSL_version(ssl);
    // "bye" makes the server end the conversation and take the next one.
    char end;
    if (SSL_write(ssl, "bye", 3) != 3 || SSL_read(ssl, &end, 1) > 0) version = 0;
  }
  SSL_free(ssl);
  SSL_CTX_free(context);
  if (connection >= 0) ::close(connection);
  return version;
}

TEST_F(TlsTest, AServerOfferingNothingNewerThanTls11IsRefused) {
  CTlsTestServer server(pki_.Issue("old", {"localhost"}), CTlsTestServer::Opening::Implicit,
                        CTlsTestServer::Protocols::UpToTls11);
  // The server does complete TLS 1.1 with a client that allows it, so the
  // refusal below comes from our client.
  ASSERT_EQ(LegacyHandshake(server.port()), TLS1_1_VERSION);
  ASSERT_EQ(server.handshakes(), 1);
  CNetSocket socket;
  TlsHandshakeReport report;
  EXPECT_EQ(ConnectSecured(socket, OptionsFor("localhost", server.port()), report).error,
            kTlsHandshakeFailed);
  EXPECT_FALSE(socket.IsSecured());
  // Our hello lists TLS 1.2 and 1.3 alone, which the server finds nothing
  // in common with, and says so with its protocol version alert.
  EXPECT_NE(report.detail.find("protocol version"), std::string::npos) << report.detail;
  EXPECT_EQ(server.handshakes(), 1);
}

TEST_F(TlsTest, ServerDroppingMidHandshakeFailsTheHandshake) {
  test::CScriptedServer server;
  server.Start(test::Script()
                   .Accept()
                   .Do("read the client's hello, then close",
                       [](test::StepContext& context) {
                         char hello[512];
                         return ::recv(context.socket, hello, sizeof hello, 0) > 0
                                    ? std::string()
                                    : std::string("no hello");
                       })
                   .Close());
  CNetSocket socket;
  TlsHandshakeReport report;
  EXPECT_EQ(ConnectSecured(socket, OptionsFor("127.0.0.1", server.port()), report).error,
            kTlsHandshakeFailed);
  EXPECT_FALSE(report.detail.empty());
  EXPECT_TRUE(server.Finished());
}

TEST_F(TlsTest, PlainTextAnswerToTheHandshakeFails) {
  test::CScriptedServer server;
  server.Start(test::Script()
                   .Accept()
                   .Do("read the client's hello",
                       [](test::StepContext& context) {
                         char hello[512];
                         return ::recv(context.socket, hello, sizeof hello, 0) > 0
                                    ? std::string()
                                    : std::string("no hello");
                       })
                   .Send("250 OK plain text\r\n"));
  CNetSocket socket;
  TlsHandshakeReport report;
  EXPECT_EQ(ConnectSecured(socket, OptionsFor("127.0.0.1", server.port()), report).error,
            kTlsHandshakeFailed);
  EXPECT_FALSE(socket.IsSecured());
}

// A server that accepts and says nothing: the handshake waits for it.
class SilentServer {
 public:
  SilentServer() {
    server_.Start(test::Script()
                      .Accept()
                      .Do("wait for the client's hello",
                          [this](test::StepContext& context) {
                            char hello[512];
                            const bool got = ::recv(context.socket, hello, sizeof hello, 0) > 0;
                            helloSeen_.set_value();
                            return got ? std::string() : "no hello";
                          })
                      .ExpectClosed());
  }
  std::uint16_t port() const { return server_.port(); }
  std::future<void> helloSeen() { return helloSeen_.get_future(); }
  ::testing::AssertionResult Finished() { return server_.Finished(); }

 private:
  test::CScriptedServer server_;
  std::promise<void> helloSeen_;
};

TEST_F(TlsTest, InterruptEndsAHandshakeWithASilentServer) {
  SilentServer server;
  auto seen = server.helloSeen();
  CNetSocket socket;
  ASSERT_TRUE(socket.Connect("127.0.0.1", server.port()));
  TlsHandshakeReport report;
  auto handshake = std::async(std::launch::async, [&] {
    return socket.StartTls(OptionsFor("127.0.0.1", server.port()), report).error;
  });
  seen.wait();
  socket.Interrupt();
  EXPECT_EQ(handshake.get(), WSAEINTR);
  EXPECT_EQ(report.error, WSAEINTR);
  socket.Close();
  EXPECT_TRUE(server.Finished());
}

TEST_F(TlsTest, HandshakeWithASilentServerTimesOut) {
  SilentServer server;
  CNetSocket socket;
  ASSERT_TRUE(socket.Connect("127.0.0.1", server.port()));
  TlsClientOptions options = OptionsFor("127.0.0.1", server.port());
  options.timeoutMs = 200;
  TlsHandshakeReport report;
  EXPECT_EQ(socket.StartTls(options, report).error, WSAETIMEDOUT);
  socket.Close();
  EXPECT_TRUE(server.Finished());
}

TEST_F(TlsTest, SecureReceiveKeepsTheSocketContracts) {
  CTlsTestServer server(pki_.Issue("contracts", {"127.0.0.1"}));
  CNetSocket socket;
  TlsHandshakeReport report;
  ASSERT_TRUE(ConnectSecured(socket, OptionsFor("127.0.0.1", server.port()), report));
  char byte;
  EXPECT_EQ(socket.Recv(&byte, 1, MSG_DONTWAIT).error, WSAEWOULDBLOCK);
  ASSERT_TRUE(socket.SetReceiveTimeout(100));
  EXPECT_EQ(socket.Recv(&byte, 1).error, WSAETIMEDOUT);
  // Bytes already decrypted count as readable though the descriptor is quiet.
  ASSERT_TRUE(socket.Send("ab", 2));
  ASSERT_EQ(socket.Recv(&byte, 1).bytes, 1);
  bool ready = false;
  ASSERT_TRUE(socket.WaitReadable(0, ready));
  EXPECT_TRUE(ready);
  ASSERT_EQ(socket.Recv(&byte, 1).bytes, 1);
  EXPECT_EQ(byte, 'b');
  ASSERT_TRUE(socket.SetReceiveTimeout(0));
  auto blocked = std::async(std::launch::async, [&] { return socket.Recv(&byte, 1).error; });
  socket.Interrupt();
  EXPECT_EQ(blocked.get(), WSAEINTR);
  EXPECT_EQ(socket.Send("x", 1).error, WSAEINTR);
}

TEST(TlsNames, FingerprintsAndModesReadAsUsersTypeThem) {
  const std::string colons =
      "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:"
      "67:89";
  EXPECT_EQ(
      NormalizeFingerprint("abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789"),
      colons);
  EXPECT_EQ(NormalizeFingerprint(colons), colons);
  EXPECT_FALSE(NormalizeFingerprint("abcd"));
  EXPECT_FALSE(NormalizeFingerprint(colons + ":00"));
  EXPECT_FALSE(NormalizeFingerprint(std::string(64, 'g')));
  for (const TlsMode mode :
       {TlsMode::Off, TlsMode::IfOffered, TlsMode::Required, TlsMode::Implicit})
    EXPECT_EQ(TlsModeFromName(TlsModeName(mode)), mode);
  EXPECT_FALSE(TlsModeFromName("yes"));
}

}  // namespace
}  // namespace netrove
