// An update on a disk that is too small: the installation lies on a tmpfs
// whose size is stepped up from just above what the installation holds; every
// call must either refuse before changing anything, with a text giving the
// figures, or run through. A call that starts and then meets a full disk would
// show that the estimate is short.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "installation_fixture.h"
#include "update_command.h"

namespace talvex::tabmend::testing {
namespace {

constexpr host::ReleaseNumber kOldest{1, 65, 0, 100};

class DiskSpace : public InstallationTest {
 protected:
  void TearDown() override {
    if (mounted_) {
      std::error_code ec;
      std::filesystem::remove_all(root + "/data", ec);
      ::umount(root.c_str());
    }
    InstallationTest::TearDown();
  }
  // (Re)sizes the tmpfs over root; false with the reason when refused.
  bool Size(uint64_t bytes) {
    const std::string options = "size=" + std::to_string(bytes);
    const unsigned long flags = mounted_ ? MS_REMOUNT : 0;
    if (::mount("tmpfs", root.c_str(), "tmpfs", flags, options.c_str()) != 0) {
      error_ = std::strerror(errno);
      return false;
    }
    mounted_ = true;
    return true;
  }
  uint64_t Used() {
    struct statvfs vfs {};
    ::statvfs(root.c_str(), &vfs);
    return static_cast<uint64_t>(vfs.f_blocks - vfs.f_bfree) * vfs.f_frsize;
  }
  bool mounted_ = false;
  std::string error_;
};

TEST_F(DiskSpace, TooLittleIsRefusedBeforeAnyChangeAndEnoughRunsThrough) {
  ASSERT_TRUE(Size(1ull << 30)) << "a tmpfs for the installation (tests run as root): " << error_;
  Install(kOldest, 300);
  const FolderSnapshot pristine = Snapshot(root);
  const FolderSnapshot data = Snapshot(nativeData);
  const FolderSnapshot backups = Snapshot(nativeInstall + "/update/backup");
  const uint64_t used = Used();

  int refused = 0;
  bool ran = false;
  // Steps of an eighth: a size just above what the check asks for is tried
  // whatever the estimate.
  for (uint64_t extra = 256 << 10; !ran && extra <= (512ull << 20); extra += extra / 8) {
    ASSERT_TRUE(Size(1ull << 30)) << error_;
    RestoreSnapshot(root, pristine);
    ASSERT_TRUE(Size(used + extra)) << error_;
    const CallResult call = Update("1.65.0.100");
    if (call.result == 0) {
      ran = true;
      break;
    }
    ++refused;
    const std::string text = call.error();
    EXPECT_EQ(text.rfind("Not enough free disk space to update the tables: the update needs ", 0), 0u)
        << "with " << extra << " bytes free: " << text;
    EXPECT_NE(text.find(" MB free; nothing was changed."), std::string::npos) << text;
    EXPECT_EQ(Differences(data, Snapshot(nativeData)), "") << extra;
    EXPECT_EQ(Differences(backups, Snapshot(nativeInstall + "/update/backup")), "") << extra;
  }
  EXPECT_TRUE(ran) << "no size up to 512 MB above the installation let the update run";
  EXPECT_GT(refused, 0) << "the smallest disk was not refused";
  // The run that got through is complete: a second call finds nothing to do.
  EXPECT_EQ(Update("1.65.0.100").result, 0);
}

// Another workstation fills the disk while the call runs (after its third
// update has swapped its tables in): the update that meets the full disk
// fails, the rollback puts every table back on the full disk, and with the
// space freed the next call runs through.
TEST_F(DiskSpace, AVolumeFilledDuringTheCallIsRolledBackInFull) {
  ASSERT_TRUE(Size(1ull << 30)) << "a tmpfs for the installation (tests run as root): " << error_;
  Install(kOldest, 300);
  const FolderSnapshot data = Snapshot(nativeData);
  ASSERT_TRUE(Size(Used() + (192ull << 20))) << error_;
  struct Filler {
    std::string path;
    int applied = 0;
  } filler{root + "/filler"};
  TabmendSetProgressObserver(
      [](void* context, const TabmendProgress* report) {
        auto* f = static_cast<Filler*>(context);
        if (report->Phase != TABMEND_PROGRESS_APPLIED || ++f->applied != 3) return;
        FILE* out = std::fopen(f->path.c_str(), "wb");
        static const std::string chunk(1 << 16, 'x');
        while (out != nullptr && std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size()) {
        }
        if (out != nullptr) std::fclose(out);
      },
      &filler);
  const CallResult call = Update("1.65.0.100");
  TabmendSetProgressObserver(nullptr, nullptr);
  ASSERT_EQ(filler.applied >= 3, true) << "the call did not get to its third update";
  std::string detail;
  for (const std::string& line : host::LastRunLogBlock(nativeInstall + "/update/tabmend.log")) {
    if (line.rfind("detail ", 0) == 0) detail += line + "\n";
  }
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error().find("\r\n"), std::string::npos) << call.error();
  EXPECT_NE(detail.find("No space left on device"), std::string::npos) << detail;
  // The rollback met the full disk too: a backup could not be copied back.
  EXPECT_NE(detail.find("update\\backup\\"), std::string::npos) << detail;
  EXPECT_EQ(Differences(data, Snapshot(nativeData)), "");
  std::filesystem::remove(filler.path);
  const CallResult rerun = Update("1.65.0.100");
  EXPECT_EQ(rerun.result, 0) << rerun.error();
}

}  // namespace
}  // namespace talvex::tabmend::testing
