// "talvexhost roster generate" killed before its Nth write, for N over the
// whole run of a 50-line roster, then run again: the tables end as after one
// uninterrupted run, record for record (claim numbers aside: the killed run
// drew its own), every claim number distinct, every claim table's index clean.
// And a run record that cannot be read stops the next run before it deletes
// anything. POSIX: the runs are child processes.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "c4dll.h"
#include "host/sample_data.h"
#include "tests/qmrbsrst/temp_folder.h"
#include "worker_process.h"

extern char** environ;

namespace talvex::qmrbsrst::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kLines = 50;
// Every crash point of a run would take ten minutes; every few cover each
// stage of each claim as the claims go by.
constexpr int kStride = 7;
const char* const kClaimTables[][2] = {{"bsclaim", "CLAIM"},     {"bscpayer", "CP_CLAIM"},
                                       {"bslines", "CLAIM"},     {"bslinesa", "CLAIM"},
                                       {"bsrecnm", "NM_CLAIM"},  {"bsrecid", "ID_CLAIM"}};

struct Outcome {
  int exit = -1;
  std::string out;
};

// One talvexhost process, stdout and stderr into `log`; `fault` armed by the
// environment when not empty.
Outcome RunHost(std::vector<std::string> args, const std::string& fault, const std::string& log) {
  std::string program = ProgramFolder() + "talvexhost";
  std::vector<char*> argv{program.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "TALVEX_FAULT_INJECT=", 20) != 0) env.emplace_back(*e);
  }
  if (!fault.empty()) env.push_back("TALVEX_FAULT_INJECT=" + fault);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  Outcome o;
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &files, &attr, argv.data(), envp.data()) == 0) {
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) o.exit = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  o.out = text.str();
  return o;
}

std::string Trimmed(const char* text) {
  std::string v = text;
  const size_t b = v.find_first_not_of(' ');
  const size_t e = v.find_last_not_of(' ');
  return b == std::string::npos ? "" : v.substr(b, e - b + 1);
}

// The tables a roster run touches, as comparable text: the claim tables'
// live records with the claim number replaced by the claim's patient control
// number, and every record of the roster tables with its deletion mark.
struct Snapshot {
  std::map<std::string, std::multiset<std::string>> tables;
  size_t liveClaims = 0;
  bool numbersDistinct = true;
};

Snapshot Take(const std::string& folder) {
  Snapshot s;
  C4Context c = code4initP();
  EXPECT_NE(c, 0u);
  std::map<long, std::string> pcnOf;
  for (const auto& [table, numberField] : kClaimTables) {
    C4Table t = d4open(c, (folder + table + ".dbf").c_str());
    if (t == 0) {
      code4errorCode(c, 0);
      continue;
    }
    d4tagSelectP(t, 0);
    const bool header = std::strcmp(table, "bsclaim") == 0;
    C4Field number = d4field(t, numberField);
    C4Field pcn = header ? d4field(t, "C_PCN") : 0;
    for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
      if (d4deleted(t)) continue;
      const long n = f4int(number);
      if (header) {
        s.numbersDistinct = pcnOf.emplace(n, Trimmed(f4str(pcn))).second && s.numbersDistinct;
        ++s.liveClaims;
      }
      auto it = pcnOf.find(n);
      std::string row = "claim of " + (it == pcnOf.end() ? "no live header" : it->second);
      for (int j = 1; j <= d4numFields(t); ++j) {
        C4Field f = d4fieldJ(t, j);
        if (f == number) continue;
        row += "|" + std::string(f4name(f)) + "=" + Trimmed(f4str(f));
      }
      s.tables[table].insert(row);
    }
    d4close(t);
  }
  for (const char* table : {"bsroster", "bsrostln"}) {
    C4Table t = d4open(c, (folder + table + ".dbf").c_str());
    EXPECT_NE(t, 0u) << table;
    if (t == 0) continue;
    d4tagSelectP(t, 0);
    for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
      std::string row = d4deleted(t) ? "*" : " ";
      for (int j = 1; j <= d4numFields(t); ++j) row += "|" + Trimmed(f4str(d4fieldJ(t, j)));
      s.tables[table].insert(row);
    }
    d4close(t);
  }
  code4initUndo(c);
  return s;
}

