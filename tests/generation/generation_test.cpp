// Roster runs against real tables: the claims a clean run leaves, and what
// every kind of failure leaves behind (nothing of the run, the other claims
// untouched, the line texts and the status code).
#include <algorithm>
#include <chrono>
#include <thread>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testing/fault_seam.h"
#include "qmrbsrst/generation/progress_callback.h"
#include "qmrbsrst/status/status_messages.h"
#include "roster_fixture.h"
#include "worker_process.h"

namespace talvex::qmrbsrst::testing {
namespace {

#if defined(__i386__)
__attribute__((regparm(2)))
#endif
void RecordProgress(void* self, const void* text) {
  auto* sink = static_cast<std::vector<std::string>*>(self);
  const auto* s = static_cast<const common::ShortString<255>*>(text);
  sink->push_back(s->str());
}

using GenerationTest = RosterFixture;

TEST_F(GenerationTest, CleanRunWritesEveryClaimAndUpdatesTheHeader) {
  WriteHeader();
  AddLine(1, "PCN1", "ALPHA");
  AddLine(2, "PCN2", "BETA");
  std::vector<std::string> progress;
  TGenerateRosterClaimsCall call = MakeCall();
  ASSERT_EQ(GenerateRosterClaims(&call, reinterpret_cast<void*>(&RecordProgress), &progress), 0);

  EXPECT_EQ(call.acceptedCount, 2);
  EXPECT_DOUBLE_EQ(call.acceptedTotal, 110.30);
  EXPECT_EQ(call.rejectedCount, 0);
  EXPECT_DOUBLE_EQ(call.rejectedTotal, 0);
  EXPECT_EQ(progress, (std::vector<std::string>{"Pre-processing roster billing file ...",
                                                "Generating roster claims (1 of 2 completed)",
                                                "Generating roster claims (2 of 2 completed)",
                                                "Roster claim generation complete"}));

  auto claims = LiveClaims();
  ASSERT_EQ(claims.size(), 2u);
  EXPECT_EQ(claims[0].claim, 1001);
  EXPECT_EQ(claims[1].claim, 1002);
  const auto& h = claims[0].fields;
  EXPECT_EQ(h.at("C_PCN"), "PCN1");
  EXPECT_EQ(h.at("C_PATLNAME"), "ALPHA");
  EXPECT_EQ(h.at("DT_ENTERED"), "20240208");
  EXPECT_EQ(h.at("LOCATION"), "CL");
  EXPECT_EQ(h.at("STATUS"), "UNP");
  EXPECT_EQ(h.at("C_SERVFROM"), "20240202");
  EXPECT_EQ(h.at("C_BILLPROV"), "PROV1");
  EXPECT_EQ(h.at("C_BILLNPI"), "1234567893");
  EXPECT_EQ(h.at("C_DIAG1"), "V0382");
  EXPECT_EQ(h.at("C_PAYER_D"), "Medicare Part B");
  EXPECT_DOUBLE_EQ(std::stod(h.at("C_TOTCHGS")), 55.15);

  auto lines = Live("bslines", "CLAIM");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].fields.at("L_HCPCS"), "90732");
  EXPECT_EQ(lines[1].fields.at("L_HCPCS"), "G0009");
  EXPECT_EQ(lines[1].fields.at("LINE"), "2");
  // Only the vaccine line carries a description.
  auto descriptions = Live("bslinesa", "CLAIM");
  ASSERT_EQ(descriptions.size(), 2u);
  EXPECT_EQ(descriptions[0].fields.at("LA_PROCDSC"), "Pneumococcal");
  auto payers = Live("bscpayer", "CP_CLAIM");
  ASSERT_EQ(payers.size(), 2u);
  EXPECT_EQ(payers[1].claim, 1002);
  EXPECT_EQ(payers[1].fields.at("CP_PAYSEQ"), "01");
  EXPECT_EQ(payers[1].fields.at("CP_RELINS"), "18");
  EXPECT_EQ(payers[1].fields.at("CP_LNAME"), "BETA");  // the patient is the insured

