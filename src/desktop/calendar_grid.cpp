#include "desktop/calendar_grid.h"

#include <cstdio>
#include <cstdlib>

namespace netrove {

MonthGrid BuildMonthGrid(int month, int year) {
  MonthGrid grid;
  grid.month = month;
  grid.year = year;
  CCalendarDate date(month, 1, year);
  if (!date.isValid()) return grid;
  grid.firstWeekday = date.weekday();
  grid.monthLength = CCalendarDate::daysInMonth(month, year);
  for (int position = grid.firstWeekday; date.isValid() && date.month() == month; ++position) {
    grid.cells.push_back({date.day(), 1 + position / kGridColumns, position % kGridColumns});
    if (date.day() == grid.monthLength) break;
    date.addDays(1);
  }
  return grid;
}

const CalendarCell* FindCell(const MonthGrid& grid, int day) {
  for (const auto& cell : grid.cells) {
    if (cell.day == day) return &cell;
  }
  return nullptr;
}

GridRect CalendarGeometry::cell(int row, int column) const {
  const int left = column * cellWidth_;
  const int top = row * cellHeight_;
  return {left, top, left + cellWidth_, top + cellHeight_};
}

int DayAtPoint(const MonthGrid& grid, const CalendarGeometry& geometry, GridPoint point) {
  const int cellWidth = geometry.cellWidth();
  const int cellHeight = geometry.cellHeight();
  if (cellWidth <= 0 || cellHeight <= 0 || grid.cells.empty()) return 0;
  const GridRect client = geometry.client();
  if (point.x >= client.right) {
    point = {cellWidth / 2, point.y + cellHeight};
  } else if (point.x < client.left) {
    point = {client.right - cellWidth / 2, point.y - cellHeight};
  }
  // The heading row holds no day.
  if (!client.contains(point) || point.y < cellHeight) return 0;
  const int row = (point.y - cellHeight) / cellHeight;
  const int column = point.x / cellWidth;
  int day = kGridColumns * row - grid.firstWeekday + column + 1;
  // The ten days dropped by the calendar reform have no cells.
  if (grid.year == 1582 && grid.month == 10 && day >= 5) day += 10;
  if (FindCell(grid, day) == nullptr) return 0;
  if (!geometry.dayFrame(row + 1, column).contains(point)) return 0;
  return day;
}

GridPoint ArrowTarget(const CalendarGeometry& geometry, const GridRect& focusRect, ArrowKey key) {
  GridPoint target = focusRect.centre();
  switch (key) {
    case ArrowKey::kLeft:
      target.x -= geometry.cellWidth();
      break;
    case ArrowKey::kRight:
      target.x += geometry.cellWidth();
      break;
    case ArrowKey::kUp:
      target.y -= geometry.cellHeight();
      break;
    case ArrowKey::kDown:
      target.y += geometry.cellHeight();
      break;
  }
  return target;
}

std::string CalendarCaption(int month, int year) {
  const std::string name(month >= 1 && month <= 12 ? kMonthNames[month] : "");
  if (year < 0) return name + "   " + std::to_string(std::abs(year)) + " B.C.";
  return name + "   A.D. " + std::to_string(year);
}

namespace {

void TrimRight(std::string& line) {
  const auto end = line.find_last_not_of(' ');
  line.erase(end == std::string::npos ? 0 : end + 1);
}

}  // namespace

std::string FormatMonthText(const MonthGrid& grid) {
  std::string text = CalendarCaption(grid.month, grid.year) + "\n";
  for (std::size_t column = 0; column < kWeekdayHeadings.size(); ++column) {
    if (column > 0) text += ' ';
    text += kWeekdayHeadings[column];
  }
  text += '\n';
  std::string line;
  int row = 0;
  for (const auto& cell : grid.cells) {
    if (cell.row != row) {
      if (row != 0) {
        TrimRight(line);
        text += line + '\n';
      }
      row = cell.row;
      line.assign(4 * kGridColumns, ' ');
    }
    char number[8];
    std::snprintf(number, sizeof number, "%3d", cell.day);
    line.replace(static_cast<std::size_t>(4 * cell.column), 3, number);
  }
  if (row != 0) {
    TrimRight(line);
    text += line + '\n';
  }
  return text;
}

}  // namespace netrove
