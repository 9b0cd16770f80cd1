// A data folder holding the newest layout of every host table, with one
// roster ready to generate: provider, payer, submitter, control counter,
// roster header and its patient lines. Tables are written and read through
// the real engine in a context of the fixture's own.
#pragma once

#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "c4dll.h"
#include "common/text/claim_key.h"
#include "qmrbsrst/frame/call_records.h"
#include "qmrbsrst/generation/roster_generation.h"
#include "releases/clone_writer.h"
#include "releases/layouts.h"
#include "tests/qmrbsrst/temp_folder.h"
#include "../common/copy_over.h"

namespace talvex::qmrbsrst::testing {

using Row = std::vector<std::pair<std::string, std::string>>;

// One record appended to folder/name.dbf (its index kept).
inline void AppendRow(C4Context c, const std::string& folder, const std::string& name,
                      const Row& row) {
  C4Table t = d4open(c, (folder + name + ".dbf").c_str());
  ASSERT_NE(t, 0u) << name;
  ASSERT_EQ(d4appendStart(t, 0), 0);
  ASSERT_EQ(d4blank(t), 0);
  for (const auto& [field, value] : row) {
    C4Field f = d4field(t, field.c_str());
    ASSERT_NE(f, 0u) << name << "." << field;
    ASSERT_GE(f4assign(f, value.c_str()), 0) << name << "." << field;
  }
  ASSERT_EQ(d4append(t), 0);
  ASSERT_EQ(d4close(t), 0);
}

// Copied file by file: the library's folder copy on Windows refuses both a
// folder named with a trailing separator and a target folder that exists.
inline void CopyFolder(const std::filesystem::path& from, const std::filesystem::path& to) {
  namespace fs = std::filesystem;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(from)) {
    const fs::path target = to / fs::relative(entry.path(), from);
    if (entry.is_directory()) {
      fs::create_directories(target);
    } else {
      talvex::testing::CopyFileOver(entry.path(), target);
    }
  }
}

struct StoredClaim {
  int32_t claim = 0;
  std::map<std::string, std::string> fields;  // trimmed text of every field
};

// Every live record of a table, each field as trimmed text.
inline std::vector<StoredClaim> LiveRecords(C4Context c, const std::string& path,
                                            const char* numberField) {
  std::vector<StoredClaim> out;
  C4Table t = d4open(c, path.c_str());
  EXPECT_NE(t, 0u) << path;
  if (t == 0) return out;
  d4tagSelectP(t, 0);
  for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
    if (d4deleted(t)) continue;
    StoredClaim s;
    for (int j = 1; j <= d4numFields(t); ++j) {
      C4Field f = d4fieldJ(t, j);
      std::string v = f4str(f);
      while (!v.empty() && v.back() == ' ') v.pop_back();
      size_t b = v.find_first_not_of(' ');
      s.fields[f4name(f)] = b == std::string::npos ? "" : v.substr(b);
    }
    s.claim = std::stoi("0" + s.fields[numberField]);
    out.push_back(std::move(s));
  }
  d4close(t);
  code4errorCode(c, 0);
  return out;
}

class RosterFixture : public ::testing::Test {
 protected:
  static constexpr int32_t kRoster = 77;
  // 2 February 2024 as a host day.
  static constexpr double kServiceDay = 45324;
  static constexpr double kRunDay = 45330;