  EXPECT_EQ(LineMessages(), (std::map<int, std::string>{{1, ""}, {2, ""}}));
  auto header = Header();
  EXPECT_EQ(header.fields.at("R_LOCATION"), "GR");
  EXPECT_EQ(header.fields.at("R_PROCESS"), "20240208");
  EXPECT_EQ(header.fields.at("R_TOTCNT"), "2");
  EXPECT_DOUBLE_EQ(std::stod(header.fields.at("R_TOTCHG")), 110.30);
  EXPECT_EQ(code4errorCode(context_, 0), 0);
}

TEST_F(GenerationTest, LinesStopAtTheFirstGapAndOutOfRangeNumbersOnlyCount) {
  WriteHeader();
  AddLine(1, "A");
  AddLine(2, "B");
  AddLine(4, "D");
  AddLine(0, "Z");
  std::vector<std::string> progress;
  TGenerateRosterClaimsCall call = MakeCall();
  ASSERT_EQ(GenerateRosterClaims(&call, reinterpret_cast<void*>(&RecordProgress), &progress), 0);
  EXPECT_EQ(call.acceptedCount, 2);
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress[2], "Generating roster claims (2 of 4 completed)");
  EXPECT_EQ(LiveClaims().size(), 2u);
  EXPECT_EQ(LineMessages().at(4), "old text");
}

TEST_F(GenerationTest, EmptyRosterCompletesWithZeroTotals) {
  WriteHeader();
  TGenerateRosterClaimsCall call = MakeCall();
  ASSERT_EQ(Generate(&call), 0);
  EXPECT_EQ(call.acceptedCount, 0);
  EXPECT_EQ(Header().fields.at("R_TOTCNT"), "0");
  EXPECT_EQ(Header().fields.at("R_LOCATION"), "GR");
}

TEST_F(GenerationTest, DuplicateLineReversesTheWholeRun) {
  WriteHeader();
  AddLine(1, "P1");
  AddLine(2, "P2");
  AddLine(3, "P1");  // same patient, amounts and dates as line 1
  TGenerateRosterClaimsCall call = MakeCall();
  ASSERT_EQ(Generate(&call), 13);
  EXPECT_EQ(call.acceptedCount, 0);
  EXPECT_DOUBLE_EQ(call.acceptedTotal, 0);
  EXPECT_EQ(call.rejectedCount, 1);
  EXPECT_DOUBLE_EQ(call.rejectedTotal, 55.15);
  EXPECT_EQ(LiveClaimRecords(), 0u);
  EXPECT_EQ(LineMessages(),
            (std::map<int, std::string>{{1, ""}, {2, ""}, {3, "Duplicate claim"}}));
  EXPECT_EQ(Header().fields.at("R_LOCATION"), "RE");
  EXPECT_EQ(code4errorCode(context_, 0), 0);
}

TEST_F(GenerationTest, SecondRunOfTheSameRosterFindsOnlyDuplicates) {
  WriteHeader();
  AddLine(1, "P1");
  AddLine(2, "P2");
  ASSERT_EQ(Generate(), 0);
  const size_t before = LiveClaimRecords();
  ASSERT_EQ(Generate(), 13);
  EXPECT_EQ(LiveClaimRecords(), before);  // the first run's claims stay
  EXPECT_EQ(LineMessages(),
            (std::map<int, std::string>{{1, "Duplicate claim"}, {2, "Duplicate claim"}}));
}

TEST_F(GenerationTest, StoredClaimMarkedDelIsNoDuplicate) {
  AppendRow(context_, dir_, "bsclaim",
            {{"CLAIM", "5"}, {"STATUS", "DEL"}, {"C_LOB", "MCB"}, {"C_PAYER_I", "PAY01"},
             {"C_BILLPROV", "PROV1"}, {"C_PCN", "P1"}, {"C_SERVFROM", "20240202"},
             {"C_SERVTHRU", "20240202"}, {"C_TOTCHGS", "55.15"}});
  WriteHeader();
  AddLine(1, "P1");
  EXPECT_EQ(Generate(), 0);
  EXPECT_EQ(LiveClaims().size(), 2u);
}

