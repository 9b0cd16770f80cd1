#include <set>
#include <string>

#include <gtest/gtest.h>

#include "qmrbsrst/lists/override_split.h"
#include "qmrbsrst/lists/roster_lists.h"
#include "qmrbsrst/lists/service_code_lists.h"

namespace talvex::qmrbsrst {
namespace {

struct ListCase {
  const char* type;
  size_t size;
  const char* first;
  const char* last;
};

TEST(ServiceCodeLists, LengthsFirstAndLastEntries) {
  const ListCase cases[] = {
      {"I", 37, "90630 - FLU VACC IIV4 NO PRESERV ID", nullptr},
      {"P", 23, nullptr, nullptr},
      {"H", 8, nullptr, nullptr},
      {"T", 1, "90715 - TDAP, AGES 7YRS+", "90715 - TDAP, AGES 7YRS+"},
      {"M", 1, "90734 - MENINGOCOCCAL, IM", "90734 - MENINGOCOCCAL, IM"},
      {"R", 1, "G9008 - MCCD,PHYS COOR-CARE OVRSGHT", "G9008 - MCCD,PHYS COOR-CARE OVRSGHT"},
      {"V", 277, "Q0201 - ", "91322 - SARSCOV2 VAC 50 MCG/0.5ML IM"},
  };
  for (const ListCase& c : cases) {
    auto list = ServiceCodeListFor(c.type).entries;
    ASSERT_EQ(list.size(), c.size) << c.type;
    if (c.first) {
      EXPECT_EQ(std::string(list.front()).rfind(c.first, 0), 0u) << c.type;
    }
    if (c.last) {
      EXPECT_STREQ(list.back(), c.last) << c.type;
    }
  }
  for (const char* t : {"D", "B", "C", "A", "E"}) {
    auto list = ServiceCodeListFor(t).entries;
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0], "S0315 - DISEASE MANAGEMENT PROGRAM");
  }
  for (const char* t : {"", "X", "i", "II", "V "}) {
    EXPECT_TRUE(ServiceCodeListFor(t).entries.empty()) << '"' << t << '"';
  }
}

// The codes in their order, the description form and width of every entry.
TEST(ServiceCodeLists, CodesInOrderAndEntriesWellFormed) {
  auto codes = [](std::string_view type) {
    std::string out;
    for (const char* e : ServiceCodeListFor(type).entries) out += std::string(e, 5) + " ";
    return out;
  };
  EXPECT_EQ(codes("I"),
            "90630 90653 90654 90655 90656 90657 90658 90660 90661 90662 90663 90664 90666 "
            "90667 90668 90672 90673 90674 90682 90685 90686 90687 90688 90694 90756 G9142 "
            "Q2033 Q2034 Q2035 Q2036 Q2037 Q2038 Q2039 90584 M1299 M1300 M1308 ");
  EXPECT_EQ(codes("P"),
            "90669 90670 90732 Q0239 Q0243 M0239 M0243 90677 90671 90678 90611 90622 90679 "
            "90380 90381 90683 96380 96381 90589 90623 M1304 M1305 M1306 ");
  EXPECT_EQ(codes("H"), "90740 90743 90744 90746 90747 90739 90759 87523 ");

  auto v = ServiceCodeListFor("V").entries;
  EXPECT_EQ(std::string(v[49], 5), "Q0250");
  EXPECT_EQ(std::string(v[50], 5), "M0201");
  EXPECT_EQ(std::string(v[99], 5), "M0250");
  EXPECT_EQ(std::string(v[100], 5), "91304");
  EXPECT_STREQ(v[101], "0005A - FEE COVID-19 VAC 1 RES");
  EXPECT_EQ(std::string(v[273], 5), "K1034");

  std::set<std::string> seen;
  size_t longest = 0;
  for (const char* t : {"I", "P", "H", "T", "M", "D", "R", "V"}) {
    for (std::string e : ServiceCodeListFor(t).entries) {
      ASSERT_GE(e.size(), 9u) << e;
      EXPECT_EQ(e.substr(5, 3), " - ") << e;
      EXPECT_LE(e.size() - 8, 34u) << e;
      for (char c : e) EXPECT_FALSE(c >= 'a' && c <= 'z') << e;
      EXPECT_TRUE(seen.insert(std::string(t) + e.substr(0, 5)).second) << "repeated " << e;
      longest = std::max(longest, e.size());
    }
  }
  EXPECT_EQ(longest, 42u);
  // The one entry that ends in a blank keeps it.
  auto p = ServiceCodeListFor("P").entries;
  EXPECT_STREQ(p[14], "90381 - RSV MONOC ANTB SEASN 1 ML IM ");
  EXPECT_STREQ(ServiceCodeListFor("I").entries[11], "90664 - PNEUMOCOCCAL VACC, 13 VAL IM (CPT)");
}

TEST(OverrideSplit, BarsAndBlanksNeverMakeEmptySlots) {
  EXPECT_EQ(SplitOverride("A - ONE| |B - TWO", 277, 128),
            (std::vector<std::string>{"A - ONE", "B - TWO"}));
  EXPECT_EQ(SplitOverride(" || A |  | | B || ", 277, 128),
            (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(SplitOverride(" | || |  ", 277, 128).empty());
  EXPECT_TRUE(SplitOverride("", 277, 128).empty());
  EXPECT_EQ(SplitOverride("ONLY", 277, 128), (std::vector<std::string>{"ONLY"}));
}

TEST(OverrideSplit, LimitsOfCountAndWidth) {
  std::string many;
  for (int i = 0; i < 300; ++i) many += "C" + std::to_string(i) + "|";
  std::vector<std::string> entries = SplitOverride(many, 277, 128);
  ASSERT_EQ(entries.size(), 277u);
  EXPECT_EQ(entries.front(), "C0");
  EXPECT_EQ(entries.back(), "C276");

  std::string exact(277 * 2, '|');
  for (int i = 0; i < 277; ++i) exact[i * 2] = 'X';
  EXPECT_EQ(SplitOverride(exact, 277, 128).size(), 277u);

  std::string longEntry(200, 'L');
  entries = SplitOverride(" " + longEntry + " |NEXT", 277, 128);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], std::string(128, 'L'));
  EXPECT_EQ(entries[1], "NEXT");
  // Exactly 128 characters stay whole.
  EXPECT_EQ(SplitOverride(std::string(128, 'M'), 277, 128)[0].size(), 128u);
}

TEST(ServiceCodeEntries, OverrideReplacesOnlyWhenItYieldsEntries) {
  RosterSettings s;
  s.influenzaHcpcsOverride = "90630 - MY FLU|X";
  s.covid19HcpcsOverride = " | | ";
  s.tdapHcpcsOverride = "ANY TEXT AT ALL";
  EXPECT_EQ(ServiceCodeEntries(s, "I"), (std::vector<std::string>{"90630 - MY FLU", "X"}));
  EXPECT_EQ(ServiceCodeEntries(s, "V").size(), 277u);
  EXPECT_EQ(ServiceCodeEntries(s, "T"), (std::vector<std::string>{"ANY TEXT AT ALL"}));
  EXPECT_EQ(ServiceCodeEntries(s, "P").size(), 23u);
  // Types without an override key ignore every setting.
  s.influenzaHcpcsOverride = "Z";
  EXPECT_EQ(ServiceCodeEntries(s, "R").size(), 1u);
  EXPECT_TRUE(ServiceCodeEntries(s, "Q").empty());
}

}  // namespace
}  // namespace talvex::qmrbsrst
