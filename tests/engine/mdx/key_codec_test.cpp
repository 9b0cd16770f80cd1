// Key bytes must be exactly what dBASE writes, and order as dBASE orders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "key_codec.h"
#include "mdx_test_util.h"

using namespace talvex::engine::mdx;

namespace {

TEST(KeyCodec, NumericKeysInDbaseForm) {
  const std::pair<const char*, const char*> cases[] = {
      {"0", "340100000000000000000000"},         {"1", "352910000000000000000000"},
      {"42", "362942000000000000000000"},        {"-3.5", "35a935000000000000000000"},
      {"1234567", "3b2912345670000000000000"},   {"125.00", "372912500000000000000000"},
      {"-200", "37a920000000000000000000"},      {"0.05", "332950000000000000000000"},
      {"   43", "362943000000000000000000"},     {"0.5", "342950000000000000000000"},
      {"", "340100000000000000000000"},          {"      ", "340100000000000000000000"},
      {"-0.00", "340100000000000000000000"},     {"+7", "352970000000000000000000"},
      {"1e3", "382910000000000000000000"},       {"007.250", "352972500000000000000000"},
  };
  for (auto& [text, hex] : cases) EXPECT_EQ(mdxtest::hex(encodeNumericKeyText(text)), hex) << text;
  EXPECT_EQ(encodeNumericKey(-3.5), encodeNumericKeyText("-3.5"));
  EXPECT_EQ(encodeNumericKey(0.1), encodeNumericKeyText("0.1"));  // no binary tail digits
  // More than ten digits: the length bits follow the digit count.
  EXPECT_EQ(mdxtest::hex(encodeNumericKeyText("123456789012")),
            "403112345678901200000000");
}

TEST(KeyCodec, NumericKeysDecodeAndOrderByValue) {
  const char* texts[] = {"0", "1", "-1", "0.05", "-0.05", "3.5", "-3.5", "125", "-200",
                         "1234567", "0.001", "99.99", "100", "-1000000", "12345678901234"};
  for (const char* t : texts) {
    double v = std::strtod(t, nullptr);
    EXPECT_EQ(decodeNumericKey(encodeNumericKeyText(t)), v) << t;
  }
  EXPECT_EQ(decodeNumericKeyText(encodeNumericKeyText("-0.05")), "-0.05");
  EXPECT_EQ(decodeNumericKeyText(encodeNumericKeyText("1200")), "1200");
  // Byte-wise comparison is wrong for these (zero vs small, negatives);
  // the comparator must follow the values.
  std::mt19937 rng(7);
  std::vector<double> values;
  for (const char* t : texts) values.push_back(std::strtod(t, nullptr));
  for (int i = 0; i < 300; ++i) values.push_back(double(int(rng() % 200001) - 100000) / 64.0);
  for (size_t i = 0; i < values.size(); ++i)
    for (size_t j = 0; j < values.size(); j += 7) {
      double a = values[i], b = values[j];
      int want = a < b ? -1 : (a > b ? 1 : 0);
      ASSERT_EQ(compareKeys(KeyType::Numeric, encodeNumericKey(a), encodeNumericKey(b)), want)
          << a << " vs " << b;
    }
  // Other writers put other digit counts in byte 1; only its sign bit counts.
  std::string bde = encodeNumericKeyText("42");
  bde[1] = 0x09;
  EXPECT_EQ(compareKeys(KeyType::Numeric, bde, encodeNumericKeyText("42")), 0);
  EXPECT_EQ(decodeNumericKey(bde), 42.0);
}

TEST(KeyCodec, DateKeysAreJulianDays) {
  EXPECT_EQ(julianDayNumber(1997, 7, 11), 2450641);
  EXPECT_EQ(julianDayNumber(1899, 12, 30), 2415019);
  EXPECT_EQ(julianDayNumber(2000, 1, 1), 2451545);
  EXPECT_EQ(julianDayNumber(1, 1, 1), 1721426);
  EXPECT_EQ(mdxtest::hex(encodeDateKeyText("19970711")), "0000008068b24241");
  EXPECT_EQ(mdxtest::hex(encodeDateKeyYmd(2000, 1, 1)), "000000802cb44241");
  EXPECT_EQ(decodeDateKey(blankDateKey()), 1.0e100);
  EXPECT_EQ(encodeDateKeyText("        "), blankDateKey());
  EXPECT_EQ(encodeDateKeyText("20241301"), blankDateKey());
  EXPECT_LT(compareKeys(KeyType::Date, encodeDateKeyText("29991231"), blankDateKey()), 0);
  EXPECT_LT(compareKeys(KeyType::Date, encodeDateKeyText("19991231"),
                        encodeDateKeyText("20000101")), 0);
  // Little-endian doubles: byte order would get these wrong.
  EXPECT_GT(compareKeys(KeyType::Date, encodeDateKey(2450642), encodeDateKey(2450641)), 0);
}

TEST(KeyCodec, CharacterKeysPadCutAndCompareAsBytes) {
  EXPECT_EQ(encodeCharKey("AB", 5), "AB   ");
  EXPECT_EQ(encodeCharKey("ABCDEFG", 3), "ABC");
  EXPECT_LT(compareKeys(KeyType::Character, "Z    ", "a    "), 0);  // upper before lower
  EXPECT_GT(compareKeys(KeyType::Character, "\xa5", "s"), 0);       // unsigned bytes
  EXPECT_EQ(compareKeys(KeyType::Character, "00123  ", "0012"), 0);  // prefix probe
}

}  // namespace
