#pragma once
// A calendar date that converts to and from Julian Day Numbers across the
// change from the Julian to the Gregorian calendar in October 1582, and that
// reaches back to 4713 B.C. Years carry a sign: 1 is A.D. 1, -1 is 1 B.C.;
// there is no year 0.
#include <array>
#include <string_view>

namespace netrove {

// "January" .. "December", indexed 1..12 (index 0 is empty).
extern const std::array<std::string_view, 13> kMonthNames;
// Column headings of a month grid, Sunday first.
extern const std::array<std::string_view, 7> kWeekdayHeadings;

struct CalendarFields {
  int month = 0;
  int day = 0;
  int year = 0;
};

class CCalendarDate {
 public:
  // The smallest and largest Julian Day Numbers a valid date may have.
  static constexpr int kFirstJulianDay = 0;
  static constexpr int kLastJulianDay = 536871083;  // 0x200000AB
  static constexpr int kFirstYear = -4713;
  static constexpr int kYearLimit = 1465191;  // first year no longer accepted

  // Today's date from the local clock.
  CCalendarDate();
  // An invalid date results (julianDay() == -1) when the fields are refused.
  CCalendarDate(int month, int day, int year);
  // An invalid date results when the number lies outside the valid range.
  static CCalendarDate FromJulianDay(long long julianDay);

  bool isValid() const { return julianDay_ >= kFirstJulianDay; }
  bool isLeap() const { return leap_; }
  int day() const { return day_; }
  int month() const { return month_; }
  int year() const { return year_; }
  int weekday() const { return weekday_; }  // 0 = Sunday
  int dayOfYear() const { return dayOfYear_; }
  int julianDay() const { return julianDay_; }

  // Moves the date by n days (n may be negative). A result outside the valid
  // range leaves the date invalid.
  void addDays(long long n);

  static bool isLeapYear(int year);
  static bool isValidDate(int month, int day, int year);
  // Length of the month, counting a leap February as 29 days.
  static int daysInMonth(int month, int year);
  static int dayOfYear(int month, int day, int year);
  // Both conversions expect their input to lie in the valid range.
  static long long toJulianDay(int month, int day, int year);
  static CalendarFields fromJulianDay(int julianDay);

  friend bool operator==(const CCalendarDate&, const CCalendarDate&) = default;

 private:
  void setFromJulianDay(long long julianDay);
  void setInvalid() { julianDay_ = -1; }

  bool leap_ = false;
  int day_ = 0;
  int weekday_ = 0;
  int dayOfYear_ = 0;
  int month_ = 0;
  int julianDay_ = -1;
  int year_ = 0;
};

}  // namespace netrove
