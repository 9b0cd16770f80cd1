// The host's date-time values: a double day count from 30 December 1899 whose
// fraction is the time of day (negative values count back from that day with
// the fraction still the time: -1.25 is 29 December 1899, 06:00). Tables
// store dates as "yyyymmdd" text.
//
// Years 1 to 9999 of the proleptic Gregorian calendar; anything else, and
// texts that are not a valid date, are refused (false). Pure functions,
// independent of the process locale and time zone; safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace talvex::common {

struct CalendarDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  friend bool operator==(const CalendarDate&, const CalendarDate&) = default;
};

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  friend bool operator==(const TimeOfDay&, const TimeOfDay&) = default;
};

bool isValidDate(int year, int month, int day);
[[nodiscard]] int daysInMonth(int year, int month);  // 0 for a month outside 1..12

// The day count of a date (time 00:00), false for an invalid date.
[[nodiscard]] bool hostDateFromCalendar(const CalendarDate& date, double* value);
// The date and time of a value, rounded to the millisecond (so 23:59:59.9996
// is the next day's midnight); false outside years 1..9999 or for NaN.
[[nodiscard]] bool calendarFromHostDate(double value, CalendarDate* date, TimeOfDay* time = nullptr);

// "yyyymmdd" text of the value's date; "" when the value is out of range.
std::string hostDateToYmd(double value);
// Exactly eight digits forming a valid date; false otherwise.
[[nodiscard]] bool ymdToCalendar(std::string_view text, CalendarDate* date);
[[nodiscard]] bool ymdToHostDate(std::string_view text, double* value);
std::string calendarToYmd(const CalendarDate& date);

}  // namespace talvex::common
