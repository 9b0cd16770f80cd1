#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale>

#include "common/text/claim_key.h"
#include "common/text/host_date.h"
#include "common/text/length_prefixed.h"
#include "common/text/number_format.h"
#include "temp_dir.h"

namespace {

using namespace talvex::common;

TEST(LengthPrefixed, ReadsNeverPastCapacityOrBuffer) {
  unsigned char rec[8] = {200, 'a', 'b', 'c', 'd', 'e', 'f', 'g'};
  EXPECT_EQ(readLengthPrefixed(rec, 5, sizeof rec), "abcde");   // length byte lies: N caps it
  EXPECT_EQ(readLengthPrefixed(rec, 50, sizeof rec), "abcdefg");  // the buffer caps it
  EXPECT_EQ(readLengthPrefixed(rec, 50, 3), "ab");
  EXPECT_EQ(readLengthPrefixed(rec, 50, 0), "");
  EXPECT_EQ(readLengthPrefixed(nullptr, 5, 8), "");
  rec[0] = 2;
  EXPECT_EQ(readLengthPrefixed(rec, 5, sizeof rec), "ab");
  rec[0] = 0;
  EXPECT_EQ(readLengthPrefixed(rec, 5, sizeof rec), "");
}

TEST(LengthPrefixed, WritesCutAndClear) {
  unsigned char rec[12];
  std::memset(rec, 'X', sizeof rec);
  EXPECT_EQ(writeLengthPrefixed(rec, 5, 10, "abcdefgh"), 5u);
  EXPECT_EQ(rec[0], 5);
  EXPECT_EQ(std::memcmp(rec + 1, "abcde", 5), 0);
  EXPECT_EQ(rec[6], 'X');  // nothing beyond N + 1 bytes is touched
  EXPECT_EQ(writeLengthPrefixed(rec, 5, 10, "ab"), 2u);
  EXPECT_EQ(std::memcmp(rec, "\2ab\0\0\0X", 7), 0);
  EXPECT_EQ(writeLengthPrefixed(rec, 50, 4, "abcdef"), 3u);  // the buffer ends first
  EXPECT_EQ(rec[4], 0);  // untouched from the write before
  EXPECT_EQ(writeLengthPrefixed(rec, 5, 0, "abc"), 0u);

  std::string big(300, 'z');
  unsigned char wide[300];
  EXPECT_EQ(writeLengthPrefixed(wide, 255, sizeof wide, big), 255u);
  EXPECT_EQ(wide[0], 255);
}

TEST(LengthPrefixed, ShortStringInAPackedRecord) {
#pragma pack(push, 1)
  struct Record {
    int32_t before;
    ShortString<8> name;
    int32_t after;
  };
#pragma pack(pop)
  static_assert(sizeof(Record) == 4 + 9 + 4);
  Record r{0x11111111, {}, 0x22222222};
  EXPECT_EQ(r.name.assign("PATIENT NAME"), 8u);
  EXPECT_EQ(r.name.str(), "PATIENT ");
  int32_t after = r.after;  // a copy: the packed member is not aligned
  EXPECT_EQ(after, 0x22222222);
  r.name.length = 250;  // garbage from the caller
  EXPECT_EQ(r.name.str().size(), 8u);
}

TEST(HostDate, KnownDaysAndTheEpoch) {
  double v = -1;
  ASSERT_TRUE(hostDateFromCalendar({1899, 12, 30}, &v));
  EXPECT_EQ(v, 0.0);
  ASSERT_TRUE(hostDateFromCalendar({2000, 2, 29}, &v));
  EXPECT_EQ(v, 36585.0);
  ASSERT_TRUE(hostDateFromCalendar({1900, 3, 1}, &v));
  EXPECT_EQ(v, 61.0);  // 1900 is no leap year here
  ASSERT_TRUE(hostDateFromCalendar({1, 1, 1}, &v));
  EXPECT_EQ(v, -693593.0);
  ASSERT_TRUE(hostDateFromCalendar({9999, 12, 31}, &v));
  EXPECT_EQ(v, 2958465.0);
  EXPECT_FALSE(hostDateFromCalendar({2023, 2, 29}, &v));
  EXPECT_FALSE(hostDateFromCalendar({2024, 13, 1}, &v));
  EXPECT_FALSE(hostDateFromCalendar({0, 1, 1}, &v));
  EXPECT_FALSE(hostDateFromCalendar({10000, 1, 1}, &v));
  EXPECT_TRUE(isValidDate(2024, 2, 29));
  EXPECT_FALSE(isValidDate(2100, 2, 29));
  EXPECT_EQ(daysInMonth(2000, 2), 29);
  EXPECT_EQ(daysInMonth(2000, 0), 0);
}

TEST(HostDate, FractionIsTheTimeOnBothSidesOfTheEpoch) {
  CalendarDate d;
  TimeOfDay t;
  ASSERT_TRUE(calendarFromHostDate(36585.75, &d, &t));
  EXPECT_EQ(d, (CalendarDate{2000, 2, 29}));
  EXPECT_EQ(t, (TimeOfDay{18, 0, 0, 0}));
  ASSERT_TRUE(calendarFromHostDate(-1.25, &d, &t));
  EXPECT_EQ(d, (CalendarDate{1899, 12, 29}));
  EXPECT_EQ(t, (TimeOfDay{6, 0, 0, 0}));
  // Just below midnight rounds into the next day, never to 24:00.
  ASSERT_TRUE(calendarFromHostDate(36585.0 + 86399.9996 / 86400.0, &d, &t));
  EXPECT_EQ(d, (CalendarDate{2000, 3, 1}));
  EXPECT_EQ(t, (TimeOfDay{0, 0, 0, 0}));
  ASSERT_TRUE(calendarFromHostDate(45000.0 + 45296.789 / 86400.0, &d, &t));
  EXPECT_EQ(t, (TimeOfDay{12, 34, 56, 789}));
  EXPECT_FALSE(calendarFromHostDate(std::nan(""), &d));
  EXPECT_FALSE(calendarFromHostDate(std::numeric_limits<double>::infinity(), &d));
  EXPECT_FALSE(calendarFromHostDate(2958466.0, &d));
  EXPECT_FALSE(calendarFromHostDate(-693594.0, &d));
  EXPECT_TRUE(calendarFromHostDate(2958465.5, &d));
}

TEST(HostDate, RoundTripsEveryDayThroughYmdText) {
  // Every 37th day across the whole range at noon (before the epoch the
  // fraction counts away from zero).
  for (int64_t day = -693593; day <= 2958465; day += 37) {
    double noon = static_cast<double>(day) + (day < 0 ? -0.5 : 0.5);
    std::string ymd = hostDateToYmd(noon);
    ASSERT_EQ(ymd.size(), 8u) << day;
    double back = 0;
    ASSERT_TRUE(ymdToHostDate(ymd, &back)) << ymd;
    ASSERT_EQ(back, static_cast<double>(day)) << ymd;
  }
  EXPECT_EQ(hostDateToYmd(-693593.0), "00010101");
  EXPECT_EQ(hostDateToYmd(2958465.0), "99991231");
  EXPECT_EQ(hostDateToYmd(1e9), "");
}

TEST(HostDate, YmdTextMustBeExactlyAValidDate) {
  CalendarDate d;
  EXPECT_TRUE(ymdToCalendar("20240229", &d));
  EXPECT_EQ(d, (CalendarDate{2024, 2, 29}));
  for (const char* bad : {"20230229", "2024022", "202402290", "2024-2-9", "        ", "2024 229",
                          "00000101", "20241301", "20240100", ""})
    EXPECT_FALSE(ymdToCalendar(bad, &d)) << bad;
  EXPECT_EQ(calendarToYmd({987, 6, 5}), "09870605");
  EXPECT_EQ(calendarToYmd({2024, 2, 30}), "");
}

TEST(ClaimKeys, RightAlignedInTenCharacters) {
  EXPECT_EQ(ClaimKey(1), "         1");
  EXPECT_EQ(ClaimKey(1234567890), "1234567890");
  EXPECT_EQ(ClaimKey(2147483647), "2147483647");
  EXPECT_EQ(ClaimKey(0), "         0");
  EXPECT_EQ(ClaimKey(-5), "        -5");
  EXPECT_EQ(ClaimKey(-999999999), "-999999999");
  EXPECT_EQ(ClaimKey(-1000000000), "**********");
  EXPECT_EQ(ClaimTypeKey(42, "CL", 4), "        42CL  ");
  EXPECT_EQ(ClaimTypeKey(42, "REFCX", 4), "        42REFC");
  EXPECT_EQ(padLeft("12345", 3), "345");
  EXPECT_EQ(padLeft("7", 3), "  7");
  EXPECT_EQ(padRight("ab", 0), "");
}

TEST(NumberFormat, FixedConventions) {
  EXPECT_EQ(formatCurrency(1234.5), "$1,234.50");
  EXPECT_EQ(formatCurrency(-1234.5), "($1,234.50)");
  EXPECT_EQ(formatCurrency(0), "$0.00");
  EXPECT_EQ(formatCurrency(-0.004), "$0.00");  // rounds to zero: no parentheses
  EXPECT_EQ(formatCurrency(999999.995), "$1,000,000.00");
  EXPECT_EQ(formatCurrency(2.675), "$2.68");  // as written, not as the binary value
  EXPECT_EQ(formatCurrency(1e15), "$1,000,000,000,000,000.00");
  EXPECT_EQ(formatNumber(-2.5, 0), "-3");
  EXPECT_EQ(formatNumber(0.125, 2), "0.13");
  EXPECT_EQ(formatNumber(1234567.891, 1, true), "1,234,567.9");
  EXPECT_EQ(formatNumber(12, 3), "12.000");
  EXPECT_EQ(formatNumber(std::nan(""), 2), "");
  EXPECT_EQ(formatNumber(1, 16), "");
  EXPECT_EQ(formatShortDate({2024, 2, 9}), "02/09/2024");
  EXPECT_EQ(formatShortDate({24, 12, 31}), "12/31/0024");
  EXPECT_EQ(formatShortDate({2024, 2, 30}), "");
}

TEST(NumberFormat, ParsingAcceptsTheSameForms) {
  double v = 0;
  ASSERT_TRUE(parseNumber(" 1,234.50 ", &v));
  EXPECT_EQ(v, 1234.5);
  ASSERT_TRUE(parseNumber("($1,234.50)", &v));
  EXPECT_EQ(v, -1234.5);
  ASSERT_TRUE(parseNumber("-.5", &v));
  EXPECT_EQ(v, -0.5);
  for (const char* bad : {"", "  ", "1.2.3", "12,5.0,1", "abc", "1e5", "(-1)", ",5", "$"})
    EXPECT_FALSE(parseNumber(bad, &v)) << bad;
  CalendarDate d;
  ASSERT_TRUE(parseShortDate("2/9/2024", &d));
  EXPECT_EQ(d, (CalendarDate{2024, 2, 9}));
  ASSERT_TRUE(parseShortDate("12/31/1999", &d));
  for (const char* bad : {"02/30/2024", "2/9/24", "13/01/2024", "02-09-2024", "02/09/2024x"})
    EXPECT_FALSE(parseShortDate(bad, &d)) << bad;
}

// Switches the C locale (and the global C++ locale) to one whose decimal
// separator is a comma, for the life of the object.
class CommaLocale {
 public:
  CommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "German"})
      if (std::setlocale(LC_ALL, name)) return;