// The stored claims are those the claim tag holds: with a filter on the tag
// a claim it leaves out is no duplicate, one it holds is; and the tag is
// still selected afterwards for the reversal's seeks.
TEST_F(GenerationTest, StoredClaimsAreThoseOfTheClaimTag) {
  auto layout = releases::NewestLayout("bsclaim");
  ASSERT_TRUE(layout.has_value());
  for (auto& tag : layout->tags)
    if (tag.name == "CL_ONLY") tag.filter = "STATUS <> \"ARC\"";
  for (const char* ext : {".dbf", ".mdx", ".dbt"}) std::filesystem::remove(dir_ + "bsclaim" + ext);
  std::string error;
  const std::vector<releases::TableLayout> tables = {*layout};
  ASSERT_TRUE(releases::CreateTableSet(context_, dir_, tables, &error)) << error;
  WriteHeader();
  AddLine(1, "P1");
  AddLine(2, "P2");
  ASSERT_EQ(Generate(), 0);
  // The first claim leaves the tag.
  C4Table t = d4open(context_, (dir_ + "bsclaim.dbf").c_str());
  ASSERT_NE(t, 0u);
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  ASSERT_GE(f4assign(d4field(t, "STATUS"), "ARC"), 0);
  ASSERT_EQ(d4close(t), 0);

  EXPECT_EQ(Generate(), 13);
  EXPECT_EQ(LineMessages(), (std::map<int, std::string>{{1, ""}, {2, "Duplicate claim"}}));
  std::set<int> left;
  for (const auto& c : LiveClaims()) left.insert(c.claim);
  EXPECT_EQ(left, (std::set<int>{1001, 1002}));  // the second run's claim for line 1 is gone
}

