#include "desktop/calendar_date.h"

#include <cmath>
#include <ctime>

namespace netrove {

const std::array<std::string_view, 13> kMonthNames = {
    "",     "January", "February",  "March",   "April",    "May",     "June",
    "July", "August",  "September", "October", "November", "December"};

const std::array<std::string_view, 7> kWeekdayHeadings = {"Sun", "Mon", "Tue", "Wed",
                                                          "Thu", "Fri", "Sat"};

namespace {

// Index 0 is February of a leap year; 1..12 are the months of a common year.
constexpr std::array<int, 13> kDaysInMonth = {29, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// The first day of the Gregorian calendar, as day + 100 * (month + 100 * year).
constexpr long long kGregorianStart = 15821015;
constexpr int kReformYear = 1582;
constexpr int kReformMonth = 10;
constexpr int kFirstDroppedDay = 5;
constexpr int kLastDroppedDay = 14;
constexpr long long kGregorianFirstJulianDay = 2299161;

long long Trunc(double value) { return static_cast<long long>(std::trunc(value)); }

}  // namespace

CCalendarDate::CCalendarDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  *this = CCalendarDate(local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
}

CCalendarDate::CCalendarDate(int month, int day, int year) {
  if (!isValidDate(month, day, year)) return;
  const long long julianDay = toJulianDay(month, day, year);
  if (julianDay > kLastJulianDay) return;
  day_ = day;
  month_ = month;
  year_ = year;
  julianDay_ = static_cast<int>(julianDay);
  weekday_ = (julianDay_ + 1) % 7;
  dayOfYear_ = dayOfYear(month, day, year);
  leap_ = isLeapYear(year);
}

CCalendarDate CCalendarDate::FromJulianDay(long long julianDay) {
  CCalendarDate date(0, 0, 0);
  date.setFromJulianDay(julianDay);
  return date;
}

void CCalendarDate::addDays(long long n) {
  if (!isValid()) return;
  setFromJulianDay(julianDay_ + n);
}

void CCalendarDate::setFromJulianDay(long long julianDay) {
  if (julianDay < kFirstJulianDay || julianDay > kLastJulianDay) {
    setInvalid();
    return;
  }
  julianDay_ = static_cast<int>(julianDay);
  weekday_ = (julianDay_ + 1) % 7;
  const CalendarFields fields = fromJulianDay(julianDay_);
  day_ = fields.day;
  month_ = fields.month;
  year_ = fields.year;
  dayOfYear_ = dayOfYear(month_, day_, year_);
  leap_ = isLeapYear(year_);
}

// Before 1583 every fourth year is a leap year. The Julian Day arithmetic
// counts B.C. years astronomically (1 B.C. is year 0, 5 B.C. is year -4), so
// the B.C. leap years are 1, 5, 9, ... B.C.; judging them by the signed year
// itself would give February a day the conversion does not have.
bool CCalendarDate::isLeapYear(int year) {
  if (year < 0) return (year + 1) % 4 == 0;
  if (year % 4 != 0) return false;
  if (year <= kReformYear) return true;
  return year % 100 != 0 || year % 400 == 0;
}

int CCalendarDate::daysInMonth(int month, int year) {
  if (month < 1 || month > 12) return 0;
  if (month == 2 && isLeapYear(year)) return kDaysInMonth[0];
  return kDaysInMonth[static_cast<std::size_t>(month)];
}

bool CCalendarDate::isValidDate(int month, int day, int year) {
  if (year == 0 || year < kFirstYear || year >= kYearLimit) return false;
  if (month < 1 || month > 12) return false;
  if (day < 1 || day > daysInMonth(month, year)) return false;
  const bool droppedByReform = year == kReformYear && month == kReformMonth &&
                               day >= kFirstDroppedDay && day <= kLastDroppedDay;
  return !droppedByReform;
}

int CCalendarDate::dayOfYear(int month, int day, int year) {
  const int k = isLeapYear(year) ? 1 : 2;
  return 275 * month / 9 - k * ((month + 9) / 12) + day - 30;
}

long long CCalendarDate::toJulianDay(int month, int day, int year) {
  long long y = year;
  double correction = 0.0;
  if (year < 0) {
    y = year + 1;
    correction = 0.75;
  }
  long long m = month;
  if (month < 3) {
    y -= 1;
    m = month + 12;
  }
  long long gregorian = 0;
  if (day + 100 * (m + 100 * y) >= kGregorianStart) {
    const long long a = y / 100;
    gregorian = 2 - a + a / 4;
  }
  return Trunc(365.25 * static_cast<double>(y) - correction) +
         static_cast<long long>(std::floor(30.6001 * static_cast<double>(m + 1))) + day + 1720995 +
         gregorian;
}

CalendarFields CCalendarDate::fromJulianDay(int julianDay) {
  long long a = julianDay;
  if (julianDay >= kGregorianFirstJulianDay) {
    const long long alpha = Trunc((julianDay - 1867216.25) / 36524.25);
    a = julianDay + 1 + alpha - alpha / 4;
  }
  const long long b = a + 1524;
  const long long c = Trunc((static_cast<double>(b) - 122.1) / 365.25);
  const long long d = Trunc(365.25 * static_cast<double>(c));
  const long long e = Trunc(static_cast<double>(b - d) / 30.6001);
  CalendarFields fields;
  fields.day = static_cast<int>(b - d - Trunc(30.6001 * static_cast<double>(e)));
  fields.month = static_cast<int>(e < 14 ? e - 1 : e - 13);
  fields.year = static_cast<int>(fields.month > 2 ? c - 4716 : c - 4715);
  if (fields.year < 1) fields.year -= 1;
  return fields;
}

}  // namespace netrove
