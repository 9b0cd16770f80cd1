// Decimal layout and parsing of field values: carries, signs, limits and the
// calendar, which the API tests reach only through a few values.
#include <gtest/gtest.h>

#include <cstring>

#include "field_value.h"

using namespace talvex::engine;

namespace {

std::string fmt(const Decimal& d, int width, int dec) {
  std::string out;
  bool fits = formatDecimal(d, width, dec, &out);
  return fits ? out : "!" + out;
}

Decimal parsed(const char* text) {
  Decimal d;
  EXPECT_TRUE(parseStoredDecimal(text, &d)) << text;
  return d;
}

TEST(FieldValue, RoundingCarriesThroughEveryDigit) {
  EXPECT_EQ(fmt(parsed("9.995"), 6, 2), " 10.00");
  EXPECT_EQ(fmt(parsed("-99.5"), 4, 0), "-100");
  EXPECT_EQ(fmt(parsed("99.5"), 2, 0), "!**");  // the carry makes it too wide
  EXPECT_EQ(fmt(parsed("0.049"), 4, 1), " 0.0");
  EXPECT_EQ(fmt(parsed("-0.049"), 4, 1), " 0.0");  // no "-0.0"
  EXPECT_EQ(fmt(parsed("-0.05"), 4, 1), "-0.1");
  EXPECT_EQ(fmt(parsed(".5"), 3, 0), "  1");
  EXPECT_EQ(fmt(parsed("12345678901234567890"), 20, 0), "12345678901234567890");
  EXPECT_EQ(fmt(decimalFromDouble(0.1 + 0.2), 5, 2), " 0.30");
  EXPECT_EQ(fmt(decimalFromDouble(1e15), 16, 0), "1000000000000000");
  EXPECT_EQ(fmt(decimalFromDouble(-1.005), 6, 2), " -1.01");  // 1.005 as typed, not as stored
  EXPECT_EQ(fmt(decimalFromLong(-2147483647 - 1), 11, 0), "-2147483648");
}

TEST(FieldValue, StoredNumbersAreStrictVALIsLenient) {
  Decimal d;
  for (const char* bad : {"1.2.3", "--1", "*****", "1e5", "12 3", "+", "."})
    EXPECT_FALSE(parseStoredDecimal(bad, &d)) << bad;
  EXPECT_TRUE(parseStoredDecimal("     ", &d));
  EXPECT_TRUE(d.isZero());
  EXPECT_DOUBLE_EQ(decimalToDouble(parsed(" +5.25 ")), 5.25);
  EXPECT_DOUBLE_EQ(decimalToDouble(parsed("-000.50")), -0.5);
  EXPECT_DOUBLE_EQ(decimalToDouble(parseLeadingDecimal("  -3.5abc")), -3.5);
  EXPECT_TRUE(parseLeadingDecimal("abc").isZero());
  EXPECT_FALSE(parseLeadingDecimal("-0").negative);
}

// A copy moves a number's bytes as they stand only when the predicate says
// the conversion would write them unchanged: a wrong "yes" changes data.
// Every width-5 text over the characters that matter is tried against the
// conversion itself, for each number of decimals.
TEST(FieldValue, NumbersMovedAsTheyStandAreExactlyWhatTheConversionWrites) {
  const char alphabet[] = {' ', '-', '+', '.', '0', '5', '9', '\0', '*'};
  const FieldDesc base{"X", 'N', 5, 0, 1, 0};
  for (int dec = 0; dec <= 3; ++dec) {
    FieldDesc f = base;
    f.dec = static_cast<uint8_t>(dec);
    int unchanged = 0, moved = 0;
    std::string text(5, ' ');
    for (int n = 0; n < 9 * 9 * 9 * 9 * 9; ++n) {
      for (int k = 0, v = n; k < 5; ++k, v /= 9) text[k] = alphabet[v % 9];
      char out[5];
      std::memset(out, '#', 5);
      const bool ok = assignFieldFromField(f, out, f, text) == AssignResult::Ok;
      const bool same = ok && std::string(out, 5) == text;
      const bool asWritten = storedNumberAsWritten(text.data(), 5, dec);
      if (asWritten) {
        ++moved;
        EXPECT_TRUE(same) << '"' << text << "\" dec " << dec;
      }
      if (same) ++unchanged;
    }
    // Every number the conversion leaves as it is goes the fast way.
    EXPECT_EQ(moved, unchanged) << "dec " << dec;
    EXPECT_GT(moved, 10);
  }
  EXPECT_TRUE(storedNumberAsWritten("  -0.5", 6, 1));
  EXPECT_FALSE(storedNumberAsWritten("  -0.0", 6, 1));
  EXPECT_FALSE(storedNumberAsWritten(" 012.5", 6, 1));
  EXPECT_FALSE(storedNumberAsWritten("  12.5", 6, 2));
  EXPECT_TRUE(storedLogicalAsWritten("?", 1));
  EXPECT_FALSE(storedLogicalAsWritten("y", 1));
  EXPECT_FALSE(storedLogicalAsWritten("T ", 2));
}

TEST(FieldValue, CalendarDates) {
  EXPECT_TRUE(validDateText("20000229"));
  EXPECT_FALSE(validDateText("19000229"));
  EXPECT_TRUE(validDateText("20240229"));
  EXPECT_FALSE(validDateText("20241301"));
  EXPECT_FALSE(validDateText("20240431"));
  EXPECT_FALSE(validDateText("00000101"));
  EXPECT_FALSE(validDateText("2024010"));
  EXPECT_FALSE(validDateText("2024O101"));
}

}  // namespace
