// Results on standard output, progress on standard error, and progress that
// stays short when it goes to a file rather than a terminal.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "c4dll.h"
#include "host/sample_data.h"

namespace {

namespace stdfs = std::filesystem;

struct Streams {
  int exit = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t Lines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n' ? 1 : 0;
  return n;
}

class OutputStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/talvexhost-streams-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    const char* bin = std::getenv("TALVEX_BIN_DIR");
    program = std::string(bin != nullptr ? bin : ".") + "/talvexhost";
  }
  void TearDown() override { stdfs::remove_all(root); }

  // Both streams into files, as a log or a pipe would take them.
  Streams Run(const std::string& args) {
    const std::string out = root + "/stdout", err = root + "/stderr";
    const std::string command = program + " " + args + " --registry " + root +
                                "/install/registry.reg </dev/null >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    Streams s;
    s.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    s.out = Slurp(out);
    s.err = Slurp(err);
    return s;
  }

  std::string root, program;
};

// Copies the first line of `roster` until it has `wanted` lines, each its
// own patient.
void GrowRoster(const std::string& data, int32_t roster, int wanted) {
  C4Context c = code4initP();
  ASSERT_NE(c, 0u);
  C4Table lines = d4open(c, (data + "bsrostln.dbf").c_str());
  ASSERT_NE(lines, 0u);
  char key[16];
  std::snprintf(key, sizeof key, "%010d", static_cast<int>(roster));
  const C4Field rosterField = d4field(lines, "RL_ROSTER");
  std::vector<std::pair<std::string, std::string>> first;
  int have = 0;
  for (int r = d4top(lines); r == 0; r = d4skip(lines, 1)) {
    if (std::string(f4str(rosterField)).rfind(key, 0) != 0 || d4deleted(lines)) continue;
    if (have++ == 0) {
      for (int j = 1; j <= d4numFields(lines); ++j) {
        const C4Field f = d4fieldJ(lines, j);
        first.emplace_back(f4name(f), f4str(f));
      }
    }
  }
  ASSERT_GT(have, 0) << "roster " << roster << " has no lines";
  for (int i = have + 1; i <= wanted; ++i) {
    ASSERT_EQ(d4appendStart(lines, 0), 0);
    for (const auto& [name, value] : first) {
      std::string v = value;
      char text[24];
      if (name == "RL_LINE") v = std::to_string(i);
      if (name == "RL_PCN" || name == "RL_HIC") {
        std::snprintf(text, sizeof text, "G%08d%s", i, name == "RL_HIC" ? "A" : "");
        v = text;
      }
      ASSERT_GE(f4assign(d4field(lines, name.c_str()), v.c_str()), 0) << name;
    }
    ASSERT_EQ(d4append(lines), 0);
  }
  ASSERT_EQ(d4close(lines), 0);
  code4initUndo(c);
}

TEST_F(OutputStreams, UpdateAndRosterRunKeepResultsOnStdoutAndShortProgressOnStderr) {
  const std::string dir = root + "/install";
  Streams install = Run("install " + dir + " --release 2.49.0.100 --claims 10 --seed 4");
  ASSERT_EQ(install.exit, 0) << install.err;

  Streams update = Run("update");
  ASSERT_EQ(update.exit, 0) << update.err;
  EXPECT_EQ(update.out, "result: 0\n%PRODUCT%=Talvex Nova32\n%OPERATOR%=front desk\n");
  EXPECT_NE(update.err.find("] update 0202  updated\n"), std::string::npos) << update.err;
  EXPECT_EQ(update.err.find("result:"), std::string::npos);
  EXPECT_EQ(update.err.find('\r'), std::string::npos);

  // The first roster of the data folder that generates cleanly, grown to 2,000 lines.
  int32_t roster = 0;
  for (const auto& r : talvex::host::SampleRosters()) {
    if (r.folder.empty() && r.expectedStatus == 0) {
      roster = r.number;
      break;
    }
  }
  ASSERT_NE(roster, 0);
  GrowRoster(dir + "/data/", roster, 2000);

  Streams generate = Run("roster generate " + std::to_string(roster) + " --run-date 2024-03-01");
  ASSERT_EQ(generate.exit, 0) << generate.out << generate.err;
  EXPECT_EQ(generate.out.rfind("status 0: ", 0), 0u) << generate.out;
  EXPECT_NE(generate.out.find("\naccepted=2000 "), std::string::npos) << generate.out;
  EXPECT_EQ(Lines(generate.out), 2u) << generate.out;
  EXPECT_EQ(generate.err.find('\r'), std::string::npos);
  EXPECT_NE(generate.err.find("[100%] Generating roster claims (2000 of 2000"), std::string::npos)
      << generate.err;
  EXPECT_LE(Lines(generate.err), 20u) << generate.err;
}

}  // namespace
