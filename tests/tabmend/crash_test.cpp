// A killed update run: `talvexhost update` from the oldest release, ended at
// once right before its Nth copy, delete, move or write, then run again
// without a fault. Every table must then hold exactly what an uninterrupted
// run gives (read by an independent reader) and its index must agree with it.
//
// Every crash point takes a whole update run, so the loop takes a stride:
// TALVEX_CRASH_POINTS points per kind (default 6, deletes 10), spread evenly over the
// run's operations with a shifting offset, so that they fall into different
// steps of different updates. TALVEX_CRASH_POINTS=0 walks every point (hours).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "../common/file_bytes.h"
#include "c4dll.h"
#include "platform/testing/fault_seam.h"
#include "index_check.h"
#include "installation_fixture.h"
#include "update_command.h"
#include "update_processes.h"

namespace talvex::tabmend::testing {
namespace {

constexpr host::ReleaseNumber kOldest{1, 65, 0, 100};

class CrashedUpdate : public UpdateProcesses {
 protected:
  struct Uninterrupted {
    std::string dump;                  // the tables, read by the independent reader
    int32_t counts[TALVEX_FAULT_OPS];  // the run's operations, by fault-seam kind
  };

  // Installs the oldest release, keeps it as the pristine state and runs the
  // update once, uninterrupted, in this process: what every crashed and
  // rerun update must end at.
  void RunUninterrupted(Uninterrupted* out) {
    Install(kOldest);
    KeepPristine();
    installed = TableFiles();
    c4faultClear();
    ASSERT_EQ(Update(std::nullopt).result, 0);
    for (int op = 0; op < TALVEX_FAULT_OPS; ++op) out->counts[op] = c4faultCount(op);
    c4faultClear();
    NoteIndexless();
    out->dump = IndependentDump();
    ASSERT_EQ(IndexProblems(), "");
  }
};

std::vector<int32_t> CrashPoints(int32_t count, int extra) {
  const char* env = std::getenv("TALVEX_CRASH_POINTS");
  const int points = env != nullptr ? std::atoi(env) : 6 + extra;
  std::vector<int32_t> out;
  if (points <= 0 || points >= count) {
    for (int32_t n = 1; n <= count; ++n) out.push_back(n);
    return out;
  }
  const int32_t stride = count / points;
  for (int i = 0; i < points; ++i) out.push_back(1 + i * stride + (i * 7) % stride);
  return out;
}

TEST_F(CrashedUpdate, EveryCrashPointEndsAfterTheRerunAsAnUninterruptedRun) {
  Uninterrupted base;
  ASSERT_NO_FATAL_FAILURE(RunUninterrupted(&base));
  const std::string& expected = base.dump;
  const int32_t* counts = base.counts;
  ASSERT_NE(expected.find("== bcclaim.dbf"), std::string::npos);

  const std::pair<TalvexFaultOp, const char*> kinds[] = {{TALVEX_FAULT_COPY, "copy"},
                                                         {TALVEX_FAULT_DELETE, "delete"},
                                                         {TALVEX_FAULT_MOVE, "move"},
                                                         {TALVEX_FAULT_WRITE, "write"}};
  int crashes = 0, torn = 0, journals = 0;
  for (const auto& [op, name] : kinds) {
    ASSERT_GT(counts[op], 0) << name;
    // A third of the deletes empty data folders in swaps, the case a
    // killed run is most likely to lose a table in: they get more points.
    for (int32_t n : CrashPoints(counts[op], op == TALVEX_FAULT_DELETE ? 4 : 0)) {
      const std::string point = std::string("crash:") + name + ":" + std::to_string(n);
      SCOPED_TRACE(point);
      BackToPristine();
      std::string cut;
      const int status = HostUpdate(point, &cut);
      ASSERT_TRUE(status == 86 || status == 0) << status << "\n" << cut;
      if (status == 86) {
        ++crashes;
        torn += SomeTableTorn() ? 1 : 0;
        journals += stdfs::exists(nativeInstall + "/update/tabmend.jnl") ? 1 : 0;
      }
      std::string out;
      ASSERT_EQ(HostUpdate("", &out), 0) << out;
      EXPECT_FALSE(stdfs::exists(nativeInstall + "/update/tabmend.jnl"));
      const std::string got = IndependentDump();
      if (got != expected) {
        ADD_FAILURE() << "tables differ from the uninterrupted run: " << FirstDifference(expected, got);
        break;
      }
      EXPECT_EQ(IndexProblems(), "");
    }
  }
  std::printf("operations: %d copies, %d deletes, %d moves, %d writes; %d crashes, %d inside a "
              "swap, %d with a journal left\n",
              counts[TALVEX_FAULT_COPY], counts[TALVEX_FAULT_DELETE], counts[TALVEX_FAULT_MOVE],
              counts[TALVEX_FAULT_WRITE], crashes, torn, journals);
  // The loop must have reached the case it is for: a table missing its files.
  EXPECT_GT(torn, 0);
  EXPECT_GT(journals, 0);
}

// A power cut at a sync of the run: every write since the last sync of its
// file is undone (all of them, or whole sectors chosen by a seed) and the
// process ends. The next run must still reach the uninterrupted run's tables:
// what the run relies on after a sync (backups, journal, swapped-in tables)
// was synced, and nothing it did not sync is relied on.
TEST_F(CrashedUpdate, EveryPowerCutEndsAfterTheRerunAsAnUninterruptedRun) {
  Uninterrupted base;
  ASSERT_NO_FATAL_FAILURE(RunUninterrupted(&base));
  const std::string& expected = base.dump;
  const int32_t syncs = base.counts[TALVEX_FAULT_SYNC];
  ASSERT_GT(syncs, 12);

  int cuts = 0, journals = 0;
  for (const uint32_t mode : {0u, 1u}) {
    for (int32_t n : CrashPoints(syncs, 1)) {
      // Mode 1 takes a seed of its own at each point.
      const std::string point =
          "powercut:" + std::to_string(n) + (mode == 0 ? "" : ":" + std::to_string(n * 7919 + 1));
      SCOPED_TRACE(point);
      BackToPristine();
      std::string cut;
      const int status = HostUpdate(point, &cut);
      ASSERT_TRUE(status == 86 || status == 0) << status << "\n" << cut;
      if (status == 86) {
        ++cuts;
        journals += stdfs::exists(nativeInstall + "/update/tabmend.jnl") ? 1 : 0;
      }
      std::string out;
      ASSERT_EQ(HostUpdate("", &out), 0) << out;
      EXPECT_FALSE(stdfs::exists(nativeInstall + "/update/tabmend.jnl"));
      if (const std::string got = IndependentDump(); got != expected) {
        ADD_FAILURE() << "tables differ from the uninterrupted run: " << FirstDifference(expected, got);
        break;
      }
      EXPECT_EQ(IndexProblems(), "");
    }
  }
  std::printf("syncs: %d; %d power cuts, %d with a journal left\n", syncs, cuts, journals);
  EXPECT_GT(cuts, 0);
  EXPECT_GT(journals, 0);
}

// 0192 to 0203; the run's second delete is the one of SUBMIT's index in the
// first swap, right after its data file went.
constexpr host::ReleaseNumber kRecent{2, 25, 0, 100};

using talvex::testing::ReadBytes;
using talvex::testing::WriteBytes;

TEST_F(CrashedUpdate, AJournalIsNeverGuessedAtAndABackupMissingStopsTheRollback) {
  Install(kRecent);
  KeepPristine();
  ASSERT_EQ(Update(std::nullopt).result, 0);
  NoteIndexless();
  const std::string expected = IndependentDump();
  BackToPristine();

  ASSERT_EQ(HostUpdate("crash:delete:2"), 86);
  ASSERT_FALSE(stdfs::exists(nativeData + "/submit.dbf"));
  const std::string journalPath = nativeInstall + "/update/tabmend.jnl";
  const std::string journal = ReadBytes(journalPath);
  ASSERT_NE(journal.find("update 192"), std::string::npos) << journal;

  // One byte changed, the version line changed, the file cut short: each is
  // refused by name, and nothing anywhere is changed or deleted.
  std::string flipped = journal;
  flipped[flipped.size() / 2] ^= 0x01;
  std::string otherVersion = journal;
  otherVersion.replace(otherVersion.find(" 2\n"), 3, " 3\n");
  for (const std::string& bad : {flipped, otherVersion, journal.substr(0, journal.size() - 5)}) {
    ASSERT_TRUE(WriteBytes(journalPath, bad));
    const auto before = Snapshot(root);
    CallResult call = Update(std::nullopt);
    EXPECT_EQ(call.result, -1);
    EXPECT_EQ(call.error(), "Unable to read the update journal " + folders.install +
                                "update\\tabmend.jnl (damaged or of another version); nothing "
                                "was changed.");
    EXPECT_EQ(Differences(before, Snapshot(root)), "");
  }

  // The backup the rollback needs is gone: the call names it and deletes nothing.
  ASSERT_TRUE(WriteBytes(journalPath, journal));
  const std::string backup = nativeInstall + "/update/backup/submit.dbf";
  stdfs::rename(backup, backup + ".aside");
  const auto before = Snapshot(root);
  CallResult call = Update(std::nullopt);
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error(), "Unable to restore table " + folders.data + "submit.dbf: its backup " +
                              folders.install + "update\\backup\\submit.dbf is missing or "
                              "incomplete; nothing was deleted.");
  EXPECT_EQ(Differences(before, Snapshot(root)), "");

