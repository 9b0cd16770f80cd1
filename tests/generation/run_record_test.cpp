// A roster run ended by a dead workstation is undone by the next run in the
// same data folder; a run still going on another workstation is left alone;
// a run whose record cannot be written writes nothing.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/testing/fault_seam.h"
#include "qmrbsrst/generation/run_record.h"
#include "qmrbsrst/settings/control_counter.h"
#include "roster_fixture.h"
#include "worker_process.h"

namespace talvex::qmrbsrst::testing {
namespace {

class RunRecordTest : public RosterFixture {
 protected:
  static constexpr int kFirstLines = 12;
  static constexpr int kSecondLines = 4;
  static constexpr int32_t kSecond = kRoster + 1;

  void SetUp() override {
    RosterFixture::SetUp();
    WriteHeader();
    header_[0].second = std::to_string(kSecond);
    WriteHeader();
    for (int i = 1; i <= kFirstLines; ++i) AddLine(i, "A" + std::to_string(i), "ALPHA", kRoster);
    for (int i = 1; i <= kSecondLines; ++i) AddLine(i, "B" + std::to_string(i), "BETA", kSecond);
  }
  void TearDown() override {
    c4faultClear();
    RosterFixture::TearDown();
  }

  size_t LiveClaimsOf(char prefix) {
    size_t n = 0;
    for (const StoredClaim& c : LiveClaims()) n += c.fields.at("C_PCN")[0] == prefix;
    return n;
  }
  std::string Location(int32_t roster) {
    for (const StoredClaim& r : Live("bsroster", "R_ROSTER")) {
      if (r.claim == roster) return r.fields.at("R_LOCATION");
    }
    return "?";
  }
  int32_t GenerateSecond() {
    TGenerateRosterClaimsCall call = MakeCall();
    call.rosterNumber = kSecond;
    return Generate(&call);
  }
  std::string Slot(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "ROSTRUN.%03d", n);
    return dir_ + name;
  }
  std::uintmax_t SlotSize(int n) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(Slot(n), ec);
    return ec ? 0 : size;
  }
  // Every live record of every claim table belongs to a live header, and no
  // claim number is used twice.
  void ExpectNoOrphans() {
    std::set<int32_t> headers;
    for (const StoredClaim& c : LiveClaims()) EXPECT_TRUE(headers.insert(c.claim).second) << c.claim;
    for (const auto& [table, field] :
         {std::pair{"bscpayer", "CP_CLAIM"}, {"bslines", "CLAIM"}, {"bslinesa", "CLAIM"},
          {"bsrecnm", "NM_CLAIM"}, {"bsrecid", "ID_CLAIM"}}) {
      for (const StoredClaim& r : Live(table, field)) {
        EXPECT_EQ(headers.count(r.claim), 1u) << table << " claim " << r.claim;
      }
    }
  }
  double Day() const { return kRunDay; }
};

TEST_F(RunRecordTest, ADeadWorkstationsRunIsUndoneByTheNextRunOfAnyRoster) {
  Worker w = StartWorker({dir_, std::to_string(kRoster), std::to_string(Day()), "--die-at", "5"});
  ASSERT_NE(w, -1);
  ASSERT_EQ(Finish(w), 86);
  ASSERT_EQ(LiveClaimsOf('A'), 5u);
  ASSERT_GT(SlotSize(0), 0u);

  EXPECT_EQ(GenerateSecond(), 0);
  EXPECT_EQ(LiveClaimsOf('A'), 0u);
  EXPECT_EQ(LiveClaimsOf('B'), static_cast<size_t>(kSecondLines));
  EXPECT_EQ(Location(kRoster), "RE");
  EXPECT_EQ(Location(kSecond), "GR");
  EXPECT_EQ(SlotSize(0), 0u);
  ExpectNoOrphans();

  // The dead run's roster generates again, no line a duplicate.
  EXPECT_EQ(Generate(), 0);
  EXPECT_EQ(LiveClaimsOf('A'), static_cast<size_t>(kFirstLines));
  EXPECT_EQ(Location(kRoster), "GR");
  ExpectNoOrphans();
}

