#include "widgets/host_prompt_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/address_book_dialog.h"

namespace netrove {

CHostPromptDlg::CHostPromptDlg(const QString& caption, int helpContextId, QWidget* parent)
    : QDialog(parent), helpContextId_(helpContextId) {
  setWindowTitle(caption);
  // Modal to the main window only, so the help it opens stays usable.
  setWindowModality(Qt::WindowModal);
  hostEdit_ = new QLineEdit(this);
  hostEdit_->setObjectName(QStringLiteral("hostEdit"));
  hostEdit_->setMinimumWidth(260);
  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setObjectName(QStringLiteral("okButton"));
  okButton_->setDefault(true);
  cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton_->setObjectName(QStringLiteral("cancelButton"));
  addressButton_ = new QPushButton(QStringLiteral("Address..."), this);
  addressButton_->setObjectName(QStringLiteral("addressButton"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);
  buttons->addWidget(addressButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(hostEdit_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(okButton_, &QPushButton::clicked, this, &CHostPromptDlg::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &CHostPromptDlg::reject);
  connect(addressButton_, &QPushButton::clicked, this, &CHostPromptDlg::pickFromAddressBook);
  hostEdit_->setFocus();
}

QString CHostPromptDlg::hostText() const { return hostEdit_->text(); }

void CHostPromptDlg::accept() {
  if (hostEdit_->text().isEmpty()) {
    hostEdit_->setFocus();
    QApplication::beep();
    return;
  }
  QDialog::accept();
}

void CHostPromptDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    emit helpRequested(helpContextId_);
    return;
  }
  QDialog::keyPressEvent(event);
}

void CHostPromptDlg::pickFromAddressBook() {
  const auto picked =
      PickAddressFromBook(this, [this](int contextId) { emit helpRequested(contextId); });
  if (picked) hostEdit_->setText(*picked);
}

}  // namespace netrove
