#include "app/clock_text.h"

#include <algorithm>
#include <cstdio>

namespace netrove {

std::string FormatClockText(int hour, int minute, int second) {
  const bool afternoon = hour >= 12;
  int dialHour = hour % 12;
  if (dialHour == 0) dialHour = 12;
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d %s", dialHour, minute, second,
                afternoon ? "PM" : "AM");
  return text;
}

std::string FormatClockText(const std::tm& localTime) {
  return FormatClockText(localTime.tm_hour, localTime.tm_min, localTime.tm_sec);
}

std::string ClockTextNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FormatClockText(local);
}

ClockRect ClockRectangle(int clientWidth, int clientHeight) {
  return ClockRect{clientWidth / 2, 0, clientWidth, clientHeight / 2};
}

int FitClockFontHeight(const ClockRect& rect, const ClockTextMeasure& measure) {
  const auto fits = [&](int step) {
    const TextExtent extent = measure(step * kClockFontStep);
    return extent.width <= rect.width() && extent.height <= rect.height();
  };
  // A font taller than the rectangle cannot fit, which bounds the search
  // even for a measure that does not grow with the height.
  int fitting = 0;  // in steps of kClockFontStep; 0 always "fits"
  int tooTall = std::clamp(rect.height(), 0, kClockFontMaxHeight) / kClockFontStep + 1;
  while (tooTall - fitting > 1) {
    const int middle = fitting + (tooTall - fitting) / 2;
    (fits(middle) ? fitting : tooTall) = middle;
  }
  return fitting * kClockFontStep;
}

}  // namespace netrove
