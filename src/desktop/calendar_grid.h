#pragma once
// The layout of one month as a grid of 7 x 7 cells (row 0 holds the weekday
// headings, the days start in row 1), and the rules that turn a point in the
// calendar control into a day. Kept free of any window so the control, the
// command-line front end and the tests share it.
#include <string>
#include <vector>

#include "desktop/calendar_date.h"

namespace netrove {

inline constexpr int kGridColumns = 7;
inline constexpr int kGridRows = 7;
// Inset of a day's raised frame within its cell.
inline constexpr int kDayFrameInset = 4;

struct CalendarCell {
  int day = 0;
  int row = 0;     // 1..6
  int column = 0;  // 0 = Sunday
};

struct MonthGrid {
  int month = 0;
  int year = 0;
  int firstWeekday = 0;             // column of the first day
  int monthLength = 0;              // the month's last day number
  std::vector<CalendarCell> cells;  // the days that exist, in order
};

// Walks the month one day at a time from its first day, so in October 1582
// the 15th takes the cell after the 4th. Empty when the first of the month is
// not a valid date.
MonthGrid BuildMonthGrid(int month, int year);

// The cell that shows `day`, or nullptr when the grid has no such day.
const CalendarCell* FindCell(const MonthGrid& grid, int day);

struct GridPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const GridPoint&, const GridPoint&) = default;
};

// Right and bottom are exclusive.
struct GridRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool contains(GridPoint p) const {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
  }
  GridRect shrunk(int by) const { return {left + by, top + by, right - by, bottom - by}; }
  GridPoint centre() const { return {(left + right) / 2, (top + bottom) / 2}; }
  friend bool operator==(const GridRect&, const GridRect&) = default;
};

// The control's cells: the client area divided by seven each way. The hit
// rules treat the seven columns and rows as the client area, so a remainder
// of a few pixels at the right or bottom never holds a cell.
class CalendarGeometry {
 public:
  CalendarGeometry(int clientWidth, int clientHeight)
      : cellWidth_(clientWidth / kGridColumns), cellHeight_(clientHeight / kGridRows) {}
  int cellWidth() const { return cellWidth_; }
  int cellHeight() const { return cellHeight_; }
  GridRect client() const { return {0, 0, cellWidth_ * kGridColumns, cellHeight_ * kGridRows}; }
  GridRect cell(int row, int column) const;
  // The rectangle of the day's raised frame, which is also its focus rectangle.
  GridRect dayFrame(int row, int column) const { return cell(row, column).shrunk(kDayFrameInset); }

 private:
  int cellWidth_;
  int cellHeight_;
};

// The day a left-button press at `point` selects, or 0 when it falls on no
// day. A point right of the client area stands for the first column of the
// next row, one left of it for the last column of the previous row; only the
// arrow keys produce such points.
int DayAtPoint(const MonthGrid& grid, const CalendarGeometry& geometry, GridPoint point);

enum class ArrowKey { kLeft, kRight, kUp, kDown };

// Where an arrow key presses the mouse: the centre of the cell next to the
// focus rectangle in the arrow's direction.
GridPoint ArrowTarget(const CalendarGeometry& geometry, const GridRect& focusRect, ArrowKey key);

// The caption line of the calendar: "March   A.D. 2024" or "March   44 B.C.".
std::string CalendarCaption(int month, int year);

// The month as text: the caption, the headings "Sun" .. "Sat" and one line
// per week with each day right-aligned under its heading. Lines end in "\n".
std::string FormatMonthText(const MonthGrid& grid);

}  // namespace netrove
