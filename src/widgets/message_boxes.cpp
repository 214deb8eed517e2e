#include "widgets/message_boxes.h"

#include <QMessageBox>

namespace netrove {
namespace {

int RunPlainBox(QWidget* owner, QMessageBox::Icon icon, const QString& caption, const QString& text,
                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, caption, text, buttons, owner);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(defaultButton);
  return box.exec();
}

}  // namespace

void ShowPlainInformation(QWidget* owner, const QString& caption, const QString& text) {
  RunPlainBox(owner, QMessageBox::Information, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool AskPlainYesNo(QWidget* owner, const QString& caption, const QString& text) {
  return RunPlainBox(owner, QMessageBox::Question, caption, text,
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void CMessageBoxes::information(QWidget* owner, const QString& caption, const QString& text) {
  ShowPlainInformation(owner, caption, text);
}

bool CMessageBoxes::askYesNo(QWidget* owner, const QString& caption, const QString& text) {
  return AskPlainYesNo(owner, caption, text);
}

}  // namespace netrove