TEST_F(GenerationTest, SetupFailuresWriteNothingAndZeroTheOutFields) {
  WriteHeader();
  AddLine(1, "P1");
  struct Case {
    const char* name;
    std::function<void(RosterFixture*)> breakIt;
    int32_t code;
  };
  // Each case works on a copy of the folder, broken one way.
  const std::filesystem::path original = folder_.path();
  std::vector<Case> cases = {
      {"missing table", [](RosterFixture* f) {
         std::filesystem::remove(f->dir_ + "bslinesa.dbf");
       }, 3},
      {"unknown roster", [](RosterFixture* f) {
         (void)f;
       }, 6},
      {"provider of another line of business", [](RosterFixture* f) {
         std::filesystem::remove(f->dir_ + "bsprov.dbf");
         std::filesystem::remove(f->dir_ + "bsprov.mdx");
         std::string error;
         ASSERT_TRUE(releases::CreateTable(f->context_, f->dir_,
                                           *releases::NewestLayout("bsprov"), &error));
         AppendRow(f->context_, f->dir_, "bsprov",
                   {{"P_RECSEQ", "00000005"}, {"P_TYPE", "S"}, {"P_ID", "PROV1"},
                    {"P_ID_LOB", "MCD"}});
       }, 7},
      {"payer used up", [](RosterFixture* f) {
         std::filesystem::remove(f->dir_ + "payer.dbf");
         std::filesystem::remove(f->dir_ + "payer.mdx");
         std::string error;
         ASSERT_TRUE(releases::CreateTable(f->context_, f->dir_,
                                           *releases::NewestLayout("payer"), &error));
         AppendRow(f->context_, f->dir_, "payer",
                   {{"PAYID", "PAY01"}, {"PAYLOB", "MCB"}, {"PAYUSAGE", "U"}});
       }, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder copy;
    CopyFolder(original, copy.path());
    std::string saved = dir_;
    dir_ = copy.path();
    c.breakIt(this);
    TGenerateRosterClaimsCall call = MakeCall();
    if (c.code == 6) call.rosterNumber = kRoster + 1;
    EXPECT_EQ(Generate(&call), c.code);
    EXPECT_EQ(call.acceptedCount, 0);
    EXPECT_EQ(call.rejectedCount, 0);
    EXPECT_DOUBLE_EQ(call.acceptedTotal, 0);
    EXPECT_DOUBLE_EQ(call.rejectedTotal, 0);
    if (c.code != 3) {
      EXPECT_EQ(LiveClaimRecords(), 0u);
    }
    EXPECT_EQ(LineMessages().at(1), "old text");
    EXPECT_EQ(code4errorCode(context_, 0), 0);
    dir_ = saved;
  }
}

TEST_F(GenerationTest, PayerMarkedUsedUpIsPassedForTheNextRecord) {
  std::filesystem::remove(dir_ + "payer.dbf");
  std::string error;
  ASSERT_TRUE(releases::CreateTable(context_, dir_, *releases::NewestLayout("payer"), &error));
  AppendRow(context_, dir_, "payer",
            {{"PAYID", "PAY01"}, {"PAYLOB", "MCB"}, {"PAYUSAGE", "U"}, {"PAYFULDESC", "Old"}});
  AppendRow(context_, dir_, "payer",
            {{"PAYID", "PAY01"}, {"PAYLOB", "MCB"}, {"PAYFULDESC", "Current"}});
  WriteHeader();
  AddLine(1, "P1");
  ASSERT_EQ(Generate(), 0);
  EXPECT_EQ(LiveClaims()[0].fields.at("C_PAYER_D"), "Current");
}

TEST_F(GenerationTest, LockedPatientLineGivesFifteenAndReverses) {
  WriteHeader();
  AddLine(1, "P1");
  AddLine(2, "P2");
  // A second workstation, another process, holds line 2.
  const std::string ready = dir_ + "holding.flag";
  Worker holder = StartWorker({"--hold", dir_ + "bsrostln.dbf", "2", ready});
  ASSERT_NE(holder, -1);
  for (int i = 0; i < 1000 && !std::filesystem::exists(ready); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(std::filesystem::exists(ready));
  TGenerateRosterClaimsCall call = MakeCall();
  EXPECT_EQ(Generate(&call), 15);
  std::filesystem::remove(ready);
  EXPECT_EQ(Finish(holder), 0);
  EXPECT_EQ(call.acceptedCount, 0);
  EXPECT_EQ(call.rejectedCount, 0);
  EXPECT_EQ(LiveClaimRecords(), 0u);
  EXPECT_EQ(LineMessages().at(1), "");
  EXPECT_EQ(LineMessages().at(2), "old text");
  EXPECT_EQ(Header().fields.at("R_LOCATION"), "RE");
}

TEST_F(GenerationTest, NoClaimNumberGivesTenAndKeepsOtherClaims) {
  AppendRow(context_, dir_, "bsclaim", {{"CLAIM", "9"}, {"C_PCN", "OTHER"}});
  WriteHeader();
  AddLine(1, "P1");
  // The counter table cannot be opened, let alone locked.
  std::filesystem::remove(dir_ + "utilmast.dbf");
  TGenerateRosterClaimsCall call = MakeCall();
  EXPECT_EQ(Generate(&call), 10);
  auto claims = LiveClaims();
  ASSERT_EQ(claims.size(), 1u);
  EXPECT_EQ(claims[0].claim, 9);
  EXPECT_EQ(call.acceptedCount, 0);
}

TEST_F(GenerationTest, HeaderReadAndUpdatedThroughTheHostHandle) {
  WriteHeader();
  AddLine(1, "P1");
  C4Table host = d4open(context_, (dir_ + "bsroster.dbf").c_str());
  ASSERT_NE(host, 0u);
  TGenerateRosterClaimsCall call = MakeCall();
  call.rosterTable = host;
  ASSERT_EQ(Generate(&call), 0);
  // The handle is still the host's, open and holding the update's lock.
  EXPECT_EQ(d4recCount(host), 1);
  C4Context other = code4initP();
  C4Table probe = d4open(other, (dir_ + "bsroster.dbf").c_str());
  ASSERT_NE(probe, 0u);
  EXPECT_EQ(d4lockInternal(probe, 1, 0, 1), r4locked);
  code4initUndo(other);
  EXPECT_EQ(d4unlock(host), 0);
  EXPECT_EQ(d4close(host), 0);
  EXPECT_EQ(Header().fields.at("R_LOCATION"), "GR");
}

// A write that fails anywhere in the run, the claims' stages included, must
// leave no record of the run live: also a record whose append failed after
// it reached the data file but before its key reached the tag.
TEST_F(GenerationTest, FailedWriteAnywhereLeavesNoClaimOfTheRun) {
  WriteHeader();
  AddLine(1, "P1");
  AddLine(2, "P2");
  AddLine(3, "P3");
  const std::filesystem::path original = folder_.path();
  TempFolder probe;
  CopyFolder(original, probe.path());
  const std::string saved = dir_;
  dir_ = probe.path();
  c4faultClear();
  ASSERT_EQ(Generate(), 0);
  const int32_t writes = c4faultCount(TALVEX_FAULT_WRITE);
  c4faultClear();
  ASSERT_GT(writes, 10);
  dir_ = saved;

  int failures = 0;
  std::set<int32_t> seen;
  for (int32_t nth = 1; nth <= writes; nth += std::max(1, writes / 25)) {
    SCOPED_TRACE("write " + std::to_string(nth));
    TempFolder copy;
    CopyFolder(original, copy.path());
    dir_ = copy.path();
    c4faultArm(TALVEX_FAULT_WRITE, nth);
    const int32_t code = Generate();
    c4faultClear();
    if (code != 0) {
      ++failures;
      seen.insert(code);
      EXPECT_TRUE(code == 9 || code == 10 || code == 11 || code == 14 || code == 15 ||
                  code == 2 || code == 4)
          << code;
      if (code != 2 && code != 4) {
        EXPECT_EQ(LiveClaimRecords(), 0u) << code;
        EXPECT_NE(Header().fields.at("R_LOCATION"), "GR");
      }
    }
    dir_ = saved;
  }
  EXPECT_GT(failures, 0);
  // The claim counter, a stage of saving a claim and the line loop's own
  // writes are each among the sampled failures.
  for (int32_t code : {9, 10, 11}) EXPECT_EQ(seen.count(code), 1u) << code;
}

TEST(StatusTexts, GenerationCodesHaveTexts) {
  EXPECT_STREQ(RosterStatusMessage(15), "Unable to update the roster billing line record.");
}

}  // namespace
}  // namespace talvex::qmrbsrst::testing