  // With the backup back, the next call rolls back, runs, and ends as an
  // uninterrupted run.
  stdfs::rename(backup + ".aside", backup);
  call = Update(std::nullopt);
  EXPECT_EQ(call.result, 0) << call.error();
  EXPECT_FALSE(stdfs::exists(journalPath));
  EXPECT_EQ(IndependentDump(), expected);
  EXPECT_EQ(IndexProblems(), "");
}

// A table whose data files are gone with no journal to say why (a run of an
// older build killed in a swap): its backup and work copies are the last
// ones, and no step deletes them.
TEST_F(CrashedUpdate, TheLastCopiesOfATableAreNeverDeleted) {
  Install(kRecent);
  ASSERT_EQ(HostUpdate("crash:delete:2"), 86);
  ASSERT_FALSE(stdfs::exists(nativeData + "/submit.dbf"));
  stdfs::remove(nativeInstall + "/update/tabmend.jnl");
  const std::string backup = ReadBytes(nativeInstall + "/update/backup/submit.dbf");
  const std::string work = ReadBytes(nativeInstall + "/update/submit.dbf");
  ASSERT_FALSE(backup.empty());
  ASSERT_FALSE(work.empty());
  for (int call = 0; call < 2; ++call) {
    CallResult result = Update(std::nullopt);
    EXPECT_EQ(result.result, -1);
    // 0192 checks that its tables are there before anything else; an update
    // without that check stops at the guard of the copies.
    EXPECT_TRUE(result.error() == "Update0192- Unable to locate table files in data directory." ||
                result.error() == "Update0192- Table " + folders.data +
                                      "submit is missing or incomplete in the data directory; "
                                      "its backup and work copies were kept.")
        << result.error();
    EXPECT_EQ(ReadBytes(nativeInstall + "/update/backup/submit.dbf"), backup);
    EXPECT_EQ(ReadBytes(nativeInstall + "/update/submit.dbf"), work);
  }
}

TEST_F(CrashedUpdate, AnUpdateWithoutALocateCheckKeepsTheCopiesOfAMissingTable) {
  Install(kRecent);
  const auto oldData = Snapshot(nativeData);
  ASSERT_EQ(Update(std::nullopt).result, 0);  // leaves the backups of this call
  RestoreSnapshot(nativeData, oldData);
  stdfs::remove(nativeData + "/bcelgrq.dbf");
  const std::string backup = ReadBytes(nativeInstall + "/update/backup/bcelgrq.dbf");
  ASSERT_FALSE(backup.empty());
  CallResult call = Update(std::nullopt);
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error(), "Update0195- Table " + folders.data +
                              "bcelgrq is missing or incomplete in the data directory; its backup "
                              "and work copies were kept.");
  EXPECT_EQ(ReadBytes(nativeInstall + "/update/backup/bcelgrq.dbf"), backup);
}

