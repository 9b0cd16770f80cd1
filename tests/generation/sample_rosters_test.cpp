// Every roster of a demo installation, generated as a person would: one
// "talvexhost roster generate" process each, in its own session so that the
// central flu biller question finds no terminal and takes its default.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/sample_data.h"
#include "tests/qmrbsrst/temp_folder.h"
#include "worker_process.h"

extern char** environ;

namespace talvex::qmrbsrst::testing {
namespace {

struct Outcome {
  int exit = -1;
  std::string out;
};

Outcome RunHost(std::vector<std::string> args, const std::string& outFile) {
  std::string program = ProgramFolder() + "talvexhost";
  std::vector<char*> argv{program.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  Outcome o;
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &files, &attr, argv.data(), environ) == 0) {
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) o.exit = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  std::ifstream in(outFile);
  std::stringstream text;
  text << in.rdbuf();
  o.out = text.str();
  return o;
}

TEST(SampleRosters, EveryDemoRosterGeneratesWithItsStatus) {
  const std::vector<host::SampleRoster> rosters = host::SampleRosters();
  ASSERT_GT(rosters.size(), 20u);
  // The oldest layouts the installer writes and the newest.
  for (const char* release : {"1.65.0.100", "3.2.0.0"}) {
    SCOPED_TRACE(release);
    TempFolder root;
    const std::string dir = root.path() + "install";
    const std::string out = root.path() + "out.txt";
    const std::string registry = dir + "/registry.reg";
    ASSERT_EQ(RunHost({"install", dir, "--release", release, "--claims", "20"}, out).exit, 0);
    for (const host::SampleRoster& r : rosters) {
      SCOPED_TRACE(r.folder + " " + std::to_string(r.number) + " " + r.what);
      std::vector<std::string> args = {"roster", "generate", std::to_string(r.number),
                                       "--run-date", "2024-02-09", "--registry", registry};
      if (!r.folder.empty()) {
        std::string folder = r.folder;
        for (char& c : folder) c = c == '\\' ? '/' : c;
        const std::string data = dir + "/data/" + folder;
        args.insert(args.end(), {"--data", data, "--config", data});
      }
      const Outcome o = RunHost(args, out);
      EXPECT_EQ(o.exit, r.expectedStatus == 0 ? 0 : 1) << o.out;
      EXPECT_EQ(o.out.rfind("status " + std::to_string(r.expectedStatus) + ":", 0), 0u) << o.out;
    }
  }
}

}  // namespace
}  // namespace talvex::qmrbsrst::testing
