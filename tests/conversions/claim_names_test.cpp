// Names, paperwork, facility, narratives, references and adjustments of the
// 1500 claims: the rows the two non-purging conversions add, and that rows
// already there are found instead of doubled.
#include "conversion_tables.h"
#include "conversions/conversions.h"

namespace talvex::tabmend::conversions::testing {
namespace {

class ClaimRows : public ConversionTables {
 protected:
  void MakeRowTables(int step) {
    for (const char* base : {"bsrecnm", "bsrecrn", "bsrecid", "bscob"}) Make(newFolder, base, step);
  }
};

TEST_F(ClaimRows, ReferringNamePaperworkAndFacility) {
  Make(oldFolder, "bsclaim", 166);
  MakeRowTables(167);
  Add(oldFolder, "bsclaim", {{"CLAIM", "1"}, {"C_REFLNAME", "SMITH"}, {"C_REFFNAME", "ANN"},
                             {"C_REFMI", "B"}, {"C_DOCTYPE", "A"}, {"C_DOCACN", "CTL1"},
                             {"C_FACNAME", "CLINIC"}, {"C_CPPROV", "P77"}});
  Add(oldFolder, "bsclaim", {{"CLAIM", "2"}, {"C_REFLNAME", "LAB INC"}, {"C_DOCIND", "2"},
                             {"C_DOCTYPE", "K"}, {"C_DOCACN", "CTL2"}, {"C_CPPROV", "P88"},
                             {"C_PAYER_S", "02"}});
  Add(oldFolder, "bsclaim", {{"CLAIM", "3"}, {"C_DOCIND", "L"}, {"C_DOCTYPE", "3"},
                             {"C_DOCACN", "CTL3"}, {"C_CPPROV", "P99"}, {"C_PAYER_S", "04"}});
  // Already present: claim 1's facility row with LU, claim 3's paperwork.
  Add(newFolder, "bsrecid", {{"ID_CLAIM", "1"}, {"ID_TYPE", "FACC"}, {"ID_SEQC", "1"},
                             {"ID_ID", "OLD"}, {"ID_IDTP", "LU"}});
  Add(newFolder, "bsrecrn", {{"RE_CLAIM", "3"}, {"RE_TYPE", "PWC"}, {"RE_SEQC", "4"},
                             {"RE_PWATC", "EL"}, {"RE_PWRTC", "RT"}, {"RE_NRTVA", "CTL3"}});
  ASSERT_TRUE(Convert0167(oldFolder, newFolder));
  ASSERT_TRUE(Convert0167(oldFolder, newFolder));  // names and paperwork are found again

  auto names = RowsOfType(newFolder, "bsrecnm", "NM_TYPE", "REFC");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0]["NM_LNAME"], "SMITH");
  EXPECT_EQ(names[0]["NM_ENTCD"], "1");
  EXPECT_EQ(names[0]["NM_FNAME"], "ANN");
  EXPECT_EQ(names[0]["NM_MI"], "B");
  EXPECT_EQ(names[0]["NM_QUAL"], "DN");
  EXPECT_EQ(names[1]["NM_ENTCD"], "2");
  EXPECT_EQ(names[1]["NM_FNAME"], "");

  auto pwc = RowsOfType(newFolder, "bsrecrn", "RE_TYPE", "PWC");
  ASSERT_EQ(pwc.size(), 2u);  // claim 2's K has no code; claim 3's exists
  EXPECT_EQ(pwc[1]["RE_CLAIM"], "1");
  EXPECT_EQ(pwc[1]["RE_PWATC"], "AA");
  EXPECT_EQ(pwc[1]["RE_PWRTC"], "B2");
  EXPECT_EQ(pwc[1]["RE_SEGID"], "PWK");
  EXPECT_EQ(pwc[1]["RE_SEQC"], "1");

  // Claim 1 has its LU row; claim 2 without a facility name gets payer rows,
  // one per run (no check for an equal row); claim 3's payer "04" gives none.
  EXPECT_EQ(RowsOfType(newFolder, "bsrecid", "ID_TYPE", "FACC").size(), 1u);
  auto mscp = RowsOfType(newFolder, "bsrecid", "ID_TYPE", "MSCP");
  ASSERT_EQ(mscp.size(), 2u);
  EXPECT_EQ(mscp[0]["ID_CLAIM"], "2");
  EXPECT_EQ(mscp[0]["ID_SEQB"], "2");
  EXPECT_EQ(mscp[0]["ID_IDTP"], "1J");
  EXPECT_EQ(mscp[0]["ID_SEQC"], "1");
  EXPECT_EQ(mscp[1]["ID_SEQC"], "2");
}

TEST_F(ClaimRows, AFacilityWithoutItsLuRowGetsTheNextNumber) {
  Make(oldFolder, "bsclaim", 166);
  MakeRowTables(167);
  Add(oldFolder, "bsclaim", {{"CLAIM", "9"}, {"C_FACNAME", "X"}, {"C_CPPROV", "NEW"}});
  Add(newFolder, "bsrecid", {{"ID_CLAIM", "9"}, {"ID_TYPE", "FACC"}, {"ID_SEQC", "2"},
                             {"ID_ID", "TAX"}, {"ID_IDTP", "24"}});
  ASSERT_TRUE(Convert0167(oldFolder, newFolder));
  auto facc = RowsOfType(newFolder, "bsrecid", "ID_TYPE", "FACC");
  ASSERT_EQ(facc.size(), 2u);
  EXPECT_EQ(facc[1]["ID_SEQC"], "3");
  EXPECT_EQ(facc[1]["ID_IDTP"], "LU");
  EXPECT_EQ(facc[1]["ID_ID"], "NEW");
}

