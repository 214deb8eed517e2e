#include "desktop/calendar_grid.h"

#include <gtest/gtest.h>

namespace netrove {
namespace {

// Cells of 40 x 28 pixels; the extra pixels right and below hold no cell.
const CalendarGeometry kGeometry(283, 199);

GridPoint CentreOf(int row, int column) { return kGeometry.cell(row, column).centre(); }

int DayAt(const MonthGrid& grid, GridPoint point) { return DayAtPoint(grid, kGeometry, point); }

TEST(CalendarGrid, October1582JumpsFromTheFourthToTheFifteenth) {
  const MonthGrid grid = BuildMonthGrid(10, 1582);
  ASSERT_EQ(grid.cells.size(), 21u);
  EXPECT_EQ(grid.firstWeekday, 1);
  EXPECT_EQ(grid.monthLength, 31);
  const CalendarCell* fourth = FindCell(grid, 4);
  const CalendarCell* fifteenth = FindCell(grid, 15);
  ASSERT_NE(fourth, nullptr);
  ASSERT_NE(fifteenth, nullptr);
  EXPECT_EQ(fifteenth->row, fourth->row);
  EXPECT_EQ(fifteenth->column, fourth->column + 1);
  EXPECT_EQ(fifteenth->column, 5);  // Friday
  for (int day = 5; day <= 14; ++day) EXPECT_EQ(FindCell(grid, day), nullptr);
}

TEST(CalendarGrid, MonthsHoldTheirDaysAndInvalidMonthsNone) {
  EXPECT_EQ(BuildMonthGrid(2, 2024).cells.size(), 29u);
  EXPECT_EQ(BuildMonthGrid(2, 2023).cells.size(), 28u);
  EXPECT_EQ(BuildMonthGrid(2, -1).cells.size(), 29u);
  EXPECT_TRUE(BuildMonthGrid(1, 0).cells.empty());
  EXPECT_TRUE(BuildMonthGrid(1, 1465191).cells.empty());
  const MonthGrid sixWeeks = BuildMonthGrid(3, 2024);  // Friday the 1st, 31 days
  EXPECT_EQ(sixWeeks.cells.back().row, 6);
  const MonthGrid last = BuildMonthGrid(12, 1465190);
  EXPECT_EQ(last.cells.size(), 31u);
}

TEST(CalendarGrid, CaptionsNameTheEra) {
  EXPECT_EQ(CalendarCaption(3, 2024), "March   A.D. 2024");
  EXPECT_EQ(CalendarCaption(3, -44), "March   44 B.C.");
  EXPECT_EQ(FormatMonthText(BuildMonthGrid(1, -4713)).substr(0, 20), "January   4713 B.C.\n");
}

TEST(CalendarGrid, PointsSelectTheDayInsideItsFrame) {
  const MonthGrid grid = BuildMonthGrid(10, 1582);
  EXPECT_EQ(DayAt(grid, CentreOf(1, 1)), 1);
  EXPECT_EQ(DayAt(grid, CentreOf(1, 5)), 15);
  EXPECT_EQ(DayAt(grid, CentreOf(4, 0)), 31);
  EXPECT_EQ(DayAt(grid, CentreOf(1, 0)), 0);  // before the first
  EXPECT_EQ(DayAt(grid, CentreOf(4, 1)), 0);  // after the last
  EXPECT_EQ(DayAt(grid, CentreOf(0, 3)), 0);  // a heading
  const GridRect cell = kGeometry.cell(2, 3);
  EXPECT_EQ(DayAt(grid, {cell.left + 3, cell.top + 10}), 0);  // in the frame's margin
  EXPECT_EQ(DayAt(grid, {cell.left + 4, cell.top + 4}), 20);
  EXPECT_EQ(DayAt(grid, {cell.right - 5, cell.bottom - 5}), 20);
  EXPECT_EQ(DayAt(grid, {cell.right - 4, cell.bottom - 5}), 0);
  EXPECT_EQ(DayAt(grid, {20, 196}), 0);  // below the cells
  EXPECT_EQ(DayAt(BuildMonthGrid(1, 0), CentreOf(1, 1)), 0);
}

}  // namespace
}  // namespace netrove
