// The power cut layer: what survives a cut is exactly what was synced, by
// whichever handle or name, and a seeded cut loses whole sectors.
#include "platform/testing/power_cut.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "../common/temp_dir.h"

namespace {

using talvex::platform::File;
using talvex::platform::OpenMode;
namespace fs = talvex::platform;

std::string Content(const std::string& path) {
  std::string bytes;
  if (!fs::readWholeFile(path, &bytes)) return "<missing>";
  return bytes;
}

void WriteAt(const std::string& path, uint64_t offset, const std::string& bytes) {
  auto f = File::open(path, OpenMode::OpenOrCreate);
  ASSERT_TRUE(f);
  ASSERT_TRUE(f->writeAt(offset, bytes.data(), bytes.size()));
}

class PowerCut : public ::testing::Test {
 protected:
  void SetUp() override { c4faultClear(); }
  void TearDown() override {
    c4faultPowerStop();
    c4faultClear();
  }
  talvex::testing::TempDir dir;
};

TEST_F(PowerCut, EverythingSinceTheLastSyncOfAFileIsLostAndNothingBefore) {
  const std::string a = dir.native("a.dbf"), b = dir.native("b.dbf");
  dir.write("a.dbf", "synced before");  // untracked: counts as on disk
  c4faultPowerTrack(0);

  // a: overwritten, grown, cut short, through two handles; never synced.
  WriteAt(a, 0, "SYNCED");
  WriteAt(a, 20, "grown");
  {
    auto f = File::open(a, OpenMode::ReadWrite);
    ASSERT_TRUE(f->truncate(3));
    ASSERT_TRUE(f->writeAt(1, "xyz", 3));
  }
  // b: written, then synced through another handle than the one that wrote
  // (and closed), then written again.
  WriteAt(b, 0, std::string(1000, 'b'));
  {
    auto f = File::open(b, OpenMode::ReadOnly);
    ASSERT_TRUE(f->sync());
  }
  WriteAt(b, 600, "after");
  {
    auto f = File::open(b, OpenMode::ReadWrite);
    ASSERT_TRUE(f->truncate(700));
  }
  // c: emptied by a create and refilled; d: created and synced by path.
  const std::string c = dir.native("c.txt"), d = dir.native("d.txt");
  dir.write("c.txt", "old c");
  {
    auto f = File::open(c, OpenMode::CreateTruncate);
    ASSERT_TRUE(f->writeAt(0, "new c, longer", 13));
  }
  WriteAt(d, 0, "d");
  ASSERT_TRUE(fs::syncFile(d));
  EXPECT_GT(c4faultPowerHeld(), 0u);

  EXPECT_EQ(c4faultPowerDrop(), 3);
  EXPECT_EQ(Content(a), "synced before");
  EXPECT_EQ(Content(b), std::string(1000, 'b'));
  EXPECT_EQ(Content(c), "old c");
  EXPECT_EQ(Content(d), "d");
  EXPECT_EQ(c4faultPowerHeld(), 0u);
  // Tracking ended with the drop: later writes stay.
  WriteAt(a, 0, "later");
  EXPECT_EQ(c4faultPowerDrop(), 0);
  EXPECT_EQ(Content(a).substr(0, 5), "later");
}

TEST_F(PowerCut, UnsyncedWritesMoveWithTheirFileAndGoWithADelete) {
  const std::string target = dir.native("table.dbf"), moved = dir.native("moved.dbf");
  dir.write("table.dbf", "old table");
  dir.write("gone.dbf", "old gone");
  c4faultPowerTrack(0);
  // Replaced by copy and by write-then-rename without syncs: the names stay
  // (folder entries are not modelled) but the new bytes are lost.
  dir.write("source.dbf", "copied bytes");
  ASSERT_TRUE(fs::copyFile(dir.native("source.dbf"), target));
  ASSERT_TRUE(fs::writeWholeFile(dir.native("whole.txt"), "unsynced whole"));
  ASSERT_TRUE(fs::writeWholeFile(dir.native("kept.txt"), "synced whole", true));
  // Written, then moved: the writes go with it and its old name keeps none.
  WriteAt(dir.native("gone.dbf"), 0, "NEW");
  ASSERT_TRUE(fs::moveFile(dir.native("gone.dbf"), moved));
  WriteAt(dir.native("gone.dbf"), 0, "a new file under the old name");
  ASSERT_TRUE(fs::syncFile(dir.native("gone.dbf")));
  // Written and deleted: nothing to put back.
  WriteAt(dir.native("deleted.dbf"), 0, "x");
  ASSERT_TRUE(fs::deleteFile(dir.native("deleted.dbf")));

  c4faultPowerDrop();
  EXPECT_EQ(Content(target), "");
  EXPECT_EQ(Content(dir.native("whole.txt")), "");
  EXPECT_EQ(Content(dir.native("kept.txt")), "synced whole");
  EXPECT_EQ(Content(moved), "old gone");
  EXPECT_EQ(Content(dir.native("gone.dbf")), "a new file under the old name");
  EXPECT_FALSE(fs::pathExists(dir.native("deleted.dbf")));
}

TEST_F(PowerCut, ASeededCutLosesWholeSectorsTheSameWayEachTime) {
  const std::string path = dir.native("sectors.dbf");
  const std::string before(8 * 512, 'o');
  std::set<std::string> sizes;
  int mixed = 0;
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    std::string results[2];
    for (std::string& result : results) {
      dir.write("sectors.dbf", before);
      c4faultPowerTrack(seed);
      // Unaligned writes over every sector, and four new sectors past the end.
      WriteAt(path, 100, std::string(8 * 512 - 100, 'n'));
      WriteAt(path, 0, std::string(100, 'n'));
      WriteAt(path, 8 * 512, std::string(4 * 512, 'g'));
      c4faultPowerDrop();
      result = Content(path);
    }
    EXPECT_EQ(results[0], results[1]) << seed;
    const std::string& got = results[0];
    ASSERT_TRUE(got.size() == 8 * 512 || got.size() == 12 * 512) << seed;
    sizes.insert(std::to_string(got.size()));
    int lost = 0, kept = 0;
    for (size_t s = 0; s < got.size() / 512; ++s) {
      const std::string sector = got.substr(s * 512, 512);
      const char newByte = s < 8 ? 'n' : 'g', oldByte = s < 8 ? 'o' : '\0';
      if (sector == std::string(512, newByte)) {
        ++kept;
      } else {
        EXPECT_EQ(sector, std::string(512, oldByte)) << "seed " << seed << " sector " << s;
        ++lost;
      }
    }
    mixed += lost > 0 && kept > 0 ? 1 : 0;
  }
  EXPECT_GT(mixed, 6);
  EXPECT_EQ(sizes.size(), 2u);  // some cuts keep the new size, some do not
}

