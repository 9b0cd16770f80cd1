// qmrsec01 run as its own process on real installations. Message boxes go to
// its standard error, which the tests read.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "c4dll.h"
#include "common/updatelock/update_lock.h"
#include "host/installation.h"

namespace {

namespace stdfs = std::filesystem;

const char kSuccess[] = "The User Security reference file has been successfully updated.";
const char kFirstReindex[] =
    "ERROR: Unable to reindex the User Security database file (ISEC.DBF). Contact your "
    "distributor for assistance.";
const char kSecondReindex[] =
    "ERROR: Unable to reindex the User Security database file (ISEC.DBF) following update "
    "operation. Contact your distributor for assistance.";
const char kUnexpected[] =
    "ERROR: An unexpected exception has occurred updating the User Security database file "
    "(ISEC.DBF). Contact your distributor for assistance.";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// TALVEX_BIN_DIR, else the test program's own folder (CTest may hand over
// only the first variable of the environment list).
std::string ProgramDir() {
  if (const char* bin = std::getenv("TALVEX_BIN_DIR")) return bin;
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  return stdfs::path(std::string(buffer, static_cast<size_t>(n))).parent_path().string();
}

class Qmrsec01Test : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qmrsec01-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    registry = root + "/registry.reg";
    setenv("TALVEX_REGISTRY", registry.c_str(), 1);
    program = ProgramDir() + "/qmrsec01";
    talvex::host::InstallOptions options;
    options.dir = root;
    options.sample.claims = 3;
    options.quiet = true;
    std::string error;
    ASSERT_TRUE(talvex::host::Install(options, stdout, &error)) << error;
    isec = root + "/data/isec.dbf";
  }
  void TearDown() override { stdfs::remove_all(root); }

  // Runs the program; its standard error (the message boxes). The exit
  // code must be 0 whatever happened.
  std::string Run(const std::string& args, const std::string& exe = "", const std::string& env = "") {
    const std::string err = root + "/stderr.txt";
    const std::string command = env + " TALVEX_REGISTRY='" + registry + "' '" + (exe.empty() ? program : exe) +
                                "' " + args + " </dev/null >/dev/null 2>'" + err + "'";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    return ReadBytes(err);
  }

  // Replaces the users: name -> SEC_FLAGS1.
  void Users(const std::vector<std::pair<std::string, long>>& rows) {
    C4Context c = code4initP();
    C4Table t = d4open(c, isec.c_str());
    ASSERT_NE(t, 0u);
    for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) d4delete(t);
    ASSERT_EQ(d4pack(t), 0);
    for (const auto& [name, flags] : rows) {
      ASSERT_EQ(d4appendStart(t, 0), 0);
      d4blank(t);
      f4assign(d4field(t, "SEC_USER"), name.c_str());
      f4assignInt(d4field(t, "SEC_FLAGS1"), flags);
      ASSERT_EQ(d4append(t), 0);
    }
    d4close(t);
    code4initUndo(c);
  }

  std::map<std::string, long> Flags() {
    std::map<std::string, long> out;
    C4Context c = code4initP();
    C4Table t = d4open(c, isec.c_str());
    for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
      std::string name = f4str(d4field(t, "SEC_USER"));
      out[name.substr(0, name.find_last_not_of(' ') + 1)] = f4int(d4field(t, "SEC_FLAGS1"));
    }
    if (t) {
      EXPECT_EQ(d4check(t), 0) << error4text(c, 0);
    }
    d4close(t);
    code4initUndo(c);
    return out;
  }

  std::string root, registry, program, isec;
};

TEST_F(Qmrsec01Test, SetsTheBitOnceAndSilently) {
  Users({{"ANNA", 0}, {"BERT", 4096}, {"CARL", 65535}, {"DORA", 7}, {"EMIL", 65534}});
  EXPECT_EQ(Run(""), "");  // success without /PROMPT shows nothing
  const std::map<std::string, long> once = {
      {"ANNA", 4096}, {"BERT", 4096}, {"CARL", 65535}, {"DORA", 4103}, {"EMIL", 65534}};
  EXPECT_EQ(Flags(), once);
  const std::string table = ReadBytes(isec);

  EXPECT_EQ(Run(""), "");
  EXPECT_EQ(Flags(), once);
  EXPECT_EQ(ReadBytes(isec), table);  // twice is the same table as once
}

