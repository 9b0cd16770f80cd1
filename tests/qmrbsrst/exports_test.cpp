// The exports called through the built shared library, with host-style
// records: what comes back, and that nothing outside the out fields changes.
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "common/text/host_date.h"
#include "loaded_library.h"
#include "qmrbsrst/frame/call_records.h"
#include "temp_folder.h"

namespace talvex::qmrbsrst {
namespace {

using talvex::host::RosterRecordExport;
using talvex::host::RosterStatusExport;
using testing::RosterExport;
using testing::TempFolder;

constexpr unsigned char kFill = 0xA5;

template <typename Record>
std::unique_ptr<Record> FilledRecord() {
  auto record = std::make_unique<Record>();
  std::memset(record.get(), kFill, sizeof(Record));
  return record;
}

bool AllFill(const void* p, size_t n) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i) {
    if (b[i] != kFill) return false;
  }
  return true;
}

TEST(StatusMessageExport, EveryCode) {
  auto fn = RosterExport<RosterStatusExport>("GetRosterStatusMessage");
  ASSERT_NE(fn, nullptr);
  const char* expected[] = {
      "Roster claim generation completed successfully.",
      "Unknown error during roster claim generation.",
      "Unable to reverse roster claim generation after error. Check all databases before "
      "attempting this operation again.",
      "Unable to open claims database tables for roster claim generation.",
      "Error closing claims database following roster claim generation.",
      "Unable to build claim validation list.",
      "Unable to locate the roster billing record.",
      "Invalid Billing Provider (not on file).",
      "Invalid Payer (not on file).",
      "Unexpected exception generating roster claim.",
      "Unable to generate unique Claim ID.",
      "Unexpected exception saving roster claim to database.",
      "Unexpected exception validating roster claim.",
      "One or more roster claims were rejected.",
      "Unable to update the roster billing record.",
      "Unable to update the roster billing line record.",
  };
  for (uint32_t code = 0; code <= 15; ++code) EXPECT_STREQ(fn(code), expected[code]) << code;
  for (uint32_t code : {16u, 17u, 1000u, 0x7FFFFFFFu, 4294967295u}) {
    EXPECT_STREQ(fn(code), "Unknown error during roster claim generation.") << code;
  }
  // The same constant each time: the host keeps the pointer without freeing.
  EXPECT_EQ(fn(13), fn(13));
}

TEST(RosterInfoExport, SettingsAndUntouchedBytes) {
  auto fn = RosterExport<RosterRecordExport>("Retrieve1500RosterInfo");
  ASSERT_NE(fn, nullptr);
  TempFolder dir;
  auto call = FilledRecord<TRosterInfoCall>();
  call->dataDirectory.assign(dir.path());
  EXPECT_EQ(fn(call.get()), 0);
  EXPECT_EQ(call->autoGeneratePcn, 1);
  EXPECT_EQ(call->maxLinesPerRoster, 99);
  EXPECT_EQ(call->allowNonMedicare, 0);
  EXPECT_TRUE(AllFill(call->unused257, sizeof call->unused257));

  dir.write("BSRSTER.CTL",
            "Auto_Generate_Patient_Control_Numbers=no\nmax_lines_per_roster_billing=12\n"
            "Allow_Non_Medicare_Roster_Billing=yes\n");
  EXPECT_EQ(fn(call.get()), 0);
  EXPECT_EQ(call->autoGeneratePcn, 0);
  EXPECT_EQ(call->maxLinesPerRoster, 12);
  EXPECT_EQ(call->allowNonMedicare, 1);
}

TEST(RosterInfoExport, HostileRecords) {
  auto fn = RosterExport<RosterRecordExport>("Retrieve1500RosterInfo");
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(nullptr), 0);
  // A directory text of 255 characters of garbage: no such folder, defaults.
  auto call = FilledRecord<TRosterInfoCall>();
  call->dataDirectory.length = 255;
  EXPECT_EQ(fn(call.get()), 0);
  EXPECT_EQ(call->maxLinesPerRoster, 99);
  EXPECT_EQ(call->autoGeneratePcn, 1);
}

