// Reading the host release from the caller's text.
#include <gtest/gtest.h>

#include "driver/host_version.h"

namespace talvex::tabmend {
namespace {

TEST(ParseVersionText, AcceptsFourDecimalPartsWithBlanksAroundEach) {
  EXPECT_EQ(ParseVersionText("2.45.0.300"), (HostVersion{2, 45, 0, 300}));
  EXPECT_EQ(ParseVersionText(" \t2.49.0.100\r\n"), (HostVersion{2, 49, 0, 100}));
  EXPECT_EQ(ParseVersionText("2 . 49 .0. 100"), (HostVersion{2, 49, 0, 100}));
  EXPECT_EQ(ParseVersionText("65535.0.0.65535"), (HostVersion{65535, 0, 0, 65535}));
  EXPECT_EQ(ParseVersionText("007.1.0.0"), (HostVersion{7, 1, 0, 0}));
}

TEST(ParseVersionText, RefusesWrongShapesAndValuesOutOfRange) {
  for (const char* text : {"", "2.45.0", "2.45.0.300.1", "70000.1.0.0", "1.x.0.0", "-1.0.0.0",
                           "1.65.0.-100", "1..0.0", "1.65.0.", ".65.0.100", "1.65.0.100a",
                           "1.65 0.0.100", "0x10.0.0.0", "99999999999999999999.0.0.0"}) {
    EXPECT_FALSE(ParseVersionText(text).has_value()) << '"' << text << '"';
  }
}

TEST(FormatHostVersion, PlainDecimalJoinedByDots) {
  EXPECT_EQ(FormatHostVersion({1, 70, 1, 100}), "1.70.1.100");
  EXPECT_EQ(FormatHostVersion({0, 0, 0, 0}), "0.0.0.0");
}

}  // namespace
}  // namespace talvex::tabmend
