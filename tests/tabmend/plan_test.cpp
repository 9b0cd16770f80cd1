// The plan of an update call against the call itself: on the sample
// installation of every release the installer knows, the plan names exactly
// the updates and tables that the following run logs, and changes no byte.
// Beside it: a table the plan cannot read, and one another process has open.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "c4dll.h"
#include "catalogue/version_gate.h"
#include "installation_fixture.h"
#include "common/runlog/run_log_format.h"

namespace talvex::tabmend::testing {
namespace {

namespace stdfs = std::filesystem;
namespace runlog = talvex::common::runlog;

struct PlanRow {
  int item, update, records;
  std::string table, location, text;
};

void TABMEND_API Collect(void* context, const TabmendPlanRow* row) {
  static_cast<std::vector<PlanRow>*>(context)->push_back(
      {row->Item, row->Update, row->Records, row->Table, row->Location, row->Text});
}

using TableKey = std::tuple<int, std::string, std::string>;  // update, base, relative location

class PlanTest : public InstallationTest {
 protected:
  std::vector<PlanRow> Plan(int32_t* result = nullptr) {
    std::vector<char> keys(48 * 4, '\0'), values(256 * 4, '\0');
    TabmendCallRecord record{};
    record.KeyStride = 48;
    record.ValueStride = 256;
    record.KeySlots = keys.data();
    record.ValueSlots = values.data();
    std::vector<PlanRow> rows;
    const int32_t got = TabmendPlanUpdate(&record, &Collect, &rows);
    if (result != nullptr) *result = got;
    EXPECT_TRUE(result != nullptr || got == 0) << values.data();
    return rows;
  }

  static std::vector<PlanRow> Of(const std::vector<PlanRow>& rows, int item) {
    std::vector<PlanRow> out;
    for (const PlanRow& row : rows) {
      if (row.item == item) out.push_back(row);
    }
    return out;
  }