TEST(RosterHcpcsExport, ListsOverridesAndTypes) {
  auto fn = RosterExport<RosterRecordExport>("Retrieve1500RosterHCPCS");
  ASSERT_NE(fn, nullptr);
  TempFolder dir;
  auto call = FilledRecord<TRosterHcpcsCall>();
  call->dataDirectory.assign(dir.path());

  call->rosterType.assign("V");
  EXPECT_EQ(fn(call.get()), 0);
  for (int i = 0; i < kServiceCodeSlots; ++i) EXPECT_GT(call->entries[i].length, 0) << i;
  EXPECT_EQ(call->entries[276].str(), "91322 - SARSCOV2 VAC 50 MCG/0.5ML IM");
  EXPECT_TRUE(AllFill(call->unused256, sizeof call->unused256));

  call->rosterType.assign("R");
  EXPECT_EQ(fn(call.get()), 0);
  EXPECT_EQ(call->entries[0].str(), "G9008 - MCCD,PHYS COOR-CARE OVRSGHT");
  for (int i = 1; i < kServiceCodeSlots; ++i) ASSERT_EQ(call->entries[i].length, 0) << i;

  call->rosterType.assign("Z");
  EXPECT_EQ(fn(call.get()), 0);
  for (int i = 0; i < kServiceCodeSlots; ++i) ASSERT_EQ(call->entries[i].length, 0) << i;

  std::string many;
  for (int i = 0; i < 300; ++i) many += "E" + std::to_string(i) + " | ";
  dir.write("BSRSTER.CTL", "Influenza_Hcpcs_Override=" + many + "\r\n" +
                               "Pneumonia_Hcpcs_Override=first| |second\r\n"
                               "Hepatitis_Hcpcs_Override= | || \r\n"
                               "Tdap_Hcpcs_Override=" + std::string(200, 't') + "\r\n");
  call->rosterType.assign("I");
  fn(call.get());
  EXPECT_EQ(call->entries[0].str(), "E0");
  EXPECT_EQ(call->entries[276].str(), "E276");

  call->rosterType.assign("P");
  fn(call.get());
  EXPECT_EQ(call->entries[0].str(), "FIRST");
  EXPECT_EQ(call->entries[1].str(), "SECOND");
  EXPECT_EQ(call->entries[2].length, 0);

  call->rosterType.assign("H");
  fn(call.get());
  EXPECT_EQ(call->entries[0].str(), "90740 - HEPB VACC DIALYSIS 3 DOSE IM");
  EXPECT_EQ(call->entries[7].str().substr(0, 5), "87523");
  EXPECT_EQ(call->entries[8].length, 0);

  call->rosterType.assign("T");
  fn(call.get());
  EXPECT_EQ(call->entries[0].str(), std::string(128, 'T'));
}

TEST(RosterHcpcsExport, TypeLongerThanItsWidthIsReadAtItsWidth) {
  auto fn = RosterExport<RosterRecordExport>("Retrieve1500RosterHCPCS");
  ASSERT_NE(fn, nullptr);
  TempFolder dir;
  auto call = FilledRecord<TRosterHcpcsCall>();
  call->dataDirectory.assign(dir.path());
  call->rosterType.length = 200;  // claims 200 characters in a 1-character field
  call->rosterType.chars[0] = 'M';
  EXPECT_EQ(fn(call.get()), 0);
  EXPECT_EQ(call->entries[0].str(), "90734 - MENINGOCOCCAL, IM");
  call->rosterType.length = 0;
  EXPECT_EQ(fn(call.get()), 0);
  EXPECT_EQ(call->entries[0].length, 0);
  EXPECT_EQ(fn(nullptr), 0);
}

TEST(RosterDiagnosisExport, FlagAndEmptySlots) {
  auto fn = RosterExport<RosterRecordExport>("Retrieve1500RosterDiagnosis");
  ASSERT_NE(fn, nullptr);
  TempFolder dir;
  dir.write("TALVEX32.INI", "[General]\nEnableIcd10CodeSupport=1\n");
  auto call = FilledRecord<TRosterDiagnosisCall>();
  call->dataDirectory.assign(dir.path());
  call->configDirectory.assign(dir.path());
  call->rosterType.assign("R");
  EXPECT_EQ(fn(call.get()), 0);
  EXPECT_EQ(call->typeRFlag, 1);
  for (int i = 0; i < kDiagnosisSlots; ++i) ASSERT_EQ(call->entries[i].length, 0) << i;
  EXPECT_TRUE(AllFill(call->unused512, sizeof call->unused512));

  for (const char* type : {"I", "", "r"}) {
    call->rosterType.assign(type);
    EXPECT_EQ(fn(call.get()), 0);
    EXPECT_EQ(call->typeRFlag, 0) << type;
  }
  EXPECT_EQ(fn(nullptr), 0);
}

TEST(RosterPcnExport, ThroughTheLibrary) {
  auto fn = RosterExport<RosterRecordExport>("Generate1500RosterPCN");
  ASSERT_NE(fn, nullptr);
  auto call = FilledRecord<TRosterPcnCall>();
  call->suffixNumber = 7;
  call->serialNumber = 1234;
  call->prefix.assign("AB");
  ASSERT_TRUE(talvex::common::hostDateFromCalendar({2024, 3, 15}, &call->date));
  EXPECT_EQ(fn(call.get()), 0);
  EXPECT_EQ(call->pcn.str(), "AB    03154F4SH07");
  EXPECT_TRUE(AllFill(call->unused8, sizeof call->unused8));
  EXPECT_TRUE(AllFill(call->unused56, sizeof call->unused56));

  // A prefix whose length byte claims more than its 25 characters is read at
  // its width; the first six count.
  call->prefix.length = 255;
  std::memcpy(call->prefix.chars, "CLINIC01", 8);
  EXPECT_EQ(fn(call.get()), 0);
  EXPECT_EQ(call->pcn.str().substr(0, 6), "CLINIC");

  call->prefix.length = 0;
  EXPECT_EQ(fn(call.get()), 0);
  EXPECT_EQ(call->pcn.length, 0);
  EXPECT_EQ(fn(nullptr), 0);
}

}  // namespace
}  // namespace talvex::qmrbsrst