TEST_F(ClaimRows, LineNamesNarrativesReferencesAndAdjustments) {
  Make(oldFolder, "bslinesa", 168);
  MakeRowTables(169);
  Add(oldFolder, "bslinesa",
      {{"CLAIM", "5"}, {"LINE", "1"}, {"LA_PURSVNM", "SMITH, JOHN Q"}, {"LA_ORDRLN", "ORD"},
       {"LA_ORDRFN", "O"}, {"LA_ORDRSX", "JR"}, {"LA_SUPRLN", "SUP CO"},
       {"LA_NRTV", "ONE\r\nTWO\r\nTHREE"}, {"LA_REFNO2", "R2"}, {"LA_REFTP2", "9B"},
       {"LA_DEDUCT", "0"}, {"LA_COINS", "12.5"}});
  Add(oldFolder, "bslinesa", {{"CLAIM", "5"}, {"LINE", "2"}, {"LA_PURSVNM", "ACME LAB"},
                              {"LA_NRTV", std::string(200, 'N')}, {"LA_NRTVTP", "K3"},
                              {"LA_DEDUCT", "7"}, {"LA_COINS", "3"}});
  // Line 2 already has its deductible adjustment.
  Add(newFolder, "bscob", {{"CO_CLAIM", "5"}, {"CO_TYPE", "CL"}, {"CO_LNSEQA", "2"},
                           {"CO_LNSEQB", "1"}, {"CO_LNSEQC", "1"}, {"CO_GRPCD", "PR"},
                           {"CO_RSNCD", "1"}, {"CO_AMOUNT", "7"}});
  ASSERT_TRUE(Convert0169(oldFolder, newFolder));
  ASSERT_TRUE(Convert0169(oldFolder, newFolder));  // a second run finds everything

  auto pssl = RowsOfType(newFolder, "bsrecnm", "NM_TYPE", "PSSL");
  ASSERT_EQ(pssl.size(), 2u);
  EXPECT_EQ(pssl[0]["NM_LNAME"], "SMITH");
  EXPECT_EQ(pssl[0]["NM_FNAME"], "JOHN");
  EXPECT_EQ(pssl[0]["NM_MI"], "Q");
  EXPECT_EQ(pssl[0]["NM_ENTCD"], "1");
  EXPECT_EQ(pssl[0]["NM_QUAL"], "QB");
  EXPECT_EQ(pssl[1]["NM_LNAME"], "ACME LAB");
  EXPECT_EQ(pssl[1]["NM_ENTCD"], "2");
  EXPECT_EQ(pssl[1]["NM_SEQB"], "2");
  auto ordl = RowsOfType(newFolder, "bsrecnm", "NM_TYPE", "ORDL");
  ASSERT_EQ(ordl.size(), 1u);
  EXPECT_EQ(ordl[0]["NM_SUFX"], "JR");
  EXPECT_EQ(ordl[0]["NM_QUAL"], "DK");
  auto supl = RowsOfType(newFolder, "bsrecnm", "NM_TYPE", "SUPL");
  ASSERT_EQ(supl.size(), 1u);
  EXPECT_EQ(supl[0]["NM_ENTCD"], "2");

  auto nkl = RowsOfType(newFolder, "bsrecrn", "RE_TYPE", "NKL");
  ASSERT_EQ(nkl.size(), 6u);
  EXPECT_EQ(nkl[2]["RE_NRTVA"], "THREE");
  EXPECT_EQ(nkl[2]["RE_SEQC"], "3");
  EXPECT_EQ(nkl[0]["RE_SEGID"], "NTE");
  EXPECT_EQ(nkl[0]["RE_NTTYP"], "ADD");
  EXPECT_EQ(nkl[3]["RE_SEGID"], "K3");
  EXPECT_EQ(nkl[5]["RE_NRTVA"], std::string(40, 'N'));

  auto mscl = RowsOfType(newFolder, "bsrecid", "ID_TYPE", "MSCL");
  ASSERT_EQ(mscl.size(), 1u);
  EXPECT_EQ(mscl[0]["ID_SEQC"], "1");  // the first written number is 1 even from slot 2
  EXPECT_EQ(mscl[0]["ID_IDTP"], "9B");

  auto cl = RowsOfType(newFolder, "bscob", "CO_TYPE", "CL");
  std::vector<std::string> seen;
  for (auto& r : cl) seen.push_back(r["CO_LNSEQA"] + "." + r["CO_LNSEQC"] + ":" + r["CO_RSNCD"] + "=" + r["CO_AMOUNT"]);
  std::sort(seen.begin(), seen.end());
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].substr(0, 6), "1.1:2=");
  EXPECT_EQ(std::stod(seen[0].substr(6)), 12.5);
  EXPECT_EQ(seen[1].substr(0, 6), "2.1:1=");
  EXPECT_EQ(seen[2].substr(0, 6), "2.2:2=");
}

}  // namespace
}  // namespace talvex::tabmend::conversions::testing
