// How the conversions fail: missing tables, failing writes through the fault
// seam, claim numbers that are not integers, and the appends that are skipped.
#include <filesystem>
#include <fstream>

#include "conversion_tables.h"
#include "conversions/conversions.h"

namespace talvex::tabmend::conversions::testing {
namespace {

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

TEST_F(ConversionFailures, AClaimNumberThatIsNoIntegerThrowsWithTablesClosed) {
  Make(oldFolder, "bsclaim", 114);
  Make(newFolder, "bsrecid", 115);
  Add(oldFolder, "bsclaim", {{"CLAIM", "12"}, {"C_REFUPIN", "R"}});
  // A damaged numeric field: its bytes are written straight into the file,
  // as the engine refuses such a value.
  {
    std::fstream file(oldFolder + "bsclaim.dbf", std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(file.good());
    unsigned char head[32];
    file.read(reinterpret_cast<char*>(head), 32);
    const int headerLength = head[8] | (head[9] << 8);
    int offset = 1;  // the deletion flag comes first
    bool found = false;
    for (int at = 32; at + 32 <= headerLength && !found; at += 32) {
      unsigned char d[32];
      file.seekg(at);
      file.read(reinterpret_cast<char*>(d), 32);
      if (d[0] == 0x0D) break;
      if (std::string(reinterpret_cast<char*>(d)) == "CLAIM") {
        found = true;
        const std::string bad = std::string(d[16] - 3, ' ') + "12X";
        file.seekp(headerLength + offset);
        file.write(bad.data(), static_cast<std::streamsize>(bad.size()));
      } else {
        offset += d[16];
      }
    }
    ASSERT_TRUE(found);
  }
  ASSERT_EQ(Rows(oldFolder, "bsclaim")[0]["CLAIM"], "12X");
  EXPECT_THROW(Convert0115(oldFolder, newFolder), std::runtime_error);
  EXPECT_TRUE(Convert0163(oldFolder, "") == false);  // context still usable afterwards
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
