// talvexhost as a person uses it: separate processes, one registry file.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace stdfs = std::filesystem;

struct Output {
  int exit = -1;
  std::string out;
};

class Talvexhost : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/talvexhost-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    const char* bin = std::getenv("TALVEX_BIN_DIR");
    program = std::string(bin != nullptr ? bin : ".") + "/talvexhost";
  }
  void TearDown() override { stdfs::remove_all(root); }

  Output Run(const std::string& args) {
    const std::string command =
        program + " " + args + " --registry " + root + "/registry.reg 2>/dev/null";
    Output result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }

  std::string root, program;
};

TEST_F(Talvexhost, InstallUpdateShowWithTheHostsOutput) {
  Output install = Run("install " + root + " --release 2.49.0.100 --claims 10 --seed 4");
  ASSERT_EQ(install.exit, 0) << install.out;
  EXPECT_TRUE(stdfs::exists(root + "/registry.reg"));
  EXPECT_TRUE(stdfs::exists(root + "/server/TALVEX32.EXE"));
  EXPECT_TRUE(stdfs::exists(root + "/install/TALVEX32.INI"));
  EXPECT_TRUE(stdfs::exists(root + "/data/BSRSTER.CTL"));
  EXPECT_TRUE(stdfs::exists(root + "/server/update/clone/updt0073"));
  EXPECT_TRUE(stdfs::exists(root + "/data/arch1500/2003/bsclaim.dbf"));

  Output bad = Run("update --version 2.59.0.100");
  EXPECT_EQ(bad.exit, 1);
  EXPECT_EQ(bad.out,
            "result: -1\n%PRODUCT%=Talvex Nova32\n%OPERATOR%=front desk\n"
            "%TABMEND_ERR%=Invalid TALVEX32.EXE version number [2.59.0.100].\n");

  Output good = Run("update");
  EXPECT_EQ(good.exit, 0);
  EXPECT_EQ(good.out, "result: 0\n%PRODUCT%=Talvex Nova32\n%OPERATOR%=front desk\n");

  Output show = Run("show isec --fields SEC_EMAIL --limit 2");
  EXPECT_EQ(show.exit, 0);
  EXPECT_NE(show.out.find("SEC_EMAIL"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("(2 of "), std::string::npos) << show.out;
  Output layout = Run("layout isec");
  EXPECT_EQ(layout.exit, 0);
  EXPECT_NE(layout.out.find("SEC_EMAIL"), std::string::npos);
  EXPECT_EQ(Run("show nosuchtable").exit, 1);
}

TEST_F(Talvexhost, TheSameSeedGivesTheSameInstallation) {
  ASSERT_EQ(Run("install " + root + "/a --claims 30 --seed 9").exit, 0);
  ASSERT_EQ(Run("install " + root + "/b --claims 30 --seed 9").exit, 0);
  ASSERT_EQ(Run("install " + root + "/c --claims 30 --seed 10").exit, 0);
  auto bytes = [](const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    std::string s;
    int ch;
    while (f != nullptr && (ch = std::fgetc(f)) != EOF) s += static_cast<char>(ch);
    if (f != nullptr) std::fclose(f);
    return s;
  };
  // Table headers carry the day they were written; compare the records.
  const std::string a = bytes(root + "/a/data/bsclaim.dbf");
  EXPECT_TRUE(a.substr(32) == bytes(root + "/b/data/bsclaim.dbf").substr(32));
  EXPECT_TRUE(a.substr(32) != bytes(root + "/c/data/bsclaim.dbf").substr(32));
  const std::string memo = bytes(root + "/a/data/arch1500/2004/bsattach.dbt");
  EXPECT_TRUE(memo.size() > 512 && memo == bytes(root + "/b/data/arch1500/2004/bsattach.dbt"));
}

TEST_F(Talvexhost, BadUsageIsRefused) {
  EXPECT_EQ(Run("").exit, 2);
  EXPECT_EQ(Run("install").exit, 2);
  EXPECT_EQ(Run("install " + root + " --release 1.2.3").exit, 2);
  EXPECT_EQ(Run("install " + root + " --release 9.9.0.0").exit, 1);  // not a release the updater knows
  EXPECT_EQ(Run("frobnicate").exit, 2);
}

}  // namespace

