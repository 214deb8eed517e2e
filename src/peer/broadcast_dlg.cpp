#include "peer/broadcast_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/command_ids.h"
#include "peer/broadcast_send.h"
#include "widgets/tab_order.h"

namespace netrove {
namespace {

std::size_t WireSize(const QString& text) {
  return BroadcastWireText(text.toUtf8().toStdString()).size();
}

}  // namespace

CBroadcastDlg::CBroadcastDlg(QWidget* parent) : QDialog(parent) {
  build();
  target_ = new QComboBox(this);
  target_->setObjectName(QStringLiteral("broadcastTarget"));
  target_->addItem(QStringLiteral("All networks (255.255.255.255)"),
                   QStringLiteral("255.255.255.255"));
  for (const BroadcastTarget& target : InterfaceBroadcastTargets()) {
    const QString address = QString::fromStdString(target.address);
    target_->addItem(
        QStringLiteral("%1 (%2)").arg(QString::fromStdString(target.interfaceName), address),
        address);
  }
  auto* targetRow = new QHBoxLayout;
  targetRow->addWidget(new QLabel(QStringLiteral("Send To:"), this));
  targetRow->addWidget(target_, 1);
  static_cast<QVBoxLayout*>(layout())->insertLayout(0, targetRow);
  ApplyLayoutTabOrder(this);
  okButton_->setEnabled(false);
  connect(edit_, &QPlainTextEdit::textChanged, this, &CBroadcastDlg::keepWithinLimit);
  edit_->setFocus();
}

CBroadcastDlg::CBroadcastDlg(const QString& received, QWidget* parent) : QDialog(parent) {
  build();
  cancelButton_->hide();
  edit_->setPlainText(received);
  edit_->setReadOnly(true);
  edit_->setBackgroundRole(QPalette::Button);
  QPalette palette = edit_->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  edit_->setPalette(palette);
  // Read and dismissed: Enter closes it as Space does.
  okButton_->setDefault(true);
  okButton_->setFocus();
}

void CBroadcastDlg::build() {
  setWindowTitle(QStringLiteral("Broadcast"));
  edit_ = new QPlainTextEdit(this);
  edit_->setObjectName(QStringLiteral("broadcastText"));
  edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Tab moves on to the buttons, as in any dialog: a short notice has no
  // use for a tab character, and without this the keyboard never leaves
  // the text.
  edit_->setTabChangesFocus(true);
  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setDefault(false);
  okButton_->setAutoDefault(false);
  cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton_->setAutoDefault(false);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);
  buttons->addStretch();
  auto* textAndButtons = new QHBoxLayout;
  textAndButtons->addWidget(edit_, 1);
  textAndButtons->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(textAndButtons, 1);
  resize(560, 200);
}

std::string CBroadcastDlg::targetAddress() const {
  if (target_ == nullptr) return "255.255.255.255";
  return target_->currentData().toString().toStdString();
}

std::string CBroadcastDlg::wireText() const {
  return BroadcastWireText(accepted_.toUtf8().toStdString());
}

void CBroadcastDlg::keepWithinLimit() {
  const QString text = edit_->toPlainText();
  if (WireSize(text) > kBroadcastTextLimit) {
    const QSignalBlocker blocker(edit_);
    const int position =
        std::min(edit_->textCursor().position(), static_cast<int>(accepted_.size()));
    edit_->setPlainText(accepted_);
    QTextCursor cursor = edit_->textCursor();
    cursor.setPosition(position);
    edit_->setTextCursor(cursor);
    QApplication::beep();
  } else {
    accepted_ = text;
  }
  okButton_->setEnabled(!accepted_.isEmpty());
}

void CBroadcastDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    emit helpRequested(CommandHelpContext(kCmdLocalBroadcast));
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace netrove
