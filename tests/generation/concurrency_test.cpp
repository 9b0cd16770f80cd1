// Two workstations generate two rosters into the same claim tables at once:
// both succeed, every claim number is distinct and every claim carries
// exactly its own records.
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "roster_fixture.h"
#include "worker_process.h"


namespace talvex::qmrbsrst::testing {
namespace {

using Concurrency = RosterFixture;

TEST_F(Concurrency, TwoWorkstationsGenerateIntoTheSameTables) {
  constexpr int kLines = 500;
  WriteHeader();
  for (auto& field : header_) {
    if (field.first == "R_ROSTER") field.second = std::to_string(kRoster + 1);
  }
  WriteHeader();
  for (int i = 1; i <= kLines; ++i) {
    AddLine(i, "A" + std::to_string(i), "ALPHA", kRoster);
    AddLine(i, "B" + std::to_string(i), "BETA", kRoster + 1);
  }
  Worker first = Start(dir_, kRoster, kRunDay);
  Worker second = Start(dir_, kRoster + 1, kRunDay);
  ASSERT_NE(first, -1);
  ASSERT_NE(second, -1);
  EXPECT_EQ(Finish(first), 0);
  EXPECT_EQ(Finish(second), 0);

  auto claims = LiveClaims();
  ASSERT_EQ(claims.size(), 2u * kLines);
  std::map<int32_t, std::string> pcnOf;
  for (const StoredClaim& c : claims) {
    EXPECT_TRUE(pcnOf.emplace(c.claim, c.fields.at("C_PCN")).second) << "claim " << c.claim;
    const std::string& pcn = c.fields.at("C_PCN");
    EXPECT_EQ(c.fields.at("C_PATLNAME"), pcn[0] == 'A' ? "ALPHA" : "BETA");
  }
  std::map<int32_t, int> linesOf;
  for (const StoredClaim& l : Live("bslines", "CLAIM")) ++linesOf[l.claim];
  std::map<int32_t, std::string> payerOf;
  for (const StoredClaim& p : Live("bscpayer", "CP_CLAIM")) {
    EXPECT_TRUE(payerOf.emplace(p.claim, p.fields.at("CP_INSID")).second);
  }
  for (const auto& [claim, pcn] : pcnOf) {
    EXPECT_EQ(linesOf[claim], 2) << claim;
    EXPECT_EQ(payerOf[claim], "HIC" + pcn) << claim;
  }
  EXPECT_EQ(linesOf.size(), pcnOf.size());
  for (const char* table : {"bsclaim", "bscpayer", "bslines", "bslinesa", "bsrostln"}) {
    C4Table t = d4open(context_, (dir_ + table + ".dbf").c_str());
    ASSERT_NE(t, 0u);
    EXPECT_EQ(d4check(t), 0) << table << ": " << error4text(context_, -140);
    d4close(t);
  }
}

}  // namespace
}  // namespace talvex::qmrbsrst::testing
