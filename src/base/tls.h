#pragma once
// What a caller says about a secure connection and what it learns back: the
// TLS choice a tool offers, the options of a client handshake, and the
// description of a certificate that was not trusted, in words a user can
// judge. The handshake itself is CNetSocket::StartTls.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace netrove {

// Error codes of the secure layer, beside the WinSock codes and keyed the
// same way for their texts (SocketErrorText).
inline constexpr int kTlsHandshakeFailed = 20001;       // no secure session came about
inline constexpr int kTlsCertificateUntrusted = 20002;  // verification failed, nothing pinned
inline constexpr int kTlsCertificateChanged = 20003;    // differs from the pinned certificate
inline constexpr int kTlsConnectionFailed = 20004;      // a protocol error after the handshake
inline constexpr int kTlsNotOffered = 20005;            // the server offered no upgrade
inline constexpr int kTlsUpgradeRefused = 20006;        // the server refused the upgrade

// How a tool uses TLS: not at all, upgrading in place when the server offers
// it, upgrading or giving up, or from the first byte on its own port.
enum class TlsMode { Off, IfOffered, Required, Implicit };
std::string_view TlsModeName(TlsMode mode);  // "off", "if-offered", ...
std::optional<TlsMode> TlsModeFromName(std::string_view name);

// Why a certificate was not trusted.
enum class CertificateProblem {
  None,
  Expired,
  NotYetValid,
  SelfSigned,
  WrongName,
  UnknownIssuer,
  Changed,  // a pinned host showed another certificate
  Other,
};

// The server's certificate as a user is shown it.
struct CertificateSummary {
  std::string subject;  // one line, RFC 2253 order ("CN=mail.test,O=Example")
  std::string issuer;
  std::string notBefore;  // "2026-12-10 07:00:00 UTC"
  std::string notAfter;
  std::string sha256;  // "AB:CD:...", 32 bytes in upper-case hex
};

// A session of an earlier connection that a second connection to the same
// server may resume (an FTPS data connection the control connection's).
class TlsSession {
 public:
  virtual ~TlsSession() = default;
};

struct TlsClientOptions {
  // The server's name or numeric address as the user gave it: checked
  // against the certificate, and sent as the server name when it is a name.
  std::string host;
  std::uint16_t port = 0;
  std::string caFile;  // trust these instead of the system's store
  // A fingerprint that is trusted whatever verification says (the user's
  // pin); a different certificate is then refused as changed.
  std::string pinnedSha256;
  bool insecure = false;  // accept any certificate (stated plainly to the user)
  std::shared_ptr<const TlsSession> resume;
  // The whole handshake's bound; 0: the socket's connect time-out.
  int timeoutMs = 0;
};

// What a handshake ended with: on a trust failure (kTlsCertificateUntrusted,
// kTlsCertificateChanged) the problem and the certificate; on
// kTlsHandshakeFailed the library's reason in `detail`.
struct TlsHandshakeReport {
  int error = 0;
  CertificateProblem problem = CertificateProblem::None;
  std::string detail;
  CertificateSummary certificate;
  bool acceptedByPin = false;  // verification failed, the pin matched
  bool resumed = false;
  std::string protocol;  // "TLSv1.3"
  std::string cipher;
};

// "AB:CD:..." from a fingerprint typed with or without colons, any case;
// nothing when it is not 32 bytes of hex.
std::optional<std::string> NormalizeFingerprint(std::string_view text);

// The problem in a few words ("the certificate has expired").
std::string_view CertificateProblemText(CertificateProblem problem);

// The text a window or the command line shows for a trust failure: why,
// then subject, issuer, validity and fingerprint; for a changed certificate
// the warning that someone may be listening in.
std::string DescribeTrustFailure(const TlsHandshakeReport& report, std::string_view host);

// A failure the user may still settle by trusting the certificate: it could
// not be verified, or it changed since it was pinned.
bool AsksForTrust(const TlsHandshakeReport& report);

// The transcript's line for a secured connection: "(Secure connection:
// TLSv1.3, CIPHER)", saying when the certificate was not checked or was
// accepted by its pin.
std::string SecuredConnectionNote(const TlsHandshakeReport& report, bool insecure);

// Any other failed handshake, as a box says it: the error's text, then what
// the TLS library said.
std::string HandshakeFailureText(const TlsHandshakeReport& report);

}  // namespace netrove
