// The run's last safety nets: a reversal that another workstation blocks
// (code 2) and a claim table set that cannot be closed cleanly (code 4).
// Both are driven from inside the run through the progress callback, which
// the library calls at fixed points: after each line and once the loop ends.
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/testing/fault_seam.h"
#include "qmrbsrst/status/status_messages.h"
#include "roster_fixture.h"
#include "worker_process.h"

namespace talvex::qmrbsrst::testing {
namespace {

using OnProgress = std::function<void(const std::string&)>;

#if defined(__i386__)
__attribute__((regparm(2)))
#endif
void CallOnProgress(void* self, const void* text) {
  (*static_cast<OnProgress*>(self))(static_cast<const common::ShortString<255>*>(text)->str());
}

class ReversalTest : public RosterFixture {
 protected:
  void SetUp() override {
    RosterFixture::SetUp();
    // A claim of another run, which no outcome may touch.
    AppendRow(context_, dir_, "bsclaim", {{"CLAIM", "9"}, {"C_PCN", "OTHER"}});
    AppendRow(context_, dir_, "bslines", {{"CLAIM", "9"}, {"LINE", "1"}});
    WriteHeader();
  }

  int32_t Run(TGenerateRosterClaimsCall* call, OnProgress onProgress) {
    return GenerateRosterClaims(call, reinterpret_cast<void*>(&CallOnProgress), &onProgress);
  }