class RosterCrash : public ::testing::Test {
 protected:
  // One installation for every case; the roster of the "icd9" data folder
  // grown to 50 lines.
  static void SetUpTestSuite() {
    root_ = new TempFolder();
    const std::string install = root_->path() + "install";
    const std::string log = root_->path() + "install.txt";
    const Outcome o = RunHost({"install", install, "--release", "3.2.0.0", "--claims", "20"}, "",
                              log);
    ASSERT_EQ(o.exit, 0) << o.out;
    registry_ = install + "/registry.reg";
    template_ = install + "/data/rosters/icd9/";
    for (const host::SampleRoster& r : host::SampleRosters()) {
      if (r.folder != "rosters\\icd9\\") continue;
      (roster_ == 0 ? roster_ : other_) = r.number;
    }
    ASSERT_NE(roster_, 0);
    ASSERT_NE(other_, 0);
    GrowRoster();
  }
  static void TearDownTestSuite() {
    delete root_;
    root_ = nullptr;
  }

  // Lines 3 to 50 as copies of line 1, each with a patient of its own.
  static void GrowRoster() {
    C4Context c = code4initP();
    ASSERT_NE(c, 0u);
    C4Table t = d4open(c, (template_ + "bsrostln.dbf").c_str());
    ASSERT_NE(t, 0u);
    char key[16];
    std::snprintf(key, sizeof key, "%010d", roster_);
    std::vector<std::pair<std::string, std::string>> first;
    d4tagSelectP(t, 0);
    for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
      if (Trimmed(f4str(d4field(t, "RL_ROSTER"))) == key && f4int(d4field(t, "RL_LINE")) == 1) {
        for (int j = 1; j <= d4numFields(t); ++j) {
          first.emplace_back(f4name(d4fieldJ(t, j)), f4str(d4fieldJ(t, j)));
        }
        break;
      }
    }
    ASSERT_FALSE(first.empty());
    for (int line = 3; line <= kLines; ++line) {
      ASSERT_EQ(d4appendStart(t, 0), 0);
      for (const auto& [name, value] : first) {
        std::string v = value;
        if (name == "RL_LINE") v = std::to_string(line);
        if (name == "RL_PCN") v = "CRASH" + std::to_string(line);
        if (name == "RL_HIC") v = "1234" + std::to_string(10000 + line) + "A";
        ASSERT_GE(f4assign(d4field(t, name.c_str()), v.c_str()), 0) << name;
      }
      ASSERT_EQ(d4append(t), 0);
    }
    ASSERT_EQ(d4close(t), 0);
    code4initUndo(c);
  }

  // A fresh copy of the data folder.
  std::string Fresh(const std::string& name) {
    const std::string dir = work_.path() + name + "/";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const fs::directory_entry& e : fs::directory_iterator(template_)) {
      if (e.is_regular_file()) fs::copy_file(e.path(), dir + e.path().filename().string());
    }
    return dir;
  }

  Outcome Generate(const std::string& dir, const std::string& fault = "", int32_t roster = 0) {
    return RunHost({"roster", "generate", std::to_string(roster ? roster : roster_),
                    "--run-date", "2024-02-09",
                    "--registry", registry_, "--data", dir, "--config", dir},
                   fault, work_.path() + "run.txt");
  }

  // The run had finished when it was killed: it wrote claims and its record
  // was emptied again (what the engine writes as it closes the tables comes
  // after that). Killed before its record was begun, it wrote no claim.
  static bool RunFinished(const std::string& dir) {
    const std::string slot = dir + "ROSTRUN.000";
    return fs::exists(slot) && fs::file_size(slot) == 0 &&
           fs::file_size(dir + "bsclaim.dbf") > fs::file_size(template_ + "bsclaim.dbf");
  }

  // A run record that a cut left at some length but with nothing but zero
  // bytes: its emptying was the last thing written.
  static bool RecordCutToZeros(const std::string& dir) {
    std::ifstream in(dir + "ROSTRUN.000", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return !bytes.empty() && bytes.find_first_not_of('\0') == std::string::npos;
  }

  void ExpectIndexesClean(const std::string& dir) {
    for (const auto& [table, ignored] : kClaimTables) {
      if (!fs::exists(dir + table + ".dbf")) continue;
      const Outcome o = RunHost({"check", table, "--folder", dir}, "", work_.path() + "check.txt");
      EXPECT_EQ(o.exit, 0) << table << ": " << o.out;
    }
  }

  static TempFolder* root_;
  static std::string registry_, template_;
  static int32_t roster_, other_;
  TempFolder work_;
};

