#pragma once
// The maker's name as the splash window and the About box show it: bold
// Arial in orange-red, as tall as its box and with characters a sixth of the
// box's width.
#include <QLabel>

namespace netrove {

class CMakerNameLabel : public QLabel {
  Q_OBJECT

 public:
  explicit CMakerNameLabel(QWidget* parent = nullptr);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void fitFont();
};

}  // namespace netrove
