#include "common/locations/installation_locations.h"

#include <gtest/gtest.h>

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/testing/fault_seam.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "temp_dir.h"

namespace {

using namespace talvex::common;
using talvex::platform::isDirectory;
using talvex::platform::RegistryKey;

class Locations : public ::testing::Test {
 protected:
  void SetUp() override {
    c4faultClear();
#ifdef _WIN32
    RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
#else
    setenv("TALVEX_REGISTRY", dir.native("registry.reg").c_str(), 1);
#endif
  }
  void TearDown() override {
    c4faultClear();
#ifdef _WIN32
    RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
#else
    unsetenv("TALVEX_REGISTRY");
#endif
  }
  void set(const char* name, const std::string& value) {
    auto key = RegistryKey::createCurrentUser(std::string(kRegistryKey) + "\\" + kRegistrySubkey);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->writeString(name, value));
  }
  // An installation with every folder in place, registered without a
  // trailing separator on InstallDirectory.
  void install() {
    ASSERT_TRUE(talvex::platform::createDirectoryPath(dir.host("SHARE\\APP\\DATA")));
    ASSERT_TRUE(talvex::platform::createDirectoryPath(dir.host("WS\\update\\backup")));
    ASSERT_TRUE(talvex::platform::createDirectoryPath(dir.host("WS\\private")));
    set("ServerDirectory", dir.host("SHARE\\APP\\"));
    set("InstallDirectory", dir.host("WS"));
    set("DataDirectory", dir.host("SHARE\\APP\\DATA\\"));
  }
  talvex::testing::TempDir dir;
};

TEST_F(Locations, ANewUserGetsAnEmptyKeyAndFalse) {
  ASSERT_EQ(RegistryKey::openCurrentUser(kRegistryKey), nullptr);
  InstallationLocations loc;
  EXPECT_FALSE(readInstallationLocations(&loc, WorkDirectories::None));
  auto key = RegistryKey::openCurrentUser(kRegistryKey);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->openSubKey(kRegistrySubkey), nullptr);
  EXPECT_TRUE(loc.DataDirectory.empty());
}

TEST_F(Locations, AllThreeReadWithTrailingSeparators) {
  install();
  InstallationLocations loc;
  ASSERT_TRUE(readInstallationLocations(&loc, WorkDirectories::None));
  EXPECT_EQ(loc.ServerDirectory, dir.host("SHARE\\APP\\"));
  EXPECT_EQ(loc.InstallDirectory, dir.host("WS\\"));
  EXPECT_EQ(loc.DataDirectory, dir.host("SHARE\\APP\\DATA\\"));
  EXPECT_TRUE(loc.PrivateDirectory.empty());  // the program has no working folders
}

TEST_F(Locations, AnEmptyServerDirectoryIsTheDataFoldersParent) {
  install();
  set("ServerDirectory", "");
  InstallationLocations loc;
  ASSERT_TRUE(readInstallationLocations(&loc, WorkDirectories::None));
  EXPECT_EQ(loc.ServerDirectory, dir.host("SHARE\\APP\\"));
  EXPECT_EQ(parentFolder("D:\\SHARE\\APP\\DATA\\"), "D:\\SHARE\\APP\\");
  EXPECT_EQ(parentFolder("D:\\SHARE\\APP\\DATA"), "D:\\SHARE\\APP\\");
}

TEST_F(Locations, ADataFolderWithoutParentFails) {
  install();
  set("ServerDirectory", "");
  set("DataDirectory", "DATA");
  InstallationLocations loc;
  EXPECT_FALSE(readInstallationLocations(&loc, WorkDirectories::None));
  EXPECT_EQ(loc.DataDirectory, "DATA\\");
  EXPECT_TRUE(loc.ServerDirectory.empty());
}

TEST_F(Locations, MissingOrWrongValuesFail) {
  install();
  set("InstallDirectory", "");
  InstallationLocations loc;
  EXPECT_FALSE(readInstallationLocations(&loc, WorkDirectories::None));

  install();
  auto general = RegistryKey::createCurrentUser(std::string(kRegistryKey) + "\\General");
  ASSERT_TRUE(general->writeDword("DataDirectory", 1));
  EXPECT_FALSE(readInstallationLocations(&loc, WorkDirectories::None));

  install();
  set("DataDirectory", dir.host("SHARE\\APP\\NODATA\\"));  // not there
  EXPECT_FALSE(readInstallationLocations(&loc, WorkDirectories::None));
}

TEST_F(Locations, TheUpdaterMakesMissingWorkingFolders) {
  install();
  ASSERT_TRUE(talvex::platform::removeDirectory(dir.host("WS\\update\\backup")));
  ASSERT_FALSE(isDirectory(dir.host("WS\\update\\backup")));
  InstallationLocations loc;
  // The program variant neither needs nor makes them.
  EXPECT_TRUE(readInstallationLocations(&loc, WorkDirectories::None));
  EXPECT_FALSE(isDirectory(dir.host("WS\\update\\backup")));

  ASSERT_TRUE(readInstallationLocations(&loc, WorkDirectories::Create));
  EXPECT_TRUE(isDirectory(dir.host("WS\\update\\backup")));
  EXPECT_EQ(loc.PrivateDirectory, dir.host("WS\\private\\"));
  EXPECT_EQ(loc.UpdateDirectory, dir.host("WS\\update\\"));
  EXPECT_EQ(loc.BackupDirectory, dir.host("WS\\update\\backup\\"));
}

TEST_F(Locations, AWorkingFolderThatCannotBeMadeFails) {
  install();
  ASSERT_TRUE(talvex::platform::removeDirectory(dir.host("WS\\private")));
  c4faultArm(TALVEX_FAULT_CREATE, 1);
  InstallationLocations loc;
  EXPECT_FALSE(readInstallationLocations(&loc, WorkDirectories::Create));
  EXPECT_FALSE(isDirectory(dir.host("WS\\private")));
  EXPECT_TRUE(readInstallationLocations(&loc, WorkDirectories::Create));  // next time it works
}

TEST(TrailingSeparator, AddedOnlyWhenMissing) {
  EXPECT_EQ(withTrailingSeparator(""), "");
  EXPECT_EQ(withTrailingSeparator("C:\\APP"), "C:\\APP\\");
  EXPECT_EQ(withTrailingSeparator("C:\\APP\\"), "C:\\APP\\");
  EXPECT_EQ(withTrailingSeparator("/srv/app/"), "/srv/app/");
  EXPECT_EQ(parentFolder("DATA\\"), "");
  EXPECT_EQ(parentFolder("\\DATA\\"), "\\");
}

}  // namespace
