// Identifier rows of the purging conversions: provider slots, tax ids,
// qualifiers and the purge that makes a second run replace instead of add.
#include "conversion_tables.h"
#include "conversions/conversions.h"

namespace talvex::tabmend::conversions::testing {
namespace {

class ProviderIds : public ConversionTables {
 protected:
  void SetUp() override {
    ConversionTables::SetUp();
    Make(oldFolder, "bcclaim", 106);
    Make(newFolder, "bcclaim", 107);
    Make(newFolder, "bcrecid", 107);
  }
  void Claim(const std::string& claim, const Row& slots) {
    Row old = slots;
    old["CLAIM"] = claim;
    Add(oldFolder, "bcclaim", old);
    Add(newFolder, "bcclaim", {{"CLAIM", claim}});
  }
  std::vector<std::string> Ids(const std::string& claim, const std::string& type) {
    std::vector<std::string> out;
    for (auto& r : RowsOfType(newFolder, "bcrecid", "ID_TYPE", type)) {
      if (r["ID_CLAIM"] == claim) out.push_back(r["ID_SEQC"] + ":" + r["ID_ID"] + "/" + r["ID_IDTP"]);
    }
    return out;
  }
};

TEST_F(ProviderIds, TaxIdAndProviderIdGiveNumberedRows) {
  Claim("1", {{"C_ATTENDLN", "DOE"}, {"C_ATTEND", "A1"}, {"C_ATTENDQ", "1G"},
              {"C_ATTENDID", "123456789"}, {"C_ATTENDTP", "S"},
              {"C_OPERPLN", "ROE"}, {"C_OPERPHYS", "O1"}, {"C_OPERPID", "99"}, {"C_OPERPTP", "E"}});
  Claim("2", {{"C_ATTEND", "A2"}, {"C_ATTENDID", "555"}});  // tax type blank: no tax row
  ASSERT_TRUE(Convert0107(oldFolder, newFolder));
  EXPECT_EQ(Ids("1", "ATTC"), (std::vector<std::string>{"1:123456789/34", "2:A1/1G"}));
  EXPECT_EQ(Ids("1", "OPRC"), (std::vector<std::string>{"1:99/24", "2:O1/"}));
  EXPECT_EQ(Ids("2", "ATTC"), (std::vector<std::string>{"1:A2/"}));
  EXPECT_TRUE(Ids("2", "OTHC").empty());
}

TEST_F(ProviderIds, SecondarySlotsMoveUpIntoTheTwoKeptSlots) {
  // 10: operating empty, both others filled: everything moves up one.
  Claim("10", {{"C_OTHER1LN", "ONE"}, {"C_OTHER1FN", "F1"}, {"C_OTHER1", "X1"},
               {"C_OTHER2LN", "TWO"}, {"C_OTHER2MI", "M"}, {"C_OTHER2", "X2"}});
  // 11: other-1 empty: other-2 becomes other-1.
  Claim("11", {{"C_OPERPLN", "OPS"}, {"C_OPERPHYS", "P"}, {"C_OTHER2LN", "LATE"},
               {"C_OTHER2", "Y2"}});
  // 12: all filled: other-2 is not carried.
  Claim("12", {{"C_OPERPLN", "A"}, {"C_OTHER1LN", "B"}, {"C_OTHER2LN", "C"}, {"C_OTHER2", "Z"}});
  ASSERT_TRUE(Convert0107(oldFolder, newFolder));
  auto claims = Rows(newFolder, "bcclaim");
  ASSERT_EQ(claims.size(), 3u);
  EXPECT_EQ(claims[0]["C_OPERPLN"], "ONE");
  EXPECT_EQ(claims[0]["C_OPERPFN"], "F1");
  EXPECT_EQ(claims[0]["C_OTHER1LN"], "TWO");
  EXPECT_EQ(claims[0]["C_OTHER1MI"], "M");
  EXPECT_EQ(Ids("10", "OPRC"), (std::vector<std::string>{"1:X1/"}));
  EXPECT_EQ(Ids("10", "OTHC"), (std::vector<std::string>{"1:X2/"}));
  EXPECT_EQ(claims[1]["C_OTHER1LN"], "LATE");
  EXPECT_EQ(Ids("11", "OPRC"), (std::vector<std::string>{"1:P/"}));
  EXPECT_EQ(Ids("11", "OTHC"), (std::vector<std::string>{"1:Y2/"}));
  EXPECT_EQ(claims[2]["C_OTHER1LN"], "");  // the copy left it empty and nothing moved
  EXPECT_TRUE(Ids("12", "OTHC").empty());
}

TEST_F(ProviderIds, AClaimMissingFromTheNewTableFails) {
  Add(oldFolder, "bcclaim", {{"CLAIM", "77"}, {"C_ATTEND", "A"}});
  EXPECT_FALSE(Convert0107(oldFolder, newFolder));
}

TEST_F(ProviderIds, DeletedOldClaimsAreSkipped) {
  Add(oldFolder, "bcclaim", {{"CLAIM", "5"}, {"C_ATTEND", "GONE"}}, /*deleted=*/true);
  Claim("6", {{"C_ATTEND", "KEPT"}});
  ASSERT_TRUE(Convert0107(oldFolder, newFolder));
  EXPECT_TRUE(Ids("5", "ATTC").empty());
  EXPECT_EQ(Ids("6", "ATTC"), (std::vector<std::string>{"1:KEPT/"}));
}

class ClaimProviderIds : public ConversionTables {};

TEST_F(ClaimProviderIds, ASecondRunReplacesItsRowsAndKeepsOthers) {
  Make(oldFolder, "bsclaim", 114);
  Make(newFolder, "bsrecid", 115);
  Add(oldFolder, "bsclaim", {{"CLAIM", "3"}, {"C_REFUPIN", "R1"}, {"C_REFIDTP", "1G"},
                             {"C_REFTAXID", "T9"}, {"C_REFTAXTP", "E"}, {"C_FACID", "F1"}});
  Add(newFolder, "bsrecid", {{"ID_CLAIM", "3"}, {"ID_TYPE", "REFC"}, {"ID_SEQC", "1"},
                             {"ID_ID", "STALE"}});
  Add(newFolder, "bsrecid", {{"ID_CLAIM", "3"}, {"ID_TYPE", "MSCP"}, {"ID_SEQC", "1"},
                             {"ID_ID", "OTHER"}});
  ASSERT_TRUE(Convert0115(oldFolder, newFolder));
  ASSERT_TRUE(Convert0115(oldFolder, newFolder));
  auto ids = Rows(newFolder, "bsrecid");
  std::vector<std::string> seen;
  for (auto& r : ids) seen.push_back(r["ID_TYPE"] + r["ID_SEQC"] + ":" + r["ID_ID"] + "/" + r["ID_IDTP"]);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"FACC1:F1/", "MSCP1:OTHER/", "REFC1:T9/24",
                                            "REFC2:R1/1G"}));
}