  void SetUp() override {
    context_ = code4initP();
    ASSERT_NE(context_, 0u);
    dir_ = folder_.path();
    std::vector<releases::TableLayout> tables;
    for (const char* name : {"bsclaim", "bscpayer", "bslines", "bslinesa", "bsrecnm", "bsrecid",
                             "bsroster", "bsrostln", "bsprov", "payer", "submit", "utilmast"}) {
      auto layout = releases::NewestLayout(name);
      ASSERT_TRUE(layout.has_value()) << name;
      tables.push_back(*layout);
    }
    std::string error;
    ASSERT_TRUE(releases::CreateTableSet(context_, dir_, tables, &error)) << error;
    AppendRow(context_, dir_, "utilmast", {{"ID_7", "1000"}});
    AppendRow(context_, dir_, "submit", {{"S_TYPE", "1"}, {"S_INTER", "00001"}});
    AppendRow(context_, dir_, "bsprov",
              {{"P_RECSEQ", "00000005"}, {"P_TYPE", "S"}, {"P_ID", "PROV1"}, {"P_ID_LOB", "MCB"},
               {"P_NPI", "1234567893"}, {"P_FEDTAXID", "123456789"}, {"P_FEDTAXTP", "E"},
               {"P_ASSIGNED", "Y"}, {"P_SIGIND", "N"}});
    AppendRow(context_, dir_, "payer",
              {{"PAYID", "PAY01"}, {"PAYLOB", "MCB"}, {"PAYFULDESC", "Medicare Part B"},
               {"PAYADDR1", "1 Main St"}, {"PAYCITY", "Springfield"}, {"PAYSTATE", "IL"},
               {"PAYZIP", "62701"}, {"PAYSOURCE", "MB"}});
    header_ = {{"R_ROSTER", std::to_string(kRoster)}, {"R_CLERK", "ANN"},
               {"R_PAYERID", "PAY01"}, {"R_PAYERLOB", "MCB"}, {"R_PROVID", "prov1"},
               {"R_PROVSEQ", "5"}, {"R_PROVTYPE", "S"}, {"R_POS", "60"},
               {"R_SERVDATE", "20240202"}, {"R_TYPE", "P"}, {"R_HCPCS", "90732"},
               {"R_VACCINE", "30.10"}, {"R_ADMIN", "25.05"}, {"R_PROCDSC", "Pneumococcal"},
               {"R_LOCATION", "RE"}};
  }

  void TearDown() override {
    if (context_ != 0) code4initUndo(context_);
  }

  void WriteHeader() { AppendRow(context_, dir_, "bsroster", header_); }

  void AddLine(int line, const std::string& pcn, const std::string& lastName = "DOE",
               int32_t rosterNumber = kRoster) {
    char roster[16];
    std::snprintf(roster, sizeof roster, "%010d", static_cast<int>(rosterNumber));
    AppendRow(context_, dir_, "bsrostln",
              {{"RL_ROSTER", roster}, {"RL_LINE", std::to_string(line)}, {"RL_PCN", pcn},
               {"RL_HIC", "HIC" + pcn}, {"RL_LNAME", lastName}, {"RL_FNAME", "JANE"},
               {"RL_SEX", "F"}, {"RL_DOB", "19400105"}, {"RL_ADDR1", "2 Elm St"},
               {"RL_CITY", "Springfield"}, {"RL_STATE", "IL"}, {"RL_ZIP", "62702"},
               {"RL_ERRMSG", "old text"}});
  }

  TGenerateRosterClaimsCall MakeCall() const {
    TGenerateRosterClaimsCall call{};
    call.dataDirectory.assign(dir_);
    call.configDirectory.assign(dir_);
    call.context = context_;
    call.runDate = kRunDay + 0.75;  // the time of day is cut away
    call.rosterNumber = kRoster;
    call.acceptedCount = -1;
    call.rejectedCount = -1;
    call.acceptedTotal = -1;
    call.rejectedTotal = -1;
    return call;
  }

  int32_t Generate(TGenerateRosterClaimsCall* call) {
    return GenerateRosterClaims(call, nullptr, nullptr);
  }
  int32_t Generate() {
    TGenerateRosterClaimsCall call = MakeCall();
    return Generate(&call);
  }

  std::vector<StoredClaim> Live(const std::string& table, const char* numberField) {
    return LiveRecords(context_, dir_ + table + ".dbf", numberField);
  }
  std::vector<StoredClaim> LiveClaims() { return Live("bsclaim", "CLAIM"); }
  // Records of every claim table that are still live.
  size_t LiveClaimRecords() {
    return LiveClaims().size() + Live("bscpayer", "CP_CLAIM").size() +
           Live("bslines", "CLAIM").size() + Live("bslinesa", "CLAIM").size() +
           Live("bsrecnm", "NM_CLAIM").size() + Live("bsrecid", "ID_CLAIM").size();
  }
  std::map<int, std::string> LineMessages() {
    std::map<int, std::string> out;
    for (const StoredClaim& r : Live("bsrostln", "RL_LINE")) out[r.claim] = r.fields.at("RL_ERRMSG");
    return out;
  }
  StoredClaim Header() {
    auto rows = Live("bsroster", "R_ROSTER");
    EXPECT_EQ(rows.size(), 1u);
    return rows.empty() ? StoredClaim{} : rows[0];
  }

  // Public so that the table-driven cases can break the folder their way.
 public:
  TempFolder folder_;
  std::string dir_;
  C4Context context_ = 0;
  Row header_;
};

}  // namespace talvex::qmrbsrst::testing
