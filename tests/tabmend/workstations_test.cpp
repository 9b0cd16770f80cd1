// Update calls beside other workstations: two `talvexhost update` processes
// on one installation, a call that waits out another's lock, the jobs that
// refuse while an update that did not finish is pending, and a rollback that
// finds a table changed after its swap.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/testing/fault_seam.h"
#include "platform/file_system.h"
#include "common/updatelock/update_lock.h"
#include "catalogue/catalogue.h"
#include "update_command.h"
#include "update_processes.h"

namespace talvex::tabmend::testing {
namespace {

constexpr host::ReleaseNumber kOldest{1, 65, 0, 100};
constexpr host::ReleaseNumber kRecent{2, 25, 0, 100};

using Clock = std::chrono::steady_clock;

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

class BesideWorkstations : public UpdateProcesses {
 protected:
  bool Exists(const std::string& nativePath) { return stdfs::exists(nativePath); }
  std::string Journal() { return nativeInstall + "/update/tabmend.jnl"; }
  std::string Mark() { return nativeData + "/tabmend.pnd"; }
};

// The second call waits for the first (or the first for the second, when it
// starts later than its offset) and then finds nothing left to do: every
// table is what one clean run gives.
TEST_F(BesideWorkstations, TwoCallsAtRandomOffsetsEndWithTheTablesOfOneRun) {
  Install(kOldest);
  KeepPristine();
  const auto start = Clock::now();
  std::string out;
  ASSERT_EQ(HostUpdate("", &out), 0) << out;
  const auto run = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  NoteIndexless();
  const std::string expected = IndependentDump();
  ASSERT_EQ(IndexProblems(), "");

  const char* seedText = std::getenv("TALVEX_SEED");
  const unsigned seed = seedText != nullptr ? static_cast<unsigned>(std::atoi(seedText)) : 23u;
  std::mt19937 random(seed);
  std::uniform_int_distribution<long> offsets(0, static_cast<long>(run.count()));
  int waits = 0;
  for (int round = 0; round < 6; ++round) {
    const long offset = offsets(random);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", offset " + std::to_string(offset) + " ms");
    BackToPristine();
    FILE* first = popen(HostCommand("update", "").c_str(), "r");
    std::this_thread::sleep_for(std::chrono::milliseconds(offset));
    FILE* second = popen(HostCommand("update", "").c_str(), "r");
    ASSERT_TRUE(first != nullptr && second != nullptr);
    const std::string a = ReadAllOf(first), b = ReadAllOf(second);
    const int sa = pclose(first), sb = pclose(second);
    EXPECT_TRUE(WIFEXITED(sa) && WEXITSTATUS(sa) == 0) << a;
    EXPECT_TRUE(WIFEXITED(sb) && WEXITSTATUS(sb) == 0) << b;
    const char* kWaiting = "waiting for another workstation's update to finish";
    waits += (a.find(kWaiting) != std::string::npos || b.find(kWaiting) != std::string::npos) ? 1 : 0;
    EXPECT_FALSE(Exists(Journal()));
    EXPECT_FALSE(Exists(Mark()));
    if (const std::string got = IndependentDump(); got != expected) {
      ADD_FAILURE() << "tables differ from one clean run: " << FirstDifference(expected, got);
      break;
    }
    EXPECT_EQ(IndexProblems(), "");
  }
  EXPECT_GT(waits, 0);
}

// Another workstation holds the data folder's lock for longer than a job
// waits: the update and the maintenance jobs each refuse with the text, and
// nothing changes.
TEST_F(BesideWorkstations, AWaitThatRunsOutChangesNothing) {
  Install(kRecent);
  ASSERT_EQ(Host("revcodes backup", ""), 0);  // the dump the restore reads
  common::LockOutcome outcome;
  auto held = common::UpdateLock::Acquire(folders.data, std::chrono::milliseconds(0), nullptr,
                                          &outcome);
  ASSERT_TRUE(held);
  const auto before = Snapshot(root);
  const std::string refusal = "Another workstation is updating the database tables in " +
                              folders.data + "; nothing was changed. Try again when it has finished.";
  const std::pair<const char*, std::string> jobs[] = {
      {"update", refusal},
      {"reindex", refusal},
      {"revcodes backup", "Error backing up Revenue Code charge data [" + refusal + "]"},
      {"revcodes restore", "Error restoring Revenue Code charge data [" + refusal + "]"},
  };
  for (const auto& [job, text] : jobs) {
    SCOPED_TRACE(job);
    std::string out;
    const auto start = Clock::now();
    EXPECT_EQ(Host(job, "", &out, "TALVEX_UPDATE_WAIT_MS=1500"), 1) << out;
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_NE(out.find("result: -1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("%TABMEND_ERR%=" + text + "\n"), std::string::npos) << out;
    EXPECT_EQ(Differences(before, Snapshot(root)), "");
  }
  // The update says that it waits, and names the cause on standard error.
  std::string out;
  Host("update", "", &out, "TALVEX_UPDATE_WAIT_MS=2500");
  EXPECT_NE(out.find("waiting for another workstation's update to finish (0 s of at most 2 s)"),
            std::string::npos) << out;
  EXPECT_NE(out.find("talvexhost: detail: waited 2 s for the update lock " + folders.data +
                     "tabmend.lck: in use at another workstation\n"),
            std::string::npos)
      << out;
  // Released, the same call runs.
  held.reset();
  EXPECT_EQ(Host("update", "", &out), 0) << out;
}

// A call killed inside its run leaves its journal, and in the data folder its
// pending mark: claim generation, reindex-all, the revenue-code restore and
// an update from another install folder refuse and change nothing, until the
// call's own install folder runs the update again.
TEST_F(BesideWorkstations, AnUnfinishedUpdateIsRefusedByEveryJobThatWouldBeRolledOver) {
  Install(kRecent);
  ASSERT_EQ(Host("revcodes backup", ""), 0);
  ASSERT_EQ(HostUpdate("crash:delete:2"), 86);
  ASSERT_TRUE(Exists(Journal()));
  ASSERT_TRUE(Exists(Mark()));
  const std::string refusal =
      "The update of the database tables started at workstation " + platform::workstationName() +
      " did not finish (journal " + folders.install +
      "update\\tabmend.jnl); its tables would be put back from their backups. Run the update "
      "again at that workstation first. Nothing was changed.";
  const auto before = Snapshot(root);
  const std::pair<const char*, std::string> jobs[] = {
      {"roster generate 2000001", "status 3: "},
      {"reindex", "%TABMEND_ERR%=" + refusal + "\n"},
      {"revcodes restore", "%TABMEND_ERR%=Error restoring Revenue Code charge data [" + refusal +
                               "]\n"},
  };
  for (const auto& [job, text] : jobs) {
    SCOPED_TRACE(job);
    std::string out;
    Host(job, "", &out);
    EXPECT_NE(out.find(text), std::string::npos) << out;
    EXPECT_NE(out.find(refusal), std::string::npos) << out;
    EXPECT_EQ(Differences(before, Snapshot(root)), "");
  }
  // Another workstation's update (its own install folder) leaves the call
  // to the workstation whose journal it is.
  std::string registry = FileBytes(root + "/registry.reg");
  const std::string other = root + "/install2";
  stdfs::create_directories(other);
  const std::string installKey = "\"InstallDirectory\"=\"";
  const size_t at = registry.find(installKey);
  ASSERT_NE(at, std::string::npos) << registry;
  const size_t end = registry.find('"', at + installKey.size());
  registry.replace(at + installKey.size(), end - at - installKey.size(), other);
  stdfs::rename(root + "/registry.reg", root + "/registry.keep");
  FILE* f = std::fopen((root + "/registry.reg").c_str(), "w");
  std::fputs(registry.c_str(), f);
  std::fclose(f);
  std::string out;
  Host("update", "", &out);
  EXPECT_NE(out.find("%TABMEND_ERR%=" + refusal + "\n"), std::string::npos) << out;
  stdfs::remove_all(other);
  stdfs::rename(root + "/registry.keep", root + "/registry.reg");
  EXPECT_EQ(Differences(before, Snapshot(root)), "");

  // Its own workstation finishes it; the mark goes with the journal.
  ASSERT_EQ(HostUpdate("", &out), 0) << out;
  EXPECT_FALSE(Exists(Journal()));
  EXPECT_FALSE(Exists(Mark()));
  EXPECT_EQ(Host("reindex", "", &out), 0) << out;

  // The same install path on another workstation is not this call's.
  ASSERT_TRUE(common::WritePendingUpdate(folders.data,
                                         {"OTHERPC", folders.install + "update\\tabmend.jnl"}));
  const auto marked = Snapshot(root);
  CallResult call = Update(std::nullopt);
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error().rfind("The update of the database tables started at workstation OTHERPC "
                               "did not finish", 0),
            0u)
      << call.error();
  EXPECT_EQ(Differences(marked, Snapshot(root)), "");
}

// Another workstation writes into a table after the call swapped it in, and
// a later update of the call fails: the rollback puts nothing back over it.
// The table is kept as it was written, beside its backup, the journal stays,
// and the next call stops the same way until someone decides.
struct Intruder {
  std::string data;         // native data folder
  std::string changed;      // native path of the table written into
  std::string bytes;        // what it held after the write
  int update = 0;
};

void TABMEND_API WriteAfterSwap(void* context, const TabmendProgress* p) {
  auto* intruder = static_cast<Intruder*>(context);
  if (p->Phase != TABMEND_PROGRESS_APPLIED || intruder->update != 0) return;
  const RestructureSpec* row = FindRestructureSpec(p->Update);
  if (row == nullptr || row->form != RestructureForm::Single) return;
  for (const UpdatedTable& table : row->tables()) {
    const std::string path = intruder->data + "/" + table.base + ".dbf";
    FILE* f = std::fopen(path.c_str(), "r+b");
    if (f == nullptr) continue;
    unsigned char header[12] = {};
    const bool read = std::fread(header, 1, sizeof header, f) == sizeof header;
    const long headerLength = header[8] | header[9] << 8;
    const long count = header[4] | header[5] << 8;
    if (!read || count == 0) {
      std::fclose(f);
      continue;
    }
    // A record edited in place: the first character of its first field.
    std::fseek(f, headerLength + 1, SEEK_SET);
    const int was = std::fgetc(f);
    std::fseek(f, headerLength + 1, SEEK_SET);
    std::fputc(was == 'Q' ? 'R' : 'Q', f);
    std::fclose(f);
    intruder->changed = path;
    intruder->bytes = FileBytes(path);
    intruder->update = p->Update;
    c4faultArm(TALVEX_FAULT_COPY, 1);  // the next update fails at its first copy
    return;
  }
}

TEST_F(BesideWorkstations, ATableWrittenAfterItsSwapIsNeverRolledOver) {
  Install(kOldest);
  Intruder intruder;
  intruder.data = nativeData;
  TabmendSetProgressObserver(&WriteAfterSwap, &intruder);
  c4faultClear();
  CallResult call = Update(std::nullopt);
  TabmendSetProgressObserver(nullptr, nullptr);
  c4faultClear();
  ASSERT_NE(intruder.update, 0);
  char number[8];
  std::snprintf(number, sizeof number, "%04d", intruder.update);
  const std::string base = stdfs::path(intruder.changed).stem().string();
  const std::string kept = "Unable to restore table " + folders.data + base +
                           ".dbf: it was changed after update " + number +
                           " replaced it; it was kept, and nothing was restored (see "
                           "update\\tabmend.log).";
  EXPECT_EQ(call.result, -1);
  const std::string error = call.error();
  ASSERT_EQ(error.rfind("Update", 0), 0u) << error;
  ASSERT_NE(error.find("\r\n"), std::string::npos) << error;
  EXPECT_EQ(error.substr(error.find("\r\n") + 2), kept);
  EXPECT_EQ(FileBytes(intruder.changed), intruder.bytes);
  EXPECT_TRUE(stdfs::exists(nativeInstall + "/update/backup/" + base + ".dbf"));
  EXPECT_TRUE(Exists(Journal()));
  EXPECT_TRUE(Exists(Mark()));
  // The run log says which table, and what the call did before.
  std::vector<std::string> block = host::LastRunLogBlock(folders.install + "update\\tabmend.log");
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(block.back(), "end");
  const auto has = [&](const std::string& start) {
    return std::any_of(block.begin(), block.end(),
                       [&](const std::string& line) { return line.rfind(start, 0) == 0; });
  };
  EXPECT_TRUE(has(std::string("update ") + number + " applied"));
  EXPECT_TRUE(has("result -1"));
  EXPECT_TRUE(has("error Unable to restore table " + folders.data + base + ".dbf"));
  EXPECT_TRUE(has("detail table " + folders.data + base + ".dbf changed after update " + number));
  const std::string backupNamed = "kept, its backup is " + folders.install + "update\\backup\\" +
                                 base + ".dbf";
  EXPECT_TRUE(std::any_of(block.begin(), block.end(), [&](const std::string& line) {
    return line.find(backupNamed) != std::string::npos;
  }));
  EXPECT_TRUE(has("detail copy "));  // the failed copy and why

  // The next call finds the same and changes nothing.
  const auto before = Snapshot(root);
  call = Update(std::nullopt);
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error(), kept);
  EXPECT_EQ(Differences(before, Snapshot(root)), "");
}

}  // namespace
}  // namespace talvex::tabmend::testing
