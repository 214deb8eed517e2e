// The FTP connection in TLS: AUTH TLS after the greeting (or TLS from the
// first byte), PBSZ 0 and PROT P after the login, and data connections that
// resume the control connection's session, which servers such as vsftpd
// insist on so that nobody else can slip in a data connection of their own.
#include "base/certificate_pins.h"
#include "base/tool_message.h"
#include "base/transcript_sink.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_reply_reader.h"

namespace netrove {

std::string_view FtpTlsChoiceLabel(TlsMode mode) {
  switch (mode) {
    case TlsMode::Off:
      return "Plain";
    case TlsMode::IfOffered:
      return "TLS if offered";
    case TlsMode::Required:
      return "TLS required";
    case TlsMode::Implicit:
      return "Implicit TLS (port 990)";
  }
  return "";
}

std::optional<TlsHandshakeReport> CFtpConnection::TrustFailure() const {
  std::lock_guard lock(trustMutex_);
  return trustFailure_;
}

FtpTlsServer TlsServerOf(const FtpLogin& login) {
  if ((login.mode & kFtpProxyModes) != 0) return {login.proxyHost, login.proxyPort};
  return {login.host, login.serverPort};
}

TlsClientOptions CFtpConnection::ServerTlsOptions() const {
  TlsClientOptions options = login_.tlsOptions;
  const FtpTlsServer server = TlsServerOf(login_);
  options.host = server.host;
  options.port = server.port;
  if (login_.tls != TlsMode::Off && options.pinnedSha256.empty() && !options.insecure) {
    options.pinnedSha256 =
        FindPinnedCertificate(PinnedCertificatesFile(), options.host, options.port).value_or("");
  }
  return options;
}

// On the reader thread, with nothing else using the control connection.
// A certificate the user might still trust is kept for TrustFailure; any
// other failure is reported. The caller ends the connection on false.
bool CFtpConnection::SecureControl() {
  TlsHandshakeReport report;
  if (control_.StartTls(tlsOptions_, report)) {
    secured_ = true;
    transcript_.AppendTranscript(SecuredConnectionNote(report, tlsOptions_.insecure));
    return true;
  }
  if (control_.Interrupted()) return false;
  if (AsksForTrust(report)) {
    std::lock_guard lock(trustMutex_);
    trustFailure_ = report;
    return false;
  }
  reporter_.PostToolMessage(kSourceFtp, HandshakeFailureText(report));
  return false;
}

// Bytes that came in the clear behind the server's yes to AUTH TLS were
// slipped in by someone on the way: they are never read as the server's.
bool CFtpConnection::InjectedAfterTlsAccepted(const FtpServerLine& line, bool moreFollows) {
  if (!moreFollows || !line.isReply || line.code / 100 != 2 || secured_ ||
      InFlightCommand() != FtpCommand::Auth) {
    return false;
  }
  reporter_.PostToolMessage(kSourceFtp,
                            "The FTP server sent more plain text after agreeing to TLS; the "
                            "connection was closed.");
  return true;
}

// AUTH, PBSZ and PROT are sent by the login alone, so any answer but 421 is
// theirs: a server without TLS may well refuse AUTH with 530 (vsftpd does).
bool CFtpConnection::OnSecurityReply(int code) {
  if (code < 200 || code == 421) return false;
  const FtpCommand inFlight = InFlightCommand();
  if (inFlight == FtpCommand::Auth) {
    OnAuthReply(code);
    return true;
  }
  if (inFlight == FtpCommand::Pbsz || inFlight == FtpCommand::Prot) {
    OnProtectionReply(code);
    return true;
  }
  return false;
}

// AUTH stays in flight through the handshake, so no command can go out in
// the clear meanwhile.
void CFtpConnection::OnAuthReply(int code) {
  if (code / 100 == 2) {
    const bool secured = SecureControl();
    TakeInFlight();
    if (!secured) {
      control_.Interrupt();
      return;
    }
    StartLogin();
    return;
  }
  TakeInFlight();
  if (login_.tls == TlsMode::Required) {
    RefuseToGoOnInClear("The FTP server refused TLS: " + lastReply_ +
                        "\nNothing more was sent: this connection requires TLS.");
    return;
  }
  transcript_.AppendTranscript("(The server does not offer TLS: going on in plain text)\r\n");
  StartLogin();
}

// PBSZ 0 only has to precede PROT; PROT P decides. Where TLS was the user's
// requirement, file contents do not go in the clear either.
void CFtpConnection::OnProtectionReply(int code) {
  const Entry entry = TakeInFlight().value_or(Entry{});
  if (entry.command == FtpCommand::Prot) {
    if (code / 100 == 2) {
      protectData_ = true;
    } else if (login_.tls != TlsMode::IfOffered) {
      RefuseToGoOnInClear("The FTP server refused to protect data connections: " + lastReply_ +
                          "\nNo file or listing was transferred: this connection requires TLS.");
      return;
    } else {
      transcript_.AppendTranscript("(Data connections in plain text: PROT P was refused)\r\n");
    }
  }
  SendNext();
}

// Ends the connection without a further word (not even QUIT), so nothing
// at all goes out unprotected.
void CFtpConnection::RefuseToGoOnInClear(const std::string& why) {
  reporter_.PostToolMessage(kSourceFtp, why);
  EndByServer();
  control_.Interrupt();
}

// Each data connection resumes the control connection's session as it is
// when the connection is made (TLS 1.3 servers hand it over after the
// handshake).
void CFtpConnection::ProtectDataConnection(const OperationPtr& operation) {
  if (!protectData_ || !operation->transfer) return;
  TlsClientOptions options = tlsOptions_;
  options.resume = control_.TlsSessionForResumption();
  operation->transfer->SecureWith(std::move(options));
}

}  // namespace netrove
