#include "platform/testing/fault_seam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "../common/temp_dir.h"

namespace {

class FaultSeam : public ::testing::Test {
 protected:
  void SetUp() override { c4faultClear(); }
  void TearDown() override { c4faultClear(); }
};

TEST_F(FaultSeam, OnlyTheArmedOperationOfItsKindFails) {
  c4faultArm(TALVEX_FAULT_COPY, 3);
  EXPECT_EQ(c4faultHit(TALVEX_FAULT_WRITE), 0);  // other kinds are not counted against it
  EXPECT_EQ(c4faultHit(TALVEX_FAULT_COPY), 0);
  EXPECT_EQ(c4faultHit(TALVEX_FAULT_COPY), 0);
  EXPECT_EQ(c4faultHit(TALVEX_FAULT_COPY), 1);
  EXPECT_EQ(c4faultHit(TALVEX_FAULT_COPY), 0);  // one failure, then back to normal
  EXPECT_EQ(c4faultCount(TALVEX_FAULT_COPY), 4);
  EXPECT_EQ(c4faultCount(TALVEX_FAULT_WRITE), 1);
}

TEST_F(FaultSeam, ArmingCountsFromNowAndZeroDisarms) {
  c4faultHit(TALVEX_FAULT_MOVE);
  c4faultHit(TALVEX_FAULT_MOVE);
  c4faultArm(TALVEX_FAULT_MOVE, 1);
  EXPECT_EQ(c4faultHit(TALVEX_FAULT_MOVE), 1);
  c4faultArm(TALVEX_FAULT_MOVE, 1);
  c4faultArm(TALVEX_FAULT_MOVE, 0);
  EXPECT_EQ(c4faultHit(TALVEX_FAULT_MOVE), 0);
  c4faultArm(TALVEX_FAULT_MOVE, 2);
  c4faultClear();
  EXPECT_EQ(c4faultCount(TALVEX_FAULT_MOVE), 0);
  EXPECT_EQ(c4faultHit(TALVEX_FAULT_MOVE), 0);
  EXPECT_EQ(c4faultHit(TALVEX_FAULT_MOVE), 0);
  // Unknown kinds are ignored rather than indexing out of the table.
  c4faultArm(99, 1);
  EXPECT_EQ(c4faultHit(99), 0);
  EXPECT_EQ(c4faultHit(-1), 0);
}

TEST_F(FaultSeam, ExactlyOneFailureUnderConcurrentHits) {
  c4faultArm(TALVEX_FAULT_WRITE, 500);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 250; ++i) failures += c4faultHit(TALVEX_FAULT_WRITE);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 1);
  EXPECT_EQ(c4faultCount(TALVEX_FAULT_WRITE), 1000);
}

TEST_F(FaultSeam, ReachesEveryKindOfFileOperation) {
  using namespace talvex::platform;
  talvex::testing::TempDir dir;
  dir.write("a.txt", "old");
  dir.write("b.txt", "keep");

  c4faultArm(TALVEX_FAULT_COPY, 1);
  EXPECT_FALSE(copyFile(dir.host("a.txt"), dir.host("b.txt")));
  EXPECT_EQ(dir.read("b.txt"), "keep");
  EXPECT_TRUE(copyFile(dir.host("a.txt"), dir.host("b.txt")));
  EXPECT_EQ(dir.read("b.txt"), "old");

  c4faultArm(TALVEX_FAULT_MOVE, 1);
  EXPECT_FALSE(moveFile(dir.host("a.txt"), dir.host("c.txt")));
  EXPECT_TRUE(dir.exists("a.txt"));

  c4faultArm(TALVEX_FAULT_DELETE, 1);
  EXPECT_FALSE(deleteFile(dir.host("a.txt")));
  EXPECT_TRUE(dir.exists("a.txt"));

  c4faultArm(TALVEX_FAULT_CREATE, 1);
  EXPECT_FALSE(createDirectoryPath(dir.host("x\\y")));
  EXPECT_FALSE(dir.exists("x"));
  c4faultArm(TALVEX_FAULT_CREATE, 1);
  EXPECT_EQ(File::open(dir.host("new.dat"), OpenMode::CreateTruncate), nullptr);
  EXPECT_FALSE(dir.exists("new.dat"));

  auto f = File::open(dir.host("b.txt"), OpenMode::ReadWrite);
  ASSERT_NE(f, nullptr);
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  EXPECT_FALSE(f->writeAt(0, "XYZ", 3));
  EXPECT_FALSE(f->lastError().empty());
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  EXPECT_FALSE(f->truncate(0));
  c4faultArm(TALVEX_FAULT_LOCK, 1);
  EXPECT_EQ(f->lockRange(0, 1), LockResult::HeldElsewhere);
  EXPECT_EQ(f->lockRange(0, 1), LockResult::Locked);
  f.reset();
  EXPECT_EQ(dir.read("b.txt"), "old");

  // A failed whole-file write leaves the old file as it was.
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  EXPECT_FALSE(writeWholeFile(dir.host("b.txt"), "new content"));
  EXPECT_EQ(dir.read("b.txt"), "old");
  EXPECT_EQ(listFiles(dir.host()).size(), 2u);  // no temporary left behind
}

}  // namespace
