#include "common/text/host_date.h"

#include <cmath>
#include <cstdint>

namespace talvex::common {
namespace {

constexpr int64_t kMsPerDay = 86400000;
// Day numbers of 0001-01-01 and 9999-12-31 counted from 1899-12-30.
constexpr int64_t kMinDay = -693593;
constexpr int64_t kMaxDay = 2958465;

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

CalendarDate civilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return CalendarDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// 1899-12-30 is day -25569 counted from 1970-01-01.
constexpr int64_t kHostEpoch = -25569;

}  // namespace

int daysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

bool isValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && day >= 1 && day <= daysInMonth(year, month);
}

bool hostDateFromCalendar(const CalendarDate& date, double* value) {
  if (!isValidDate(date.year, date.month, date.day)) return false;
  *value = static_cast<double>(daysFromCivil(date.year, static_cast<unsigned>(date.month),
                                             static_cast<unsigned>(date.day)) -
                               kHostEpoch);
  return true;
}

bool calendarFromHostDate(double value, CalendarDate* date, TimeOfDay* time) {
  if (!std::isfinite(value) || value < kMinDay - 1.0 || value > kMaxDay + 1.0) return false;
  // Round the whole value to the millisecond first, so the time never reads
  // 24:00 and a value just below midnight belongs to the next day.
  int64_t total = std::llround(value * static_cast<double>(kMsPerDay));
  int64_t day = total / kMsPerDay;  // toward zero: the fraction is the time either side
  int64_t ms = (total < 0 ? -total : total) % kMsPerDay;
  if (day < kMinDay || day > kMaxDay) return false;
  if (date) *date = civilFromDays(day + kHostEpoch);
  if (time) {
    time->hour = static_cast<int>(ms / 3600000);
    time->minute = static_cast<int>(ms / 60000 % 60);
    time->second = static_cast<int>(ms / 1000 % 60);
    time->millisecond = static_cast<int>(ms % 1000);
  }
  return true;
}

std::string calendarToYmd(const CalendarDate& d) {
  if (!isValidDate(d.year, d.month, d.day)) return {};
  char buf[9];
  int v[] = {d.year / 1000, d.year / 100 % 10, d.year / 10 % 10, d.year % 10,
             d.month / 10,  d.month % 10,      d.day / 10,       d.day % 10};
  for (int i = 0; i < 8; ++i) buf[i] = static_cast<char>('0' + v[i]);
  return std::string(buf, 8);
}

std::string hostDateToYmd(double value) {
  CalendarDate d;
  return calendarFromHostDate(value, &d) ? calendarToYmd(d) : std::string();
}

bool ymdToCalendar(std::string_view text, CalendarDate* date) {
  if (text.size() != 8) return false;
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v[i] = text[i] - '0';
  }
  CalendarDate d{v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7]};
  if (!isValidDate(d.year, d.month, d.day)) return false;
  *date = d;
  return true;
}

bool ymdToHostDate(std::string_view text, double* value) {
  CalendarDate d;
  return ymdToCalendar(text, &d) && hostDateFromCalendar(d, value);
}

}  // namespace talvex::common