// The volume fills at the Nth copy or write of a whole call (every write and
// copy from there on fails with "no space", until a delete frees space): the
// call fails with its update's
// message and the cause in the run detail, and the rollback puts every table
// back without new space (by a second name of its backup), so the data folder
// is as before; a rollback that cannot says so and the next call (with space)
// finishes it. A kill inside such a put-back leaves what the next call
// finishes too.
TEST_F(CrashedUpdate, AVolumeThatFillsIsRolledBackOrSaysSo) {
  Install(kRecent);
  KeepPristine();
  c4faultClear();
  ASSERT_EQ(Update(std::nullopt).result, 0);
  int32_t counts[TALVEX_FAULT_OPS];
  for (int op = 0; op < TALVEX_FAULT_OPS; ++op) counts[op] = c4faultCount(op);
  c4faultClear();
  NoteIndexless();
  const std::string expected = IndependentDump();

  int failed = 0, putBack = 0, incomplete = 0, killed = 0, unlogged = 0;
  for (const auto& [op, name] : {std::pair{TALVEX_FAULT_COPY, "copy"}, std::pair{TALVEX_FAULT_WRITE, "write"}}) {
    for (int32_t n : CrashPoints(counts[op], 2)) {
      const std::string point = std::string("full:") + name + ":" + std::to_string(n);
      SCOPED_TRACE(point);
      BackToPristine();
      const auto before = Snapshot(nativeData);
      c4faultClear();
      c4faultFillAt(op, n);
      const CallResult call = Update(std::nullopt);
      const int32_t moves = c4faultCount(TALVEX_FAULT_MOVE);
      c4faultClear();
      const std::vector<std::string> log =
          host::LastRunLogBlock(nativeInstall + "/update/tabmend.log");
      std::string detail;
      for (const std::string& line : log) {
        if (line.rfind("detail ", 0) == 0) detail += line + "\n";
      }
      if (call.result != 0) {
        ++failed;
        EXPECT_EQ(call.result, -1);
        // A volume full from the first write on takes no run log either.
        unlogged += log.empty() ? 1 : 0;
        if (!log.empty()) {
          EXPECT_NE(detail.find("No space left on device"), std::string::npos);
        }
        if (call.error().find("\r\nUnable to restore table ") != std::string::npos) {
          ++incomplete;
          EXPECT_NE(call.error().find("The update journal is kept"), std::string::npos);
        } else {
          EXPECT_EQ(Differences(before, Snapshot(nativeData)), "") << call.error();
          const bool restoredByLink = detail.find("update\\backup\\") != std::string::npos;
          putBack += restoredByLink ? 1 : 0;
          // The first put-back on a full disk, killed at its last link and at
          // its last rename: the next call must still finish it.
          if (restoredByLink && killed == 0) {
            // The same put-back where no link can be made (backups on another
            // volume): the call says so and keeps the journal.
            BackToPristine();
            c4faultFillAt(op, n);
            c4faultArm(TALVEX_FAULT_MOVE, moves - 1);
            const CallResult stuck = Update(std::nullopt);
            c4faultClear();
            EXPECT_EQ(stuck.error().rfind(call.error() + "\r\nUnable to restore table " +
                                          folders.data, 0), 0u) << stuck.error();
            EXPECT_NE(stuck.error().find(" (see update\\tabmend.log); the update journal is "
                                         "kept and the next update call restores it first."),
                      std::string::npos) << stuck.error();
            EXPECT_TRUE(stdfs::exists(nativeInstall + "/update/tabmend.jnl"));
            ++incomplete;
            ASSERT_EQ(Update(std::nullopt).result, 0);
            EXPECT_EQ(IndependentDump(), expected);
          }
          for (int32_t at = moves; restoredByLink && killed < 2 && at > moves - 2; --at) {
            BackToPristine();
            const int status = HostUpdate(point + ",crash:move:" + std::to_string(at));
            EXPECT_EQ(status, 86) << at;
            killed += status == 86 ? 1 : 0;
            std::string out;
            ASSERT_EQ(HostUpdate("", &out), 0) << out;
            EXPECT_EQ(IndependentDump(), expected);
          }
        }
      }
      const CallResult rerun = Update(std::nullopt);
      ASSERT_EQ(rerun.result, 0) << rerun.error();
      EXPECT_FALSE(stdfs::exists(nativeInstall + "/update/tabmend.jnl"));
      if (IndependentDump() != expected) {
        ADD_FAILURE() << "tables differ from the uninterrupted run";
        break;
      }
    }
  }
  std::printf("%d copies, %d writes; %d runs failed (%d without a run log), %d put back on the "
              "full volume, %d could not be, %d killed in a put-back\n",
              counts[TALVEX_FAULT_COPY], counts[TALVEX_FAULT_WRITE], failed, unlogged, putBack,
              incomplete, killed);
  EXPECT_GT(putBack, 0);
  EXPECT_LE(unlogged, 1);
  EXPECT_GT(incomplete, 0);
  EXPECT_EQ(killed, 2);
}

