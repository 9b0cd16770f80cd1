// Backup and restore of the revenue-code charges on a real installation.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/testing/fault_seam.h"
#include "maintenance/revenue_code_charges.h"
#include "maintenance_fixture.h"

namespace talvex::tabmend::testing {
namespace {

namespace stdfs = std::filesystem;

TEST(ChargeText, GeneralNotationWithPointAndNoTrailingZeros) {
  EXPECT_EQ(FormatCharge(125.5), "125.5");
  EXPECT_EQ(FormatCharge(80), "80");
  EXPECT_EQ(FormatCharge(0.25), "0.25");
  EXPECT_EQ(FormatCharge(12345678.9), "12345678.9");
  EXPECT_EQ(FormatCharge(-3.1), "-3.1");
  EXPECT_EQ(ParseCharge("125.5"), 125.5);
  EXPECT_EQ(ParseCharge(" 80 "), 80);
  EXPECT_EQ(ParseCharge(FormatCharge(0.1 + 0.2)), 0.1 + 0.2 > 0.3 ? ParseCharge("0.3") : 0.3);
  for (const char* bad : {"125,5", "", "abc", "12x", "1.2.3"}) EXPECT_FALSE(ParseCharge(bad)) << bad;
}

class RevenueCodeTest : public MaintenanceTest {
 protected:
  void SetUp() override {
    MaintenanceTest::SetUp();
    Install(host::ReleaseNumber{1, 65, 0, 100});
    dump = nativeInstall + "/private/revupdmp.txt";
  }

  // Replaces the table's records: code -> charge, plus deleted records.
  void Fill(const std::vector<std::pair<std::string, double>>& rows,
            const std::vector<std::pair<std::string, double>>& deleted = {}) {
    C4Context c = code4initP();
    C4Table t = d4open(c, Data("revcode.dbf").c_str());
    ASSERT_NE(t, 0u);
    for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) d4delete(t);
    ASSERT_EQ(d4pack(t), 0);
    auto add = [&](const std::pair<std::string, double>& row, bool del) {
      ASSERT_EQ(d4appendStart(t, 0), 0);
      d4blank(t);
      f4assign(d4field(t, "REV_CODE"), row.first.c_str());
      f4assign(d4field(t, "REV_DESC"), "test");
      f4assignDouble(d4field(t, "REV_CHGS"), row.second);
      ASSERT_EQ(d4append(t), 0);
      if (del) d4delete(t);
    };
    for (const auto& row : rows) add(row, false);
    for (const auto& row : deleted) add(row, true);
    d4close(t);
    code4initUndo(c);
  }

  // Code (as stored, blank-padded) -> charge of the live records.
  std::map<std::string, double> Charges() {
    std::map<std::string, double> out;
    C4Context c = code4initP();
    C4Table t = d4open(c, Data("revcode.dbf").c_str());
    for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
      if (d4deleted(t)) continue;
      double v = 0;
      f4double2(d4field(t, "REV_CHGS"), &v);
      out[f4str(d4field(t, "REV_CODE"))] = v;
    }
    d4close(t);
    code4initUndo(c);
    return out;
  }

  void SetAllChargesToZero() {
    std::vector<std::pair<std::string, double>> rows;
    for (const auto& [code, v] : Charges()) rows.emplace_back(code, 0);
    Fill(rows);
  }

  std::string dump;
};

TEST_F(RevenueCodeTest, BackupAndRestoreCarryTheChargesAcrossAReplacement) {
  Fill({{"0450", 80}, {"0250", 125.5}, {"0300", 0}, {"0120", 0.25}, {"250", 7}}, {{"0999", 5}});
  CallResult backup = Call(&BackupRevenueCodeChargeData);
  ASSERT_EQ(backup.result, 0) << backup.error();
  EXPECT_EQ(backup.entryCount, 1);
  EXPECT_EQ(ReadBytes(dump), "0120|0.25\r\n0250|125.5\r\n0450|80\r\n250|7\r\n");

  SetAllChargesToZero();
  CallResult restore = Call(&RestoreRevenueCodeChargeData);
  ASSERT_EQ(restore.result, 0) << restore.error();
  EXPECT_EQ(restore.entryCount, 1);
  const std::map<std::string, double> expected = {
      {"0120", 0.25}, {"0250", 125.5}, {"0300", 0}, {"0450", 80}, {"250 ", 0}};  // "250" is off by one
  EXPECT_EQ(Charges(), expected);
  EXPECT_TRUE(stdfs::exists(dump));  // kept for later restores
}