namespace talvex::qmrbsrst::testing {
namespace {

// A table of the set rebuilt without one field, as an old or damaged layout.
void RecreateWithout(RosterFixture* f, const char* table, const char* field) {
  auto layout = *releases::NewestLayout(table);
  std::erase_if(layout.fields, [&](const releases::FieldLayout& x) { return x.name == field; });
  std::string error;
  ASSERT_TRUE(releases::CreateTable(f->context_, f->dir_, layout, &error)) << error;
}

using GenerationFailureTest = RosterFixture;

TEST_F(GenerationFailureTest, HeaderThatCannotBeLockedGivesFourteenAndReverses) {
  WriteHeader();
  AddLine(1, "P1");
  C4Context other = code4initP();
  C4Table held = d4open(other, (dir_ + "bsroster.dbf").c_str());
  ASSERT_NE(held, 0u);
  ASSERT_EQ(d4lockInternal(held, 1, 0, 1), 0);
  TGenerateRosterClaimsCall call = MakeCall();
  EXPECT_EQ(Generate(&call), 14);
  code4initUndo(other);
  EXPECT_EQ(LiveClaimRecords(), 0u);
  EXPECT_EQ(call.acceptedCount, 0);  // the claims it counted are gone again
  EXPECT_DOUBLE_EQ(call.acceptedTotal, 0);
  EXPECT_EQ(LineMessages().at(1), "");
  EXPECT_EQ(Header().fields.at("R_LOCATION"), "RE");
}

TEST_F(GenerationFailureTest, LineTableWithoutMessageFieldGivesNine) {
  RecreateWithout(this, "bsrostln", "RL_ERRMSG");
  WriteHeader();
  AppendRow(context_, dir_, "bsrostln",
            {{"RL_ROSTER", "0000000077"}, {"RL_LINE", "1"}, {"RL_PCN", "P1"}});
  TGenerateRosterClaimsCall call = MakeCall();
  EXPECT_EQ(Generate(&call), 9);
  EXPECT_EQ(LiveClaimRecords(), 0u);
  EXPECT_EQ(code4errorCode(context_, 0), 0);
}

TEST_F(GenerationFailureTest, ClaimTableWithoutStatusGivesFive) {
  RecreateWithout(this, "bsclaim", "STATUS");
  WriteHeader();
  AddLine(1, "P1");
  TGenerateRosterClaimsCall call = MakeCall();
  EXPECT_EQ(Generate(&call), 5);
  EXPECT_EQ(call.acceptedCount, 0);
  EXPECT_EQ(LineMessages().at(1), "old text");
}

TEST_F(GenerationFailureTest, OptionalFieldsAreLeftOutWhereTheTableLacksThem) {
  // A claim table of an older layout: no billing NPI, no edit indicator.
  auto layout = *releases::NewestLayout("bsclaim");
  std::erase_if(layout.fields, [](const releases::FieldLayout& x) {
    return x.name == "C_BILLNPI" || x.name == "C_EDITIND";
  });
  std::string error;
  ASSERT_TRUE(releases::CreateTable(context_, dir_, layout, &error)) << error;
  WriteHeader();
  AddLine(1, "P1");
  ASSERT_EQ(Generate(), 0);
  auto claims = LiveClaims();
  ASSERT_EQ(claims.size(), 1u);
  EXPECT_EQ(claims[0].fields.count("C_BILLNPI"), 0u);
  EXPECT_EQ(claims[0].fields.at("C_PCN"), "P1");
}

TEST_F(GenerationFailureTest, ProviderTypeIndividualNeedsTheGroupOnTheRosterLob) {
  for (auto& field : header_) {
    if (field.first == "R_PROVTYPE") field.second = "I";
    if (field.first == "R_PROVID") field.second = "DOC7";
  }
  header_.push_back({"R_PROVGSQ", "5"});
  for (auto& field : header_) {
    if (field.first == "R_PROVSEQ") field.second = "7";
  }
  WriteHeader();
  AddLine(1, "P1");
  AppendRow(context_, dir_, "bsprov",
            {{"P_RECSEQ", "00000007"}, {"P_TYPE", "I"}, {"P_ID", "DOC7"}, {"P_ID_LOB", "MCB"}});
  // Group record 5 is on "MCB": the claim bills the group for DOC7.
  ASSERT_EQ(Generate(), 0);
  EXPECT_EQ(LiveClaims()[0].fields.at("C_BILLPROV"), "PROV1");
  // The same individual under a group of another line of business fails.
  for (auto& field : header_) {
    if (field.first == "R_ROSTER") field.second = "78";
    if (field.first == "R_PROVGSQ") field.second = "8";
  }
  WriteHeader();
  AppendRow(context_, dir_, "bsprov",
            {{"P_RECSEQ", "00000008"}, {"P_TYPE", "G"}, {"P_ID", "GRP8"}, {"P_ID_LOB", "MCD"}});
  TGenerateRosterClaimsCall call = MakeCall();
  call.rosterNumber = 78;
  EXPECT_EQ(Generate(&call), 7);
}

}  // namespace
}  // namespace talvex::qmrbsrst::testing

