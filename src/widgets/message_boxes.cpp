#include "widgets/message_boxes.h"

#include <QLabel>
#include <QMessageBox>

namespace netrove {
namespace {

struct PlainBox {
  QMessageBox::Icon icon;
  const QString& caption;
  const QString& text;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton;
  const QString& note;
};

int RunPlainBox(QWidget* owner, const PlainBox& plain) {
  QMessageBox box(plain.icon, plain.caption, plain.text, plain.buttons, owner);
  if (!plain.note.isEmpty()) box.setInformativeText(plain.note);
  box.setTextFormat(Qt::PlainText);
  // The note has a label of its own, which guesses its format unless told.
  for (QLabel* label : box.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
  box.setDefaultButton(plain.defaultButton);
  return box.exec();
}

}  // namespace

void ShowPlainInformation(QWidget* owner, const QString& caption, const QString& text) {
  RunPlainBox(owner,
              {QMessageBox::Information, caption, text, QMessageBox::Ok, QMessageBox::Ok, {}});
}

void ShowPlainError(QWidget* owner, const QString& caption, const QString& text) {
  RunPlainBox(owner, {QMessageBox::Critical, caption, text, QMessageBox::Ok, QMessageBox::Ok, {}});
}

bool AskPlainYesNo(QWidget* owner, const QString& caption, const QString& text,
                   DefaultAnswer defaultAnswer, const QString& note) {
  const auto defaultButton =
      defaultAnswer == DefaultAnswer::Yes ? QMessageBox::Yes : QMessageBox::No;
  return RunPlainBox(owner, {QMessageBox::Question, caption, text,
                             QMessageBox::Yes | QMessageBox::No, defaultButton, note}) ==
         QMessageBox::Yes;
}

void CMessageBoxes::information(QWidget* owner, const QString& caption, const QString& text) {
  ShowPlainInformation(owner, caption, text);
}

bool CMessageBoxes::askYesNo(QWidget* owner, const QString& caption, const QString& text) {
  return AskPlainYesNo(owner, caption, text);
}

}  // namespace netrove
