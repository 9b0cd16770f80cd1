// Number and date conversions underneath the functions.
#include <gtest/gtest.h>

#include "expr/dbase_values.h"

namespace talvex::engine::expr {
namespace {

TEST(StoredNumbers, ParseKeepsStoredDigits) {
  auto p = ParseStoredNumber("  -3.50");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->text, "-3.50");
  EXPECT_EQ(p->value, -3.5);
  EXPECT_EQ(ParseStoredNumber("      ")->text, "0");
  EXPECT_EQ(ParseStoredNumber("")->value, 0);
  EXPECT_EQ(ParseStoredNumber("  .5")->value, 0.5);
  EXPECT_EQ(ParseStoredNumber("-.5")->value, -0.5);
  EXPECT_EQ(ParseStoredNumber("+7")->text, "7");
  EXPECT_FALSE(ParseStoredNumber("*****"));
  EXPECT_FALSE(ParseStoredNumber("1 2"));
  EXPECT_FALSE(ParseStoredNumber("1e5"));
  EXPECT_FALSE(ParseStoredNumber("-"));
  EXPECT_FALSE(ParseStoredNumber("1.2.3"));
}

TEST(ComputedNumbers, FormatGivesPlainDecimalText) {
  EXPECT_EQ(FormatNumber(0), "0");
  EXPECT_EQ(FormatNumber(-0.0), "0");
  EXPECT_EQ(FormatNumber(0.1 + 0.2), "0.3");
  EXPECT_EQ(FormatNumber(-1234567), "-1234567");
  EXPECT_EQ(FormatNumber(0.05), "0.05");
  EXPECT_EQ(FormatNumber(1e20), "100000000000000000000");
  EXPECT_EQ(FormatNumber(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FormatNumber(123456789.125), "123456789.125");
}

TEST(ComputedNumbers, StrEdgeWidths) {
  EXPECT_EQ(FormatStr(5, 1, 0), "5");
  EXPECT_EQ(FormatStr(5.6, 1, 3), "6");
  EXPECT_EQ(FormatStr(-5, 1, 0), "*");
  EXPECT_EQ(FormatStr(9.96, 3, 1), " 10");
  EXPECT_EQ(FormatStr(1e300, 10, 0), "**********");
  EXPECT_EQ(FormatStr(0.001, 10, 2), "      0.00");
  EXPECT_EQ(FormatStr(-0.001, 10, 2), "      0.00");
  EXPECT_EQ(FormatStr(0.125, 5, 2), " 0.13");
  EXPECT_EQ(FormatStr(1.0 / 0.0, 3, 0), "***");
  EXPECT_EQ(RoundDecimal(-2.5, 0), -3);
  EXPECT_EQ(RoundDecimal(1.005, 2), 1.01);  // decimal value, not the binary double
}

TEST(Dates, JulianDayNumbersMatchTheIndexSamples) {
  EXPECT_EQ(DaysFromDtos("18991230"), 2415019);
  EXPECT_EQ(DaysFromDtos("19970711"), 2450641);
  EXPECT_EQ(DaysFromDtos("20000101"), 2451545);
  EXPECT_EQ(DaysFromDtos("00010101"), 1721426);
  EXPECT_EQ(DaysFromDtos("99991231"), 5373484);
  for (long jdn = 1721426; jdn < 5373485; jdn += 997) {
    std::string s = DtosFromDays(jdn);
    ASSERT_EQ(DaysFromDtos(s), jdn) << s;
  }
}

TEST(Dates, InvalidAndBlankDates) {
  EXPECT_EQ(DaysFromDtos("        "), 0);
  EXPECT_EQ(DaysFromDtos("00000000"), 0);
  EXPECT_EQ(DaysFromDtos("20230229"), 0);
  EXPECT_EQ(DaysFromDtos("20240229"), DaysFromDtos("20240301") - 1);
  EXPECT_EQ(DaysFromDtos("19001301"), 0);
  EXPECT_EQ(DaysFromDtos("1997071"), 0);
  EXPECT_EQ(DaysFromDtos("1997-7-1"), 0);
  EXPECT_EQ(DtosFromDays(0), "        ");
  EXPECT_EQ(DtosFromDays(5373485), "        ");
  EXPECT_EQ(DtocFromDays(0), "  /  /  ");
  EXPECT_EQ(DaysFromCtod("7/11/97"), 2450641);
  EXPECT_EQ(DaysFromCtod("07-11-1997"), 2450641);
  EXPECT_EQ(DaysFromCtod("  /  /  "), 0);
  EXPECT_EQ(DaysFromCtod("07/11"), 0);
  EXPECT_EQ(DaysFromCtod("07/11/97/1"), 0);
  EXPECT_EQ(DaysFromCtod("123/1/97"), 0);
  EXPECT_EQ(DaysFromCtod("99999999999999/1/97"), 0);
}

}  // namespace
}  // namespace talvex::engine::expr
