#include "app/about_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>

#include "app/maker_name_label.h"

namespace netrove {
namespace {

// Every text of the box shows whole: laid out at its label's width it needs
// no more than the label's height, and a line that was not meant to wrap
// (the address, the contact line with its fax number, the version) fits on
// one line.
void ExpectEveryTextWhole(const QDialog& box) {
  for (const QLabel* label : box.findChildren<QLabel*>()) {
    if (qobject_cast<const CMakerNameLabel*>(label) != nullptr) continue;
    const QRect room = label->contentsRect();
    // Fractional metrics, as the label lays its text out; a part of a pixel
    // beyond the label's edge shows nothing.
    const QFontMetricsF metrics(label->font());
    const QRectF needed = metrics.boundingRect(QRectF(0, 0, room.width(), 100000),
                                               Qt::AlignCenter | Qt::TextWordWrap, label->text());
    EXPECT_LT(needed.height(), room.height() + 1) << label->text().toStdString();
    EXPECT_TRUE(box.rect().contains(label->geometry())) << label->text().toStdString();
    if (label->wordWrap()) continue;
    for (const QString& line : label->text().split(QLatin1Char('\n'))) {
      EXPECT_LT(metrics.horizontalAdvance(line), room.width() + 1) << line.toStdString();
    }
  }
}

TEST(AboutBox, EveryTextIsWholeAtTheDefaultAndALargerFont) {
  const QFont standard = QApplication::font();
  for (const double scale : {1.0, 1.5}) {
    QFont font = standard;
    font.setPointSizeF(standard.pointSizeF() * scale);
    QApplication::setFont(font);
    CAboutDlg box;
    box.show();
    QApplication::processEvents();
    SCOPED_TRACE(scale);
    ExpectEveryTextWhole(box);
    const auto labels = box.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* label) {
      return label->text().contains(QStringLiteral("maximum extent possible under the law."));
    }));
  }
  QApplication::setFont(standard);
}

}  // namespace
}  // namespace netrove