  std::set<int32_t> LiveNumbers(const std::string& table, const char* field) {
    std::set<int32_t> out;
    for (const StoredClaim& r : Live(table, field)) out.insert(r.claim);
    return out;
  }
};

TEST_F(ReversalTest, ReversalBlockedByAnotherWorkstationGivesTwo) {
  AddLine(1, "P1");
  AddLine(2, "P2");
  AddLine(3, "P1");  // a duplicate: the run must be reversed
  const std::string ready = dir_ + "holding.flag";
  Worker holder = -1;
  // Once claim 1002 is written, another workstation opens its payer record
  // (record 2 of BSCPAYER) and keeps it locked.
  OnProgress hold = [&](const std::string& text) {
    if (text != "Generating roster claims (2 of 3 completed)") return;
    holder = StartWorker({"--hold", dir_ + "bscpayer.dbf", "2", ready});
    for (int i = 0; i < 1000 && !std::filesystem::exists(ready); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  TGenerateRosterClaimsCall call = MakeCall();
  const int32_t code = Run(&call, hold);
  ASSERT_NE(holder, -1);
  std::filesystem::remove(ready);
  EXPECT_EQ(Finish(holder), 0);

  EXPECT_EQ(code, 2);
  EXPECT_STREQ(RosterStatusMessage(2),
               "Unable to reverse roster claim generation after error. Check all databases "
               "before attempting this operation again.");
  EXPECT_EQ(LineMessages(),
            (std::map<int, std::string>{{1, ""}, {2, ""}, {3, "Duplicate claim"}}));
  // The reversal took claim 1001 away whole and stopped at 1002, which keeps
  // every one of its records; the other run's claim is untouched.
  EXPECT_EQ(LiveNumbers("bsclaim", "CLAIM"), (std::set<int32_t>{9, 1002}));
  EXPECT_EQ(LiveNumbers("bscpayer", "CP_CLAIM"), (std::set<int32_t>{1002}));
  EXPECT_EQ(LiveNumbers("bslines", "CLAIM"), (std::set<int32_t>{9, 1002}));
  EXPECT_EQ(LiveNumbers("bslinesa", "CLAIM"), (std::set<int32_t>{1002}));
  EXPECT_EQ(Live("bslines", "CLAIM").size(), 3u);
  // Code 2 replaced 13: the rejected line's figures are not reported.
  EXPECT_EQ(call.acceptedCount, 0);
  EXPECT_DOUBLE_EQ(call.acceptedTotal, 0);
  EXPECT_EQ(call.rejectedCount, 0);
  EXPECT_DOUBLE_EQ(call.rejectedTotal, 0);
  EXPECT_EQ(Header().fields.at("R_LOCATION"), "RE");
  EXPECT_EQ(code4errorCode(context_, 0), 0);
}

// A patient line whose text cannot be stored fails the run (9); when the
// text still cannot be flushed while the tables are closed, the close fails
// too and its code wins. The run's claims are reversed all the same.
TEST_F(ReversalTest, CloseThatCannotFlushGivesFourAfterAReversedRun) {
  AddLine(1, "P1");
  AddLine(2, "P2");
  const std::filesystem::path original = folder_.path();
  const std::string saved = dir_;
  auto inCopy = [&](const std::function<void(TempFolder&)>& body) {
    TempFolder copy;
    CopyFolder(original, copy.path());
    dir_ = copy.path();
    body(copy);
    c4faultClear();
    dir_ = saved;
  };

  // Probe 1: the write that stores line 1's text is the last before its
  // progress report.
  int32_t lineText = 0;
  inCopy([&](TempFolder&) {
    c4faultClear();
    TGenerateRosterClaimsCall call = MakeCall();
    ASSERT_EQ(Run(&call, [&](const std::string& text) {
                if (text == "Generating roster claims (1 of 2 completed)") {
                  lineText = c4faultCount(TALVEX_FAULT_WRITE);
                }
              }),
              0);
  });
  ASSERT_GT(lineText, 0);

  // Probe 2: with that write failed, the writes that follow the report of
  // the reversed run; among the last of them the close flushes the line again
  // (after it the engine only marks the tables closed).
  int32_t afterReport = 0;
  inCopy([&](TempFolder&) {
    c4faultClear();
    c4faultArm(TALVEX_FAULT_WRITE, lineText);
    int32_t atReport = -1;
    TGenerateRosterClaimsCall call = MakeCall();
    ASSERT_EQ(Run(&call, [&](const std::string& text) {
                if (text == "Roster claim generation reversed") {
                  atReport = c4faultCount(TALVEX_FAULT_WRITE);
                }
              }),
              9);
    ASSERT_GE(atReport, 0);
    afterReport = c4faultCount(TALVEX_FAULT_WRITE) - atReport;
  });
  ASSERT_GT(afterReport, 0);

  // The close's flush: the latest of those writes whose failure fails the close.
  int32_t flushAt = afterReport;
  for (; flushAt > 0; --flushAt) {
    int32_t code = 0;
    inCopy([&](TempFolder&) {
      c4faultClear();
      c4faultArm(TALVEX_FAULT_WRITE, lineText);
      TGenerateRosterClaimsCall call = MakeCall();
      code = Run(&call, [&](const std::string& text) {
        if (text == "Roster claim generation reversed") c4faultArm(TALVEX_FAULT_WRITE, flushAt);
      });
    });
    if (code == 4) break;
  }
  ASSERT_GT(flushAt, afterReport - 8) << "no failed write near the end fails the close";

  inCopy([&](TempFolder&) {
    c4faultClear();
    c4faultArm(TALVEX_FAULT_WRITE, lineText);
    TGenerateRosterClaimsCall call = MakeCall();
    const int32_t code = Run(&call, [&](const std::string& text) {
      if (text == "Roster claim generation reversed") {
        c4faultArm(TALVEX_FAULT_WRITE, flushAt);
      }
    });
    EXPECT_EQ(code, 4);
    EXPECT_STREQ(RosterStatusMessage(4),
                 "Error closing claims database following roster claim generation.");
    EXPECT_EQ(LiveNumbers("bsclaim", "CLAIM"), (std::set<int32_t>{9}));
    EXPECT_EQ(LiveNumbers("bslines", "CLAIM"), (std::set<int32_t>{9}));
    EXPECT_TRUE(Live("bscpayer", "CP_CLAIM").empty());
    EXPECT_TRUE(Live("bslinesa", "CLAIM").empty());
    // Line 1 was accepted, so its text is empty once it reaches the file;
    // line 2 was never handled.
    EXPECT_EQ(LineMessages(), (std::map<int, std::string>{{1, ""}, {2, "old text"}}));
    EXPECT_EQ(call.acceptedCount, 0);
    EXPECT_EQ(call.rejectedCount, 0);
    EXPECT_EQ(Header().fields.at("R_LOCATION"), "RE");
    EXPECT_EQ(code4errorCode(context_, 0), 0);
  });
}

}  // namespace
}  // namespace talvex::qmrbsrst::testing
