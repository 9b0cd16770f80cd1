#include "qmrbsrst/settings/icd_rules.h"

#include <cmath>

#include <gtest/gtest.h>

#include "common/text/host_date.h"

namespace talvex::qmrbsrst {
namespace {

int32_t Day(int y, int m, int d) {
  double v = 0;
  EXPECT_TRUE(talvex::common::hostDateFromCalendar({y, m, d}, &v));
  return static_cast<int32_t>(v);
}

IcdRuleList Build(std::string_view text) {
  IcdRuleList list;
  BuildIcdRuleList(text, &list);
  return list;
}

TEST(IcdRuleList, IcdTenStartDayIsFirstOctober2015) {
  EXPECT_EQ(kIcd10StartDay, Day(2015, 10, 1));
}

TEST(IcdRuleList, ColonFieldsWhenNoSemicolon) {
  IcdRuleList list = Build("MCB:12345:20140101:20150930:9:0 | MCD::20150101::0:2");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].claimType, "MCB");
  EXPECT_EQ(list[0].payerId, "12345");
  EXPECT_EQ(list[0].startDay, Day(2014, 1, 1));
  ASSERT_TRUE(list[0].endDay.has_value());
  EXPECT_EQ(*list[0].endDay, Day(2015, 9, 30));
  EXPECT_TRUE(list[0].icd9);
  EXPECT_FALSE(list[0].alternate);
  EXPECT_EQ(list[1].claimType, "MCD");
  EXPECT_FALSE(list[1].endDay.has_value());
  EXPECT_FALSE(list[1].icd9);
  EXPECT_TRUE(list[1].alternate);
}

TEST(IcdRuleList, OneSemicolonAnywhereMakesSemicolonTheSeparator) {
  // The first entry is written with ":" but the text holds a ";": it becomes
  // one field (a type longer than 3) and is dropped.
  IcdRuleList list = Build("MCB:1:20150101::9:0|MCD;;20150101;;9;0");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].claimType, "MCD");
  EXPECT_TRUE(list[0].icd9);
}

TEST(IcdRuleList, MalformedEntriesAreDropped) {
  const char* bad[] = {
      "MCB:1:20150101::9",          // no flags field
      "MCB:1:20150101::9:x",        // flags not a number
      "MCB:1:20150101::9:-1",       // flags below 0
      "MCBX:1:20150101::9:0",       // type longer than 3
      ":12345:20150101::9:0",       // payer without type
      "MCB:1:20150230::9:0",        // start not a calendar date
      "MCB:1:2015011::9:0",         // start too short
      "MCB:1:::9:0",                // no start
      "MCB:1:20150101:20141231:9:0",  // end before start
  };
  for (const char* entry : bad) EXPECT_TRUE(Build(entry).empty()) << entry;
  // An end date that is not a date counts as none: the rule is open-ended.
  IcdRuleList open = Build("MCB:1:20150101:2015XX01:9:0");
  ASSERT_EQ(open.size(), 1u);
  EXPECT_FALSE(open[0].endDay.has_value());
  // Empty entries, blanks and bars around them are skipped.
  EXPECT_EQ(Build(" | | MCB:1:20150101::9:0 || ").size(), 1u);
  EXPECT_TRUE(Build("").empty());
}

TEST(IcdRuleList, BuildEmptiesTheListFirst) {
  IcdRuleList list = Build("MCB:1:20150101::9:0");
  BuildIcdRuleList("garbage", &list);
  EXPECT_TRUE(list.empty());
}

TEST(IcdRuleList, SortedByKeyAndDuplicatesKept) {
  IcdRuleList list = Build(
      "MCD::20160101::0:0|mcb:9:20150101::0:0|MCB:9:20140101::9:0|MCB:9:20140101::0:0|"
      "MCB:9:20130101::9:2");
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0].sortKey, "MCB9        020140101");
  EXPECT_EQ(list[1].sortKey, "MCB9        020140101");
  EXPECT_TRUE(list[0].icd9);   // equal keys keep the order of the text
  EXPECT_FALSE(list[1].icd9);
  EXPECT_EQ(list[2].sortKey, "MCB9        020150101");  // "mcb" sorts as "MCB"
  EXPECT_EQ(list[3].sortKey, "MCB9        120130101");
  EXPECT_EQ(list[4].sortKey, "MCD         020160101");
  // Types and payers longer than their key width are cut in the key only.
  IcdRuleList longPayer = Build("MC:1234567890AB:20150101::0:0");
  ASSERT_EQ(longPayer.size(), 1u);
  EXPECT_EQ(longPayer[0].payerId, "1234567890AB");
  EXPECT_EQ(longPayer[0].sortKey, "MC 123456789020150101");
}

TEST(IcdRuleList, HugeAndHostileTextsAreHandled) {
  std::string text;
  while (text.size() < 100000) text += "MCB:1:20150101::9:0|";
  EXPECT_EQ(Build(text).size(), 100000u / 20);
  std::string noise(100000, ':');
  EXPECT_TRUE(Build(noise).empty());
  std::string bars(100000, '|');
  EXPECT_TRUE(Build(bars).empty());
}