TEST_F(RevenueCodeTest, RestorePassesOverLinesItCannotUse) {
  Fill({{"0250", 1}, {"0450", 2}, {"0120", 3}});
  WriteBytes(dump, "0250|125,5\r\n9999|12\r\n0450|abc\r\n0120|0\r\n01200|5\r\n|0450\r\n0450\r\n\r\n");
  CallResult r = Call(&RestoreRevenueCodeChargeData);
  EXPECT_EQ(r.result, 0) << r.error();
  EXPECT_EQ(r.entryCount, 1);
  const std::map<std::string, double> unchanged = {{"0120", 3}, {"0250", 1}, {"0450", 2}};
  EXPECT_EQ(Charges(), unchanged);

  // No dump file at all: nothing to do, nothing reported.
  stdfs::remove(dump);
  r = Call(&RestoreRevenueCodeChargeData);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.entryCount, 1);
  EXPECT_EQ(Charges(), unchanged);
}

TEST_F(RevenueCodeTest, NoChargesGiveAnEmptyDump) {
  Fill({{"0250", 0}, {"0300", 0}});
  ASSERT_EQ(Call(&BackupRevenueCodeChargeData).result, 0);
  ASSERT_TRUE(stdfs::exists(dump));
  EXPECT_EQ(ReadBytes(dump), "");
  EXPECT_EQ(Call(&RestoreRevenueCodeChargeData).result, 0);
}

TEST_F(RevenueCodeTest, FailuresAreReportedWrapped) {
  Fill({{"0250", 125.5}});
  WriteBytes(dump, "0250|9\r\n");
  stdfs::rename(Data("revcode.mdx"), Data("revcode.keep"));
  CallResult backup = Call(&BackupRevenueCodeChargeData);
  EXPECT_EQ(backup.result, -1);
  EXPECT_EQ(backup.error(),
            "Error backing up Revenue Code charge data [Unable to open Revenue Codes reference file.]");
  EXPECT_FALSE(stdfs::exists(dump));  // the old copy went first

  WriteBytes(dump, "0250|9\r\n");
  CallResult restore = Call(&RestoreRevenueCodeChargeData);
  EXPECT_EQ(restore.result, -1);
  EXPECT_EQ(restore.error(),
            "Error restoring Revenue Code charge data [Unable to open Revenue Codes reference file.]");
  stdfs::rename(Data("revcode.keep"), Data("revcode.mdx"));

  // A record that cannot be locked stops the restore: the last lock of a
  // one-line restore is that record's.
  c4faultClear();
  ASSERT_EQ(Call(&RestoreRevenueCodeChargeData).result, 0);
  const int32_t locks = c4faultCount(TALVEX_FAULT_LOCK);
  ASSERT_GT(locks, 0);
  c4faultClear();
  c4faultArm(TALVEX_FAULT_LOCK, locks);
  restore = Call(&RestoreRevenueCodeChargeData);
  c4faultClear();
  EXPECT_EQ(restore.result, -1);
  EXPECT_EQ(restore.error(),
            "Error restoring Revenue Code charge data [Unable to restore Revenue Codes charges data.]");

  setenv("TALVEX_REGISTRY", (root + "/nobody.reg").c_str(), 1);
  EXPECT_EQ(Call(&RestoreRevenueCodeChargeData).error(),
            "Error restoring Revenue Code charge data [Unable to locate (or create) critical directories.]");
  EXPECT_EQ(Call(&BackupRevenueCodeChargeData).error(),
            "Error backing up Revenue Code charge data [Unable to locate (or create) critical directories.]");
}

// The dump is the only copy of the charges while the table is replaced: a
// dump that cannot be written must fail the backup, never pass as success.
TEST_F(RevenueCodeTest, UnwritableDumpFailsTheBackup) {
  Fill({{"0250", 125.5}});
  ASSERT_EQ(Call(&BackupRevenueCodeChargeData).result, 0);  // working folders made
  c4faultClear();
  c4faultArm(TALVEX_FAULT_CREATE, 1);
  CallResult r = Call(&BackupRevenueCodeChargeData);
  c4faultClear();
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.error(),
            "Error backing up Revenue Code charge data [Unable to write temporary Revenue Code charge data file.]");
  EXPECT_FALSE(stdfs::exists(dump));
}

}  // namespace
}  // namespace talvex::tabmend::testing