// A truncate is taken back whole or not at all: a cut that loses the new
// length brings back every byte past it, never zeros in their place.
TEST_F(PowerCut, ACutThatLosesATruncateBringsBackWhatItCutOff) {
  const std::string path = dir.native("record.txt");
  const std::string before = std::string(512, 'h') + std::string(3 * 512, 'c');
  int lostLength = 0;
  for (uint32_t seed = 1; seed <= 16; ++seed) {
    dir.write("record.txt", before);
    c4faultPowerTrack(seed);
    {
      auto f = File::open(path, OpenMode::ReadWrite);
      ASSERT_TRUE(f->truncate(0));
    }
    c4faultPowerDrop();
    const std::string got = Content(path);
    if (!got.empty()) {
      ++lostLength;
      EXPECT_EQ(got, before) << "seed " << seed;
    }
  }
  EXPECT_GT(lostLength, 0);
}

// A child process tracks from its start and cuts at its third sync: the
// first two syncs hold, the cut ends it with the crash status.
TEST_F(PowerCut, TheArmedSyncEndsTheProcessAfterUndoingWhatItHad) {
  const std::string path = dir.native("child.dbf");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    c4faultPowerTrack(0);
    c4faultPowerCutAt(3);
    auto f = File::open(path, OpenMode::CreateTruncate);
    // The child's results do not matter: the cut ends it at the third sync.
    (void)f->writeAt(0, "one", 3);
    (void)f->sync();
    (void)fs::syncDirectory(dir.native());
    (void)f->writeAt(3, " two", 4);
    (void)f->sync();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 86);
  EXPECT_EQ(Content(path), "one");
}

}  // namespace
