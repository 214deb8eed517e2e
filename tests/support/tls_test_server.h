#pragma once
// A small TLS echo server on 127.0.0.1 for the secure layer's tests: it
// serves one connection after another on its own thread, echoes what it
// reads and answers "bye" with close_notify and a close. It can begin in
// plain text as an upgrading protocol does ("220 ready", a line from the
// client, "220 go ahead", then the handshake). It can also stand for an
// old server that speaks nothing newer than TLS 1.1.
#include <atomic>
#include <cstdint>
#include <thread>

#include "test_certificates.h"

using SSL_CTX = struct ssl_ctx_st;

namespace netrove::test {

class CTlsTestServer {
 public:
  enum class Opening { Implicit, AfterUpgrade };
  // UpToTls11 also lowers the server's security level to 0, so that the
  // library's own defaults on this side do not refuse TLS 1.1 first.
  enum class Protocols { Current, UpToTls11 };
  explicit CTlsTestServer(const IssuedCertificate& certificate, Opening opening = Opening::Implicit,
                          Protocols protocols = Protocols::Current);
  ~CTlsTestServer();
  CTlsTestServer(const CTlsTestServer&) = delete;
  CTlsTestServer& operator=(const CTlsTestServer&) = delete;

  std::uint16_t port() const { return port_; }
  int handshakes() const { return handshakes_.load(); }

 private:
  void Serve();
  void Converse(int connection);

  SSL_CTX* context_ = nullptr;
  Opening opening_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connection_{-1};
  std::atomic<int> handshakes_{0};
  std::thread thread_;
};

}  // namespace netrove::test
