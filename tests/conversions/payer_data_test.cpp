// Payer records of one claim become authorisation and amount rows, and the
// secondary-payer type moves to the next payer.
#include "conversion_tables.h"
#include "conversions/conversions.h"

namespace talvex::tabmend::conversions::testing {
namespace {

class PayerData : public ConversionTables {
 protected:
  void SetUp() override {
    ConversionTables::SetUp();
    Make(oldFolder, "bsclaim", 166);  // the copy an earlier update left in the backup
    Make(oldFolder, "bscpayer", 167);
    Make(newFolder, "bscpayer", 168);
    Make(newFolder, "bscob", 168);
    Make(newFolder, "bsrecid", 168);
  }
  void Payer(const std::string& claim, const Row& values) {
    Row old = values;
    old["CP_CLAIM"] = claim;
    Add(oldFolder, "bscpayer", old);
    Add(newFolder, "bscpayer", {{"CP_CLAIM", claim}, {"CP_PAYSEQ", values.at("CP_PAYSEQ")}});
  }
  std::string InsType(const std::string& claim, const std::string& seq) {
    for (auto& r : Rows(newFolder, "bscpayer")) {
      if (r["CP_CLAIM"] == claim && r["CP_PAYSEQ"] == seq) return r["CP_INSTYP"];
    }
    return "?";
  }
  std::vector<std::string> Ids(const std::string& claim) {
    std::vector<std::string> out;
    for (auto& r : RowsOfType(newFolder, "bsrecid", "ID_TYPE", "MSCP")) {
      if (r["ID_CLAIM"] == claim) {
        out.push_back(r["ID_SEQB"] + "." + r["ID_SEQC"] + ":" + r["ID_ID"] + "/" + r["ID_IDTP"]);
      }
    }
    return out;
  }
  std::vector<std::string> Cob(const std::string& claim) {
    std::vector<std::string> out;
    for (auto& r : Rows(newFolder, "bscob")) {
      if (r["CO_CLAIM"] != claim) continue;
      char amount[32];
      std::snprintf(amount, sizeof amount, "%.2f", std::stod(r["CO_AMOUNT"]));
      out.push_back(r["CO_TYPE"] + r["CO_LNSEQC"] + ":" + r["CO_AMTCD"] + r["CO_GRPCD"] +
                    r["CO_RSNCD"] + "=" + amount);
    }
    return out;
  }
};

TEST_F(PayerData, SecondaryTypeMovesToTheNextMedicarePayer) {
  Payer("1", {{"CP_PAYSEQ", "01"}, {"CP_MSPTYP", "12"}});
  Payer("1", {{"CP_PAYSEQ", "02"}, {"CP_PAYLOB", "MCB"}});
  Payer("2", {{"CP_PAYSEQ", "01"}, {"CP_MSPTYP", "12"}});
  Payer("2", {{"CP_PAYSEQ", "02"}, {"CP_PAYLOB", "MCA"}});
  ASSERT_TRUE(Convert0168(oldFolder, newFolder));
  EXPECT_EQ(InsType("1", "02"), "12");
  EXPECT_EQ(InsType("1", "01"), "");
  EXPECT_EQ(InsType("2", "02"), "");
  EXPECT_EQ(InsType("2", "01"), "");
}

TEST_F(PayerData, AuthorisationsTakeTheirTypeFromTheReferringName) {
  Add(oldFolder, "bsclaim", {{"CLAIM", "3"}, {"C_REFLNAME", "DOC"}});
  Add(oldFolder, "bsclaim", {{"CLAIM", "4"}});
  Payer("3", {{"CP_PAYSEQ", "01"}, {"CP_PRIAUT", "A1"}, {"CP_PRIAUT3", "A3"}});
  Payer("4", {{"CP_PAYSEQ", "01"}, {"CP_PRIAUT", "B1"}, {"CP_PRIATP", "XY"}});
  Payer("4", {{"CP_PAYSEQ", "03"}, {"CP_PRIAUT2", "B3"}, {"CP_ALLOW", "50"}});
  Payer("5", {{"CP_PAYSEQ", "01"}, {"CP_PRIAUT", "C1"}});  // no claim record: type stays blank
  ASSERT_TRUE(Convert0168(oldFolder, newFolder));
  EXPECT_EQ(Ids("3"), (std::vector<std::string>{"1.1:A1/9F", "1.2:A3/9F"}));
  EXPECT_EQ(Ids("4"), (std::vector<std::string>{"1.1:B1/XY", "3.1:B3/G1"}));
  EXPECT_EQ(Ids("5"), (std::vector<std::string>{"1.1:C1/"}));
  EXPECT_TRUE(Cob("4").empty());  // a third payer's amounts give no rows
}

TEST_F(PayerData, AClaimWithPayerIdRowsKeepsThemButStillMovesAmounts) {
  Add(newFolder, "bsrecid", {{"ID_CLAIM", "6"}, {"ID_TYPE", "MSCP"}, {"ID_SEQB", "1"},
                             {"ID_SEQC", "1"}, {"ID_ID", "PRE"}});
  Payer("6", {{"CP_PAYSEQ", "01"}, {"CP_PRIAUT", "LOST?"}, {"CP_ALLOW", "100"},
              {"CP_PAID", "80"}});
  ASSERT_TRUE(Convert0168(oldFolder, newFolder));
  EXPECT_EQ(Ids("6"), (std::vector<std::string>{"1.1:PRE/"}));
  EXPECT_EQ(Cob("6"), (std::vector<std::string>{"MP1:B6=100.00", "MP2:D=80.00"}));
}

TEST_F(PayerData, ExistingAmountRowsAreFoundAndTheLaterRecordOfASlotWins) {
  Add(newFolder, "bscob", {{"CO_CLAIM", "7"}, {"CO_TYPE", "MP"}, {"CO_LNSEQC", "1"},
                           {"CO_AMTCD", "B6"}, {"CO_AMOUNT", "100"}});
  Payer("7", {{"CP_PAYSEQ", "01"}, {"CP_ALLOW", "1"}, {"CP_DEDUCT", "9"}});
  Payer("7", {{"CP_PAYSEQ", "01"}, {"CP_ALLOW", "100"}, {"CP_PAID", "80"}});
  Payer("7", {{"CP_PAYSEQ", "02"}, {"CP_DEDUCT", "5"}, {"CP_COINS", "2.5"}});
  ASSERT_TRUE(Convert0168(oldFolder, newFolder));
  EXPECT_EQ(Cob("7"), (std::vector<std::string>{"MP1:B6=100.00", "MP2:D=80.00", "CS1:PR1=5.00",
                                                "CS2:PR2=2.50"}));
}

TEST_F(PayerData, NothingUsefulAddsNothing) {
  Payer("8", {{"CP_PAYSEQ", "01"}});
  Payer("8", {{"CP_PAYSEQ", "03"}, {"CP_MSPTYP", "47"}, {"CP_PAYLOB", "MCB"}});
  ASSERT_TRUE(Convert0168(oldFolder, newFolder));
  EXPECT_TRUE(Rows(newFolder, "bsrecid").empty());
  EXPECT_TRUE(Rows(newFolder, "bscob").empty());
  EXPECT_EQ(InsType("8", "03"), "");  // the type moved on, past the last slot
}

TEST_F(PayerData, APayerSequenceThatIsNoNumberThrowsWhenItsNumberIsWritten) {
  Payer("9", {{"CP_PAYSEQ", "X1"}, {"CP_PRIAUT", "N"}});
  EXPECT_THROW(Convert0168(oldFolder, newFolder), std::runtime_error);
}

}  // namespace
}  // namespace talvex::tabmend::conversions::testing

