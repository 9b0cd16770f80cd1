#include <gtest/gtest.h>

#include "qmrbsrst/settings/npi_check.h"
#include "qmrbsrst/settings/text_fit.h"

namespace talvex::qmrbsrst {
namespace {

TEST(TextFit, FitPadsOrCuts) {
  EXPECT_EQ(FitText("AB", 6), "AB    ");
  EXPECT_EQ(FitText("CLINIC01", 6), "CLINIC");
  EXPECT_EQ(FitText("", 3), "   ");
  EXPECT_EQ(FitText("ABC", 0), "");
}

TEST(TextFit, TrimAndCut) {
  EXPECT_EQ(TrimAndCut("  abc  ", 10), "abc");
  EXPECT_EQ(TrimAndCut("  abcdef  ", 3), "abc");
  EXPECT_EQ(TrimAndCut("   ", 3), "");
  EXPECT_EQ(TrimAndCut("\tx\r\n", 3), "x");
}

TEST(TextFit, WholeNumbers) {
  int32_t v = 0;
  EXPECT_TRUE(ParseWholeNumber("12", &v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(ParseWholeNumber("  -7", &v));
  EXPECT_EQ(v, -7);
  EXPECT_TRUE(ParseWholeNumber("-2147483648", &v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_FALSE(ParseWholeNumber("2147483648", &v));
  EXPECT_FALSE(ParseWholeNumber("12 ", &v));
  EXPECT_FALSE(ParseWholeNumber("1x", &v));
  EXPECT_FALSE(ParseWholeNumber("-", &v));
  EXPECT_FALSE(ParseWholeNumber("", &v));
}

TEST(NpiCheck, ReservedTestNumbers) {
  EXPECT_TRUE(IsValidNpi("9999999980"));
  for (char d = '1'; d <= '8'; ++d) EXPECT_TRUE(IsValidNpi(std::string("999999999") + d));
  // Nine nines then 9 or 0 get the ordinary check, which both fail.
  EXPECT_FALSE(IsValidNpi("9999999999"));
  EXPECT_FALSE(IsValidNpi("9999999990"));
}

TEST(NpiCheck, LuhnCheckDigit) {
  EXPECT_TRUE(IsValidNpi("1234567893"));
  EXPECT_TRUE(IsValidNpi("1234567893   "));  // blanks at the right end are ignored
  EXPECT_FALSE(IsValidNpi(" 1234567893"));
  for (char d = '0'; d <= '9'; ++d) {
    if (d != '3') {
      EXPECT_FALSE(IsValidNpi(std::string("123456789") + d)) << d;
    }
  }
  EXPECT_TRUE(IsValidNpi("808401234567893"));
  EXPECT_FALSE(IsValidNpi("808401234567894"));
  EXPECT_FALSE(IsValidNpi("808411234567893"));  // 15 characters need the prefix
  EXPECT_FALSE(IsValidNpi("12345678A3"));
  EXPECT_FALSE(IsValidNpi("123456789"));
  EXPECT_FALSE(IsValidNpi(""));
  EXPECT_FALSE(IsValidNpi("12345678903"));
}

}  // namespace
}  // namespace talvex::qmrbsrst