TEST_F(RunRecordTest, ARunGoingOnAnotherWorkstationIsNotTakenForAnInterruptedOne) {
  const std::string ready = dir_ + "paused.flag";
  Worker w = StartWorker(
      {dir_, std::to_string(kRoster), std::to_string(Day()), "--pause", "5", ready});
  ASSERT_NE(w, -1);
  for (int i = 0; i < 3000 && !std::filesystem::exists(ready); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(std::filesystem::exists(ready));
  EXPECT_EQ(LiveClaimsOf('A'), 5u);

  // Its slot is held: this run takes the next one and deletes nothing.
  EXPECT_EQ(GenerateSecond(), 0);
  EXPECT_EQ(LiveClaimsOf('A'), 5u);
  EXPECT_GT(SlotSize(0), 0u);
  EXPECT_EQ(SlotSize(1), 0u);

  std::filesystem::remove(ready);
  EXPECT_EQ(Finish(w), 0);
  EXPECT_EQ(LiveClaimsOf('A'), static_cast<size_t>(kFirstLines));
  EXPECT_EQ(LiveClaimsOf('B'), static_cast<size_t>(kSecondLines));
  EXPECT_EQ(Location(kRoster), "GR");
  EXPECT_EQ(SlotSize(0), 0u);
  ExpectNoOrphans();
}

TEST_F(RunRecordTest, TheSameRosterGoingOnAnotherWorkstationIsNotGeneratedTwice) {
  const std::string ready = dir_ + "paused.flag";
  Worker w = StartWorker(
      {dir_, std::to_string(kRoster), std::to_string(Day()), "--pause", "5", ready});
  ASSERT_NE(w, -1);
  for (int i = 0; i < 3000 && !std::filesystem::exists(ready); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(std::filesystem::exists(ready));

  // Its claims are not all written yet, so no duplicate check could stop
  // this run: it must not start.
  TGenerateRosterClaimsCall call = MakeCall();
  EXPECT_EQ(Generate(&call), 11);
  EXPECT_EQ(call.acceptedCount, 0);
  EXPECT_EQ(LiveClaimsOf('A'), 5u);
  EXPECT_EQ(SlotSize(1), 0u);

  std::filesystem::remove(ready);
  EXPECT_EQ(Finish(w), 0);
  EXPECT_EQ(LiveClaimsOf('A'), static_cast<size_t>(kFirstLines));
  EXPECT_EQ(Location(kRoster), "GR");
  ExpectNoOrphans();
  // Once it has ended, its claims make every line a duplicate.
  EXPECT_EQ(Generate(), 13);
  EXPECT_EQ(LiveClaimsOf('A'), static_cast<size_t>(kFirstLines));
}

TEST_F(RunRecordTest, ARecordThatCannotBeWrittenEndsTheRunBeforeAnyClaim) {
  // The slot cannot be opened as a file.
  std::filesystem::create_directory(Slot(0));
  TGenerateRosterClaimsCall call = MakeCall();
  EXPECT_EQ(Generate(&call), 11);
  EXPECT_EQ(call.acceptedCount, 0);
  EXPECT_EQ(LiveClaimRecords(), 0u);
  EXPECT_EQ(Location(kRoster), "RE");
  std::filesystem::remove(Slot(0));

  // The head's write fails: the first write of the call.
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  EXPECT_EQ(Generate(), 11);
  EXPECT_EQ(LiveClaimRecords(), 0u);
  EXPECT_EQ(SlotSize(0), 0u);

  // The first claim's number cannot be noted: that claim is never written.
  // The head is the run's first write, then the counter draws the number.
  c4faultClear();
  ASSERT_GT(NextControlCounter(context_, dir_, kClaimNumberCounter), 0);
  const int32_t counterWrites = c4faultCount(TALVEX_FAULT_WRITE);
  c4faultArm(TALVEX_FAULT_WRITE, 1 + counterWrites + 1);
  EXPECT_EQ(Generate(), 11);
  EXPECT_EQ(LiveClaimRecords(), 0u);
  EXPECT_EQ(SlotSize(0), 0u);
  EXPECT_EQ(Location(kRoster), "RE");

  c4faultClear();
  EXPECT_EQ(Generate(), 0);
  EXPECT_EQ(LiveClaimsOf('A'), static_cast<size_t>(kFirstLines));
}

TEST_F(RunRecordTest, AReversedRunEmptiesItsRecord) {
  AddLine(kFirstLines + 1, "A1", "ALPHA", kRoster);  // a duplicate
  EXPECT_EQ(Generate(), 13);
  EXPECT_EQ(LiveClaimRecords(), 0u);
  EXPECT_EQ(SlotSize(0), 0u);
  // Nothing left to undo: the other roster's run finds its tables as they were.
  EXPECT_EQ(GenerateSecond(), 0);
  EXPECT_EQ(LiveClaimsOf('B'), static_cast<size_t>(kSecondLines));
}

TEST(RunRecordText, ReadsWhatARunWritesAndRefusesTheRest) {
  const std::string head =
      "TALVEX ROSTER RUN 1\r\nROSTER 77 DATE 20240208\r\nBEFORE R_LOCATION 5245\r\n"
      "BEFORE R_TOTCNT 2020\r\nBEGUN\r\n";
  RunRecordContent r;
  std::string why;
  ASSERT_TRUE(ParseRunRecord(head + "CLAIM 1001\r\nCLAIM 1002\r\nHEADER\r\n", &r, &why)) << why;
  EXPECT_TRUE(r.begun);
  EXPECT_EQ(r.roster, 77);
  EXPECT_EQ(r.runDate, "20240208");
  ASSERT_EQ(r.headerBefore.size(), 2u);
  EXPECT_EQ(r.headerBefore[0].second, "RE");
  EXPECT_EQ(r.headerBefore[1].second, "  ");
  EXPECT_EQ(r.claims, (std::vector<int32_t>{1001, 1002}));
  EXPECT_TRUE(r.headerUpdateBegun);

  // A write cut short: the claim it announced was never begun.
  ASSERT_TRUE(ParseRunRecord(head + "CLAIM 1001\r\nCLAIM 10", &r, &why)) << why;
  EXPECT_EQ(r.claims, (std::vector<int32_t>{1001}));
  // A head cut short: nothing was written after it.
  ASSERT_TRUE(ParseRunRecord(head.substr(0, 30), &r, &why)) << why;
  EXPECT_FALSE(r.begun);
  // A power cut that kept the new length but lost sectors of the last,
  // unsynced addition leaves zeros there: the head, or the last claim line.
  ASSERT_TRUE(ParseRunRecord(std::string(head.size(), '\0'), &r, &why)) << why;
  EXPECT_FALSE(r.begun);
  ASSERT_TRUE(ParseRunRecord(head.substr(0, 40) + std::string(20, '\0') + "BEGUN\r\n", &r, &why))
      << why;
  EXPECT_FALSE(r.begun);
  ASSERT_TRUE(ParseRunRecord(head + "CLAIM 1001\r\n" + std::string(7, '\0') + "2\r\n", &r, &why))
      << why;
  EXPECT_EQ(r.claims, (std::vector<int32_t>{1001}));

  for (const std::string& bad :
       {std::string("TALVEX ROSTER RUN 2\r\nROSTER 77 DATE 20240208\r\nBEGUN\r\n"),
        head + "CLAIM 12x4\r\n", head + "CLAIM 99999999999\r\n", head + "HEADER\r\nCLAIM 5\r\n",
        head + "claim 5", head + std::string(4, '\0') + "\r\nCLAIM 5\r\n",
        std::string("PK\x03\x04"),
        std::string("TALVEX ROSTER RUN 1\r\nROSTER 77 DATE 2024\r\nBEGUN\r\n"),
        std::string("TALVEX ROSTER RUN 1\r\nROSTER 77 DATE 20240208\r\nBEFORE R_LOCATION 5\r\n"
                    "BEGUN\r\n")}) {
    why.clear();
    EXPECT_FALSE(ParseRunRecord(bad, &r, &why)) << bad;
    EXPECT_FALSE(why.empty());
  }
}

}  // namespace
}  // namespace talvex::qmrbsrst::testing
