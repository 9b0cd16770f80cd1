// The control counter on real "UTILMAST.DBF" files through the real engine:
// in-process through the core, and through the built library by several
// processes at once.
#include "qmrbsrst/settings/control_counter.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#else
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

#include <gtest/gtest.h>

#include "control_table.h"
#include "library_path.h"
#include "temp_folder.h"

namespace talvex::qmrbsrst {
namespace {

using testing::MakeControlTable;
using testing::ReadCounter;
using testing::TempFolder;

class ControlCounter : public ::testing::Test {
 protected:
  void SetUp() override { context_ = code4initP(); ASSERT_NE(context_, 0u); }
  void TearDown() override { code4initUndo(context_); }
  C4Context context_ = 0;
};

TEST_F(ControlCounter, EachKindCountsItsOwnField) {
  TempFolder dir;
  std::vector<long> values;
  for (int i = 0; i < 15; ++i) values.push_back(100 * i);
  ASSERT_TRUE(MakeControlTable(dir.path(), 15, values));
  for (int kind = 0; kind <= 14; ++kind) {
    EXPECT_EQ(NextControlCounter(context_, dir.path(), kind), 100 * kind + 1) << kind;
  }
  EXPECT_EQ(NextControlCounter(context_, dir.path(), kClaimNumberCounter), 602);
  EXPECT_EQ(ReadCounter(dir.path(), 6), 602);
  EXPECT_EQ(ReadCounter(dir.path(), 5), 501);
  // The context carries no error out, and no table is left open in it.
  EXPECT_EQ(code4errorCode(context_, 0), 0);
  EXPECT_EQ(code4data(context_, "UTILMAST"), 0u);
}

TEST_F(ControlCounter, FailuresGiveMinusOne) {
  TempFolder dir;
  EXPECT_EQ(NextControlCounter(context_, dir.path(), 6), -1);  // no table
  ASSERT_TRUE(MakeControlTable(dir.path(), 15, {1, 2, 3}));
  EXPECT_EQ(NextControlCounter(context_, dir.path(), -1), -1);
  EXPECT_EQ(NextControlCounter(context_, dir.path(), 15), -1);
  EXPECT_EQ(NextControlCounter(context_, dir.path(), 1000000), -1);
  EXPECT_EQ(NextControlCounter(0, dir.path(), 6), -1);  // no context
  EXPECT_EQ(code4errorCode(context_, 0), 0);

  TempFolder narrow;
  ASSERT_TRUE(MakeControlTable(narrow.path(), 5, {7, 7, 7, 7, 7}));
  EXPECT_EQ(NextControlCounter(context_, narrow.path(), 6), -1);  // no field ID_7
  EXPECT_EQ(NextControlCounter(context_, narrow.path(), 4), 8);

  TempFolder empty;
  ASSERT_TRUE(MakeControlTable(empty.path(), 15, {}));
  EXPECT_EQ(NextControlCounter(context_, empty.path(), 6), -1);  // no record

  TempFolder notATable;
  notATable.write("UTILMAST.DBF", std::string(700, 'x'));
  EXPECT_EQ(NextControlCounter(context_, notATable.path(), 6), -1);
  EXPECT_EQ(code4errorCode(context_, 0), 0);
}

TEST_F(ControlCounter, FindsTheTableInAnyCase) {
  TempFolder dir;
  ASSERT_TRUE(MakeControlTable(dir.path(), 15, {0, 0, 0, 0, 0, 0, 41}));
  std::filesystem::rename(dir.file("UTILMAST.DBF"), dir.file("utilmast.dbf"));
  EXPECT_EQ(NextControlCounter(context_, dir.path(), 6), 42);
}

TEST_F(ControlCounter, StopsAtTheTopOfTheRange) {
  TempFolder dir;
  ASSERT_TRUE(MakeControlTable(dir.path(), 15, {2147483646}));
  EXPECT_EQ(NextControlCounter(context_, dir.path(), 0), 2147483647);
  EXPECT_EQ(NextControlCounter(context_, dir.path(), 0), -1);
  EXPECT_EQ(ReadCounter(dir.path(), 0), 2147483647);
}

std::string WorkerPath() {
  std::string path = testing::TestProgramFolder() + "qmrbsrst_counter_worker";
#if defined(_WIN32)
  path += ".exe";
#endif
  return path;
}

// Starts the worker: it takes `count` numbers of kind 6 through the library
// and writes them to `out`, one a line.
intptr_t StartWorker(const std::string& folder, int count, const std::string& out) {
  std::string worker = WorkerPath();
  std::string n = std::to_string(count);
#if defined(_WIN32)
  return _spawnl(_P_NOWAIT, worker.c_str(), worker.c_str(), folder.c_str(), n.c_str(),
                 out.c_str(), nullptr);
#else
  pid_t pid = 0;
  char* argv[] = {worker.data(), const_cast<char*>(folder.c_str()), n.data(),
                  const_cast<char*>(out.c_str()), nullptr};
  if (posix_spawn(&pid, worker.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  return pid;
#endif
}

int WaitWorker(intptr_t id) {
#if defined(_WIN32)
  int status = -1;
  if (_cwait(&status, id, 0) == -1) return -1;
  return status;
#else
  int status = 0;
  if (waitpid(static_cast<pid_t>(id), &status, 0) != id) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::vector<long> ReadNumbers(const std::filesystem::path& file) {
  std::vector<long> numbers;
  std::ifstream in(file);
  long v = 0;
  while (in >> v) numbers.push_back(v);
  return numbers;
}

TEST(ControlCounterProcesses, TwoWorkstationsNeverShareANumber) {
  constexpr int kEach = 2000;
  constexpr long kStart = 5000;
  TempFolder dir;
  ASSERT_TRUE(MakeControlTable(dir.path(), 15, {0, 0, 0, 0, 0, 0, kStart}));
  const std::string outA = dir.file("a.txt").string();
  const std::string outB = dir.file("b.txt").string();
  intptr_t a = StartWorker(dir.path(), kEach, outA);
  intptr_t b = StartWorker(dir.path(), kEach, outB);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(WaitWorker(a), 0);
  EXPECT_EQ(WaitWorker(b), 0);

  std::vector<long> numbers = ReadNumbers(outA);
  std::vector<long> fromB = ReadNumbers(outB);
  EXPECT_EQ(numbers.size(), static_cast<size_t>(kEach));
  EXPECT_EQ(fromB.size(), static_cast<size_t>(kEach));
  // Each worker sees its own numbers rise.
  EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
  EXPECT_TRUE(std::is_sorted(fromB.begin(), fromB.end()));
  numbers.insert(numbers.end(), fromB.begin(), fromB.end());
  std::set<long> distinct(numbers.begin(), numbers.end());
  EXPECT_EQ(distinct.size(), static_cast<size_t>(2 * kEach));
  EXPECT_EQ(*distinct.begin(), kStart + 1);
  EXPECT_EQ(*distinct.rbegin(), kStart + 2 * kEach);
  EXPECT_EQ(ReadCounter(dir.path(), 6), kStart + 2 * kEach);
}

}  // namespace
}  // namespace talvex::qmrbsrst