// With syncs on: a journal that cannot be written or synced ends the call
// before anything is changed; otherwise the call syncs and leaves no journal.
TEST_F(CrashedUpdate, AJournalThatCannotBeWrittenEndsTheCallFirst) {
  c4faultSetSync(1);
  Install(kRecent);
  Update(std::string("3.5.0.0"));  // makes the work folders, changes no table
  const auto before = Snapshot(root);
  for (TalvexFaultOp op : {TALVEX_FAULT_WRITE, TALVEX_FAULT_SYNC, TALVEX_FAULT_CREATE}) {
    c4faultClear();
    c4faultArm(op, 1);
    CallResult call = Update(std::nullopt);
    c4faultClear();
    EXPECT_EQ(call.result, -1) << op;
    EXPECT_EQ(call.error(), "Unable to locate (or create) critical directories.") << op;
    EXPECT_EQ(Differences(before, Snapshot(root)), "") << op;
  }
  CallResult call = Update(std::nullopt);
  EXPECT_EQ(call.result, 0) << call.error();
  EXPECT_GT(c4faultCount(TALVEX_FAULT_SYNC), 12);
  EXPECT_FALSE(stdfs::exists(nativeInstall + "/update/tabmend.jnl"));
}

}  // namespace
}  // namespace talvex::tabmend::testing