namespace talvex::tabmend::conversions::testing {
namespace {

// An installation already past the name update has no old claim table in the
// backup; the data folder's claim table and its name rows stand in.
TEST_F(ConversionTables, PayerDataPastTheNameUpdateReadsTheNameRows) {
  BeginCall();
  CurrentRun().context = c;
  const std::string root = dir.native("inst") + "/";
  CurrentRun().folders.backup = root + "B/";
  CurrentRun().folders.data = root + "D/";
  const std::string backup = root + "B/loc/", data = root + "D/loc/", work = root + "U/loc/";
  for (const auto& f : {backup, data, work}) std::filesystem::create_directories(f);
  Make(data, "bsclaim", 167);
  Make(data, "bsrecnm", 167);
  Make(backup, "bscpayer", 167);
  Make(work, "bscpayer", 168);
  Make(work, "bscob", 168);
  Make(work, "bsrecid", 168);
  Add(data, "bsclaim", {{"CLAIM", "1"}});
  Add(data, "bsclaim", {{"CLAIM", "2"}});
  Add(data, "bsrecnm", {{"NM_CLAIM", "1"}, {"NM_TYPE", "REFC"}, {"NM_LNAME", "DOC"}});
  Add(backup, "bscpayer", {{"CP_CLAIM", "1"}, {"CP_PAYSEQ", "01"}, {"CP_PRIAUT", "A"}});
  Add(backup, "bscpayer", {{"CP_CLAIM", "2"}, {"CP_PAYSEQ", "01"}, {"CP_PRIAUT", "B"}});
  ASSERT_TRUE(Convert0168(backup, work));
  auto ids = Rows(work, "bsrecid");
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids[0]["ID_IDTP"], "9F");
  EXPECT_EQ(ids[1]["ID_IDTP"], "G1");
}

}  // namespace
}  // namespace talvex::tabmend::conversions::testing
