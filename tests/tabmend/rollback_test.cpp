// Failure at every step of a whole update run: the Nth copy, delete, move or
// write of the process fails, for N = 1, 2, ... until the run gets through.
// After every failed run the data folder must equal its state before the
// first call, whichever update and step the fault hit; the messages seen must
// cover every step that the fault kind can break.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/testing/fault_seam.h"
#include "installation_fixture.h"

namespace talvex::tabmend::testing {
namespace {

// 0192 to 0203: single and flagged updates, with 0196 and 0201 both on the
// 1500 claim table (so a later failure restores from the "original" copy).
constexpr host::ReleaseNumber kRelease{2, 25, 0, 100};
const std::string kVersion = "2.25.0.100";

class Rollback : public InstallationTest {
 protected:
  // Returns the messages of the failed runs; the last run must succeed.
  std::set<std::string> FailEachInTurn(TalvexFaultOp op, int step) {
    Install(kRelease);
    const auto before = Snapshot(nativeData);
    std::set<std::string> messages;
    int ignored = 0;
    for (int n = 1;; n += step) {
      c4faultClear();
      c4faultArm(op, n);
      CallResult call = Update(kVersion);
      const bool hit = c4faultCount(op) >= n;
      c4faultClear();
      if (call.result == 0 && !hit) break;
      if (call.result == 0) {
        // The fault hit a step whose failure the run may ignore (clearing the
        // work folder, dropping an old "original" copy): the run is through,
        // so start the next one from the old data again.
        ++ignored;
        RestoreSnapshot(nativeData, before);
        continue;
      }
      EXPECT_TRUE(hit) << "run failed without the fault: " << call.error();
      messages.insert(call.error().substr(call.error().find("- ") + 2));
      const std::string diff = Differences(before, Snapshot(nativeData));
      EXPECT_EQ(diff, "") << "after fault " << n << ": " << call.error();
      if (!diff.empty() || n > 5000) break;
    }
    EXPECT_LT(ignored, 200);
    // Once through, a further run finds nothing to do.
    const auto done = Snapshot(nativeData);
    EXPECT_EQ(Update(kVersion).result, 0);
    EXPECT_EQ(Differences(done, Snapshot(nativeData)), "");
    return messages;
  }
};

TEST_F(Rollback, FailingEachCopy) {
  auto messages = FailEachInTurn(TALVEX_FAULT_COPY, 1);
  EXPECT_TRUE(messages.count("Unable to copy clone table files."));
  EXPECT_TRUE(messages.count("Unable to backup table files prior to update."));
  EXPECT_TRUE(messages.count("Unable to copy updated files to data directory."));
}

TEST_F(Rollback, FailingEachDelete) {
  auto messages = FailEachInTurn(TALVEX_FAULT_DELETE, 1);
  EXPECT_TRUE(messages.count("Unable to delete original table files."));
  EXPECT_TRUE(messages.count("Unable to delete previous table backup files."));
}

TEST_F(Rollback, FailingEachMove) {
  auto messages = FailEachInTurn(TALVEX_FAULT_MOVE, 1);
  // Moves happen only when a table is backed up the second time in a call.
  EXPECT_TRUE(messages.count("Unable to delete previous table backup files."));
}

TEST_F(Rollback, FailingWritesAndCreates) {
  // A record copy now writes its index once, at the end, not per record:
  // the step must be short enough to land among its few writes.
  auto writes = FailEachInTurn(TALVEX_FAULT_WRITE, 13);
  EXPECT_TRUE(writes.count("Unable to perform common field copy."));
}

TEST_F(Rollback, LeftoversOfAFailedRunAreCleanedByTheNext) {
  Install(kRelease);
  const auto before = Snapshot(nativeData);
  // The first update's backup copy fails: its clone copy stays in the work folder.
  c4faultArm(TALVEX_FAULT_COPY, 4);
  CallResult call = Update(kVersion);
  c4faultClear();
  ASSERT_EQ(call.error(), "Update0192- Unable to backup table files prior to update.");
  ASSERT_TRUE(std::filesystem::exists(nativeInstall + "/update/submit.dbf"));
  EXPECT_EQ(Differences(before, Snapshot(nativeData)), "");
  // Now the clean of that leftover fails ...
  c4faultArm(TALVEX_FAULT_DELETE, 1);
  call = Update(kVersion);
  c4faultClear();
  EXPECT_EQ(call.error(), "Update0192- Unable to delete files from previous update.");
  EXPECT_EQ(Differences(before, Snapshot(nativeData)), "");
  // ... and without a fault the run goes through and leaves no work files.
  EXPECT_EQ(Update(kVersion).result, 0);
  EXPECT_FALSE(std::filesystem::exists(nativeInstall + "/update/submit.dbf"));
}

}  // namespace
}  // namespace talvex::tabmend::testing
