#include "desktop/calendar_ctrl.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <optional>

namespace netrove {
namespace {

const QColor kFrameLight(255, 255, 255);
const QColor kFrameShadow(128, 128, 128);
const QColor kSelectedFill(0, 0, 128);
const QColor kSelectedText(255, 255, 255);

QRect ToQRect(const GridRect& r) {
  return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

// Lines along the top and left edges in one colour, bottom and right in another.
void DrawEdges(QPainter& painter, const QRect& r, const QColor& topLeft,
               const QColor& bottomRight) {
  painter.setPen(topLeft);
  painter.drawLine(r.topLeft(), r.topRight());
  painter.drawLine(r.topLeft(), r.bottomLeft());
  painter.setPen(bottomRight);
  painter.drawLine(r.bottomLeft(), r.bottomRight());
  painter.drawLine(r.topRight(), r.bottomRight());
}

// A dotted rectangle that inverts what lies under it, as focus rectangles do.
void DrawFocusRectangle(QPainter& painter, const QRect& r) {
  painter.save();
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(r.adjusted(0, 0, -1, -1));
  painter.restore();
}

std::optional<ArrowKey> ArrowOf(int key) {
  switch (key) {
    case Qt::Key_Left:
      return ArrowKey::kLeft;
    case Qt::Key_Right:
      return ArrowKey::kRight;
    case Qt::Key_Up:
      return ArrowKey::kUp;
    case Qt::Key_Down:
      return ArrowKey::kDown;
    default:
      return std::nullopt;
  }
}

}  // namespace

CCalendarCtrl::CCalendarCtrl(const CCalendarDate& start, QWidget* parent)
    : QWidget(parent), selected_(start), grid_(BuildMonthGrid(start.month(), start.year())) {
  setObjectName(QStringLiteral("CalendarControl"));
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize CCalendarCtrl::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  int textWidth = metrics.horizontalAdvance(QStringLiteral("00"));
  for (const auto heading : kWeekdayHeadings) {
    textWidth = std::max(
        textWidth, metrics.horizontalAdvance(QString::fromLatin1(heading.data(), heading.size())));
  }
  const int cellWidth = textWidth + 2 * kDayFrameInset + 14;
  const int cellHeight = metrics.height() + 2 * kDayFrameInset + 8;
  return {kGridColumns * cellWidth, kGridRows * cellHeight};
}

GridRect CCalendarCtrl::focusRect() const {
  const CalendarCell* cell = FindCell(grid_, selected_.day());
  if (cell == nullptr) return {};
  return cellGeometry().dayFrame(cell->row, cell->column);
}

bool CCalendarCtrl::setMonth(int month) {
  if (month == selected_.month()) return true;
  return moveTo(month, selected_.year());
}

bool CCalendarCtrl::setYear(int year) {
  if (year == selected_.year()) return true;
  return moveTo(selected_.month(), year);
}

bool CCalendarCtrl::moveTo(int month, int year) {
  if (!CCalendarDate(month, 1, year).isValid()) return false;
  int day = selected_.day();
  while (day > 1 && !CCalendarDate(month, day, year).isValid()) --day;
  selected_ = CCalendarDate(month, day, year);
  grid_ = BuildMonthGrid(month, year);
  update();
  return true;
}

void CCalendarCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colours = palette();
  const QColor face = colours.color(QPalette::Button);
  const QColor text = colours.color(QPalette::ButtonText);
  // A two-pixel sunken border, the inside filled with the button face.
  const QRect outer = rect();
  DrawEdges(painter, outer, colours.color(QPalette::Dark), colours.color(QPalette::Light));
  DrawEdges(painter, outer.adjusted(1, 1, -1, -1), text, face);
  painter.fillRect(outer.adjusted(2, 2, -2, -2), face);

  const CalendarGeometry cells = cellGeometry();
  painter.setPen(text);
  for (int column = 0; column < kGridColumns; ++column) {
    const auto heading = kWeekdayHeadings[static_cast<std::size_t>(column)];
    painter.drawText(ToQRect(cells.cell(0, column)), Qt::AlignCenter | Qt::TextSingleLine,
                     QString::fromLatin1(heading.data(), heading.size()));
  }
  for (const CalendarCell& cell : grid_.cells) {
    const QRect frame = ToQRect(cells.dayFrame(cell.row, cell.column));
    DrawEdges(painter, frame, kFrameLight, kFrameShadow);
    const bool selected = cell.day == selected_.day();
    if (selected) painter.fillRect(frame.adjusted(1, 1, -1, -1), kSelectedFill);
    painter.setPen(selected ? kSelectedText : text);
    painter.drawText(frame, Qt::AlignCenter | Qt::TextSingleLine, QString::number(cell.day));
  }
  if (hasFocus()) DrawFocusRectangle(painter, ToQRect(focusRect()));
}

void CCalendarCtrl::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  const QPoint point = event->position().toPoint();
  // A real click beside the cells (in the few pixels the division by seven
  // leaves over) must not wrap to another row as the arrow keys do.
  if (cellGeometry().client().contains({point.x(), point.y()})) {
    pressAt({point.x(), point.y()});
  } else if (!hasFocus()) {
    setFocus(Qt::MouseFocusReason);
  }
}

void CCalendarCtrl::keyPressEvent(QKeyEvent* event) {
  const auto arrow = ArrowOf(event->key());
  if (!arrow) return QWidget::keyPressEvent(event);
  pressAt(ArrowTarget(cellGeometry(), focusRect(), *arrow));
}

// The focus rectangle comes and goes with the focus.
void CCalendarCtrl::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void CCalendarCtrl::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

void CCalendarCtrl::pressAt(GridPoint point) {
  const int day = DayAtPoint(grid_, cellGeometry(), point);
  if (day != 0 && day != selected_.day()) {
    selected_ = CCalendarDate(selected_.month(), day, selected_.year());
    update();
  }
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
}

}  // namespace netrove
