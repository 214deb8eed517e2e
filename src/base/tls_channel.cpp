#include "base/tls_channel.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace netrove {
namespace {

using Clock = std::chrono::steady_clock;

// The descriptor as OpenSSL's transport, sending with MSG_NOSIGNAL: the
// library's own socket transport writes with write(), and a peer that has
// gone would raise SIGPIPE and end the program.
int TransportWrite(BIO* bio, const char* data, size_t size, size_t* written) {
  const int descriptor = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
  BIO_clear_retry_flags(bio);
  const ssize_t sent = ::send(descriptor, data, size, MSG_NOSIGNAL);
  if (sent >= 0) {
    *written = static_cast<size_t>(sent);
    return 1;
  }
  if (errno == EAGAIN || errno == EINTR) BIO_set_retry_write(bio);
  return 0;
}

int TransportRead(BIO* bio, char* buffer, size_t size, size_t* read) {
  const int descriptor = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
  BIO_clear_retry_flags(bio);
  const ssize_t got = ::recv(descriptor, buffer, size, 0);
  if (got > 0) {
    *read = static_cast<size_t>(got);
    return 1;
  }
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) BIO_set_retry_read(bio);
  if (got == 0) BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
  return 0;
}

long TransportControl(BIO* bio, int command, long, void*) {
  switch (command) {
    case BIO_CTRL_FLUSH:
      return 1;
    case BIO_CTRL_EOF:
      return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
    default:
      return 0;
  }
}

const BIO_METHOD* TransportMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "netrove socket");
    BIO_meth_set_write_ex(made, TransportWrite);
    BIO_meth_set_read_ex(made, TransportRead);
    BIO_meth_set_ctrl(made, TransportControl);
    BIO_meth_set_create(made, [](BIO* bio) {
      BIO_set_init(bio, 1);
      return 1;
    });
    return made;
  }();
  return method;
}

class OpenSslSession : public TlsSession {
 public:
  explicit OpenSslSession(SSL_SESSION* session) : session_(session) {}
  ~OpenSslSession() override { SSL_SESSION_free(session_); }
  SSL_SESSION* get() const { return session_; }

 private:
  SSL_SESSION* session_;
};

// The library's queued errors as one line, the queue emptied.
std::string TakeLibraryErrors() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    char line[256];
    ERR_error_string_n(code, line, sizeof line);
    if (!text.empty()) text += "; ";
    text += line;
  }
  return text;
}

std::string NameText(const X509_NAME* name) {
  BIO* memory = BIO_new(BIO_s_mem());
  X509_NAME_print_ex(memory, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  const long size = BIO_get_mem_data(memory, &data);
  std::string text(data, static_cast<std::size_t>(size > 0 ? size : 0));
  BIO_free(memory);
  return text;
}

std::string TimeText(const ASN1_TIME* time) {
  std::tm parts{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return "?";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

CertificateSummary Summarize(X509* certificate) {
  CertificateSummary summary;
  summary.subject = NameText(X509_get_subject_name(certificate));
  summary.issuer = NameText(X509_get_issuer_name(certificate));
  summary.notBefore = TimeText(X509_get0_notBefore(certificate));
  summary.notAfter = TimeText(X509_get0_notAfter(certificate));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  X509_digest(certificate, EVP_sha256(), digest, &length);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (unsigned int i = 0; i < length; ++i) {
    if (i > 0) summary.sha256 += ':';
    summary.sha256 += kHex[digest[i] >> 4];
    summary.sha256 += kHex[digest[i] & 0xF];
  }
  return summary;
}

CertificateProblem ProblemOf(long verifyResult) {
  switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return CertificateProblem::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return CertificateProblem::NotYetValid;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      return CertificateProblem::SelfSigned;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return CertificateProblem::WrongName;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:  // a root the store does not hold
      return CertificateProblem::UnknownIssuer;
    default:
      return CertificateProblem::Other;
  }
}

// The name or address the certificate must carry; a numeric address is
// checked as an address and sends no server name, as names alone may be sent.
bool SetExpectedPeer(SSL* ssl, const std::string& host) {
  if (const auto address = SocketAddress::FromText(host)) {
    const std::string text = address->text();
    return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl),
                                         text.substr(0, text.find('%')).c_str()) == 1;
  }
  return SSL_set1_host(ssl, host.c_str()) == 1 &&
         SSL_set_tlsext_host_name(ssl, const_cast<char*>(host.c_str())) == 1;
}

