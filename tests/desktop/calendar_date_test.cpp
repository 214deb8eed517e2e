#include "desktop/calendar_date.h"

#include <gtest/gtest.h>

#include <ctime>

namespace netrove {
namespace {

TEST(CalendarDate, KnownJulianDayNumbersAndWeekdays) {
  const CCalendarDate reform(10, 15, 1582);
  EXPECT_EQ(reform.julianDay(), 2299161);
  EXPECT_EQ(reform.weekday(), 5);  // Friday
  EXPECT_EQ(CCalendarDate(10, 4, 1582).julianDay(), 2299160);
  const CCalendarDate millennium(1, 1, 2000);
  EXPECT_EQ(millennium.julianDay(), 2451545);
  EXPECT_EQ(millennium.weekday(), 6);  // Saturday
  EXPECT_EQ(CCalendarDate(1, 1, -4713).julianDay(), 0);
  EXPECT_EQ(CCalendarDate(1, 1, 1).julianDay(), 1721424);
  EXPECT_EQ(CCalendarDate(12, 31, -1).julianDay(), 1721423);  // 1 B.C. is followed by A.D. 1
}

// Every day from 1 January 4713 B.C. to 31 December 3000, walked through the
// calendar fields: each valid date is the day after the previous one, and the
// Julian Day Number converts back to the same date.
TEST(CalendarDate, EveryDayRoundTripsAndFollowsTheDayBefore) {
  long long expected = 0;
  int daysChecked = 0;
  for (int year = -4713; year <= 3000; ++year) {
    if (year == 0) continue;
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 31; ++day) {
        if (!CCalendarDate::isValidDate(month, day, year)) continue;
        const CCalendarDate date(month, day, year);
        ASSERT_EQ(date.julianDay(), expected) << month << "/" << day << "/" << year;
        const CCalendarDate back = CCalendarDate::FromJulianDay(expected);
        ASSERT_EQ(back, date) << "Julian Day " << expected;
        ASSERT_EQ(back.weekday(), (expected + 1) % 7);
        ++expected;
        ++daysChecked;
      }
    }
  }
  EXPECT_EQ(CCalendarDate(12, 31, 3000).julianDay(), expected - 1);
  EXPECT_EQ(daysChecked, 2817153);  // 31 December 3000 is Julian Day 2817152
}

TEST(CalendarDate, LeapYearsFollowTheRuleOfTheirCalendar) {
  EXPECT_TRUE(CCalendarDate::isLeapYear(1500));  // Julian: every fourth year
  EXPECT_FALSE(CCalendarDate::isLeapYear(1582));
  EXPECT_TRUE(CCalendarDate::isLeapYear(1600));
  EXPECT_FALSE(CCalendarDate::isLeapYear(1700));
  EXPECT_FALSE(CCalendarDate::isLeapYear(1900));
  EXPECT_TRUE(CCalendarDate::isLeapYear(2000));
  EXPECT_TRUE(CCalendarDate::isLeapYear(4));
  // 1 B.C. and 5 B.C. are leap years: they lie four and eight years before A.D. 4.
  EXPECT_TRUE(CCalendarDate::isLeapYear(-1));
  EXPECT_TRUE(CCalendarDate::isLeapYear(-5));
  EXPECT_FALSE(CCalendarDate::isLeapYear(-4));
  EXPECT_TRUE(CCalendarDate::isValidDate(2, 29, -1));
  EXPECT_FALSE(CCalendarDate::isValidDate(2, 29, -4));
  EXPECT_EQ(CCalendarDate(3, 1, -1).julianDay() - CCalendarDate(2, 28, -1).julianDay(), 2);
  EXPECT_TRUE(CCalendarDate(2, 29, 1500).isValid());
  EXPECT_FALSE(CCalendarDate(2, 29, 1900).isValid());
  EXPECT_TRUE(CCalendarDate(2, 29, 2000).isLeap());
}

TEST(CalendarDate, RefusesYearZeroOutOfRangeYearsAndTheDaysOfTheReform) {
  EXPECT_FALSE(CCalendarDate(1, 1, 0).isValid());
  EXPECT_EQ(CCalendarDate(1, 1, 0).julianDay(), -1);
  EXPECT_FALSE(CCalendarDate(12, 31, -4714).isValid());
  EXPECT_FALSE(CCalendarDate(1, 1, 1465191).isValid());
  const CCalendarDate last(12, 31, 1465190);
  ASSERT_TRUE(last.isValid());
  EXPECT_LE(last.julianDay(), CCalendarDate::kLastJulianDay);
  for (int day = 5; day <= 14; ++day) EXPECT_FALSE(CCalendarDate(10, day, 1582).isValid()) << day;
  EXPECT_FALSE(CCalendarDate(13, 1, 2000).isValid());
  EXPECT_FALSE(CCalendarDate(0, 1, 2000).isValid());
  EXPECT_FALSE(CCalendarDate(4, 31, 2000).isValid());
  EXPECT_FALSE(CCalendarDate(4, 0, 2000).isValid());
}

TEST(CalendarDate, JulianDayRangeAndAddingDays) {
  EXPECT_FALSE(CCalendarDate::FromJulianDay(-1).isValid());
  EXPECT_FALSE(CCalendarDate::FromJulianDay(CCalendarDate::kLastJulianDay + 1LL).isValid());
  const CCalendarDate last = CCalendarDate::FromJulianDay(CCalendarDate::kLastJulianDay);
  ASSERT_TRUE(last.isValid());
  EXPECT_EQ(last, CCalendarDate(last.month(), last.day(), last.year()));

  CCalendarDate date(10, 4, 1582);
  date.addDays(1);
  EXPECT_EQ(date, CCalendarDate(10, 15, 1582));
  date.addDays(-1);
  EXPECT_EQ(date, CCalendarDate(10, 4, 1582));
  date = CCalendarDate(1, 1, 1);
  date.addDays(-1);
  EXPECT_EQ(date, CCalendarDate(12, 31, -1));
  date.addDays(-10'000'000'000LL);
  EXPECT_FALSE(date.isValid());
  EXPECT_EQ(date.julianDay(), -1);
}

TEST(CalendarDate, DayOfYear) {
  EXPECT_EQ(CCalendarDate(1, 1, 2023).dayOfYear(), 1);
  EXPECT_EQ(CCalendarDate(3, 1, 2023).dayOfYear(), 60);
  EXPECT_EQ(CCalendarDate(3, 1, 2024).dayOfYear(), 61);
  EXPECT_EQ(CCalendarDate(12, 31, 2024).dayOfYear(), 366);
  EXPECT_EQ(CCalendarDate(12, 31, 1500).dayOfYear(), 366);
}

TEST(CalendarDate, TodayIsTheLocalDate) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const CCalendarDate today;
  ASSERT_TRUE(today.isValid());
  EXPECT_EQ(today.year(), local.tm_year + 1900);
  EXPECT_EQ(today.month(), local.tm_mon + 1);
  EXPECT_EQ(today.day(), local.tm_mday);
  EXPECT_EQ(today.weekday(), local.tm_wday);
}

}  // namespace
}  // namespace netrove