TEST_F(ClaimProviderIds, LineIdentifiersTakeUpinAndLetterQualifiers) {
  Make(oldFolder, "bslines", 115);
  Make(oldFolder, "bslinesa", 116);
  Make(newFolder, "bsrecid", 117);
  Add(oldFolder, "bslines", {{"CLAIM", "4"}, {"LINE", "2"}, {"L_PURSVCID", "PS9"},
                             {"L_PURSVCTP", "XX"}});
  Add(oldFolder, "bslines", {{"CLAIM", "4"}, {"LINE", "3"}});
  ASSERT_TRUE(Convert0116(oldFolder, newFolder));
  auto pssl = RowsOfType(newFolder, "bsrecid", "ID_TYPE", "PSSL");
  ASSERT_EQ(pssl.size(), 1u);
  EXPECT_EQ(pssl[0]["ID_SEQB"], "2");
  EXPECT_EQ(pssl[0]["ID_SEQC"], "1");
  EXPECT_EQ(pssl[0]["ID_IDTP"], "XX");

  Add(oldFolder, "bslinesa", {{"CLAIM", "4"}, {"LINE", "1"}, {"LA_SUPR", "B12345"},
                              {"LA_SUPRUPN", "AB1234"}, {"LA_ORDR", "b12345"},
                              {"LA_ORDRUPN", "C11111"}, {"LA_REFR", "R1"}, {"LA_REFRTP", "E"},
                              {"LA_FACID", "F2"}, {"LA_FACIDTP", "S"}, {"LA_FACTXID", "T"},
                              {"LA_FACTXTP", "ZZ"}});
  ASSERT_TRUE(Convert0117(oldFolder, newFolder));
  auto rows = [&](const std::string& type) {
    std::vector<std::string> out;
    for (auto& r : RowsOfType(newFolder, "bsrecid", "ID_TYPE", type)) {
      out.push_back(r["ID_SEQB"] + "." + r["ID_SEQC"] + ":" + r["ID_ID"] + "/" + r["ID_IDTP"]);
    }
    return out;
  };
  EXPECT_EQ(rows("SUPL"), (std::vector<std::string>{"1.1:B12345/1G", "1.2:AB1234/1G"}));
  EXPECT_EQ(rows("ORDL"), (std::vector<std::string>{"1.1:b12345/", "1.2:C11111/1G"}));
  EXPECT_EQ(rows("REFL"), (std::vector<std::string>{"1.1:R1/24"}));
  EXPECT_EQ(rows("FACL"), (std::vector<std::string>{"1.1:F2/34", "1.2:T/ZZ"}));
  EXPECT_EQ(rows("PSSL").size(), 1u);  // 0117 purges only its own codes
}

}  // namespace
}  // namespace talvex::tabmend::conversions::testing
