#include <gtest/gtest.h>

#include <string>

#include "conversions/conversions.h"

namespace talvex::tabmend::conversions {
namespace {

TEST(UpinForm, AcceptsOnlyCapitalLetterPatternsOfSix) {
  for (const char* yes : {"B12345", "AB1234", "ABC123"}) EXPECT_TRUE(IsUpinForm(yes)) << yes;
  for (const char* no : {"b12345", "Ab1234", "ABCD12", "B1234", "B123456", "123456", "B12A45",
                         "B 2345", ""}) {
    EXPECT_FALSE(IsUpinForm(no)) << no;
  }
}

TEST(NarrativeLines, ShortLinesStayRowsAndBlankLinesVanish) {
  EXPECT_EQ(SplitNarrativeLines("ONE\r\nTWO\r\n\r\n  THREE  "),
            (std::vector<std::string>{"ONE", "TWO", "THREE"}));
  EXPECT_EQ(SplitNarrativeLines("A\tB\x7f" "C"), (std::vector<std::string>{"ABC"}));
  EXPECT_TRUE(SplitNarrativeLines(" \r\n ").empty());
}

TEST(NarrativeLines, ALongLineWrapsEveryLineAtEighty) {
  const std::string line(200, 'X');
  auto rows = SplitNarrativeLines(line);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].size(), 80u);
  EXPECT_EQ(rows[1].size(), 80u);
  EXPECT_EQ(rows[2].size(), 40u);
  // With one long line the short ones are joined into the wrapped text too.
  rows = SplitNarrativeLines("HEAD\r\n" + std::string(81, 'Y'));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], "HEAD " + std::string(75, 'Y'));
  EXPECT_EQ(rows[1], std::string(6, 'Y'));
}

TEST(NarrativeLines, TextPastTheFiftiethLineIsCarried) {
  std::string text;
  for (int i = 1; i <= 55; ++i) text += "L" + std::to_string(i) + (i < 55 ? "\r\n" : "");
  const auto rows = SplitNarrativeLines(text);
  std::string all;
  for (const auto& r : rows) {
    EXPECT_LE(r.size(), 80u);
    all += r;
  }
  // Rows break inside words, so compare the text without its blanks.
  std::string want;
  for (int i = 1; i <= 55; ++i) want += "L" + std::to_string(i);
  std::erase(all, ' ');
  EXPECT_EQ(all, want);
  // Exactly 49 pairs: the fiftieth segment is kept as well.
  text.clear();
  for (int i = 1; i <= 50; ++i) text += "M" + std::to_string(i) + (i < 50 ? "\r\n" : "");
  const auto fifty = SplitNarrativeLines(text);
  std::string joined;
  for (const auto& r : fifty) joined += r;
  EXPECT_NE(joined.find("M50"), std::string::npos);
}

TEST(NarrativeText, JoinsLinesAndBlanksControls) {
  EXPECT_EQ(CleanNarrativeText("FIRST LINE\r\nSECOND\tPART\r\n"), "FIRST LINE SECOND PART");
  EXPECT_EQ(CleanNarrativeText("A\x01\xe9Z"), "A  Z");
  EXPECT_EQ(CleanPieceText(" \x01X\xe9Y "), "XY");
}

}  // namespace
}  // namespace talvex::tabmend::conversions
