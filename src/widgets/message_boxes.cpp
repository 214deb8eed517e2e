#include "widgets/message_boxes.h"

#include <QMessageBox>

namespace netrove {

void CMessageBoxes::information(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox::information(owner, caption, text);
}

bool CMessageBoxes::askYesNo(QWidget* owner, const QString& caption, const QString& text) {
  return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace netrove