  runlog::LoggedCall LastLoggedCall() {
    std::ifstream in(nativeInstall + "/update/tabmend.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const runlog::RunLogReading reading = runlog::ReadRunLog(text.str());
    EXPECT_TRUE(reading.skipped.empty());
    return reading.calls.empty() ? runlog::LoggedCall{} : reading.calls.back();
  }
};

// One release per table set the installer writes: the gate rows that start
// from the same update install the same tables.
std::vector<host::ReleaseNumber> OneReleasePerTableSet() {
  std::vector<host::ReleaseNumber> releases;
  std::set<int> firsts;
  for (const VersionGateRow& row : VersionGate()) {
    if (!firsts.insert(row.first).second) continue;
    releases.push_back({row.major, row.minorFrom, 0, row.build});
  }
  return releases;
}

TEST_F(PlanTest, NamesExactlyWhatTheRunLogsOnEveryReleaseAndChangesNothing) {
  const std::vector<host::ReleaseNumber> releases = OneReleasePerTableSet();
  ASSERT_GT(releases.size(), 30u);
  for (const host::ReleaseNumber& release : releases) {
    const std::string name = std::to_string(release.major) + "." + std::to_string(release.minor) +
                             ".0." + std::to_string(release.build);
    SCOPED_TRACE(name);
    stdfs::remove_all(root);
    stdfs::create_directories(root);
    Install(release, 3);
    const FolderSnapshot before = Snapshot(root);
    const std::vector<PlanRow> rows = Plan();
    ASSERT_EQ(Differences(before, Snapshot(root)), "");
    ASSERT_FALSE(Of(rows, TABMEND_PLAN_RELEASE).empty());
    EXPECT_EQ(Of(rows, TABMEND_PLAN_RELEASE)[0].text, name);
    EXPECT_TRUE(Of(rows, TABMEND_PLAN_UNREADABLE).empty());
    EXPECT_TRUE(Of(rows, TABMEND_PLAN_IN_USE).empty());

    ASSERT_EQ(Update(name).result, 0);
    const runlog::LoggedCall call = LastLoggedCall();
    std::vector<int> planned, applied;
    for (const PlanRow& row : Of(rows, TABMEND_PLAN_UPDATE)) planned.push_back(row.update);
    for (const runlog::LoggedUpdate& update : call.updates) {
      if (update.outcome == "applied") applied.push_back(update.number);
    }
    EXPECT_EQ(planned, applied);

    // The run names each table it copies records of, with the count read from
    // its backup in the update\backup folder (an empty table goes unnamed). A table
    // added or already rebuilt by the run holds what the run made of it, so
    // only a table's first rebuild must show the plan's count.
    std::map<TableKey, long long> logged;
    const std::string backup = folders.install + "update\\backup\\";
    for (const runlog::LoggedTable& table : call.tables) {
      const std::string location = table.location.rfind(backup, 0) == 0
                                       ? table.location.substr(backup.size())
                                       : table.location;
      logged[{table.update, table.base, location}] = table.records;
    }
    std::set<std::pair<std::string, std::string>> touched;
    long long plannedRecords = 0;
    size_t named = 0;
    for (const PlanRow& row : Of(rows, TABMEND_PLAN_TABLE)) {
      plannedRecords += row.records;
      const bool first = touched.insert({row.table, row.location}).second;
      auto it = logged.find({row.update, row.table, row.location});
      named += it != logged.end() ? 1 : 0;
      if (!first || !row.text.empty()) continue;
      EXPECT_EQ(it != logged.end() ? it->second : 0, row.records)
          << row.update << " " << row.location << row.table;
    }
    std::string unnamed;
    for (const auto& [key, records] : logged) {
      bool found = false;
      for (const PlanRow& row : Of(rows, TABMEND_PLAN_TABLE)) {
        found = found || TableKey{row.update, row.table, row.location} == key;
      }
      if (!found) unnamed += " " + std::to_string(std::get<0>(key)) + ":" + std::get<2>(key) + std::get<1>(key);
    }
    EXPECT_EQ(named, logged.size()) << "the run copied tables the plan did not name:" << unnamed;
    const std::vector<PlanRow> estimate = Of(rows, TABMEND_PLAN_ESTIMATE);
    ASSERT_EQ(estimate.size(), 1u);
    EXPECT_EQ(estimate[0].records, plannedRecords);
    if (!planned.empty()) {
      EXPECT_FALSE(Of(rows, TABMEND_PLAN_SPACE).empty());
    }
  }
}

TEST_F(PlanTest, NamesAnUnreadableTableWithWhyAndAnOpenOneAsInUseAndListsTheRest) {
  Install({2, 25, 0, 100});
  const std::vector<PlanRow> clean = Plan();
  const std::vector<PlanRow> tables = Of(clean, TABMEND_PLAN_TABLE);
  ASSERT_GE(tables.size(), 3u);
  // Damage the data file of the first table; hold the last one open elsewhere.
  const PlanRow damaged = tables.front();
  const PlanRow held = tables.back();
  ASSERT_NE(damaged.table, held.table);
  const std::string damagedPath = nativeData + "/" + damaged.location + damaged.table + ".dbf";
  {
    std::fstream file(damagedPath, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(8);
    file.write("\xff\xff\xff\xff", 4);  // a header and record length the file cannot hold
  }
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  if (child == 0) {
    C4Context c = code4initP();
    code4accessMode(c, 0);
    const std::string path = nativeData + "/" + held.location + held.table + ".dbf";
    char byte = d4open(c, path.c_str()) != 0 ? 1 : 0;
    (void)!write(ready[1], &byte, 1);
    (void)!read(release[0], &byte, 1);
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 1);
  const FolderSnapshot before = Snapshot(root);
  const std::vector<PlanRow> rows = Plan();
  (void)!write(release[1], &byte, 1);
  waitpid(child, nullptr, 0);

  EXPECT_EQ(Differences(before, Snapshot(root)), "");
  const std::vector<PlanRow> unreadable = Of(rows, TABMEND_PLAN_UNREADABLE);
  ASSERT_FALSE(unreadable.empty());
  EXPECT_EQ(unreadable[0].table, damaged.table);
  EXPECT_FALSE(unreadable[0].text.empty());
  const std::vector<PlanRow> inUse = Of(rows, TABMEND_PLAN_IN_USE);
  ASSERT_EQ(inUse.size(), 1u);
  EXPECT_EQ(inUse[0].table, held.table);
  EXPECT_EQ(inUse[0].location, held.location);
  // Every other table is still listed, with its count.
  EXPECT_EQ(Of(rows, TABMEND_PLAN_UPDATE).size(), Of(clean, TABMEND_PLAN_UPDATE).size());
  EXPECT_GE(Of(rows, TABMEND_PLAN_TABLE).size() + unreadable.size(), tables.size());
}

}  // namespace
}  // namespace talvex::tabmend::testing
