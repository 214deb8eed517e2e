#pragma once
// The main window's clock: its text on a 12-hour dial, the rectangle it is
// drawn in and the search for the largest font that fits there. The search
// measures through a callback so it runs without a window system.
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace netrove {

// The widest text the clock shows; the font is fitted to it.
inline constexpr std::string_view kClockSampleText = "00:00:00 AM";
inline constexpr int kClockFontStep = 5;
// No screen needs a taller clock; a stored window size, however large, never
// makes the search longer than a dozen measurements.
inline constexpr int kClockFontMaxHeight = 4000;
inline constexpr int kClockIntervalMs = 1000;

// "hh:mm:ss AM|PM": hour 0 reads 12 AM, 12 reads 12 PM, 13..23 read 1..11 PM.
std::string FormatClockText(int hour, int minute, int second);
std::string FormatClockText(const std::tm& localTime);
std::string ClockTextNow();

struct ClockRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

// The upper-right quarter of a client area.
ClockRect ClockRectangle(int clientWidth, int clientHeight);

struct TextExtent {
  int width = 0;
  int height = 0;
};
// The extent of kClockSampleText in the bold clock font of a pixel height.
using ClockTextMeasure = std::function<TextExtent(int fontHeight)>;

// The largest of the heights 5, 10, 15, ... (up to kClockFontMaxHeight) whose
// text fits the rectangle, found by a binary search since a taller font never
// takes less room; 0 (the default height) when even the first does not fit.
int FitClockFontHeight(const ClockRect& rect, const ClockTextMeasure& measure);

}  // namespace netrove