TempFolder* RosterCrash::root_ = nullptr;
std::string RosterCrash::registry_, RosterCrash::template_;
int32_t RosterCrash::roster_ = 0, RosterCrash::other_ = 0;

TEST_F(RosterCrash, AKilledRunAndItsRerunEndAsOneUninterruptedRun) {
  const std::string clean = Fresh("clean");
  const Outcome first = Generate(clean);
  ASSERT_EQ(first.exit, 0) << first.out;
  const Snapshot expected = Take(clean);
  ASSERT_EQ(expected.liveClaims, Take(template_).liveClaims + kLines);

  int crashes = 0;
  // False when the run has fewer writes than n and so ran to its end.
  auto crashAt = [&](int n) {
    SCOPED_TRACE("crash before write " + std::to_string(n));
    const std::string dir = Fresh("run");
    const Outcome killed = Generate(dir, "crash:write:" + std::to_string(n));
    if (killed.exit == 0) return false;
    EXPECT_EQ(killed.exit, 86) << killed.out;
    ++crashes;
    if (RunFinished(dir)) {
      // Killed as it closed its tables: what it left is the uninterrupted
      // run, and a rerun finds every line a duplicate.
      const Snapshot got = Take(dir);
      for (const auto& [table, rows] : expected.tables) {
        EXPECT_TRUE(got.tables.at(table) == rows) << table;
      }
      ExpectIndexesClean(dir);
      const Outcome rerun = Generate(dir);
      EXPECT_NE(rerun.out.find("status 13:"), std::string::npos) << rerun.out;
      return true;
    }
    const Outcome rerun = Generate(dir);
    EXPECT_EQ(rerun.exit, 0) << rerun.out;
    const Snapshot got = Take(dir);
    EXPECT_TRUE(got.numbersDistinct);
    for (const auto& [table, rows] : expected.tables) {
      EXPECT_TRUE(got.tables.at(table) == rows) << table;
    }
    ExpectIndexesClean(dir);
    return true;
  };
  int n = 1;
  while (crashAt(n) && !HasFailure()) n += kStride;
  // Every point of the run's end: the last claims, the header update and the
  // emptying of the run record.
  for (int m = std::max(2, n - 2 * kStride); m < n && !HasFailure(); ++m) {
    if ((m - 1) % kStride != 0) crashAt(m);
  }
  // A 50-line run writes far more than a few hundred times.
  EXPECT_GT(crashes, 100);
  std::printf("crash points tried: %d (every %d of about %d writes, then each of the last %d)\n",
              crashes, kStride, n, 2 * kStride);
}

// The tables a run or a rerun leaves, against the uninterrupted run's.
void ExpectSameTables(const Snapshot& got, const Snapshot& expected) {
  EXPECT_TRUE(got.numbersDistinct);
  for (const auto& [table, rows] : expected.tables) {
    auto it = got.tables.find(table);
    EXPECT_TRUE(it != got.tables.end() && it->second == rows) << table;
  }
}

