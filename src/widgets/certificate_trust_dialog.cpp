#include "widgets/certificate_trust_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace netrove {

CCertificateTrustDialog::CCertificateTrustDialog(const TlsHandshakeReport& report,
                                                 const std::string& host, QWidget* parent)
    : QDialog(parent), cancelButton_(new QPushButton(QStringLiteral("Cancel"), this)) {
  setObjectName(QStringLiteral("certificateTrustDialog"));
  setWindowTitle(QStringLiteral("Netrove: Certificate"));
  const bool changed = report.problem == CertificateProblem::Changed;
  auto* icon = new QLabel(this);
  icon->setPixmap(
      style()
          ->standardIcon(changed ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxWarning)
          .pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop);
  // What the server sent is shown as it is, never as rich text.
  auto* text = new QLabel(QString::fromStdString(DescribeTrustFailure(report, host)), this);
  text->setObjectName(QStringLiteral("certificateText"));
  text->setTextFormat(Qt::PlainText);
  text->setWordWrap(true);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(this);
  if (!changed) {
    trustButton_ = new QPushButton(
        QStringLiteral("Trust this certificate for %1").arg(QString::fromStdString(host)), this);
    trustButton_->setAutoDefault(false);
    buttons->addButton(trustButton_, QDialogButtonBox::AcceptRole);
  }
  buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);
  cancelButton_->setDefault(true);
  cancelButton_->setFocus();
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* body = new QHBoxLayout;
  body->addWidget(icon);
  body->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addWidget(buttons);
}

bool AskToTrustCertificate(QWidget* owner, const TlsHandshakeReport& report,
                           const std::string& host) {
  CCertificateTrustDialog dialog(report, host, owner);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace netrove