namespace talvex::qmrbsrst::testing {
namespace {

using HostOpenTest = RosterFixture;

// The host holds the claim tables open in its context: the run works on
// clones of them and leaves the host's handles open, unlocked and current.
TEST_F(HostOpenTest, ClaimTablesHeldByTheHostAreUsedThroughClones) {
  WriteHeader();
  AddLine(1, "P1");
  AddLine(2, "P2");
  std::vector<C4Table> held;
  for (const char* name : {"BSCLAIM", "BSCPAYER", "BSLINES", "BSLINESA", "BSROSTLN", "BSROSTER"}) {
    C4Table t = d4open(context_, (dir_ + name + ".dbf").c_str());
    ASSERT_NE(t, 0u) << name;
    held.push_back(t);
  }
  TGenerateRosterClaimsCall call = MakeCall();
  call.rosterTable = held.back();
  ASSERT_EQ(Generate(&call), 0);
  EXPECT_EQ(code4errorCode(context_, 0), 0);
  // The host's own handle sees the new claims.
  EXPECT_EQ(d4recCount(held[0]), 2);
  for (C4Table t : held) EXPECT_EQ(d4close(t), 0);
  EXPECT_EQ(LiveClaims().size(), 2u);
  EXPECT_EQ(Header().fields.at("R_TOTCNT"), "2");
}

}  // namespace
}  // namespace talvex::qmrbsrst::testing

