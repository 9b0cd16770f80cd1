// The data folder's update lock and pending mark, on real files and real OS
// locks: a second holder in the same process is excluded as another
// workstation would be (each lock belongs to its own open file).
#include "common/updatelock/update_lock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "temp_dir.h"

namespace {

using namespace talvex::common;
using std::chrono::milliseconds;
using talvex::testing::TempDir;

TEST(UpdateLock, ASecondHolderWaitsItsBoundThenGetsTheLockOnceItIsFree) {
  TempDir dir;
  const std::string data = dir.host("data\\");
  dir.write("data/x", "");
  LockOutcome outcome;
  auto first = UpdateLock::Acquire(data, milliseconds(0), nullptr, &outcome);
  ASSERT_TRUE(first);
  EXPECT_EQ(outcome, LockOutcome::Held);

  int reports = 0;
  std::string why;
  const auto start = std::chrono::steady_clock::now();
  auto second = UpdateLock::Acquire(data, milliseconds(1200), [&](milliseconds) { ++reports; },
                                    &outcome, &why);
  EXPECT_FALSE(second);
  EXPECT_EQ(outcome, LockOutcome::TimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(1200));
  EXPECT_GE(reports, 1);  // at once, then about every second
  EXPECT_EQ(why, data + "tabmend.lck: in use at another workstation");

  first.reset();
  second = UpdateLock::Acquire(data, milliseconds(0), nullptr, &outcome);
  EXPECT_TRUE(second);
  EXPECT_EQ(outcome, LockOutcome::Held);

  // A folder that is not there: no lock, and why.
  EXPECT_FALSE(UpdateLock::Acquire(dir.host("none\\"), milliseconds(0), nullptr, &outcome, &why));
  EXPECT_EQ(outcome, LockOutcome::Failed);
  EXPECT_FALSE(why.empty());
}

TEST(UpdateLock, TheEnvironmentOnlyShortensAWait) {
  const std::pair<const char*, long> cases[] = {
      {"", 600000}, {"250", 250}, {"9999999", 600000}, {"-5", 600000}, {"12x", 600000}};
  for (const auto& [text, expected] : cases) {
#ifdef _WIN32
    _putenv_s("TALVEX_UPDATE_WAIT_MS", text);
#else
    setenv("TALVEX_UPDATE_WAIT_MS", text, 1);
#endif
    EXPECT_EQ(WaitBound(kUpdateWait).count(), expected) << text;
  }
#ifdef _WIN32
  _putenv_s("TALVEX_UPDATE_WAIT_MS", "");
#else
  unsetenv("TALVEX_UPDATE_WAIT_MS");
#endif
}

TEST(PendingUpdate, TheMarkNamesItsCallAndADamagedOneStillCounts) {
  TempDir dir;
  dir.write("data/x", "");
  const std::string data = dir.host("data\\");
  EXPECT_FALSE(ReadPendingUpdate(data));
  ASSERT_TRUE(WritePendingUpdate(data, {"FRONTDESK", "C:\\T\\update\\tabmend.jnl"}));
  auto mark = ReadPendingUpdate(data);
  ASSERT_TRUE(mark);
  EXPECT_EQ(mark->workstation, "FRONTDESK");
  EXPECT_EQ(mark->journal, "C:\\T\\update\\tabmend.jnl");
  EXPECT_EQ(PendingUpdateRefusal(*mark),
            "The update of the database tables started at workstation FRONTDESK did not finish "
            "(journal C:\\T\\update\\tabmend.jnl); its tables would be put back from their "
            "backups. Run the update again at that workstation first. Nothing was changed.");

  dir.write("data/tabmend.pnd", "garbage");
  mark = ReadPendingUpdate(data);
  ASSERT_TRUE(mark);
  EXPECT_EQ(PendingUpdateRefusal(*mark),
            "The update of the database tables started at another workstation did not finish; "
            "its tables would be put back from their backups. Run the update again at that "
            "workstation first. Nothing was changed.");
  EXPECT_TRUE(RemovePendingUpdate(data));
  EXPECT_FALSE(ReadPendingUpdate(data));
  EXPECT_TRUE(RemovePendingUpdate(data));
}

}  // namespace
