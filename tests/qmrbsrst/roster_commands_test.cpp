// "talvexhost roster ..." as the host program runs it: the command loads the
// built library itself and prints what the exports gave.
#include "host/roster/roster_commands.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control_table.h"
#include "library_path.h"
#include "temp_folder.h"

namespace talvex::qmrbsrst {
namespace {

using testing::TempFolder;

struct Outcome {
  int code;
  std::string out;
};

Outcome RunCommand(std::vector<std::string> words) {
  words.insert(words.begin(), "roster");
  words.push_back("--library");
  words.push_back(testing::RosterLibraryPath());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  ::testing::internal::CaptureStdout();
  int code = RunRosterCommand(static_cast<int>(argv.size()), argv.data());
  std::fflush(stdout);
  return {code, ::testing::internal::GetCapturedStdout()};
}

size_t Lines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

TEST(RosterCommands, PcnStatusAndLists) {
  TempFolder dir;
  Outcome pcn = RunCommand({"pcn", "--prefix", "CLINIC01", "--date", "2029-12-31", "--serial", "999",
                     "--suffix", "123"});
  EXPECT_EQ(pcn.code, 0);
  EXPECT_EQ(pcn.out, "CLINIC12319ZZB3123\n");

  Outcome status = RunCommand({"status", "-1"});
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(status.out, "Unknown error during roster claim generation.\n");
  EXPECT_EQ(RunCommand({"status", "13"}).out, "One or more roster claims were rejected.\n");

  Outcome v = RunCommand({"hcpcs", "V", "--data", dir.path()});
  EXPECT_EQ(v.code, 0);
  EXPECT_EQ(Lines(v.out), 277u);
  EXPECT_EQ(v.out.substr(v.out.size() - 37), "91322 - SARSCOV2 VAC 50 MCG/0.5ML IM\n");

  Outcome r = RunCommand({"diagnosis", "R", "--data", dir.path(), "--config", dir.path()});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "TypeR=1\n");

  dir.write("BSRSTER.CTL", "Max_Lines_Per_Roster_Billing=12\n");
  Outcome info = RunCommand({"info", "--data", dir.path()});
  EXPECT_EQ(info.code, 0);
  EXPECT_EQ(info.out,
            "Auto_Generate_Patient_Control_Numbers=YES\nMax_Lines_Per_Roster_Billing=12\n"
            "Allow_Non_Medicare_Roster_Billing=NO\n");
}

TEST(RosterCommands, CounterThroughTheHostContext) {
  TempFolder dir;
  ASSERT_TRUE(testing::MakeControlTable(dir.path(), 15, {0, 0, 0, 0, 0, 0, 99}));
  Outcome first = RunCommand({"counter", "6", "--data", dir.path()});
  EXPECT_EQ(first.code, 0);
  EXPECT_EQ(first.out, "100\n");
  EXPECT_EQ(RunCommand({"counter", "6", "--data", dir.path()}).out, "101\n");
  Outcome bad = RunCommand({"counter", "15", "--data", dir.path()});
  EXPECT_EQ(bad.code, 1);
  EXPECT_EQ(bad.out, "-1\n");
  EXPECT_EQ(testing::ReadCounter(dir.path(), 6), 101);
}

TEST(RosterCommands, UsageAndMissingLibrary) {
  EXPECT_EQ(RunCommand({"bogus"}).code, 2);
  EXPECT_EQ(RunCommand({"hcpcs"}).code, 2);
  EXPECT_EQ(RunCommand({"pcn", "--prefix", "A", "--date", "2024-02-30", "--serial", "1", "--suffix",
                 "1"}).code,
            2);
  std::vector<std::string> words = {"roster", "status", "0", "--library", "/nonexistent/lib.so"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  EXPECT_EQ(RunRosterCommand(static_cast<int>(argv.size()), argv.data()), 1);
}

}  // namespace
}  // namespace talvex::qmrbsrst