TEST_F(Qmrsec01Test, PromptSwitch) {
  EXPECT_NE(Run("/prompt").find(std::string("[User Security Status]") + " (Information)\n" + kSuccess),
            std::string::npos);
  EXPECT_NE(Run("/PROMPT").find(kSuccess), std::string::npos);
  EXPECT_EQ(Run("/PROMPTLY"), "");
  EXPECT_EQ(Run("other /PROMPT"), "");

  Users({});  // an empty table is reindexed twice and counts as updated
  EXPECT_NE(Run("/Prompt").find(kSuccess), std::string::npos);
  EXPECT_TRUE(Flags().empty());
}

TEST_F(Qmrsec01Test, ChecksBeforeTouchingTheTable) {
  // The program alone in a folder, without the engine library beside it.
  const std::string alone = root + "/alone/qmrsec01";
  stdfs::create_directories(root + "/alone");
  stdfs::copy_file(program, alone);
  std::string out = Run("", alone);
  EXPECT_NE(out.find("[QMRSEC01: Required File Not Found]"), std::string::npos) << out;
  EXPECT_NE(out.find("ERROR: Unable to locate the C4DLL.DLL file in the current folder. Contact your "
                     "distributor for assistance."),
            std::string::npos)
      << out;

  stdfs::remove(isec);
  out = Run("/PROMPT");
  EXPECT_NE(out.find("ERROR: Unable to locate the User Security database file (ISEC.DBF). Contact your "
                     "distributor for assistance."),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find(kSuccess), std::string::npos);

  registry = root + "/nobody.reg";
  out = Run("/PROMPT");
  EXPECT_NE(out.find("[QMRSEC01: Configuration Setting Error]"), std::string::npos) << out;
  EXPECT_NE(out.find("ERROR: Unable to locate the Talvex Nova32 installation on this system. Contact "
                     "your distributor for assistance."),
            std::string::npos)
      << out;
}

