#include "app/maker_name_label.h"

#include <QFontMetrics>
#include <algorithm>

#include "base/product.h"

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
  // The face's line is taller than its pixel size: shrink it into the box.
  const int lineHeight = QFontMetrics(font).height();
  if (lineHeight > height()) font.setPixelSize(std::max(height() * height() / lineHeight, 1));
  // Stretch the face until its average character is a sixth of the box, but
  // never so far that the name no longer fits the box.
  const QFontMetrics metrics(font);
  const int average = metrics.averageCharWidth();
  const int natural = metrics.horizontalAdvance(text());
  if (average > 0 && natural > 0 && width() > 0) {
    const int wanted = 100 * (width() / 6) / average;
    const int fitting = 100 * width() / natural;
    font.setStretch(std::clamp(std::min(wanted, fitting), 1, 4000));
  }
  setFont(font);
}

}  // namespace netrove