// Power cuts at every sync of the run (the run record's and the tables'):
// every write since each file's last sync is undone and the process ends;
// the rerun must reach the uninterrupted run's tables. And a cut right after
// a run that reported success, losing whole sectors chosen by a seed, must
// lose none of it; a cut in the middle that loses some of the sectors only
// must be undone like one that loses them all. TALVEX_CRASH_POINTS=n tries
// about n of the sync points.
TEST_F(RosterCrash, APowerCutAtAnySyncAndItsRerunEndAsOneUninterruptedRun) {
  const std::string clean = Fresh("clean");
  ASSERT_EQ(Generate(clean).exit, 0);
  const Snapshot expected = Take(clean);

  // The run's number of syncs: the highest cut point at which it still dies.
  int syncs = 1, runs = 4000;
  while (runs - syncs > 1) {
    const int mid = (syncs + runs) / 2;
    const bool dies = Generate(Fresh("probe"), "nosync,powercut:" + std::to_string(mid)).exit == 86;
    (dies ? syncs : runs) = mid;
  }
  ASSERT_GT(syncs, kLines);  // at least one per claim

  const char* env = std::getenv("TALVEX_CRASH_POINTS");
  const int points = env != nullptr ? std::atoi(env) : 0;
  const int stride = points > 0 && points < syncs ? syncs / points : 1;
  int cuts = 0;
  for (int n = 1; n <= syncs && !HasFailure(); n += stride) {
    const std::string fault = "nosync,powercut:" + std::to_string(n);
    SCOPED_TRACE(fault);
    const std::string dir = Fresh("run");
    const Outcome cut = Generate(dir, fault);
    ASSERT_EQ(cut.exit, 86) << cut.out;
    ++cuts;
    const Outcome rerun = Generate(dir);
    ASSERT_EQ(rerun.exit, 0) << rerun.out;
    ExpectSameTables(Take(dir), expected);
    ExpectIndexesClean(dir);
  }
  // A cut in the middle that keeps a seeded part of the unsynced sectors:
  // records counted but only partly on disk must not survive the rerun.
  int partial = 0;
  for (int n = 2; n <= syncs && !HasFailure(); n += 4 * stride) {
    const std::string fault = "nosync,powercut:" + std::to_string(n) + ":" + std::to_string(n % 7 + 1);
    SCOPED_TRACE(fault);
    const std::string dir = Fresh("run");
    ASSERT_EQ(Generate(dir, fault).exit, 86);
    ++partial;
    if (RunFinished(dir) || RecordCutToZeros(dir)) {
      // The cut kept the emptying of the run record (or its new length
      // without its bytes): the run had finished, its tables synced before;
      // a rerun finds every line a duplicate.
      ExpectSameTables(Take(dir), expected);
      ExpectIndexesClean(dir);
      const Outcome rerun = Generate(dir);
      EXPECT_NE(rerun.out.find("status 13:"), std::string::npos) << rerun.out;
      continue;
    }
    const Outcome rerun = Generate(dir);
    ASSERT_EQ(rerun.exit, 0) << rerun.out;
    ExpectSameTables(Take(dir), expected);
    ExpectIndexesClean(dir);
  }
  for (int seed = 1; seed <= 6 && !HasFailure(); ++seed) {
    const std::string fault = "nosync,powercut:end:" + std::to_string(seed);
    SCOPED_TRACE(fault);
    const std::string dir = Fresh("run");
    const Outcome run = Generate(dir, fault);
    ASSERT_EQ(run.exit, 0) << run.out;
    ExpectSameTables(Take(dir), expected);
    ExpectIndexesClean(dir);
  }
  std::printf("syncs in a run: %d; power cuts tried: %d (every %d), %d losing part of the sectors, "
              "and 6 after the run\n", syncs, cuts, stride, partial);
}

