#include "app/clock_wnd.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>

#include "app/clock_text.h"

namespace netrove {
namespace {

const QColor kBackground(0, 255, 255);
const QColor kInk(255, 64, 0);
constexpr int kLineSpacing = 10;

}  // namespace

CClockWnd::CClockWnd(QWidget* parent) : QMdiArea(parent), timeSource_(&ClockTextNow) {
  setBackground(kBackground);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  font_ = clockFont(0);
}

void CClockWnd::setClockShown(bool on) {
  clockShown_ = on;
  if (on) {
    clockTimer_.start(kClockIntervalMs, this);
  } else {
    clockTimer_.stop();
  }
  viewport()->update(clockRect_);
}

QFont CClockWnd::clockFont(int pixelHeight) const {
  QFont font(QStringLiteral("Arial"));
  font.setBold(true);
  if (pixelHeight > 0) font.setPixelSize(pixelHeight);
  return font;
}

void CClockWnd::fitClockFont() {
  const QSize client = viewport()->size();
  const ClockRect rect = ClockRectangle(client.width(), client.height());
  clockRect_ = QRect(rect.left, rect.top, rect.width(), rect.height());
  const QString sample = QString::fromLatin1(kClockSampleText.data(), kClockSampleText.size());
  clockFontHeight_ = FitClockFontHeight(rect, [&](int height) {
    const QSize size = QFontMetrics(clockFont(height)).size(Qt::TextSingleLine, sample);
    return TextExtent{size.width(), size.height()};
  });
  font_ = clockFont(clockFontHeight_);
}

void CClockWnd::resizeEvent(QResizeEvent* event) {
  QMdiArea::resizeEvent(event);
  fitClockFont();
  viewport()->update();
}

void CClockWnd::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.fillRect(event->rect(), kBackground);
  const int width = viewport()->width();
  const int height = viewport()->height();
  painter.setPen(QPen(kInk, 0));
  for (int x = 0; x < width; x += kLineSpacing) painter.drawLine(0, 0, x, height);
  if (!clockShown_) return;
  // Opaque text on the background colour: each tick overwrites the last.
  painter.setFont(font_);
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(kBackground);
  painter.drawText(clockRect_, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip,
                   QString::fromStdString(timeSource_()));
}

void CClockWnd::timerEvent(QTimerEvent* event) {
  if (event->timerId() != clockTimer_.timerId()) {
    QMdiArea::timerEvent(event);
    return;
  }
  if (window()->isMinimized()) return;
  viewport()->update(clockRect_);
}

void CClockWnd::contextMenuEvent(QContextMenuEvent* event) {
  // Clicks inside a tool window that it does not handle arrive here too.
  if (viewport()->childAt(event->pos()) != nullptr) {
    event->ignore();
    return;
  }
  emit helpRequested();
  event->accept();
}

}  // namespace netrove
