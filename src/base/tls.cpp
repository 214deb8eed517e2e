#include "base/tls.h"

#include <array>
#include <cctype>
#include <utility>

#include "base/net_socket.h"

namespace netrove {
namespace {

constexpr std::array<std::pair<TlsMode, std::string_view>, 4> kModeNames{{
    {TlsMode::Off, "off"},
    {TlsMode::IfOffered, "if-offered"},
    {TlsMode::Required, "required"},
    {TlsMode::Implicit, "implicit"},
}};

}  // namespace

std::string_view TlsModeName(TlsMode mode) {
  for (const auto& [each, name] : kModeNames) {
    if (each == mode) return name;
  }
  return "off";
}

std::optional<TlsMode> TlsModeFromName(std::string_view name) {
  for (const auto& [mode, each] : kModeNames) {
    if (each == name) return mode;
  }
  return std::nullopt;
}

std::optional<std::string> NormalizeFingerprint(std::string_view text) {
  std::string hex;
  for (const char c : text) {
    if (c == ':') continue;
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
    hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (hex.size() != 64) return std::nullopt;
  std::string normal;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    if (i > 0) normal += ':';
    normal += hex.substr(i, 2);
  }
  return normal;
}

std::string_view CertificateProblemText(CertificateProblem problem) {
  switch (problem) {
    case CertificateProblem::None:
      return "the certificate is trusted";
    case CertificateProblem::Expired:
      return "the certificate has expired";
    case CertificateProblem::NotYetValid:
      return "the certificate is not valid yet";
    case CertificateProblem::SelfSigned:
      return "the certificate is self-signed";
    case CertificateProblem::WrongName:
      return "the certificate is for another name";
    case CertificateProblem::UnknownIssuer:
      return "the certificate's issuer is not known";
    case CertificateProblem::Changed:
      return "the certificate differs from the one trusted before";
    case CertificateProblem::Other:
      break;
  }
  return "the certificate could not be verified";
}

std::string DescribeTrustFailure(const TlsHandshakeReport& report, std::string_view host) {
  std::string text;
  if (report.problem == CertificateProblem::Changed) {
    text =
        "WARNING: THE SERVER'S CERTIFICATE HAS CHANGED!\n"
        "The certificate of " +
        std::string(host) +
        " is not the one trusted before. Someone may be listening in on this "
        "connection, or the server's certificate has been replaced.\n"
        "The connection was refused. Remove the host's entry from the pinned "
        "certificates only if you know the new certificate is genuine.\n";
  } else {
    text = "The certificate of " + std::string(host) +
           " is not trusted: " + std::string(CertificateProblemText(report.problem)) + ".\n";
    if (!report.detail.empty()) text += "(" + report.detail + ")\n";
  }
  const CertificateSummary& certificate = report.certificate;
  text += "\nSubject: " + certificate.subject + "\nIssuer: " + certificate.issuer +
          "\nValid from: " + certificate.notBefore + "\nValid until: " + certificate.notAfter +
          "\nSHA-256 fingerprint: " + certificate.sha256 + "\n";
  return text;
}

bool AsksForTrust(const TlsHandshakeReport& report) {
  return report.error == kTlsCertificateUntrusted || report.error == kTlsCertificateChanged;
}

std::string SecuredConnectionNote(const TlsHandshakeReport& report, bool insecure) {
  std::string note = "(Secure connection: ";
  note += report.protocol;
  note += ", ";
  note += report.cipher;
  if (insecure) note += ", certificate NOT checked";
  if (report.acceptedByPin) note += ", certificate trusted by its pin";
  note += ")\r\n";
  return note;
}

std::string HandshakeFailureText(const TlsHandshakeReport& report) {
  std::string text = SocketErrorText(report.error);
  if (!report.detail.empty()) {
    text += '\n';
    text += report.detail;
  }
  return text;
}

}  // namespace netrove