SSL_CTX* NewContext(const TlsClientOptions& options, std::string& problem) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  if (context == nullptr) {
    problem = TakeLibraryErrors();
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  // Verification runs in full, but its verdict is taken after the
  // handshake: a pin may still accept the certificate, and a refusal can
  // then describe it.
  SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
  // An end without close_notify reads as an end; EndedCleanly() tells.
  SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT);
  const int loaded = options.caFile.empty()
                         ? SSL_CTX_set_default_verify_paths(context)
                         : SSL_CTX_load_verify_locations(context, options.caFile.c_str(), nullptr);
  if (loaded != 1) {
    problem = "The trusted certificates could not be read";
    if (!options.caFile.empty()) problem += " from " + options.caFile;
    problem += ": " + TakeLibraryErrors();
    SSL_CTX_free(context);
    return nullptr;
  }
  return context;
}

}  // namespace

CTlsChannel::CTlsChannel(int descriptor, const std::atomic<bool>& interrupted)
    : descriptor_(descriptor), interrupted_(interrupted) {}

CTlsChannel::~CTlsChannel() {
  SSL_free(ssl_);
  SSL_CTX_free(context_);
}

std::unique_ptr<CTlsChannel> CTlsChannel::Handshake(int descriptor, const TlsClientOptions& options,
                                                    int timeoutMs,
                                                    const std::atomic<bool>& interrupted,
                                                    TlsHandshakeReport& report) {
  report = {};
  ERR_clear_error();
  std::unique_ptr<CTlsChannel> channel(new CTlsChannel(descriptor, interrupted));
  channel->context_ = NewContext(options, report.detail);
  if (channel->context_ != nullptr) channel->ssl_ = SSL_new(channel->context_);
  BIO* transport = channel->ssl_ != nullptr ? BIO_new(TransportMethod()) : nullptr;
  if (transport == nullptr || !SetExpectedPeer(channel->ssl_, options.host)) {
    if (report.detail.empty()) report.detail = TakeLibraryErrors();
    report.error = kTlsHandshakeFailed;
    BIO_free(transport);
    return nullptr;
  }
  BIO_set_data(transport, reinterpret_cast<void*>(static_cast<intptr_t>(descriptor)));
  SSL_set_bio(channel->ssl_, transport, transport);
  if (const auto* earlier = dynamic_cast<const OpenSslSession*>(options.resume.get()))
    SSL_set_session(channel->ssl_, earlier->get());

  const int status = fcntl(descriptor, F_GETFL);
  if (status == -1 || fcntl(descriptor, F_SETFL, status | O_NONBLOCK) == -1) {
    report.error = WinsockErrorFromErrno(errno);
    return nullptr;
  }
  const auto deadline = timeoutMs > 0 ? Clock::now() + std::chrono::milliseconds(timeoutMs)
                                      : Clock::time_point::max();
  for (;;) {
    const int result = SSL_connect(channel->ssl_);
    if (result == 1) break;
    const int sslError = SSL_get_error(channel->ssl_, result);
    if (sslError != SSL_ERROR_WANT_READ && sslError != SSL_ERROR_WANT_WRITE) {
      report.error = interrupted.load() ? WSAEINTR : kTlsHandshakeFailed;
      report.detail = TakeLibraryErrors();
      if (report.detail.empty())
        report.detail = "The server ended the connection during the handshake";
      return nullptr;
    }
    int left = -1;
    if (deadline != Clock::time_point::max()) {
      left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
      if (left <= 0) {
        report.error = WSAETIMEDOUT;
        return nullptr;
      }
    }
    if (const int error = channel->Await(sslError, left); error != 0) {
      report.error = error;
      return nullptr;
    }
  }
  report.protocol = SSL_get_version(channel->ssl_);
  report.cipher = SSL_get_cipher_name(channel->ssl_);
  report.resumed = SSL_session_reused(channel->ssl_) == 1;

  X509* certificate = SSL_get1_peer_certificate(channel->ssl_);
  if (certificate == nullptr) {
    report.error = kTlsHandshakeFailed;
    report.detail = "The server showed no certificate";
    return nullptr;
  }
  report.certificate = Summarize(certificate);
  X509_free(certificate);
  const long verified = SSL_get_verify_result(channel->ssl_);
  if (verified != X509_V_OK) report.detail = X509_verify_cert_error_string(verified);
  if (options.insecure) return channel;
  if (!options.pinnedSha256.empty()) {
    if (NormalizeFingerprint(options.pinnedSha256) == report.certificate.sha256) {
      report.acceptedByPin = verified != X509_V_OK;
      return channel;
    }
    report.error = kTlsCertificateChanged;
    report.problem = CertificateProblem::Changed;
    return nullptr;
  }
  if (verified == X509_V_OK) return channel;
  report.error = kTlsCertificateUntrusted;
  report.problem = ProblemOf(verified);
  return nullptr;
}