TEST_F(RosterCrash, KilledBeforeItsRecordOrItsLocks) {
  const std::string clean = Fresh("clean");
  ASSERT_EQ(Generate(clean).exit, 0);
  const Snapshot expected = Take(clean);
  for (const char* fault : {"crash:create:1", "crash:lock:1", "crash:lock:40",
                                  "crash:lock:400"}) {
    SCOPED_TRACE(fault);
    const std::string dir = Fresh("run");
    const Outcome killed = Generate(dir, fault);
    ASSERT_EQ(killed.exit, 86) << killed.out;
    ASSERT_EQ(Generate(dir).exit, 0);
    const Snapshot got = Take(dir);
    for (const auto& [table, rows] : expected.tables) {
      EXPECT_TRUE(got.tables.at(table) == rows) << table;
    }
  }
}

std::string RosterRow(const Snapshot& s, int32_t roster) {
  for (const std::string& row : s.tables.at("bsroster")) {
    if (row.find("|" + std::to_string(roster) + "|") != std::string::npos) return row;
  }
  return "";
}

TEST_F(RosterCrash, KilledAfterItsHeaderUpdateTheRosterIsPutBack) {
  // The run's last write of its own empties its record, after the header
  // update: the highest write number at which the run dies unfinished.
  int dies = 1, runs = 4000;
  while (runs - dies > 1) {
    const int mid = (dies + runs) / 2;
    const std::string probe = Fresh("probe");
    const bool unfinished =
        Generate(probe, "crash:write:" + std::to_string(mid)).exit == 86 && !RunFinished(probe);
    (unfinished ? dies : runs) = mid;
  }
  const std::string dir = Fresh("run");
  ASSERT_EQ(Generate(dir, "crash:write:" + std::to_string(dies)).exit, 86);
  const Snapshot killed = Take(dir);
  const Snapshot before = Take(template_);
  ASSERT_EQ(killed.liveClaims, before.liveClaims + kLines);
  ASSERT_NE(RosterRow(killed, roster_), RosterRow(before, roster_));  // marked generated

  // The next run, of another roster, undoes it whole.
  ASSERT_EQ(Generate(dir, "", other_).exit, 0);
  const Snapshot after = Take(dir);
  EXPECT_EQ(RosterRow(after, roster_), RosterRow(before, roster_));
  EXPECT_EQ(after.liveClaims, before.liveClaims + 2);
  EXPECT_NE(RosterRow(after, other_), RosterRow(before, other_));
}

TEST_F(RosterCrash, ARecordThatCannotBeReadIsNeverGuessedAt) {
  for (const std::string& head : {std::string("TALVEX ROSTER RUN 7\r\n"),
                                 std::string("TALVEX ROSTER RUN 1\r\nROSTER ?? DATE\r\n")}) {
    const std::string dir = Fresh("run");
    ASSERT_EQ(Generate(dir, "crash:write:300").exit, 86);
    const Snapshot before = Take(dir);
    ASSERT_GT(before.liveClaims, Take(template_).liveClaims);
    const std::string slot = dir + "ROSTRUN.000";
    std::string text;
    {
      std::ifstream in(slot, std::ios::binary);
      std::stringstream all;
      all << in.rdbuf();
      text = all.str();
    }
    const size_t begun = text.find("BEGUN\r\n");
    ASSERT_NE(begun, std::string::npos) << text;
    {
      std::ofstream out(slot, std::ios::binary | std::ios::trunc);
      out << head << text.substr(begun);
    }
    const Outcome o = Generate(dir);
    EXPECT_EQ(o.exit, 1) << o.out;
    EXPECT_NE(o.out.find("status 2:"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find(slot), std::string::npos) << o.out;
    const Snapshot after = Take(dir);
    EXPECT_EQ(after.liveClaims, before.liveClaims);
    EXPECT_TRUE(after.tables == before.tables);
  }
}

}  // namespace
}  // namespace talvex::qmrbsrst::testing
