#pragma once
// The question a window asks when a server's certificate was not trusted:
// why, what the certificate says (subject, issuer, validity, SHA-256
// fingerprint), and "Trust this certificate for HOST" beside Cancel, which
// is the default. A certificate that differs from the one pinned before is
// shown with the warning only: trusting it again is not offered here.
#include <QDialog>
#include <string>

#include "base/tls.h"

class QPushButton;

namespace netrove {

class CCertificateTrustDialog : public QDialog {
  Q_OBJECT

 public:
  CCertificateTrustDialog(const TlsHandshakeReport& report, const std::string& host,
                          QWidget* parent = nullptr);

  QPushButton* trustButton() const { return trustButton_; }  // null for a changed certificate
  QPushButton* cancelButton() const { return cancelButton_; }

 private:
  QPushButton* trustButton_ = nullptr;
  QPushButton* cancelButton_;
};

// Shows the question; true when the user chose to trust the certificate.
bool AskToTrustCertificate(QWidget* owner, const TlsHandshakeReport& report,
                           const std::string& host);

}  // namespace netrove
