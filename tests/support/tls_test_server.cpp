#include "tls_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>
#include <string>

namespace netrove::test {
namespace {

bool SendPlain(int connection, const std::string& text) {
  return ::send(connection, text.data(), text.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(text.size());
}

// Reads up to and including LF, one byte at a time, so nothing of the
// handshake that follows is taken.
bool ReadPlainLine(int connection) {
  char c = 0;
  while (::recv(connection, &c, 1, 0) == 1) {
    if (c == '\n') return true;
  }
  return false;
}

}  // namespace

CTlsTestServer::CTlsTestServer(const IssuedCertificate& certificate, Opening opening,
                               Protocols protocols)
    : opening_(opening) {
  context_ = SSL_CTX_new(TLS_server_method());
  static const unsigned char kSessionContext[] = "netrove-test";
  SSL_CTX_set_session_id_context(context_, kSessionContext, sizeof kSessionContext - 1);
  if (SSL_CTX_use_certificate_chain_file(context_, certificate.certificate.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context_, certificate.key.c_str(), SSL_FILETYPE_PEM) != 1)
    throw std::runtime_error("the test server's certificate could not be loaded");
  if (protocols == Protocols::UpToTls11) {
    // The system's configuration may set a minimum of TLS 1.2 of its own;
    // the whole range is set so that only TLS 1.0 and 1.1 remain.
    SSL_CTX_set_security_level(context_, 0);
    if (SSL_CTX_set_min_proto_version(context_, TLS1_VERSION) != 1 ||
        SSL_CTX_set_max_proto_version(context_, TLS1_1_VERSION) != 1 ||
        SSL_CTX_set_cipher_list(context_, "DEFAULT:@SECLEVEL=0") != 1)
      throw std::runtime_error("the test server could not be limited to TLS 1.1");
  }
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 8) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("the test server could not listen");
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

CTlsTestServer::~CTlsTestServer() {
  stopping_ = true;
  ::shutdown(listener_, SHUT_RDWR);
  if (const int connection = connection_.load(); connection >= 0) ::shutdown(connection, SHUT_RDWR);
  thread_.join();
  ::close(listener_);
  SSL_CTX_free(context_);
}

void CTlsTestServer::Serve() {
  // OpenSSL writes with write(): a client that has gone would raise SIGPIPE.
  // Blocked on this thread, it only makes the write fail.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  while (!stopping_) {
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return;
    connection_ = connection;
    if (stopping_) ::shutdown(connection, SHUT_RDWR);
    Converse(connection);
    connection_ = -1;
    ::close(connection);
  }
}

void CTlsTestServer::Converse(int connection) {
  if (opening_ == Opening::AfterUpgrade &&
      !(SendPlain(connection, "220 ready\r\n") && ReadPlainLine(connection) &&
        SendPlain(connection, "220 go ahead\r\n")))
    return;
  SSL* ssl = SSL_new(context_);
  SSL_set_fd(ssl, connection);
  if (SSL_accept(ssl) == 1) {
    ++handshakes_;
    char buffer[4096];
    int got;
    while ((got = SSL_read(ssl, buffer, sizeof buffer)) > 0) {
      if (std::string(buffer, static_cast<std::size_t>(got)) == "bye") {
        SSL_shutdown(ssl);
        break;
      }
      if (SSL_write(ssl, buffer, got) != got) break;
    }
  }
  SSL_free(ssl);
}

}  // namespace netrove::test
