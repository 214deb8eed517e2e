#pragma once
// The calendar control: one month as a 7 x 7 grid of cells (the weekday
// headings, then up to six weeks of days), with one selected day chosen by
// the mouse or the arrow keys.
#include <QWidget>

#include "desktop/calendar_date.h"
#include "desktop/calendar_grid.h"

namespace netrove {

class CCalendarCtrl : public QWidget {
  Q_OBJECT

 public:
  explicit CCalendarCtrl(const CCalendarDate& start, QWidget* parent = nullptr);

  const CCalendarDate& selectedDate() const { return selected_; }

  // False, leaving the selection alone, when the first of that month is not a
  // valid date. Otherwise the selected day number is kept, lowered until the
  // date exists (31 March to February gives the 28th or 29th).
  bool setMonth(int month);
  bool setYear(int year);

  CalendarGeometry cellGeometry() const { return CalendarGeometry(width(), height()); }
  // The selected day's frame, around which the focus is drawn.
  GridRect focusRect() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  bool moveTo(int month, int year);
  // A left-button press at `point`; the arrow keys press here too, at points
  // that may lie outside the control.
  void pressAt(GridPoint point);

  CCalendarDate selected_;
  MonthGrid grid_;
};

}  // namespace netrove