#ifndef _WIN32
    // The machine has no such locale installed: build one for this process.
    std::string cmd = "localedef -i de_DE -f UTF-8 '" + dir_.native("de_DE.UTF-8") +
                      "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) >= 0) {
      setenv("LOCPATH", dir_.native().c_str(), 1);
      std::setlocale(LC_ALL, "de_DE.UTF-8");
    }
#endif
  }
  ~CommaLocale() {
    std::setlocale(LC_ALL, "C");
#ifndef _WIN32
    unsetenv("LOCPATH");
#endif
  }

 private:
  talvex::testing::TempDir dir_;
};

TEST(NumberFormat, DoesNotFollowTheProcessLocale) {
  CommaLocale german;
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  ASSERT_STREQ(probe, "1,5") << "a comma-decimal locale is needed for this test";

  EXPECT_EQ(formatCurrency(-1234.5), "($1,234.50)");
  EXPECT_EQ(formatNumber(0.5, 2), "0.50");
  double v = 0;
  ASSERT_TRUE(parseNumber("1,234.25", &v));
  EXPECT_EQ(v, 1234.25);
  EXPECT_EQ(formatShortDate({2024, 7, 4}), "07/04/2024");
  EXPECT_EQ(hostDateToYmd(45477.0), "20240704");
}

}  // namespace