namespace {

TEST_F(Talvexhost, CheckTellsASoundIndexFromADamagedOne) {
  ASSERT_EQ(Run("install " + root + " --release 2.49.0.100 --claims 10 --seed 4").exit, 0);
  Output sound = Run("check bsclaim");
  EXPECT_EQ(sound.exit, 0) << sound.out;
  EXPECT_NE(sound.out.find("index agrees with the table"), std::string::npos) << sound.out;

  // Cut the index behind its first tag header: its trees are gone.
  stdfs::path mdx;
  for (const auto& e : stdfs::directory_iterator(root + "/data")) {
    std::string name = e.path().filename().string();
    for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (name == "bsclaim.mdx") mdx = e.path();
  }
  ASSERT_FALSE(mdx.empty());
  stdfs::resize_file(mdx, 2048);
  Output damaged = Run("check bsclaim");
  EXPECT_EQ(damaged.exit, 1) << damaged.out;
  EXPECT_EQ(damaged.out.find("index agrees"), std::string::npos) << damaged.out;
}

}  // namespace

namespace {

// The crash action ends the program right before the armed operation, with no
// flush: the install stops short and reports nothing it had buffered.
TEST_F(Talvexhost, CrashActionEndsTheProgramBeforeTheArmedOperation) {
  const std::string dir = root + "/crashed";
  setenv("TALVEX_FAULT_INJECT", "crash:create:3", 1);
  Output crashed = Run("install " + dir + " --release 2.49.0.100 --claims 10 --seed 4");
  setenv("TALVEX_FAULT_INJECT", "crash:nosuchop:1,lock:0", 1);  // ignored entries arm nothing
  Output ignored = Run("install " + root + " --release 2.49.0.100 --claims 2 --seed 4");
  unsetenv("TALVEX_FAULT_INJECT");
  EXPECT_EQ(crashed.exit, 86);
  EXPECT_EQ(crashed.out, "");
  EXPECT_FALSE(stdfs::exists(dir + "/registry.reg"));
  EXPECT_EQ(ignored.exit, 0) << ignored.out;
}

}  // namespace

// The plan and the history as a person reads them; a run log that is damaged
// in one block, or is no run log at all, is named and never guessed at.
TEST_F(Talvexhost, PlanThenUpdateThenHistoryAndDamagedOrForeignLogs) {
  ASSERT_EQ(Run("install " + root + " --release 2.49.0.100 --claims 10 --seed 4").exit, 0);
  Output plan = Run("update --plan");
  ASSERT_EQ(plan.exit, 0) << plan.out;
  EXPECT_NE(plan.out.find("release 2.49.0.100: updates from 0202\nupdate 0202\n  table isec: "),
            std::string::npos)
      << plan.out;
  EXPECT_NE(plan.out.find("\nestimate: about "), std::string::npos) << plan.out;
  EXPECT_FALSE(stdfs::exists(root + "/install/update")) << "the plan made the update's folders";

  ASSERT_EQ(Run("update").exit, 0);
  ASSERT_EQ(Run("update --version 9.9.0.0").exit, 1);
  Output history = Run("history");
  ASSERT_EQ(history.exit, 0) << history.out;
  EXPECT_NE(history.out.find("  ok      "), std::string::npos) << history.out;
  EXPECT_NE(history.out.find("FAILED"), std::string::npos) << history.out;
  EXPECT_NE(history.out.find("    error: Invalid TALVEX32.EXE version number [9.9.0.0]."),
            std::string::npos)
      << history.out;
  Output last = Run("history --limit 1");
  EXPECT_EQ(last.out.find("  ok      "), std::string::npos) << last.out;

  const std::string log = root + "/install/update/tabmend.log";
  {
    std::FILE* f = std::fopen(log.c_str(), "ab");
    std::fputs("call 2026-12-11 09:00:00 UpdateDatabaseStructures\r\nupdate 02x3 applied\r\n", f);
    std::fclose(f);
  }
  const std::string named = program + " history --registry " + root + "/registry.reg 2>&1 >/dev/null";
  FILE* pipe = popen(named.c_str(), "r");
  std::array<char, 4096> buffer{};
  const size_t n = fread(buffer.data(), 1, buffer.size() - 1, pipe);
  pclose(pipe);
  EXPECT_NE(std::string(buffer.data(), n).find("skipped: an update line that does not read"),
            std::string::npos);
  EXPECT_EQ(Run("history").exit, 0);  // the readable calls are still shown

  {
    std::FILE* f = std::fopen(log.c_str(), "wb");
    std::fputs("[General]\r\nkey=value\r\n", f);
    std::fclose(f);
  }
  Output foreign = Run("history");
  EXPECT_EQ(foreign.exit, 1);
  EXPECT_EQ(foreign.out, "");
}
