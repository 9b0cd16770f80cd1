// The five single-table conversions on small real tables.
#include "conversion_tables.h"
#include "conversions/conversions.h"

namespace talvex::tabmend::conversions::testing {
namespace {

class SingleTable : public ConversionTables {};

TEST_F(SingleTable, CbsaComesFromTheOldMsaOnlyWhereEmpty) {
  Make(oldFolder, "patient", 120);
  Make(newFolder, "patient", 121);
  Add(oldFolder, "patient", {{"PT_PCN", "P1"}, {"PT_MSA", "1234"}});
  Add(oldFolder, "patient", {{"PT_PCN", "P2"}, {"PT_MSA", "5678"}});
  Add(newFolder, "patient", {{"PT_PCN", "P1"}});
  Add(newFolder, "patient", {{"PT_PCN", "P2"}, {"PT_CBSA", "KEEP"}});
  Add(newFolder, "patient", {{"PT_PCN", "P3"}});
  ASSERT_TRUE(Convert0121(oldFolder, newFolder));
  auto rows = Rows(newFolder, "patient");
  EXPECT_EQ(rows[0]["PT_CBSA"], "1234");
  EXPECT_EQ(rows[1]["PT_CBSA"], "KEEP");
  EXPECT_EQ(rows[2]["PT_CBSA"], "");
}

TEST_F(SingleTable, PoaFlagForMedicareHospitals) {
  Make(newFolder, "bcprov", 147);
  Add(newFolder, "bcprov", {{"P_ID_LOB", "MCA"}, {"P_ID", "140010"}});
  Add(newFolder, "bcprov", {{"P_ID_LOB", "MCA"}, {"P_ID", "141010"}});
  Add(newFolder, "bcprov", {{"P_ID_LOB", "MCA"}, {"P_ID", "140010"}, {"P_IDTP", "1D"},
                            {"P_ANSIID1", "220123"}, {"P_ANSITP1", "1C"}});
  Add(newFolder, "bcprov", {{"P_ID_LOB", "MCA"}, {"P_IDTP", "1D"}, {"P_ANSIID1", "220123"},
                            {"P_ANSITP1", "1c"}, {"P_ANSIID2", "990999"}, {"P_ANSITP2", "1C"}});
  Add(newFolder, "bcprov", {{"P_ID_LOB", "BCB"}, {"P_ID", "140010"}});
  ASSERT_TRUE(Convert0147(newFolder, "bcprov"));
  std::string flags;
  for (auto& r : Rows(newFolder, "bcprov")) flags += r["P_POAREQD"].empty() ? "-" : r["P_POAREQD"];
  EXPECT_EQ(flags, "Y-YY-");
}

TEST_F(SingleTable, DayCountsBecomeValueCodeRows) {
  Make(oldFolder, "bcclaim", 152);
  Make(newFolder, "bcccodes", 153);
  Add(oldFolder, "bcclaim", {{"CLAIM", "1"}, {"C_COVDAYS", "5"}});
  Add(oldFolder, "bcclaim", {{"CLAIM", "2"}, {"C_COVDAYS", "3"}, {"C_LTRDAYS", "2"}});
  Add(oldFolder, "bcclaim", {{"CLAIM", "3"}});
  Add(newFolder, "bcccodes", {{"CD_CLAIM", "2"}, {"CD_TYPE", "V"}, {"CD_SEQ", "01"},
                              {"CD_CODE", "80"}, {"CD_AMOUNT", "9"}});
  Add(newFolder, "bcccodes", {{"CD_CLAIM", "2"}, {"CD_TYPE", "V"}, {"CD_SEQ", "02"},
                              {"CD_CODE", "45"}, {"CD_AMOUNT", "1"}});
  ASSERT_TRUE(Convert0153(oldFolder, newFolder));
  std::vector<std::string> seen;
  for (auto& r : Rows(newFolder, "bcccodes")) {
    seen.push_back(r["CD_CLAIM"] + r["CD_TYPE"] + r["CD_SEQ"] + ":" + r["CD_CODE"] + "=" +
                   std::to_string(std::stol(r["CD_AMOUNT"])));
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"1V01:80=5", "2V01:80=3", "2V02:45=1", "2V03:83=2"}));
}

TEST_F(SingleTable, DayCountsAbsentFromTheOldTableLeaveCodesAlone) {
  Make(oldFolder, "bcclaim", 152, {"C_LTRDAYS"});
  Make(newFolder, "bcccodes", 153);
  Add(oldFolder, "bcclaim", {{"CLAIM", "1"}, {"C_COVDAYS", "5"}});
  ASSERT_TRUE(Convert0153(oldFolder, newFolder));
  EXPECT_TRUE(Rows(newFolder, "bcccodes").empty());
}

TEST_F(SingleTable, FormatVersionsOfEverySubmitter) {
  Make(newFolder, "submit", 163);
  Add(newFolder, "submit", {{"S_TYPE", "1"}});
  Add(newFolder, "submit", {{"S_TYPE", "2"}, {"S_ANSIVDN", "OLD"}});
  ASSERT_TRUE(Convert0163(newFolder, ""));
  auto rows = Rows(newFolder, "submit");
  EXPECT_EQ(rows[0]["S_ANSIVDN"], "004010A1");
  EXPECT_EQ(rows[1]["S_ANSIVDN"], "");
  for (auto& r : rows) {
    EXPECT_EQ(r["S_ANSIVER"], "004010A1");
    EXPECT_EQ(r["S_ANSIV270"], "004010A1");
    EXPECT_EQ(r["S_ANSIV276"], "004010A1");
    EXPECT_EQ(r["S_OUTPUT"], "A");
  }
}

TEST_F(SingleTable, AttachmentNarrativesFillTheMatchingLines) {
  Make(oldFolder, "bsattach", 164);
  Make(newFolder, "bsattach", 165);
  Add(oldFolder, "bsattach", {{"CLAIM", "1"}, {"LINE", "1"}, {"A_TRIPNAR", "TO\r\nFROM"},
                              {"A_CHIDESC", "X\tY"}});
  Add(oldFolder, "bsattach", {{"CLAIM", "1"}, {"LINE", "2"}, {"A_STRCNAR", "STRETCHER"}});
  Add(oldFolder, "bsattach", {{"CLAIM", "2"}, {"LINE", "1"}, {"A_TRIPNAR", "OTHER CLAIM"}});
  Add(newFolder, "bsattach", {{"CLAIM", "1"}, {"LINE", "1"}});
  Add(newFolder, "bsattach", {{"CLAIM", "1"}, {"LINE", "2"}, {"A_TRIPDSC", "KEPT"}});
  Add(newFolder, "bsattach", {{"CLAIM", "1"}, {"LINE", "3"}, {"A_TRIPDSC", "ALONE"}});
  Add(newFolder, "bsattach", {{"CLAIM", "2"}, {"LINE", "1"}});
  ASSERT_TRUE(Convert0165(oldFolder, newFolder));
  auto rows = Rows(newFolder, "bsattach");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0]["A_TRIPDSC"], "TO FROM");
  EXPECT_EQ(rows[0]["A_CHIRDSC"], "X Y");
  EXPECT_EQ(rows[1]["A_TRIPDSC"], "KEPT");
  EXPECT_EQ(rows[1]["A_STRCDSC"], "STRETCHER");
  EXPECT_EQ(rows[2]["A_TRIPDSC"], "ALONE");
  EXPECT_EQ(rows[3]["A_TRIPDSC"], "OTHER CLAIM");
}

}  // namespace
}  // namespace talvex::tabmend::conversions::testing
