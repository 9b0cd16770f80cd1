#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "../common/temp_dir.h"

namespace {

using talvex::platform::RegistryKey;
using talvex::platform::RegistryRead;

// Each test works below its own key; on POSIX also in its own registry file.
class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    file_ = dir_.native("registry.reg");
    setenv("TALVEX_REGISTRY", file_.c_str(), 1);
#endif
    root_ = "Software\\TalvexTests\\" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
#ifdef _WIN32
    RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str());
#endif
  }
  void TearDown() override {
#ifdef _WIN32
    RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str());
#else
    unsetenv("TALVEX_REGISTRY");
#endif
  }
  std::string read(RegistryKey& key, const char* name) {
    std::string v;
    return key.readString(name, &v) == RegistryRead::Ok ? v : "<not ok>";
  }
  talvex::testing::TempDir dir_;
  std::string file_;
  std::string root_;
};

TEST_F(Registry, CreatedKeysAndStringsPersist) {
  EXPECT_EQ(RegistryKey::openCurrentUser(root_), nullptr);
  {
    auto key = RegistryKey::createCurrentUser(root_ + "\\General");
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(key->writeString("DataDirectory", "C:\\APP\\DATA\\"));
    EXPECT_TRUE(key->writeString("Quoted", "say \"hi\" \\\\server"));
    EXPECT_TRUE(key->writeString("Empty", ""));
    EXPECT_TRUE(key->writeString("", "default value"));
  }
  // The parent exists now too, and names match in any case.
  auto parent = RegistryKey::openCurrentUser(root_);
  ASSERT_NE(parent, nullptr);
  auto general = parent->openSubKey("GENERAL");
  ASSERT_NE(general, nullptr);
  EXPECT_EQ(read(*general, "datadirectory"), "C:\\APP\\DATA\\");
  EXPECT_EQ(read(*general, "Quoted"), "say \"hi\" \\\\server");
  EXPECT_EQ(read(*general, "Empty"), "");
  EXPECT_EQ(read(*general, ""), "default value");
  std::string v = "unchanged";
  EXPECT_EQ(general->readString("Missing", &v), RegistryRead::Missing);
  EXPECT_EQ(v, "unchanged");
  EXPECT_EQ(parent->openSubKey("Other"), nullptr);

  // Rewriting a value replaces it; creating an existing key keeps its values.
  EXPECT_TRUE(general->writeString("DATADIRECTORY", "D:\\NEW\\"));
  auto again = RegistryKey::createCurrentUser(root_ + "\\general");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(read(*again, "DataDirectory"), "D:\\NEW\\");
  EXPECT_TRUE(again->deleteValue("DataDirectory"));
  EXPECT_EQ(again->readString("DataDirectory", &v), RegistryRead::Missing);
}

TEST_F(Registry, ValuesThatAreNotStringsReadAsSuch) {
  auto key = RegistryKey::createCurrentUser(root_);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->writeDword("Number", 42));
  std::string v;
  EXPECT_EQ(key->readString("Number", &v), RegistryRead::NotString);
  // A string written over it is a string again.
  ASSERT_TRUE(key->writeString("Number", "42"));
  EXPECT_EQ(read(*key, "Number"), "42");
}

#ifndef _WIN32
TEST_F(Registry, FileIsRegedit4WithItsEscapes) {
  auto key = RegistryKey::createCurrentUser("Software\\Corvane Technologies\\Talvex32\\General");
  ASSERT_TRUE(key->writeString("DataDirectory", "C:\\A \"B\"\\"));
  ASSERT_TRUE(key->writeDword("Flags", 0x1F));
  std::string text = dir_.read("registry.reg");
  EXPECT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Corvane Technologies\\Talvex32]\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"DataDirectory\"=\"C:\\\\A \\\"B\\\"\\\\\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"Flags\"=dword:0000001f\r\n"), std::string::npos);
  EXPECT_EQ(dir_.read("registry.reg.~" + std::to_string(getpid())), "");  // no temp left
}

TEST_F(Registry, ReadsAFileWrittenByHandAndKeepsWhatItDoesNotKnow) {
  dir_.write("registry.reg",
             "REGEDIT4\n\n"
             "; a comment\n"
             "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane Technologies\\TALVEX32\\General]\n"
             "\"ServerDirectory\"=\"\\\\\\\\SERVER\\\\APP\\\\\"\n"
             "\"Blob\"=hex:01,02,\\\n  03,04\n"
             "@=\"dflt\"\n"
             "[-HKEY_CURRENT_USER\\Software\\Gone]\n"
             "\"x\"=\"y\"\n");
  auto key = RegistryKey::openCurrentUser("Software\\Corvane Technologies\\Talvex32\\general");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(read(*key, "serverdirectory"), "\\\\SERVER\\APP\\");
  EXPECT_EQ(read(*key, ""), "dflt");
  std::string v;
  EXPECT_EQ(key->readString("Blob", &v), RegistryRead::NotString);
  // Parents without a section of their own exist; deleted sections do not.
  EXPECT_NE(RegistryKey::openCurrentUser("Software\\Corvane Technologies"), nullptr);
  EXPECT_EQ(RegistryKey::openCurrentUser("Software\\Gone"), nullptr);
  ASSERT_TRUE(key->writeString("DataDirectory", "X\\"));
  EXPECT_NE(dir_.read("registry.reg").find("\"Blob\"=hex:01,02,03,04"), std::string::npos);
  EXPECT_EQ(read(*key, "ServerDirectory"), "\\\\SERVER\\APP\\");
}

TEST_F(Registry, WritersInTwoProcessesLoseNothing) {
  ASSERT_NE(RegistryKey::createCurrentUser(root_), nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  const char* who = pid == 0 ? "child" : "parent";
  auto key = RegistryKey::openCurrentUser(root_);
  bool ok = key != nullptr;
  for (int i = 0; ok && i < 40; ++i)
    ok = key->writeString(std::string(who) + std::to_string(i), std::to_string(i));
  if (pid == 0) _exit(ok ? 0 : 1);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (const char* name : {"child", "parent"})
    for (int i = 0; i < 40; ++i)
      EXPECT_EQ(read(*key, (std::string(name) + std::to_string(i)).c_str()), std::to_string(i));
}

TEST_F(Registry, AFileThatIsNotARegistryFails) {
  dir_.write("registry.reg", "this is not a registry file\n");
  EXPECT_EQ(RegistryKey::createCurrentUser(root_), nullptr);
  EXPECT_EQ(dir_.read("registry.reg"), "this is not a registry file\n");  // left alone
}

TEST_F(Registry, DefaultFileLivesInTheConfigurationFolder) {
  unsetenv("TALVEX_REGISTRY");
  setenv("XDG_CONFIG_HOME", dir_.native("cfg").c_str(), 1);
  EXPECT_EQ(talvex::platform::registryFilePath(), dir_.native("cfg") + "/talvex/registry.reg");
  EXPECT_NE(RegistryKey::createCurrentUser(root_), nullptr);
  EXPECT_TRUE(dir_.exists("cfg/talvex/registry.reg"));
  unsetenv("XDG_CONFIG_HOME");
}
#endif

}  // namespace
