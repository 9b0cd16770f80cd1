// The version gate against the release table as the host's release notes
// write it ("minor: builds -> first update"), row by row, and the versions
// just beside every row, which must be refused.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include "catalogue/version_gate.h"

namespace talvex::tabmend {
namespace {

using Key = std::tuple<int, int, int>;  // major, minor, build

// "65: 100/200 → 91; 66: 100 → 94" into {(1,65,100):91, ...}.
void ParseNotes(int major, const std::string& notes, std::map<Key, int>* out) {
  std::stringstream rows(notes);
  std::string row;
  while (std::getline(rows, row, ';')) {
    const size_t colon = row.find(':');
    const int minor = std::stoi(row.substr(0, colon));
    std::stringstream alternatives(row.substr(colon + 1));
    std::string alt;
    while (std::getline(alternatives, alt, ',')) {
      const size_t arrow = alt.find("→");
      const int first = std::stoi(alt.substr(arrow + std::string("→").size()));
      std::stringstream builds(alt.substr(0, arrow));
      std::string build;
      while (std::getline(builds, build, '/')) (*out)[{major, minor, std::stoi(build)}] = first;
    }
  }
}

std::map<Key, int> ExpectedGate() {
  std::map<Key, int> rows;
  ParseNotes(1, "65: 100/200 → 91; 66: 100 → 94; 67: 100/200 → 94; 68: 100 → 97; 69: 100/200 → 99; 70: 100 → 105; 71: 100/200 → 110; 72: 100 → 118; 73: 100/200 → 119; 74: 100 → 121; 75: 100/200 → 122; 76: 100 → 127; 77: 100/200 → 127; 78: 100 → 128; 79: 100/200 → 128; 80: 100 → 133; 81: 100/200 → 134; 82: 100 → 136; 83: 100 → 136, 200/300 → 139; 84: 100 → 141; 85: 100/200/300 → 143; 86: 100 → 145; 87: 100 → 146, 200 → 147; 88: 100 → 147; 89: 100 → 148, 200 → 150; 90: 100 → 150; 91: 100/200 → 150; 92: 100 → 152; 93: 100/200 → 152; 94: 100 → 152; 95: 100/200 → 152; 96: 100 → 153; 97: 100/200 → 153; 98: 100 → 153", &rows);
  ParseNotes(2, "7: 0 → 202; 8: 0 → 203; 9: 0 → 203; 11: 100/200 → 165; 12: 100 → 165; 13: 100/200 → 165; 14: 100 → 165; 15: 100/200 → 165; 16: 100 → 177; 17: 100 → 177, 200 → 179; 18: 100 → 179; 19: 100/200 → 179; 20: 100 → 180; 21: 100/200 → 180; 22: 100 → 181; 23: 100/200 → 181; 24: 100 → 187, 200 → 192; 25: 100/200 → 192; 26: 100/200 → 192; 27: 100/200 → 192; 28: 100 → 192; 29: 100/200 → 192; 30: 100 → 194; 31: 100 → 194; 32: 100 → 199; 33: 100/200 → 199; 34: 100 → 199; 35: 100/200 → 199; 36: 100 → 200; 37: 100/200 → 200; 38: 100 → 200; 39: 100/200 → 200; 40: 100 → 200; 41: 100/200 → 200; 42: 100 → 200; 43: 100/200 → 200; 44: 100 → 200; 45: 100/200 → 200, 300 → 201; 46: 100 → 201; 47: 100/200 → 201; 48: 100 → 201; 49: 100/200 → 202; 50: 100 → 202; 51: 100/200 → 202; 52: 100 → 202; 53: 100/200 → 202; 54: 100 → 202; 55: 100/200 → 202; 56: 100 → 202; 57: 100/200/300 → 202; 58: 100 → 202; 60: 100 → 202", &rows);
  for (int minor = 0; minor <= 1; ++minor) rows[{3, minor, 0}] = 203;
  for (int minor = 2; minor <= 9; ++minor) rows[{3, minor, 0}] = 0;  // nothing to run
  for (int minor = 0; minor <= 9; ++minor) {
    rows[{4, minor, 0}] = 203;
    rows[{5, minor, 0}] = 203;
    rows[{6, minor, 0}] = 203;
  }
  for (int minor : {4, 6, 8, 9}) rows[{4, minor, 100}] = 203;
  for (int minor = 0; minor <= 2; ++minor) rows[{7, minor, 0}] = 203;
  return rows;
}

std::optional<GateAnswer> Look(int major, int minor, int release, int build) {
  return LookUpVersionGate(HostVersion{static_cast<uint16_t>(major), static_cast<uint16_t>(minor),
                                       static_cast<uint16_t>(release),
                                       static_cast<uint16_t>(build)});
}

TEST(VersionGate, EveryReleaseOfTheNotesMapsToItsFirstUpdate) {
  const auto expected = ExpectedGate();
  ASSERT_EQ(expected.size(), 179u);  // 132 rows of majors 1 and 2, 47 of the later ones
  for (const auto& [key, first] : expected) {
    const auto [major, minor, build] = key;
    SCOPED_TRACE(std::to_string(major) + "." + std::to_string(minor) + ".0." + std::to_string(build));
    auto answer = Look(major, minor, 0, build);
    ASSERT_TRUE(answer.has_value());
    if (first == 0) {
      EXPECT_FALSE(answer->runs);
    } else {
      EXPECT_TRUE(answer->runs);
      EXPECT_EQ(answer->first, first);
    }
  }
}

TEST(VersionGate, EverythingElseIsRefused) {
  const auto expected = ExpectedGate();
  int accepted = 0;
  // Every build in 0..400 step 100 of every minor 0..99 of majors 0..9, and
  // a release other than 0 for each accepted one.
  for (int major = 0; major <= 9; ++major) {
    for (int minor = 0; minor <= 99; ++minor) {
      for (int build = 0; build <= 400; build += 100) {
        const bool listed = expected.count({major, minor, build}) != 0;
        EXPECT_EQ(Look(major, minor, 0, build).has_value(), listed)
            << major << "." << minor << ".0." << build;
        EXPECT_FALSE(Look(major, minor, 1, build).has_value());
        accepted += listed ? 1 : 0;
      }
      EXPECT_FALSE(Look(major, minor, 0, 150).has_value());
    }
  }
  EXPECT_EQ(accepted, static_cast<int>(expected.size()));
  EXPECT_FALSE(Look(2, 59, 0, 100).has_value());
  EXPECT_FALSE(Look(2, 24, 0, 300).has_value());
  EXPECT_FALSE(Look(8, 0, 0, 0).has_value());
  EXPECT_FALSE(Look(1, 70, 1, 100).has_value());
}

}  // namespace
}  // namespace talvex::tabmend
