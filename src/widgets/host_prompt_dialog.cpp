#include "widgets/host_prompt_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/address_book_dialog.h"
#include "widgets/recent_host_box.h"

namespace netrove {

CHostPromptDlg::CHostPromptDlg(const QString& caption, int helpContextId, QWidget* parent)
    : QDialog(parent), helpContextId_(helpContextId) {
  setWindowTitle(caption);
  // Modal to the main window only, so the help it opens stays usable.
  setWindowModality(Qt::WindowModal);
  hostBox_ = new CRecentHostBox({}, this);
  hostBox_->setObjectName(QStringLiteral("hostBox"));
  hostBox_->lineEdit()->setObjectName(QStringLiteral("hostEdit"));
  hostBox_->setMinimumWidth(260);
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
  layout->addWidget(hostBox_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(okButton_, &QPushButton::clicked, this, &CHostPromptDlg::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &CHostPromptDlg::reject);
  connect(addressButton_, &QPushButton::clicked, this, &CHostPromptDlg::pickFromAddressBook);
  hostBox_->setFocus();
}

QString CHostPromptDlg::hostText() const { return hostBox_->currentText(); }

void CHostPromptDlg::useRecentHosts(const std::string& toolKey) { hostBox_->setToolKey(toolKey); }

void CHostPromptDlg::accept() {
  if (hostBox_->currentText().isEmpty()) {
    hostBox_->setFocus();
    QApplication::beep();
    return;
  }
  hostBox_->rememberCurrentHost();
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
  if (picked) hostBox_->setEditText(*picked);
}

}  // namespace netrove