namespace talvex::qmrbsrst::testing {
namespace {

using LineCountTest = RosterFixture;

// A stored claim's service lines count only while they are live, and the
// counts are those of the claim's own number, not of its neighbours.
TEST_F(LineCountTest, StoredClaimMatchesOnItsLiveLineCount) {
  struct Case {
    const char* pcn;
    int lines;
    bool lastDeleted;
    int32_t code;
  };
  const Case cases[] = {{"L2", 2, false, 13}, {"L3D", 3, true, 13}, {"L3", 3, false, 0},
                        {"L1", 1, false, 0}};
  int32_t stored = 500;
  int roster = kRoster;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pcn);
    ++stored;
    ++roster;
    AppendRow(context_, dir_, "bsclaim",
              {{"CLAIM", std::to_string(stored)}, {"STATUS", "UNP"}, {"C_LOB", "MCB"},
               {"C_PAYER_I", "PAY01"}, {"C_BILLPROV", "PROV1"}, {"C_PCN", c.pcn},
               {"C_SERVFROM", "20240202"}, {"C_SERVTHRU", "20240202"}, {"C_TOTCHGS", "55.15"}});
    for (int l = 1; l <= c.lines; ++l) {
      AppendRow(context_, dir_, "bslines", {{"CLAIM", std::to_string(stored)}, {"LINE", std::to_string(l)}});
    }
    if (c.lastDeleted) {
      C4Table t = d4open(context_, (dir_ + "bslines.dbf").c_str());
      ASSERT_NE(t, 0u);
      ASSERT_EQ(d4goLow(t, d4recCount(t), 1), 0);
      ASSERT_EQ(d4delete(t), 0);
      ASSERT_EQ(d4close(t), 0);
    }
    Row header = header_;
    for (auto& [field, value] : header) {
      if (field == "R_ROSTER") value = std::to_string(roster);
    }
    AppendRow(context_, dir_, "bsroster", header);
    AddLine(1, c.pcn, "DOE", roster);
    TGenerateRosterClaimsCall call = MakeCall();
    call.rosterNumber = roster;
    EXPECT_EQ(Generate(&call), c.code);
  }
}

}  // namespace
}  // namespace talvex::qmrbsrst::testing
