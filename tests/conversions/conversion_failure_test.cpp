// How the conversions fail: missing tables, failing appends and writes through
// the fault seam, claim numbers that are not integers.
#include <filesystem>
#include <fstream>

#include "../common/file_bytes.h"
#include "conversion_tables.h"
#include "conversions/conversions.h"

namespace talvex::tabmend::conversions::testing {
namespace {

using talvex::testing::ReadBytes;
using talvex::testing::WriteBytes;

class ConversionFailures : public ConversionTables {};

TEST_F(ConversionFailures, AMissingTableFailsEveryConversionAndLeavesNothingOpen) {
  EXPECT_FALSE(Convert0107(oldFolder, newFolder));
  EXPECT_FALSE(Convert0115(oldFolder, newFolder));
  EXPECT_FALSE(Convert0116(oldFolder, newFolder));
  EXPECT_FALSE(Convert0117(oldFolder, newFolder));
  EXPECT_FALSE(Convert0167(oldFolder, newFolder));
  EXPECT_FALSE(Convert0168(oldFolder, newFolder));
  EXPECT_FALSE(Convert0169(oldFolder, newFolder));
  EXPECT_FALSE(Convert0121(oldFolder, newFolder));
  EXPECT_FALSE(Convert0147(newFolder, "bcprov"));
  EXPECT_FALSE(Convert0153(oldFolder, newFolder));
  EXPECT_FALSE(Convert0163(newFolder, ""));
  EXPECT_FALSE(Convert0165(oldFolder, newFolder));
  EXPECT_EQ(code4errorCode(c, 0), 0);
  // Nothing stays open: the folders can be removed and remade.
  std::filesystem::remove_all(newFolder);
  EXPECT_TRUE(std::filesystem::create_directories(newFolder));
}

// The exception names the table, the record and the field, with control
// bytes shown, so the run log says what to repair.
TEST_F(ConversionFailures, AClaimNumberThatIsNoIntegerThrowsWithTablesClosed) {
  Make(oldFolder, "bsclaim", 114);
  Make(newFolder, "bsrecid", 115);
  Add(oldFolder, "bsclaim", {{"CLAIM", "11"}});
  Add(oldFolder, "bsclaim", {{"CLAIM", "12"}, {"C_REFUPIN", "R"}});
  const std::string clean = ReadBytes(oldFolder + "bsclaim.dbf");
  struct Bad {
    std::string bytes, shown;
  };
  for (const Bad& bad : {Bad{"12X", "12X"}, Bad{std::string("1\x01") + "2", "1\\x012"}}) {
    SCOPED_TRACE(bad.shown);
    // A damaged numeric field in record 2: its bytes are written straight
    // into the file, as the engine refuses such a value.
    std::string dbf = clean;
    const int headerLength = static_cast<unsigned char>(dbf[8]) | (static_cast<unsigned char>(dbf[9]) << 8);
    const int recordLength = static_cast<unsigned char>(dbf[10]) | (static_cast<unsigned char>(dbf[11]) << 8);
    int offset = 1;  // the deletion flag comes first
    bool found = false;
    for (int at = 32; at + 32 <= headerLength && dbf[at] != 0x0D; at += 32) {
      const int width = static_cast<unsigned char>(dbf[at + 16]);
      if (std::string(dbf.c_str() + at) == "CLAIM") {
        found = true;
        dbf.replace(headerLength + recordLength + offset + width - bad.bytes.size(), bad.bytes.size(),
                    bad.bytes);
        break;
      }
      offset += width;
    }
    ASSERT_TRUE(found);
    WriteBytes(oldFolder + "bsclaim.dbf", dbf);
    std::string what;
    try {
      Convert0115(oldFolder, newFolder);
    } catch (const std::runtime_error& e) {
      what = e.what();
    }
    EXPECT_NE(what.find("bsclaim.dbf record 2, field CLAIM: claim number is not an integer: \"" +
                        bad.shown + "\""),
              std::string::npos)
        << what;
  }
  EXPECT_TRUE(Convert0163(oldFolder, "") == false);  // context still usable afterwards
}

// A narrative whose memo blocks are gone is an error, never an empty
// narrative that adds no rows.
TEST_F(ConversionFailures, ANarrativeTheEngineCannotReadThrowsNamingItsRecordAndField) {
  Make(oldFolder, "bslinesa", 168);
  for (const char* base : {"bsrecnm", "bsrecrn", "bsrecid", "bscob"}) Make(newFolder, base, 169);
  Add(oldFolder, "bslinesa", {{"CLAIM", "5"}, {"LINE", "1"}, {"LA_NRTV", std::string(900, 'N')}});
  std::filesystem::resize_file(oldFolder + "bslinesa.dbt", 512);  // the header block only
  std::string what;
  try {
    Convert0169(oldFolder, newFolder);
  } catch (const std::runtime_error& e) {
    what = e.what();
  }
  EXPECT_NE(what.find("bslinesa.dbf record 1, field LA_NRTV: Memo file error"), std::string::npos)
      << what;
  EXPECT_TRUE(Rows(newFolder, "bsrecrn").empty());
}

TEST_F(ConversionFailures, AFailedRowWriteFailsThePurgingConversions) {
  Make(oldFolder, "bslines", 115);
  Make(newFolder, "bsrecid", 116);
  Add(oldFolder, "bslines", {{"CLAIM", "1"}, {"LINE", "1"}, {"L_PURSVCID", "P"}});
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  EXPECT_FALSE(Convert0116(oldFolder, newFolder));
  c4faultClear();
  EXPECT_TRUE(Convert0116(oldFolder, newFolder));
  EXPECT_EQ(RowsOfType(newFolder, "bsrecid", "ID_TYPE", "PSSL").size(), 1u);
}

// The run's context buffers writes, so a failing write surfaces when the
// tables are flushed and reindexed: the conversion must then say false, and
// whenever it says true both rows are really there.
TEST_F(ConversionFailures, WriteFaultsInThePayerConversionAreReportedNotHidden) {
  Make(oldFolder, "bsclaim", 166);
  Make(oldFolder, "bscpayer", 167);
  Add(oldFolder, "bscpayer", {{"CP_CLAIM", "1"}, {"CP_PAYSEQ", "01"}, {"CP_PRIAUT", "A"},
                              {"CP_ALLOW", "10"}});
  int failures = 0;
  for (int nth = 1; nth <= 30; ++nth) {
    SCOPED_TRACE(nth);
    std::filesystem::remove_all(newFolder);
    std::filesystem::create_directories(newFolder);
    Make(newFolder, "bscpayer", 168);
    Make(newFolder, "bscob", 168);
    Make(newFolder, "bsrecid", 168);
    c4faultArm(TALVEX_FAULT_WRITE, nth);
    bool ok = false;
    EXPECT_NO_THROW(ok = Convert0168(oldFolder, newFolder));
    c4faultClear();
    if (!ok) {
      ++failures;
      continue;
    }
    EXPECT_EQ(Rows(newFolder, "bsrecid").size(), 1u);
    EXPECT_EQ(Rows(newFolder, "bscob").size(), 1u);
  }
  EXPECT_GT(failures, 0);
}

// Every append and write of the two row-adding conversions, failed in turn
// by the fault seam: each run either fails or has added every row a clean
// run adds. None skips a row and says true.
TEST_F(ConversionFailures, FailedAppendsFailTheClaimAndLineRowConversions) {
  struct Case {
    int number, oldStep;
    const char* table;
    Row row;
    bool (*convert)(const std::string&, const std::string&);
  };
  const Case cases[] = {
      {167, 166, "bsclaim",
       {{"CLAIM", "1"}, {"C_REFLNAME", "SMITH"}, {"C_DOCTYPE", "A"}, {"C_DOCACN", "CTL1"},
        {"C_FACNAME", "CLINIC"}, {"C_CPPROV", "P77"}},
       &Convert0167},
      {169, 168, "bslinesa",
       {{"CLAIM", "5"}, {"LINE", "1"}, {"LA_PURSVNM", "SMITH, JOHN"}, {"LA_ORDRLN", "ORD"},
        {"LA_NRTV", "ONE\r\nTWO"}, {"LA_REFNO1", "R1"}, {"LA_REFTP1", "9B"}, {"LA_DEDUCT", "7"},
        {"LA_COINS", "3"}},
       &Convert0169},
  };
  const std::vector<std::string> rowTables = {"bsrecnm", "bsrecrn", "bsrecid", "bscob"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    std::filesystem::remove_all(oldFolder);
    std::filesystem::create_directories(oldFolder);
    Make(oldFolder, c.table, c.oldStep);
    Add(oldFolder, c.table, c.row);
    auto fresh = [&] {
      std::filesystem::remove_all(newFolder);
      std::filesystem::create_directories(newFolder);
      for (const std::string& base : rowTables) Make(newFolder, base, c.number);
    };
    fresh();
    ASSERT_TRUE(c.convert(oldFolder, newFolder));
    std::vector<size_t> clean;
    for (const std::string& base : rowTables) clean.push_back(Rows(newFolder, base).size());
    for (TalvexFaultOp op : {TALVEX_FAULT_WRITE, TALVEX_FAULT_LOCK}) {
      int failures = 0;
      for (int nth = 1; nth <= 40; ++nth) {
        fresh();
        c4faultArm(op, nth);
        bool ok = false;
        EXPECT_NO_THROW(ok = c.convert(oldFolder, newFolder));
        c4faultClear();
        if (!ok) {
          ++failures;
          continue;
        }
        for (size_t k = 0; k < rowTables.size(); ++k) {
          EXPECT_EQ(Rows(newFolder, rowTables[k]).size(), clean[k])
              << rowTables[k] << " after fault " << op << ":" << nth;
        }
      }
      if (op == TALVEX_FAULT_WRITE) {
        EXPECT_GT(failures, 0);
      }
    }
  }
}

TEST_F(ConversionFailures, AFailedLockOfAnAttachmentFailsTheNarrativeConversion) {
  Make(oldFolder, "bsattach", 164);
  Make(newFolder, "bsattach", 165);
  Add(oldFolder, "bsattach", {{"CLAIM", "1"}, {"LINE", "1"}, {"A_TRIPNAR", "T"}});
  Add(newFolder, "bsattach", {{"CLAIM", "1"}, {"LINE", "1"}});
  // Every lock the conversion takes, failed in turn: each either fails the
  // conversion or is one the engine retries (its short internal locks).
  // Folder paths without a trailing separator: mingw's std::filesystem::copy
  // does not find a folder named "new/".
  const std::string copy = dir.native("attach-copy"), fresh = dir.native("new");
  std::filesystem::remove_all(copy);
  std::filesystem::copy(fresh, copy);
  c4faultClear();
  ASSERT_TRUE(Convert0165(oldFolder, newFolder));
  const int locks = c4faultCount(TALVEX_FAULT_LOCK);
  ASSERT_GT(locks, 0);
  int failures = 0;
  for (int n = 1; n <= locks; ++n) {
    std::filesystem::remove_all(fresh);
    std::filesystem::copy(copy, fresh);
    c4faultClear();
    c4faultArm(TALVEX_FAULT_LOCK, n);
    const bool result = Convert0165(oldFolder, newFolder);
    c4faultClear();
    if (!result)
      ++failures;
    else
      EXPECT_EQ(Rows(newFolder, "bsattach").size(), 1u) << "lock " << n << " failed";
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace talvex::tabmend::conversions::testing
