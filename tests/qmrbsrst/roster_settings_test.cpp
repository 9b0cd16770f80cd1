#include "qmrbsrst/settings/roster_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "qmrbsrst/settings/icd_settings.h"
#include "temp_folder.h"

namespace talvex::qmrbsrst {
namespace {

using testing::TempFolder;

TEST(RosterSettings, DefaultsWithoutFile) {
  TempFolder dir;
  RosterSettings s = ReadRosterSettings(dir.path());
  EXPECT_EQ(s.maxLinesPerRoster, 99);
  EXPECT_TRUE(s.autoGeneratePcn);
  EXPECT_FALSE(s.saveClaimsWithCleanStatus);
  EXPECT_FALSE(s.allowNonMedicareRosterBilling);
  EXPECT_FALSE(s.skipZeroAmountVaccineLines);
  EXPECT_FALSE(s.skipZeroAmountAdminLines);
  EXPECT_FALSE(s.centralFluBillerDefault);
  EXPECT_FALSE(s.needsCentralFluBillerPrompt);
  EXPECT_EQ(s.influenzaHcpcsOverride, "");
}

TEST(RosterSettings, MaxLinesValues) {
  EXPECT_EQ(ParseRosterSettings({"Max_Lines_Per_Roster_Billing=0"}).maxLinesPerRoster, 99);
  EXPECT_EQ(ParseRosterSettings({"max_lines_per_roster_billing=12"}).maxLinesPerRoster, 12);
  EXPECT_EQ(ParseRosterSettings({"Max_Lines_Per_Roster_Billing=-5"}).maxLinesPerRoster, 99);
  EXPECT_EQ(ParseRosterSettings({"Max_Lines_Per_Roster_Billing=abc"}).maxLinesPerRoster, 99);
  EXPECT_EQ(ParseRosterSettings({"Max_Lines_Per_Roster_Billing=99999999999"}).maxLinesPerRoster,
            99);
  EXPECT_EQ(ParseRosterSettings({"Max_Lines_Per_Roster_Billing="}).maxLinesPerRoster, 99);
}

TEST(RosterSettings, FlagsAreTrueOnlyForYes) {
  EXPECT_FALSE(ParseRosterSettings({"Auto_Generate_Patient_Control_Numbers=no"}).autoGeneratePcn);
  EXPECT_FALSE(ParseRosterSettings({"Auto_Generate_Patient_Control_Numbers=Y"}).autoGeneratePcn);
  // An empty value keeps the default rather than turning the flag off.
  EXPECT_TRUE(ParseRosterSettings({"Auto_Generate_Patient_Control_Numbers="}).autoGeneratePcn);
  EXPECT_TRUE(ParseRosterSettings({"Save_Claims_With_Clean_Status=yes"}).saveClaimsWithCleanStatus);
  // The name part is not trimmed, and neither is the value: " YES" is not "YES".
  EXPECT_FALSE(
      ParseRosterSettings({"Save_Claims_With_Clean_Status =YES"}).saveClaimsWithCleanStatus);
  EXPECT_FALSE(
      ParseRosterSettings({"Save_Claims_With_Clean_Status= YES"}).saveClaimsWithCleanStatus);
}

TEST(RosterSettings, FirstMatchingLineWinsAndValuesAreUpperCase) {
  RosterSettings s = ParseRosterSettings({
      "# a comment line without equals",
      "Influenza_Hcpcs_Override=90630 - a|b=c",
      "INFLUENZA_HCPCS_OVERRIDE=second",
      "Tdap_Diagnosis_ICD10_Override=z23",
      "Needs_Central_Flu_Biller_Prompt=YES",
  });
  EXPECT_EQ(s.influenzaHcpcsOverride, "90630 - A|B=C");
  EXPECT_EQ(s.tdapDiagnosisIcd10Override, "Z23");
  EXPECT_TRUE(s.needsCentralFluBillerPrompt);
}

TEST(RosterSettings, ReadsCrLfFileAndNameInAnyCase) {
  TempFolder dir;
  dir.write("bsrster.ctl",
            "Max_Lines_Per_Roster_Billing=25\r\nAllow_Non_Medicare_Roster_Billing=YES\r\n"
            "Covid19_Hcpcs_Override=0005a - x\r\n");
  RosterSettings s = ReadRosterSettings(dir.path());
  EXPECT_EQ(s.maxLinesPerRoster, 25);
  EXPECT_TRUE(s.allowNonMedicareRosterBilling);
  EXPECT_EQ(s.covid19HcpcsOverride, "0005A - X");
}

TEST(RosterSettings, UnreadableFileGivesDefaults) {
  TempFolder dir;
  // A folder where the file should be: it exists but cannot be read as text.
  std::filesystem::create_directory(dir.file("BSRSTER.CTL"));
  RosterSettings s = ReadRosterSettings(dir.path());
  EXPECT_EQ(s.maxLinesPerRoster, 99);
  EXPECT_TRUE(s.autoGeneratePcn);
}

TEST(RosterSettings, BinaryFileIsHarmless) {
  TempFolder dir;
  std::string junk;
  for (int i = 0; i < 70000; ++i) junk.push_back(static_cast<char>(i * 131 % 256));
  dir.write("BSRSTER.CTL", junk + "\nMax_Lines_Per_Roster_Billing=7\n");
  EXPECT_EQ(ReadRosterSettings(dir.path()).maxLinesPerRoster, 7);
}

TEST(IcdSettings, ReadsBothKeysAndUpperCasesTheRules) {
  TempFolder dir;
  dir.write("TALVEX32.INI",
            "[General]\r\nEnableIcd10CodeSupport=1\r\n[Claim]\r\n"
            "Master1500IcdVersionControlSettings=mcb:12345:20150101::0:0\r\n");
  IcdSettings s = ReadIcdSettings(dir.path());
  EXPECT_TRUE(s.enableIcd10CodeSupport);
  EXPECT_EQ(s.master1500IcdVersionControlSettings, "MCB:12345:20150101::0:0");
}

TEST(IcdSettings, IntegerSetting) {
  TempFolder dir;
  EXPECT_FALSE(ReadIcdSettings(dir.path()).enableIcd10CodeSupport);  // no file
  dir.write("TALVEX32.INI", "[General]\nEnableIcd10CodeSupport=0\n");
  EXPECT_FALSE(ReadIcdSettings(dir.path()).enableIcd10CodeSupport);
  dir.write("TALVEX32.INI", "[General]\nEnableIcd10CodeSupport=-3\n");
  EXPECT_TRUE(ReadIcdSettings(dir.path()).enableIcd10CodeSupport);
  dir.write("TALVEX32.INI", "[General]\nEnableIcd10CodeSupport=YES\n");
  EXPECT_FALSE(ReadIcdSettings(dir.path()).enableIcd10CodeSupport);
}

TEST(IcdSettings, LongRuleTextIsCutAtTheBuffer) {
  TempFolder dir;
  std::string rule = "MCB:1:20150101::9:0|";
  std::string text;
  while (text.size() < 100000) text += rule;
  dir.write("TALVEX32.INI", "[Claim]\nMaster1500IcdVersionControlSettings=" + text + "\n");
  IcdSettings s = ReadIcdSettings(dir.path());
  EXPECT_EQ(s.master1500IcdVersionControlSettings.size(), 32767u);
  EXPECT_EQ(s.master1500IcdVersionControlSettings, text.substr(0, 32767));
}

}  // namespace
}  // namespace talvex::qmrbsrst
