// Building claims from a roster line without tables: the default diagnosis,
// the line amounts and administration codes, the insured and the reference
// IDs; and the validation key and its formatting.
#include <gtest/gtest.h>

#include "qmrbsrst/generation/claim_builder.h"
#include "qmrbsrst/generation/claim_validation.h"
#include "qmrbsrst/generation/roster_generation.h"
#include "qmrbsrst/settings/text_fit.h"

namespace talvex::qmrbsrst {
namespace {

class Building : public ::testing::Test {
 protected:
  void SetUp() override {
    roster.R_PAYERID = "PAY01";
    roster.R_PAYERLOB = "MCB";
    roster.R_SERVDATE = 45324;  // 2 February 2024
    roster.R_POS = "60";
    roster.line.RL_PCN = "PCN1";
    roster.line.RL_LNAME = "DOE";
    roster.line.RL_SEX = "F";
    roster.line.RL_DOB = 15000;
    provider.billId = "PROV1";
    provider.billRecSeq = 5;
    in.roster = &roster;
    in.provider = &provider;
    in.payer = &payer;
    in.settings = &settings;
    in.icd = &icd;
    in.icdRules = &rules;
  }
  TClaim1500Record Build() {
    TClaim1500Record c;
    BuildClaim(in, &c);
    return c;
  }
  TRosterClaimRecord roster;
  TProviderInfo provider;
  TPayerInfo payer;
  RosterSettings settings;
  IcdSettings icd;
  IcdRuleList rules;
  ClaimBuildContext in;
};

TEST_F(Building, InfluenzaDefaultDiagnosisFollowsIcdSupport) {
  roster.R_TYPE = "I";
  TClaim1500Record c = Build();
  EXPECT_EQ(c.C_DIAG1, "V0481");
  EXPECT_EQ(c.C_DIAGVS, "");
  icd.enableIcd10CodeSupport = true;
  c = Build();
  EXPECT_EQ(c.C_DIAG1, "Z23");
  EXPECT_EQ(c.C_DIAGVS, "0");
  settings.influenzaDiagnosisIcd10Override = "Z2389ABCD";
  EXPECT_EQ(Build().C_DIAG1, "Z2389AB");  // cut to 7
  // A service date before the ICD-10 start stays on ICD-9, marked "9".
  roster.R_SERVDATE = 42000;
  c = Build();
  EXPECT_EQ(c.C_DIAG1, "V0481");
  EXPECT_EQ(c.C_DIAGVS, "9");
}

TEST_F(Building, LineDiagnosisWinsAndUnknownTypesHaveNoDefaults) {
  roster.R_TYPE = "P";
  roster.line.RL_DIAG = "J101";
  roster.line.RL_DIAGVS = "0";
  TClaim1500Record c = Build();
  EXPECT_EQ(c.C_DIAG1, "J101");
  EXPECT_EQ(c.C_DIAGVS, FitText("0", 12));
  roster.line.RL_DIAG.clear();
  roster.R_TYPE = "X";
  roster.R_ADMIN = 10;
  c = Build();
  EXPECT_EQ(c.C_DIAG1, "");
  ASSERT_EQ(c.serviceLineCount, 2);
  EXPECT_EQ(c.lines[1].L_HCPCS, "");  // the administration line is still made
  EXPECT_DOUBLE_EQ(c.lines[1].L_CHARGES, 10);
}

TEST_F(Building, PneumoniaLinesAndTheVaccineSkip) {
  roster.R_TYPE = "P";
  roster.R_HCPCS = "90732";
  roster.R_ADMIN = 25;
  TClaim1500Record c = Build();
  ASSERT_EQ(c.serviceLineCount, 2);
  EXPECT_EQ(c.lines[0].L_HCPCS, "90732");
  EXPECT_DOUBLE_EQ(c.lines[0].L_CHARGES, 0);
  EXPECT_EQ(c.lines[1].L_HCPCS, "G0009");
  EXPECT_DOUBLE_EQ(c.lines[1].L_CHARGES, 25);
  EXPECT_DOUBLE_EQ(c.C_TOTUNITS, 2);
  settings.skipZeroAmountVaccineLines = true;
  c = Build();
  ASSERT_EQ(c.serviceLineCount, 1);
  EXPECT_EQ(c.lines[0].L_HCPCS, "G0009");
  EXPECT_FALSE(c.lines[1].present);
}

TEST_F(Building, InfluenzaWithNonVaccineCodeFoldsTheAdministrationAmount) {
  roster.R_TYPE = "I";
  roster.R_HCPCS = "G0008";
  roster.R_ADMIN = 20;
  TClaim1500Record c = Build();
  ASSERT_EQ(c.serviceLineCount, 1);
  EXPECT_EQ(c.lines[0].L_HCPCS, "G0008");
  EXPECT_DOUBLE_EQ(c.lines[0].L_CHARGES, 20);
  EXPECT_DOUBLE_EQ(c.C_TOTCHGS, 20);
  EXPECT_DOUBLE_EQ(c.C_TOTUNITS, 1);
  EXPECT_TRUE(settings.skipZeroAmountAdminLines);  // for the rest of the run
}

TEST_F(Building, SubmitterSetsSteerAmountsAndAdministrationCodes) {
  in.submitterCode = "00820";
  roster.R_TYPE = "D";
  roster.R_HCPCS = "82947";
  roster.R_ADMIN = 40;
  TClaim1500Record c = Build();
  ASSERT_EQ(c.serviceLineCount, 1);
  EXPECT_EQ(c.lines[0].L_HCPCS, "82947");
  EXPECT_DOUBLE_EQ(c.lines[0].L_CHARGES, 40);
  EXPECT_EQ(c.C_DIAG1, "25000");

  EXPECT_EQ(AdministrationCode("I", "90658", "COM", "00150"), "90471");
  EXPECT_EQ(AdministrationCode("I", "90658", "MCB", "00650"), "G0008");
  EXPECT_EQ(AdministrationCode("I", "G9142", "BS", "00820"), "G9141");
  EXPECT_EQ(AdministrationCode("P", "90732", "BS", "00820"), "90471");
  EXPECT_EQ(AdministrationCode("V", "91300X", "MCB", "00820"), "91300");
  EXPECT_EQ(AdministrationCode("V", "91300", "MCB", "00001"), "");
  EXPECT_EQ(AdministrationCode("I", "G9142", "MCB", ""), "G9141");
  EXPECT_EQ(AdministrationCode("H", "90746", "MCB", ""), "G0010");
}

TEST_F(Building, InsuredIsThePatientUnlessAnotherRelationIsGiven) {
  roster.R_TYPE = "I";
  TClaim1500Record c = Build();
  EXPECT_EQ(c.payer.CP_RELINS, "18");
  EXPECT_EQ(c.payer.CP_LNAME, "DOE");
  EXPECT_EQ(c.payer.CP_SEX, "F");
  EXPECT_DOUBLE_EQ(c.payer.CP_DOB, 15000);
  EXPECT_EQ(c.payer.CP_ASNBEN, "Y");
  EXPECT_EQ(c.payer.CP_SIGSRC, "C");
  roster.line.RL_PREL = "01";
  roster.line.RL_ILNAME = "ROE";
  c = Build();
  EXPECT_EQ(c.payer.CP_LNAME, "ROE");
  EXPECT_EQ(c.payer.CP_SEX, "");
  EXPECT_DOUBLE_EQ(c.payer.CP_DOB, 0);
}

TEST_F(Building, ReferenceIdsAndCentralFluBiller) {
  in.idRecordsInUse = true;
  roster.R_TYPE = "I";
  roster.R_REFNPI = "1234567893";
  roster.R_UPIN = "1234567893";
  roster.R_IDTP = "XX";
  roster.R_REFTAXTP = "E";
  roster.R_REFTAXID = "987654321";
  roster.R_FACNPI = "1245319599";
  roster.centralFluBiller = true;
  TClaim1500Record c = Build();
  ASSERT_EQ(c.referringIds.size(), 2u);  // the UPIN repeats the NPI
  EXPECT_EQ(c.referringIds[0].qualifier, "XX");
  EXPECT_EQ(c.referringIds[1].qualifier, "24");
  ASSERT_EQ(c.facilityIds.size(), 1u);
  EXPECT_EQ(c.C_FACIND, "Y");
  EXPECT_EQ(c.payer.CP_PRIAUT, "39");
  EXPECT_EQ(c.payer.CP_PRIATP, "P4");
  // Without a CP_PRIAUT field the authorization travels as a payer ID.
  ASSERT_EQ(c.payer.referenceIds.size(), 1u);
  EXPECT_EQ(c.payer.referenceIds[0].id, "39");
  in.payerTableHasPriAut = true;
  c = Build();
  EXPECT_EQ(c.payer.CP_PRIAUT, "");  // field without its type field
  EXPECT_TRUE(c.payer.referenceIds.empty());
}

TEST_F(Building, GroupProviderBillsForTheRenderingOne) {
  provider.billType = "G";
  provider.rendId = "DOC7";
  provider.rendRecSeq = 7;
  provider.billIdType = "XX";
  provider.billId = "1234567893";
  TClaim1500Record c = Build();
  EXPECT_EQ(c.C_BILLTYPE, "G");
  EXPECT_EQ(c.C_PIN_PROV, "DOC7");
  EXPECT_EQ(c.C_PINPRSEQ, 7);
  EXPECT_EQ(c.C_PINTYPE, "I");
  EXPECT_EQ(c.C_GRP_PROV, "1234567893");
  EXPECT_EQ(c.C_BILLNPI, "1234567893");  // the ID is an NPI
}

TEST(Validation, KeyFormattingAndHashedLookup) {
  EXPECT_EQ(FormatClaimTotal(1234567.125), "1,234,567.13");
  EXPECT_EQ(FormatClaimTotal(-20), "(20.00)");
  EXPECT_EQ(FormatClaimTotal(-0.001), "0.00");
  ClaimValidationList list;
  TClaim1500Record c;
  c.C_PCN = "P1";
  c.C_SERVFROM = c.C_SERVTHRU = 45324;
  c.C_TOTCHGS = 20.001;
  c.serviceLineCount = 1;
  c.accepted = true;
  CheckDuplicateClaim(list, &c);
  EXPECT_TRUE(c.accepted);
  TClaim1500Record same = c;
  same.C_TOTCHGS = 20.004;  // differs beyond the cents only
  CheckDuplicateClaim(list, &same);
  EXPECT_FALSE(same.accepted);
  EXPECT_EQ(same.message, "Duplicate claim");
  TClaim1500Record moreLines = c;
  moreLines.serviceLineCount = 2;
  CheckDuplicateClaim(list, &moreLines);
  EXPECT_TRUE(moreLines.accepted);
  TClaim1500Record otherCase = c;
  otherCase.C_PCN = "p1";
  CheckDuplicateClaim(list, &otherCase);
  EXPECT_TRUE(otherCase.accepted);
  EXPECT_EQ(list.size(), 3u);
  // A stored blank date never meets a built claim's formatted one.
  TClaimValidationRec blank = ClaimValidationList::KeyOf(c);
  blank.serviceFrom.clear();
  EXPECT_TRUE(list.AddIfNew(blank));
}

// Through many growths of the hashed index every key is still found once,
// and texts that would run together across a field boundary stay apart.
TEST(Validation, ManyKeysEachFoundOnceAcrossIndexGrowth) {
  ClaimValidationList list;
  auto key = [](int i) {
    TClaimValidationRec k;
    k.lob = "MCB";
    k.payerId = "PAY" + std::to_string(i % 7);
    k.pcn = "P" + std::to_string(i);
    k.serviceFrom = k.serviceThrough = "20240202";
    k.totalCharges = FormatClaimTotal(i % 100);
    k.serviceLineCount = i % 3;
    return k;
  };
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(list.AddIfNew(key(i))) << i;
  for (int i = 0; i < 5000; ++i) ASSERT_FALSE(list.AddIfNew(key(i))) << i;
  EXPECT_EQ(list.size(), 5000u);
  TClaimValidationRec a = key(1), b = key(1);
  a.payerId = "AB";
  a.billingProvider = "C";
  b.payerId = "A";
  b.billingProvider = "BC";
  EXPECT_TRUE(list.AddIfNew(a));
  EXPECT_TRUE(list.AddIfNew(b));
  EXPECT_FALSE(list.AddIfNew(b));
  list.Clear();
  EXPECT_TRUE(list.AddIfNew(key(1)));
  EXPECT_EQ(list.entries().front(), key(1));
}

TEST(Totals, FourDecimalFixedPoint) {
  FixedTotal t;
  for (int i = 0; i < 1000; ++i) t.Add(0.1);
  EXPECT_EQ(t.value(), 100.0);
  t.Add(0.00004);
  EXPECT_EQ(t.value(), 100.0);
}

}  // namespace
}  // namespace talvex::qmrbsrst
