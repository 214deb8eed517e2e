#pragma once
// A number field of the ICMP tools: its value changes only with the spin
// arrows or the arrow keys, never by typing, and stepping past one end of
// the range wraps to the other.
#include <QSpinBox>

namespace netrove {

class CArrowSpinBox : public QSpinBox {
  Q_OBJECT

 public:
  CArrowSpinBox(int minimum, int maximum, QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
};

}  // namespace netrove