TEST_F(Qmrsec01Test, DatabaseFailuresEndWithTheirMessage) {
  // A table without the flags field: the walk cannot start.
  Users({{"ANNA", 0}});
  {
    std::string bytes = ReadBytes(isec);
    // Rename SEC_FLAGS1 in the field descriptors (a layout it does not know).
    const size_t at = bytes.find("SEC_FLAGS1");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 4] = 'X';
    std::ofstream(isec, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string out = Run("/PROMPT");
  EXPECT_NE(out.find("[QMRSEC01: Database Access Error]"), std::string::npos) << out;
  EXPECT_NE(out.find(kUnexpected), std::string::npos) << out;
  EXPECT_EQ(out.find(kSuccess), std::string::npos);
}

// A user record locked by another workstation: the first reindex cannot keep
// writers out, so the run stops before any record is changed.
TEST_F(Qmrsec01Test, LockedUserRecordStopsTheFirstReindex) {
  Users({{"ANNA", 0}, {"BERT", 0}});
  C4Context c = code4initP();
  C4Table t = d4open(c, isec.c_str());
  ASSERT_NE(t, 0u);
  ASSERT_EQ(d4lockInternal(t, 2, 1, 1), 0);
  const std::string out = Run("/PROMPT");
  d4unlock(t);
  d4close(t);
  code4initUndo(c);
  EXPECT_NE(out.find(std::string("[QMRSEC01: Database Access Error] (Error)\n") + kFirstReindex),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find(kSuccess), std::string::npos) << out;
  const std::map<std::string, long> untouched = {{"ANNA", 0}, {"BERT", 0}};
  EXPECT_EQ(Flags(), untouched);
}

// Every lock the program takes, failed in turn from outside the process: each
// failure ends with the message of its step, and what was written before it
// stays a sound table.
TEST_F(Qmrsec01Test, EachFailedLockEndsWithTheMessageOfItsStep) {
  const std::map<std::string, long> before = {{"ANNA", 0}, {"BERT", 0}};
  const std::map<std::string, long> after = {{"ANNA", 4096}, {"BERT", 4096}};
  std::vector<std::string> steps;  // the step each failed lock ended, in order
  // Far more locks than one run takes; a lock the engine retries may fail
  // without ending the run, and past the last lock every run succeeds.
  for (int nth = 1; nth <= 30; ++nth) {
    Users({{"ANNA", 0}, {"BERT", 0}});
    const std::string out = Run("/PROMPT", "", "TALVEX_FAULT_INJECT=lock:" + std::to_string(nth));
    const auto flags = Flags();
    if (out.find(kSuccess) != std::string::npos) {
      EXPECT_EQ(flags, after) << nth;
    } else if (out.find(kFirstReindex) != std::string::npos) {
      if (steps.empty() || steps.back() != "first reindex") steps.push_back("first reindex");
      EXPECT_EQ(flags, before) << nth;
    } else if (out.find(kSecondReindex) != std::string::npos) {
      if (steps.empty() || steps.back() != "second reindex") steps.push_back("second reindex");
      EXPECT_EQ(flags, after) << nth;
    } else {
      ASSERT_NE(out.find(kUnexpected), std::string::npos) << nth << ": " << out;
      if (steps.empty() || steps.back() != "other") steps.push_back("other");
    }
  }
  // Opening, the first reindex, the record locks of the walk, the second reindex.
  const std::vector<std::string> order = {"other", "first reindex", "other", "second reindex"};
  EXPECT_EQ(steps, order);
}

// Another workstation holding the whole table locked: the run stops before
// any record is changed.
TEST_F(Qmrsec01Test, TableHeldElsewhereStopsBeforeAnyChange) {
  Users({{"ANNA", 0}});
  C4Context c = code4initP();
  C4Table t = d4open(c, isec.c_str());
  ASSERT_NE(t, 0u);
  ASSERT_EQ(d4lockAllInternal(t, 1), 0);
  const std::string out = Run("/PROMPT");
  d4unlock(t);
  d4close(t);
  code4initUndo(c);
  // Whether the open or the reindex refuses is the engine's business; either
  // way it is a database access error and nothing was written.
  EXPECT_NE(out.find("[QMRSEC01: Database Access Error] (Error)\n"), std::string::npos) << out;
  EXPECT_EQ(out.find(kSuccess), std::string::npos) << out;
  EXPECT_EQ(Flags().at("ANNA"), 0);
}

// ISEC.DBF is among the tables an update replaces: while another
// workstation's update holds the data folder, and while an update that did
// not finish is pending, the program changes nothing and says why.
TEST_F(Qmrsec01Test, AnUpdateOfTheTablesStopsItBeforeAnyChange) {
  Users({{"ANNA", 0}, {"BERT", 0}});
  const std::string data = root + "/data/";
  const std::string table = ReadBytes(isec);
  for (const bool pending : {false, true}) {
    SCOPED_TRACE(pending ? "pending" : "running");
    std::unique_ptr<talvex::common::UpdateLock> held;
    if (pending) {
      ASSERT_TRUE(talvex::common::WritePendingUpdate(data, {"FRONTDESK", "C:\\T\\update\\tabmend.jnl"}));
    } else {
      talvex::common::LockOutcome outcome;
      held = talvex::common::UpdateLock::Acquire(data, std::chrono::milliseconds(0), nullptr, &outcome);
      ASSERT_TRUE(held);
    }
    const std::string out = Run("/PROMPT", "", "TALVEX_UPDATE_WAIT_MS=300");
    EXPECT_EQ(out, std::string("[QMRSEC01: Database Access Error] (Error)\n") +
                       (pending ? "ERROR: An update of the database tables did not finish. Run the "
                                  "update again before updating the User Security database file "
                                  "(ISEC.DBF).\n"
                                : "ERROR: Another workstation is updating the database tables. Try "
                                  "again when it has finished.\n"));
    EXPECT_EQ(ReadBytes(isec), table);
    ASSERT_TRUE(talvex::common::RemovePendingUpdate(data));
  }
  EXPECT_NE(Run("/PROMPT").find(kSuccess), std::string::npos);
}

}  // namespace
