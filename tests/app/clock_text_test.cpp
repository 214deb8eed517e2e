#include "app/clock_text.h"

#include <gtest/gtest.h>

#include <climits>

namespace netrove {
namespace {

TEST(ClockText, TwelveHourDial) {
  EXPECT_EQ(FormatClockText(0, 30, 0), "12:30:00 AM");
  EXPECT_EQ(FormatClockText(12, 5, 0), "12:05:00 PM");
  EXPECT_EQ(FormatClockText(23, 59, 59), "11:59:59 PM");
  EXPECT_EQ(FormatClockText(0, 0, 0), "12:00:00 AM");
  EXPECT_EQ(FormatClockText(11, 59, 59), "11:59:59 AM");
  EXPECT_EQ(FormatClockText(13, 0, 7), "01:00:07 PM");
  std::tm afternoon{};
  afternoon.tm_hour = 15;
  afternoon.tm_min = 4;
  afternoon.tm_sec = 9;
  EXPECT_EQ(FormatClockText(afternoon), "03:04:09 PM");
  EXPECT_EQ(ClockTextNow().size(), kClockSampleText.size());
}

TEST(ClockText, RectangleIsTheUpperRightQuarter) {
  const ClockRect rect = ClockRectangle(801, 601);
  EXPECT_EQ(rect.left, 400);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, 801);
  EXPECT_EQ(rect.bottom, 300);
}

// A face whose sample text is six times as wide as the font is high.
TextExtent WideFace(int height) { return TextExtent{6 * height, height + height / 5}; }

TEST(ClockFont, KeepsTheLastHeightThatFits) {
  EXPECT_EQ(FitClockFontHeight(ClockRect{0, 0, 400, 300}, WideFace), 65);  // 6 × 70 > 400
  EXPECT_EQ(FitClockFontHeight(ClockRect{0, 0, 420, 300}, WideFace), 70);
  // The height limits too.
  EXPECT_EQ(FitClockFontHeight(ClockRect{0, 0, 4000, 40}, WideFace), 30);
}

TEST(ClockFont, AnAbsurdRectangleTakesAFewMeasurementsAndABoundedHeight) {
  int measured = 0;
  const int height = FitClockFontHeight(ClockRect{0, 0, INT32_MAX, INT32_MAX}, [&](int h) {
    ++measured;
    return WideFace(h);
  });
  EXPECT_EQ(height, kClockFontMaxHeight);
  EXPECT_LE(measured, 12);
}

TEST(ClockFont, DefaultHeightWhenNothingFits) {
  EXPECT_EQ(FitClockFontHeight(ClockRect{0, 0, 20, 4}, WideFace), 0);
  EXPECT_EQ(FitClockFontHeight(ClockRect{0, 0, 0, 0}, WideFace), 0);
  EXPECT_EQ(FitClockFontHeight(ClockRect{0, 0, 29, 50}, WideFace), 0);
}

TEST(ClockFont, SearchEndsForAMeasureThatNeverGrows) {
  const int height = FitClockFontHeight(ClockRect{0, 0, 100, 52}, [](int) {
    return TextExtent{1, 1};
  });
  EXPECT_EQ(height, 50);
}

}  // namespace
}  // namespace netrove