int CTlsChannel::Await(int sslError, int timeoutMs) {
  if (interrupted_.load()) return WSAEINTR;
  pollfd entry{descriptor_, static_cast<short>(sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN),
               0};
  int ready;
  while ((ready = ::poll(&entry, 1, timeoutMs)) < 0 && errno == EINTR) {
    if (interrupted_.load()) return WSAEINTR;
  }
  if (interrupted_.load()) return WSAEINTR;
  if (ready < 0) return WinsockErrorFromErrno(errno);
  return ready == 0 ? WSAETIMEDOUT : 0;
}

SocketCount CTlsChannel::Failure(int sslError, long result) {
  if (interrupted_.load()) return {0, WSAEINTR};
  if (sslError == SSL_ERROR_ZERO_RETURN) return {};
  if (sslError == SSL_ERROR_SYSCALL) {
    const int error = errno;
    ERR_clear_error();
    if (result == 0 || error == 0) return {};  // the transport ended
    return {0, WinsockErrorFromErrno(error)};
  }
  ERR_clear_error();
  return {0, kTlsConnectionFailed};
}

SocketCount CTlsChannel::Read(void* buffer, std::size_t size, int flags, int timeoutMs) {
  const auto deadline = timeoutMs > 0 ? Clock::now() + std::chrono::milliseconds(timeoutMs)
                                      : Clock::time_point::max();
  for (;;) {
    if (interrupted_.load()) return {0, WSAEINTR};
    std::size_t got = 0;
    int sslError;
    int result;
    {
      std::lock_guard lock(mutex_);
      ERR_clear_error();
      result = (flags & MSG_PEEK) != 0 ? SSL_peek_ex(ssl_, buffer, size, &got)
                                       : SSL_read_ex(ssl_, buffer, size, &got);
      if (result == 1) return {static_cast<long>(got), 0};
      sslError = SSL_get_error(ssl_, result);
    }
    if (sslError != SSL_ERROR_WANT_READ && sslError != SSL_ERROR_WANT_WRITE)
      return Failure(sslError, result);
    if ((flags & MSG_DONTWAIT) != 0) return {0, WSAEWOULDBLOCK};
    int left = -1;
    if (deadline != Clock::time_point::max()) {
      left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
      if (left <= 0) return {0, WSAETIMEDOUT};
    }
    if (const int error = Await(sslError, left); error != 0) return {0, error};
  }
}

SocketCount CTlsChannel::Write(const void* data, std::size_t size, int flags) {
  for (;;) {
    if (interrupted_.load()) return {0, WSAEINTR};
    std::size_t sent = 0;
    int sslError;
    int result;
    {
      std::lock_guard lock(mutex_);
      ERR_clear_error();
      result = SSL_write_ex(ssl_, data, size, &sent);
      if (result == 1) return {static_cast<long>(sent), 0};
      sslError = SSL_get_error(ssl_, result);
    }
    if (sslError != SSL_ERROR_WANT_READ && sslError != SSL_ERROR_WANT_WRITE) {
      const SocketCount failed = Failure(sslError, result);
      // Writing into a connection the peer has ended is a reset, never an end.
      return failed.error != 0 ? failed : SocketCount{0, WSAECONNRESET};
    }
    if ((flags & MSG_DONTWAIT) != 0) return {0, WSAEWOULDBLOCK};
    if (const int error = Await(sslError, -1); error != 0) return {0, error};
  }
}

bool CTlsChannel::HasPending() {
  std::lock_guard lock(mutex_);
  return SSL_pending(ssl_) > 0;
}

void CTlsChannel::CloseNotify() {
  std::lock_guard lock(mutex_);
  if ((SSL_get_shutdown(ssl_) & SSL_SENT_SHUTDOWN) == 0) (void)SSL_shutdown(ssl_);
  ERR_clear_error();
}

std::shared_ptr<const TlsSession> CTlsChannel::Session() {
  std::lock_guard lock(mutex_);
  // A copy: a connection that ends without close_notify marks its own
  // session as not to be resumed, which must not spoil the one handed out.
  SSL_SESSION* session = SSL_SESSION_dup(SSL_get0_session(ssl_));
  if (session == nullptr) return nullptr;
  return std::make_shared<OpenSslSession>(session);
}

bool CTlsChannel::EndedCleanly() {
  std::lock_guard lock(mutex_);
  return (SSL_get_shutdown(ssl_) & SSL_RECEIVED_SHUTDOWN) != 0;
}

}  // namespace netrove
