#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/testing/fault_seam.h"
#include "platform/native_path.h"
#include "../common/temp_dir.h"

namespace {

using namespace talvex::platform;
using talvex::testing::TempDir;

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class FileSystem : public ::testing::Test {
 protected:
  void SetUp() override { c4faultClear(); }
  TempDir dir;
};

TEST_F(FileSystem, ExistingComponentsMatchInAnyCase) {
  dir.write("Data/archub92/Arch1/bcclaim.dbf", "x");
  EXPECT_TRUE(isFile(dir.host("DATA\\ARCHUB92\\arch1\\BCCLAIM.DBF")));
  EXPECT_TRUE(isDirectory(dir.host("data\\ArcHub92\\")));
  EXPECT_FALSE(isDirectory(dir.host("data\\archub92\\arch1\\bcclaim.dbf")));
  EXPECT_TRUE(pathExists(dir.host("DATA/ARCHUB92/ARCH1/BCCLAIM.dbf")));
  EXPECT_FALSE(pathExists(dir.host("DATA\\nothere.dbf")));
  EXPECT_FALSE(pathExists(""));
#ifndef _WIN32
  // The native path carries the names found on disk; a missing last
  // component keeps the case given, so a create makes that name.
  EXPECT_EQ(nativePath(dir.host("DATA\\ARCHUB92\\arch1\\BCCLAIM.DBF")),
            dir.native("Data/archub92/Arch1/bcclaim.dbf"));
  EXPECT_EQ(nativePath(dir.host("DATA\\New\\File.DBF")), dir.native("Data/New/File.DBF"));
  EXPECT_EQ(nativePath(dir.host("data\\")), dir.native("Data") + "/");
  // Where names differ only in case the exact one wins.
  dir.write("Data/bsclaim.dbf", "lower");
  dir.write("Data/BSCLAIM.DBF", "upper");
  EXPECT_EQ(nativePath(dir.host("Data\\BSCLAIM.DBF")), dir.native("Data/BSCLAIM.DBF"));
  EXPECT_EQ(nativePath(dir.host("Data\\bsclaim.dbf")), dir.native("Data/bsclaim.dbf"));
  EXPECT_EQ(nativePath(dir.host("Data\\BsClaim.Dbf")), dir.native("Data/BSCLAIM.DBF"));
#endif
}

TEST_F(FileSystem, CreateDirectoryPathMakesEveryMissingParent) {
  std::string deep = dir.host("Install\\update\\backup\\");
  EXPECT_TRUE(createDirectoryPath(deep));
  EXPECT_TRUE(isDirectory(dir.host("install\\UPDATE\\backup")));
  EXPECT_TRUE(createDirectoryPath(deep));  // existing: success without work
  c4faultArm(TALVEX_FAULT_CREATE, 1);
  EXPECT_TRUE(createDirectoryPath(deep));  // ... so the seam is not even asked
  c4faultClear();
  // Parents that already exist in another case are reused, not duplicated.
  EXPECT_TRUE(createDirectoryPath(dir.host("INSTALL\\private")));
  EXPECT_EQ(sorted(listDirectories(dir.host("Install"))),
            (std::vector<std::string>{"private", "update"}));
  // Short texts and roots count as present.
  EXPECT_TRUE(createDirectoryPath("C:"));
  EXPECT_TRUE(createDirectoryPath("\\"));
  // A file in the way makes it fail.
  dir.write("blocker", "");
  EXPECT_FALSE(createDirectoryPath(dir.host("blocker\\sub")));
  // The parent is made first: failing it stops before the folder itself.
  c4faultArm(TALVEX_FAULT_CREATE, 1);
  EXPECT_FALSE(createDirectoryPath(dir.host("p1\\p2")));
  EXPECT_FALSE(pathExists(dir.host("p1")));
  c4faultArm(TALVEX_FAULT_CREATE, 2);
  EXPECT_FALSE(createDirectoryPath(dir.host("p1\\p2")));
  EXPECT_TRUE(isDirectory(dir.host("p1")));
  EXPECT_FALSE(pathExists(dir.host("p1\\p2")));
}

TEST_F(FileSystem, CopyAlwaysOverwritesAndFindsNamesInAnyCase) {
  dir.write("clone/BCCLAIM.DBF", "new layout");
  dir.write("update/bcclaim.dbf", "old layout, longer than the new one");
  ASSERT_TRUE(copyFile(dir.host("CLONE\\bcclaim.dbf"), dir.host("UPDATE\\BCCLAIM.DBF")));
  EXPECT_EQ(dir.read("update/bcclaim.dbf"), "new layout");
  EXPECT_EQ(listFiles(dir.host("update")), std::vector<std::string>{"bcclaim.dbf"});
  ASSERT_TRUE(copyFile(dir.host("clone\\BCCLAIM.DBF"), dir.host("update\\bclines.dbf")));
  EXPECT_EQ(dir.read("update/bclines.dbf"), "new layout");
  EXPECT_FALSE(copyFile(dir.host("clone\\missing.dbf"), dir.host("update\\x.dbf")));
  EXPECT_FALSE(pathExists(dir.host("update\\x.dbf")));
  EXPECT_FALSE(copyFile(dir.host("clone\\BCCLAIM.DBF"), dir.host("nofolder\\x.dbf")));
  EXPECT_EQ(c4faultCount(TALVEX_FAULT_COPY), 4);
}

TEST_F(FileSystem, MoveRefusesAnExistingTargetAndDeleteOnlyFiles) {
  dir.write("a.dbf", "A");
  dir.write("b.dbf", "B");
  EXPECT_FALSE(moveFile(dir.host("a.dbf"), dir.host("B.DBF")));
  EXPECT_EQ(dir.read("b.dbf"), "B");
  ASSERT_TRUE(createDirectory(dir.host("original")));
  ASSERT_TRUE(moveFile(dir.host("A.DBF"), dir.host("ORIGINAL\\a.dbf")));
  EXPECT_EQ(dir.read("original/a.dbf"), "A");
  EXPECT_FALSE(pathExists(dir.host("a.dbf")));
  EXPECT_FALSE(moveFile(dir.host("a.dbf"), dir.host("c.dbf")));
#ifndef _WIN32
  // A change of case only renames the file, as on Windows (where wine does
  // not follow, so it is checked here only).
  ASSERT_TRUE(moveFile(dir.host("b.dbf"), dir.host("B.DBF")));
  EXPECT_EQ(listFiles(dir.host()), std::vector<std::string>{"B.DBF"});
#endif

  EXPECT_TRUE(deleteFile(dir.host("b.dbf")));
  EXPECT_FALSE(deleteFile(dir.host("b.dbf")));
  EXPECT_FALSE(deleteFile(dir.host("original")));
  EXPECT_TRUE(isDirectory(dir.host("original")));
  EXPECT_FALSE(removeDirectory(dir.host("original")));  // not empty
  EXPECT_TRUE(deleteFile(dir.host("original\\A.DBF")));
  EXPECT_TRUE(removeDirectory(dir.host("original")));
}

// A failed copy, move or delete leaves its operation, files and the
// system's reason for the run log; a success clears it.
TEST_F(FileSystem, AFailedFileOperationSaysWhatAndWhy) {
  dir.write("a.dbf", "x");
  dir.write("b.dbf", "y");
  const std::string a = dir.host("a.dbf"), b = dir.host("b.dbf"), gone = dir.host("gone.dbf");
  const std::string noFolder = dir.host("nofolder\\c.dbf");
  // The system's own text: fixed on POSIX; on Windows it depends on the
  // version and language of the system, so only that one is there.
#ifdef _WIN32
  const std::string missing = "";
#else
  const std::string missing = "No such file or directory";
#endif
  const std::pair<std::function<bool()>, std::string> failures[] = {
      {[&] { return copyFile(gone, b); }, "copy " + gone + " to " + b + ": "},
      {[&] { return moveFile(gone, noFolder); }, "move " + gone + " to " + noFolder + ": "},
      {[&] { return deleteFile(gone); }, "delete " + gone + ": "},
  };
  for (const auto& [operation, prefix] : failures) {
    EXPECT_FALSE(operation());
    const std::string text = lastFileError();
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
    EXPECT_GT(text.size(), prefix.size()) << text;
    if (!missing.empty()) {
      EXPECT_EQ(text, prefix + missing);
    }
  }
  EXPECT_FALSE(moveFile(a, b));
  EXPECT_EQ(lastFileError().rfind("move " + a + " to " + b + ": ", 0), 0u) << lastFileError();
  EXPECT_TRUE(copyFile(a, dir.host("d.dbf")));
  EXPECT_EQ(lastFileError(), "");
  c4faultArm(TALVEX_FAULT_COPY, 1);
  EXPECT_FALSE(copyFile(a, b));
  EXPECT_EQ(lastFileError(), "copy " + a + " to " + b + ": injected fault");
  EXPECT_FALSE(workstationName().empty());
}

TEST_F(FileSystem, WildcardsFollowDosRules) {
  EXPECT_TRUE(wildcardMatch("*.*", "README"));
  EXPECT_TRUE(wildcardMatch("*.dbf", "BCCLAIM.DBF"));
  EXPECT_FALSE(wildcardMatch("*.dbf", "bcclaim.dbf.bak"));
  EXPECT_TRUE(wildcardMatch("bc*.d?f", "bcclaim.dbf"));
  EXPECT_FALSE(wildcardMatch("bc?.dbf", "bcxx.dbf"));
  EXPECT_TRUE(wildcardMatch("*claim*", "bsclaim.mdx"));
  EXPECT_TRUE(wildcardMatch("a*b*c", "aXbYbZc"));
  EXPECT_FALSE(wildcardMatch("a*b*c", "aXbYbZ"));
  EXPECT_FALSE(wildcardMatch("?", ""));
}

TEST_F(FileSystem, ListingSeparatesFoldersFromFiles) {
  dir.write("archub92/Y2019/bcclaim.dbf", "");
  dir.write("archub92/y2020/BCCLAIM.DBF", "");
  dir.write("archub92/notes.txt", "");
  dir.write("archub92/Old.DBF", "");
  EXPECT_EQ(sorted(listDirectories(dir.host("ARCHUB92"), "*.*")),
            (std::vector<std::string>{"Y2019", "y2020"}));
  EXPECT_EQ(sorted(listFiles(dir.host("ARCHUB92\\"), "*.*")),
            (std::vector<std::string>{"Old.DBF", "notes.txt"}));
  EXPECT_EQ(listFiles(dir.host("archub92"), "*.dbf"), std::vector<std::string>{"Old.DBF"});
  EXPECT_TRUE(listFiles(dir.host("arch1500")).empty());
  EXPECT_EQ(shortPath(dir.host("archub92")).empty(), false);
  EXPECT_TRUE(isDirectory(shortPath(dir.host("archub92\\y2020"))));
}

TEST_F(FileSystem, TextLinesEndInCrLf) {
  ASSERT_TRUE(writeTextLines(dir.host("dump.txt"), {"0100,12.50", "", "0200,7"}));
  EXPECT_EQ(dir.read("dump.txt"), "0100,12.50\r\n\r\n0200,7\r\n");
  std::vector<std::string> lines;
  ASSERT_TRUE(readTextLines(dir.host("DUMP.TXT"), &lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"0100,12.50", "", "0200,7"}));
  // Any line end is accepted; a last line without one is kept.
  dir.write("mixed.txt", "a\nb\r\nc\rd");
  ASSERT_TRUE(readTextLines(dir.host("mixed.txt"), &lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_FALSE(readTextLines(dir.host("none.txt"), &lines));
  ASSERT_TRUE(writeTextLines(dir.host("dump.txt"), {}));
  EXPECT_EQ(dir.read("dump.txt"), "");
}

}  // namespace