TEST(IcdDecision, FallbackAroundFirstOctober2015) {
  IcdRuleList none;
  IcdDecision before = DecideIcdVersion(none, "MCB", "12345", Day(2015, 9, 30), false);
  EXPECT_FALSE(before.decided);
  IcdDecision on = DecideIcdVersion(none, "MCB", "12345", Day(2015, 10, 1), false);
  EXPECT_TRUE(on.decided);
  EXPECT_FALSE(on.icd9);
  // A time of day on 30 September is still 30 September.
  EXPECT_FALSE(DecideIcdVersionForDate(none, "MCB", "1", Day(2015, 9, 30) + 0.999, false).decided);
  EXPECT_TRUE(DecideIcdVersionForDate(none, "MCB", "1", Day(2015, 10, 1) + 0.25, false).decided);
}

TEST(IcdDecision, ExactRuleDecidesWithinItsRange) {
  IcdRuleList list = Build("MCB:12345:20100101:20160630:9:0");
  IcdDecision d = DecideIcdVersion(list, " MCB ", " 12345 ", Day(2016, 1, 1), false);
  EXPECT_TRUE(d.decided);
  EXPECT_TRUE(d.icd9);
  // Start and end days both belong to the range.
  EXPECT_TRUE(DecideIcdVersion(list, "MCB", "12345", Day(2010, 1, 1), false).icd9);
  EXPECT_TRUE(DecideIcdVersion(list, "MCB", "12345", Day(2016, 6, 30), false).icd9);
  EXPECT_FALSE(DecideIcdVersion(list, "MCB", "12345", Day(2016, 7, 1), false).icd9);
}

TEST(IcdDecision, GroupThatMissesTheDateEndsTheSearch) {
  // The wider rule (type only) would cover 2016, but the exact group is found
  // first walking down and does not cover the date: no decision from rules,
  // so the date fallback answers (ICD-10 after October 2015, undecided before).
  IcdRuleList list = Build("MCB::20000101::9:0|MCB:12345:20100101:20101231:9:0");
  IcdDecision d = DecideIcdVersion(list, "MCB", "12345", Day(2016, 1, 1), false);
  EXPECT_TRUE(d.decided);
  EXPECT_FALSE(d.icd9);
  EXPECT_FALSE(DecideIcdVersion(list, "MCB", "12345", Day(2012, 1, 1), false).decided);
  // Another payer reaches the wider rule.
  IcdDecision other = DecideIcdVersion(list, "MCB", "999", Day(2016, 1, 1), false);
  EXPECT_TRUE(other.decided);
  EXPECT_TRUE(other.icd9);
}

TEST(IcdDecision, LatestStartOfTheGroupFirst) {
  IcdRuleList list = Build("MCB:1:20100101::9:0|MCB:1:20151001::0:0");
  EXPECT_FALSE(DecideIcdVersion(list, "MCB", "1", Day(2016, 1, 1), false).icd9);
  IcdDecision older = DecideIcdVersion(list, "MCB", "1", Day(2012, 1, 1), false);
  EXPECT_TRUE(older.decided);
  EXPECT_TRUE(older.icd9);
  EXPECT_FALSE(DecideIcdVersion(list, "MCB", "1", Day(2009, 1, 1), false).decided);
}

TEST(IcdDecision, PayerPrefixNeedsSixCharacters) {
  IcdRuleList list = Build("MCB:123:20000101::9:0");
  EXPECT_TRUE(DecideIcdVersion(list, "MCB", "123456", Day(2016, 1, 1), false).icd9);
  // Five characters are too few to match by prefix.
  IcdDecision shortPayer = DecideIcdVersion(list, "MCB", "12345", Day(2016, 1, 1), false);
  EXPECT_TRUE(shortPayer.decided);
  EXPECT_FALSE(shortPayer.icd9);
  EXPECT_FALSE(DecideIcdVersion(list, "MCB", "12499999", Day(2016, 1, 1), false).icd9);
}

TEST(IcdDecision, CatchAllRuleAndAlternateFlag) {
  IcdRuleList list = Build("::20000101::9:0|MCB:1:20000101::0:2");
  // The alternate MCB rule is passed over when asking without the flag, so
  // the catch-all rule decides.
  EXPECT_TRUE(DecideIcdVersion(list, "MCB", "1", Day(2016, 1, 1), false).icd9);
  IcdDecision alt = DecideIcdVersion(list, "MCB", "1", Day(2016, 1, 1), true);
  EXPECT_TRUE(alt.decided);
  EXPECT_FALSE(alt.icd9);
  // A type of another kind only matches the catch-all.
  EXPECT_TRUE(DecideIcdVersion(list, "XYZ", "", Day(1990, 1, 1), false).decided == false);
  EXPECT_TRUE(DecideIcdVersion(list, "XYZ", "", Day(2001, 1, 1), false).icd9);
}

TEST(IcdDecision, NotANumberDateIsUndecided) {
  IcdRuleList list = Build("::20000101::9:0");
  EXPECT_FALSE(DecideIcdVersionForDate(list, "A", "", std::nan(""), false).decided);
  EXPECT_FALSE(DecideIcdVersionForDate(list, "A", "", 1e300, false).decided);
}

}  // namespace
}  // namespace talvex::qmrbsrst
