#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <cstring>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/testing/fault_seam.h"
#include "../common/temp_dir.h"

namespace {

using talvex::platform::File;
using talvex::platform::LockResult;
using talvex::platform::OpenMode;

class FileIo : public ::testing::Test {
 protected:
  void SetUp() override { c4faultClear(); }
  std::unique_ptr<File> make(const std::string& name) {
    auto f = File::open(dir.host(name), OpenMode::CreateTruncate);
    EXPECT_NE(f, nullptr);
    return f;
  }
  talvex::testing::TempDir dir;
};

TEST_F(FileIo, PositionedReadWriteSizeAndTruncate) {
  auto f = make("t.dbf");
  ASSERT_TRUE(f->writeAt(10, "abc", 3));  // a gap is filled with zeros
  uint64_t size = 0;
  ASSERT_TRUE(f->size(&size));
  EXPECT_EQ(size, 13u);
  char buf[20];
  size_t got = 0;
  ASSERT_TRUE(f->readAt(8, buf, sizeof buf, &got));
  ASSERT_EQ(got, 5u);  // short read at the end is not an error
  EXPECT_EQ(std::memcmp(buf, "\0\0abc", 5), 0);
  ASSERT_TRUE(f->readAt(100, buf, 4, &got));
  EXPECT_EQ(got, 0u);
  ASSERT_TRUE(f->truncate(11));
  ASSERT_TRUE(f->size(&size));
  EXPECT_EQ(size, 11u);
  EXPECT_TRUE(f->sync());
  EXPECT_GT(f->modifiedTime(), 0u);

  // ReadOnly refuses writes; CreateTruncate empties an existing file.
  f.reset();
  auto ro = File::open(dir.host("t.dbf"), OpenMode::ReadOnly);
  ASSERT_NE(ro, nullptr);
  EXPECT_FALSE(ro->writeAt(0, "x", 1));
  ro.reset();
  auto again = make("t.dbf");
  ASSERT_TRUE(again->size(&size));
  EXPECT_EQ(size, 0u);
}

TEST_F(FileIo, OpenFailuresSayWhy) {
  std::string error;
  EXPECT_EQ(File::open(dir.host("missing.dbf"), OpenMode::ReadWrite, &error), nullptr);
  EXPECT_NE(error.find("missing.dbf"), std::string::npos);
  EXPECT_EQ(File::open(dir.host("no\\such\\folder\\x.dbf"), OpenMode::CreateTruncate), nullptr);
}

TEST_F(FileIo, OpensByNameInAnyCase) {
  dir.write("bcclaim.dbf", "data");
  auto f = File::open(dir.host("BCCLAIM.DBF"), OpenMode::ReadOnly);
  ASSERT_NE(f, nullptr);
  char buf[4];
  size_t got;
  ASSERT_TRUE(f->readAt(0, buf, 4, &got));
  EXPECT_EQ(std::string(buf, got), "data");
}

TEST_F(FileIo, OffsetsAcrossFourGibibytes) {
  // Sparse on every file system the tests run on; a 32-bit offset would
  // wrap and land at the start of the file.
  auto f = make("big.dat");
  const uint64_t at = (uint64_t{1} << 32) - 2;
  ASSERT_TRUE(f->writeAt(0, "head", 4));
  ASSERT_TRUE(f->writeAt(at, "WXYZ", 4));
  uint64_t size = 0;
  ASSERT_TRUE(f->size(&size));
  EXPECT_EQ(size, at + 4);
  char buf[4];
  size_t got = 0;
  ASSERT_TRUE(f->readAt(at, buf, 4, &got));
  EXPECT_EQ(std::string(buf, got), "WXYZ");
  ASSERT_TRUE(f->readAt(0, buf, 4, &got));
  EXPECT_EQ(std::string(buf, got), "head");
  ASSERT_TRUE(f->truncate(16));
}

TEST_F(FileIo, LocksExcludeAnotherFileInTheSameProcess) {
  make("l.dbf").reset();
  auto a = File::open(dir.host("l.dbf"), OpenMode::ReadWrite);
  auto b = File::open(dir.host("l.dbf"), OpenMode::ReadWrite);
  ASSERT_TRUE(a && b);
  ASSERT_EQ(a->lockRange(100, 10), LockResult::Locked);
  EXPECT_EQ(b->lockRange(105, 1), LockResult::HeldElsewhere);
  EXPECT_EQ(b->lockRange(110, 5), LockResult::Locked);  // adjacent range is free
  EXPECT_EQ(b->lockRange(100, 1, false), LockResult::HeldElsewhere);
  ASSERT_TRUE(a->unlockRange(100, 10));
  EXPECT_EQ(b->lockRange(100, 10), LockResult::Locked);

  // Shared locks coexist and keep exclusive ones out.
  ASSERT_EQ(a->lockRange(500, 4, false), LockResult::Locked);
  EXPECT_EQ(b->lockRange(500, 4, false), LockResult::Locked);
  EXPECT_EQ(b->lockRange(502, 1, true), LockResult::HeldElsewhere);

  // Closing a File releases its locks.
  a.reset();
  auto c = File::open(dir.host("l.dbf"), OpenMode::ReadWrite);
  EXPECT_EQ(c->lockRange(500, 4), LockResult::HeldElsewhere);  // b's shared lock stays
  b.reset();
  EXPECT_EQ(c->lockRange(100, 10), LockResult::Locked);
  EXPECT_EQ(c->lockRange(500, 4), LockResult::Locked);
}

TEST_F(FileIo, LocksBeyondFourGibibytesDoNotAliasLowOffsets) {
  make("l.dbf").reset();
  auto a = File::open(dir.host("l.dbf"), OpenMode::ReadWrite);
  auto b = File::open(dir.host("l.dbf"), OpenMode::ReadWrite);
  const uint64_t high = (uint64_t{1} << 32) + 10;  // the engine's lock area lies up here
  ASSERT_EQ(a->lockRange(high, 1), LockResult::Locked);
  EXPECT_EQ(b->lockRange(10, 1), LockResult::Locked);
  EXPECT_EQ(b->lockRange(high, 1), LockResult::HeldElsewhere);
  EXPECT_EQ(b->lockRange(0xF0000000ull, 0x10000000ull), LockResult::Locked);  // up to 4 GiB
  EXPECT_EQ(a->lockRange(0xFFFFFFFFull, 1), LockResult::HeldElsewhere);
  EXPECT_EQ(a->lockRange(0, 0), LockResult::Failed);  // an empty range is refused
}

#ifndef _WIN32
TEST_F(FileIo, LocksExcludeAnotherProcess) {
  make("p.dbf").reset();
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    auto f = File::open(dir.host("p.dbf"), OpenMode::ReadWrite);
    char r = f && f->lockRange(7, 3) == LockResult::Locked ? 'L' : 'F';
    (void)!write(toParent[1], &r, 1);
    char go;
    (void)!read(toChild[0], &go, 1);  // hold the lock until told to exit
    _exit(0);
  }
  char r = 0;
  ASSERT_EQ(read(toParent[0], &r, 1), 1);
  ASSERT_EQ(r, 'L');
  auto f = File::open(dir.host("p.dbf"), OpenMode::ReadWrite);
  EXPECT_EQ(f->lockRange(8, 1), LockResult::HeldElsewhere);
  EXPECT_EQ(f->lockRange(10, 1), LockResult::Locked);
  ASSERT_EQ(write(toChild[1], "x", 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  // The child's locks die with it.
  EXPECT_EQ(f->lockRange(7, 3), LockResult::Locked);
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) close(fd);
}
#endif

}  // namespace
