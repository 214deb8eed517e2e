#include "widgets/arrow_spin_box.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

namespace netrove {

CArrowSpinBox::CArrowSpinBox(int minimum, int maximum, QWidget* parent) : QSpinBox(parent) {
  setRange(minimum, maximum);
  setWrapping(true);
  lineEdit()->setReadOnly(true);
}

void CArrowSpinBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
    QSpinBox::keyPressEvent(event);
    return;
  }
  // Page keys would step by ten and typing would edit: neither is offered.
  if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
    event->ignore();
    return;
  }
  QSpinBox::keyPressEvent(event);
}

void CArrowSpinBox::wheelEvent(QWheelEvent* event) { event->ignore(); }

}  // namespace netrove
