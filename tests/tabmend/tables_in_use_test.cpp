// An update beside a process that has one of its tables open: a claim
// appender, a roster run and a reader. The update either waits until the
// table is closed and then runs, or, the wait run out, refuses and changes
// nothing; either way every record the other process wrote is there.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "update_processes.h"

namespace talvex::tabmend::testing {
namespace {

constexpr host::ReleaseNumber kRecent{2, 25, 0, 100};  // runs updates that replace BSCLAIM

enum class Kind { Appender, Roster, Reader };

int32_t CountOf(const std::string& dbf) {
  C4Context c = code4initP();
  code4accessMode(c, 0);
  C4Table t = d4open(c, dbf.c_str());
  const int32_t count = t != 0 ? d4recCount(t) : -1;
  code4initUndo(c);
  return count;
}

// A child that opens the tables through the engine, says so on `ready`, and
// for `holdMs` either reads the first or appends a copy of its first record
// every few ms.
pid_t HoldInChild(const std::vector<std::string>& dbfs, bool append, int holdMs, int* appended) {
  int ready[2], done[2];
  if (pipe(ready) != 0 || pipe(done) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    C4Context c = code4initP();
    code4autoOpen(c, 1);
    code4accessMode(c, 0);
    C4Table t = 0;
    bool all = true;
    for (const std::string& dbf : dbfs) {
      C4Table opened = d4open(c, dbf.c_str());
      all = all && opened != 0;
      if (t == 0) t = opened;
    }
    char byte = all ? 1 : 0;
    (void)!write(ready[1], &byte, 1);
    int32_t count = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(holdMs);
    while (t != 0 && std::chrono::steady_clock::now() < end) {
      if (append) {
        if (d4top(t) != 0 || d4appendStart(t, 0) != 0 || d4append(t) != 0) break;
        ++count;
      } else if (d4top(t) == 0) {
        while (d4skip(t, 1) == 0) {
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    code4initUndo(c);
    (void)!write(done[1], &count, sizeof count);
    _exit(0);
  }
  close(ready[1]);
  close(done[1]);
  char byte = 0;
  const bool opened = read(ready[0], &byte, 1) == 1 && byte == 1;
  close(ready[0]);
  EXPECT_TRUE(opened);
  // Collected once the child ends: the count it wrote.
  *appended = done[0];
  return pid;
}

int AppendedBy(pid_t pid, int fd) {
  int32_t count = -1;
  if (read(fd, &count, sizeof count) != sizeof count) count = -1;
  close(fd);
  int status = 0;
  waitpid(pid, &status, 0);
  return count;
}

// What a child has written up to the first line holding `marker` (or all of
// it, when none does).
std::string ReadUntil(FILE* pipe, const std::string& marker) {
  std::string out;
  char line[4096];
  while (fgets(line, sizeof line, pipe) != nullptr) {
    out += line;
    if (std::string(line).find(marker) != std::string::npos) break;
  }
  return out;
}

class TablesInUse : public UpdateProcesses {};

TEST_F(TablesInUse, AnUpdateBesideAnOpenTableWaitsOrRefusesAndLosesNoRecord) {
  Install(kRecent);
  NoteIndexless();
  KeepPristine();
  const std::string bsclaim = nativeData + "/bsclaim.dbf";
  const int32_t pristineCount = CountOf(bsclaim);
  ASSERT_GT(pristineCount, 0);
  const std::string refusal = "%TABMEND_ERR%=The table " + folders.data +
                              "BSCLAIM is in use at another workstation and must be closed there "
                              "first; nothing was changed.\n";

  // The roster run's claims, as a run alone makes them.
  std::string out;
  ASSERT_EQ(Host("roster generate 2000001 --run-date 2024-03-01", "", &out), 0) << out;
  const int32_t rosterClaims = CountOf(bsclaim) - pristineCount;
  ASSERT_GT(rosterClaims, 0);

  struct Case {
    Kind kind;
    int holdMs;     // how long the other process keeps the table
    int waitMs;     // the update's wait bound
    bool refused;
  };
  const Case cases[] = {
      {Kind::Appender, 4000, 1500, true}, {Kind::Appender, 600, 20000, false},
      {Kind::Reader, 4000, 1500, true},   {Kind::Reader, 600, 20000, false},
      {Kind::Roster, 0, 60000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("kind " + std::to_string(static_cast<int>(c.kind)) + ", held " +
                 std::to_string(c.holdMs) + " ms, wait " + std::to_string(c.waitMs) + " ms");
    BackToPristine();
    const auto before = Snapshot(root);
    pid_t pid = -1;
    int doneFd = -1;
    FILE* roster = nullptr;
    std::string rosterOut;
    if (c.kind == Kind::Roster) {
      roster = popen(HostCommand("roster generate 2000001 --run-date 2024-03-01", "").c_str(), "r");
      ASSERT_NE(roster, nullptr);
      // The update starts once the run has its claim tables open (its first
      // claim written), so that it must wait for them; started any earlier
      // it may take them first, and the run then rightly refuses.
      rosterOut = ReadUntil(roster, "Generating roster claims");
    } else {
      pid = HoldInChild({bsclaim}, c.kind == Kind::Appender, c.holdMs, &doneFd);
      ASSERT_GT(pid, 0);
    }
    const int status =
        Host("update", "", &out, "TALVEX_UPDATE_WAIT_MS=" + std::to_string(c.waitMs));
    int32_t written = 0;
    if (roster != nullptr) {
      rosterOut += ReadAllOf(roster);
      EXPECT_EQ(pclose(roster), 0) << rosterOut;
      written = rosterClaims;
    } else {
      written = AppendedBy(pid, doneFd);
      if (c.kind == Kind::Appender) {
        EXPECT_GT(written, 0);
      }
    }
    if (c.refused) {
      EXPECT_EQ(status, 1) << out;
      EXPECT_NE(out.find(refusal), std::string::npos) << out;
      // Nothing of the update's: the appender's table aside, every file as before.
      auto after = Snapshot(root);
      for (const char* ext : {".dbf", ".mdx"}) {
        const std::string name = "data/bsclaim" + std::string(ext);
        if (c.kind == Kind::Appender && before.count(name) != 0) {
          after[name] = before.at(name);
        }
      }
      EXPECT_EQ(Differences(before, after), "");
    } else {
      EXPECT_EQ(status, 0) << out;
    }
    EXPECT_EQ(CountOf(bsclaim), pristineCount + written);
    if (c.refused) {
      // Nothing stays held: the same update now runs.
      EXPECT_EQ(Host("update", "", &out), 0) << out;
      EXPECT_EQ(CountOf(bsclaim), pristineCount + written);
    }
    EXPECT_EQ(IndexProblems(), "");
  }
}

// The next call puts a killed call's tables back only once no other process
// has one open: before, it waits, refuses and changes nothing.
TEST_F(TablesInUse, AnInterruptedCallIsPutBackOnlyOnceItsTablesAreClosed) {
  Install(kRecent);
  ASSERT_EQ(HostUpdate("crash:delete:2"), 86);
  std::vector<std::string> tables = TableFiles();
  ASSERT_FALSE(tables.empty());
  const auto before = Snapshot(root);
  int doneFd = -1;
  const pid_t pid = HoldInChild(tables, false, 3000, &doneFd);
  ASSERT_GT(pid, 0);
  std::string out;
  EXPECT_EQ(Host("update", "", &out, "TALVEX_UPDATE_WAIT_MS=1000"), 1) << out;
  EXPECT_NE(out.find(" is in use at another workstation and must be closed there first; nothing "
                     "was changed.\n"),
            std::string::npos)
      << out;
  AppendedBy(pid, doneFd);
  EXPECT_EQ(Differences(before, Snapshot(root)), "") << out;
  EXPECT_EQ(HostUpdate("", &out), 0) << out;
  EXPECT_FALSE(stdfs::exists(nativeInstall + "/update/tabmend.jnl"));
}

// A data file nobody may write (here a read-only bind mount over it, as a
// protected or read-only file is): refused at once with its own text, never
// half swapped (its index was once deleted and not put back).
TEST_F(TablesInUse, ATableNobodyMayWriteIsRefusedBeforeAnyChange) {
  Install(kRecent);
  const std::string claims = nativeData + "/bsclaim.dbf";
  ASSERT_TRUE(stdfs::exists(claims));
  ASSERT_EQ(::mount(claims.c_str(), claims.c_str(), nullptr, MS_BIND, nullptr), 0);
  const bool readOnly =
      ::mount(nullptr, claims.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
  const auto before = Snapshot(root);
  std::string out;
  const int status = Host("update", "", &out);
  ::umount(claims.c_str());
  ASSERT_TRUE(readOnly);
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("BSCLAIM cannot be opened for writing (a read-only or protected file); "
                     "nothing was changed.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(Differences(before, Snapshot(root)), "") << out;
  EXPECT_EQ(HostUpdate("", &out), 0) << out;
}

}  // namespace
}  // namespace talvex::tabmend::testing
