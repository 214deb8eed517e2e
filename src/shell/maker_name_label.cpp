#include "shell/maker_name_label.h"

#include <QFontMetrics>
#include <algorithm>

#include "shell/product.h"

namespace netrove {

CMakerNameLabel::CMakerNameLabel(QWidget* parent)
    : QLabel(QString::fromLatin1(kMakerName.data(), static_cast<qsizetype>(kMakerName.size())),
             parent) {
  setAlignment(Qt::AlignCenter);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, QColor(255, 64, 0));
  setPalette(colours);
  setMinimumSize(240, 40);
  fitFont();
}

void CMakerNameLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  fitFont();
}

void CMakerNameLabel::fitFont() {
  QFont font(QStringLiteral("Arial"));
  font.setBold(true);
  font.setPixelSize(std::max(height(), 1));
  // Stretch the face until its average character is a sixth of the box.
  const int average = QFontMetrics(font).averageCharWidth();
  const int wanted = width() / 6;
  if (average > 0 && wanted > 0) font.setStretch(std::clamp(100 * wanted / average, 1, 4000));
  setFont(font);
}

}  // namespace netrove
