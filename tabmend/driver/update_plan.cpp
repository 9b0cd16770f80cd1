#include "driver/update_plan.h"

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <utility>

#include "catalogue/catalogue.h"
#include "catalogue/version_gate.h"
#include "common/updatelock/update_lock.h"
#include "driver/call_checks.h"
#include "driver/call_version.h"
#include "driver/disk_space_check.h"
#include "driver/run_list.h"
#include "driver/run_state.h"
#include "driver/table_guard.h"
#include "driver/update_journal.h"
#include "platform/disk_space.h"
#include "platform/file_system.h"

namespace talvex::tabmend {
namespace {

namespace fs = talvex::platform;

struct Row {
  Row(TabmendPlanItem item, int update = 0, std::string table = "", std::string location = "",
      std::string text = "", long long records = 0)
      : item(item),
        update(update),
        table(std::move(table)),
        location(std::move(location)),
        text(std::move(text)),
        records(records) {}
  TabmendPlanItem item;
  int update;
  std::string table, location, text;
  long long records;
  int32_t seconds = 0;
  long long neededKB = 0, freeKB = 0;
};

int32_t Clamp(long long value) {
  return static_cast<int32_t>(std::clamp<long long>(value, -1, INT32_MAX));
}

class Planner {
 public:
  Planner(TabmendPlanObserver observer, void* context) : observer_(observer), context_(context) {}

  void Emit(const Row& row) {
    TabmendPlanRow out{};
    out.Item = row.item;
    out.Update = row.update;
    out.Records = Clamp(row.records);
    out.Seconds = row.seconds;
    out.NeededKB = Clamp(row.neededKB);
    out.FreeKB = Clamp(row.freeKB);
    out.Table = row.table.c_str();
    out.Location = row.location.c_str();
    out.Text = row.text.c_str();
    try {
      observer_(context_, &out);
    } catch (...) {
      // The observer only watches; its faults must not end the plan.
    }
  }

  // What the call would meet before its run.
  void Notes() {
    const std::string& data = Folders().data;
    if (fs::isFile(data + common::kUpdateLockName)) {
      common::LockOutcome outcome;
      auto lock = common::UpdateLock::Acquire(data, std::chrono::milliseconds(0), nullptr,
                                              &outcome);
      if (!lock && outcome == common::LockOutcome::TimedOut) {
        Emit({TABMEND_PLAN_NOTE, 0, "", "",
              "Another workstation is updating the tables now; the update would wait for it."});
      }
    }
    if (std::optional<common::PendingUpdate> mark = MarkOfAnotherCall()) {
      Emit({TABMEND_PLAN_NOTE, 0, "", "", common::PendingUpdateRefusal(*mark)});
    }
    if (fs::pathExists(JournalPath())) {
      Emit({TABMEND_PLAN_NOTE, 0, "", "",
            "An interrupted update left its journal " + JournalPath() +
                "; the update would first put its tables back. The plan shows the tables as "
                "they are now."});
    }
  }

  // Held exclusively without waiting, then released at once: the update
  // would wait for each of these and then refuse.
  void TablesInUse(int first) {
    TableGuard guard;
    for (const GuardedTable& table : RunTables(first)) {
      std::string why;
      if (guard.Hold(table.folder, table.base, &why)) {
        guard.Release(table.folder, table.base);
        continue;
      }
      const std::string key = table.folder + table.base;
      if (!inUse_.insert(key).second) continue;
      Emit({TABMEND_PLAN_IN_USE, 0, table.base, Relative(table.folder), why});
    }
  }

  // One restructuring update whose probe finds tables to change.
  void Restructure(const RestructureSpec& row, const TableLocationList& locations) {
    bool announced = false;
    for (const TableLocation& location : locations) {
      if (!location.needsUpdate) continue;
      if (!announced) Emit({TABMEND_PLAN_UPDATE, row.number});
      announced = true;
      for (const UpdatedTable& table : row.tables()) Table(row.number, location.relative, table.base);
    }
    updates_ += announced ? 1 : 0;
  }

  // An update that only adds tables where they are missing.
  void AddMissing(const RestructureSpec& row, const TableLocationList& locations) {
    bool announced = false;
    for (const TableLocation& location : locations) {
      if (!location.needsUpdate) continue;
      for (const UpdatedTable& table : row.tables()) {
        const std::string key = Folders().data + location.relative + table.base;
        if (fs::pathExists(key + ".dbf") || added_.count(key) != 0) continue;
        if (!announced) Emit({TABMEND_PLAN_UPDATE, row.number});
        announced = true;
        added_.insert(key);
        Emit({TABMEND_PLAN_NEW_TABLE, row.number, table.base, location.relative});
      }
    }
    updates_ += announced ? 1 : 0;
  }

  void Space(int first) {
    for (const VolumeNeed& need : DiskSpaceNeeds(first)) {
      Row row(TABMEND_PLAN_SPACE, 0, "", need.folder, need.volume);
      row.neededKB = static_cast<long long>((need.needed + 1023) / 1024);
      // Before the first update the backup folder may not exist yet: its
      // disk is that of the nearest folder above it that does.
      std::string folder = need.folder;
      while (!folder.empty() && !fs::isDirectory(folder)) {
        const size_t slash = folder.find_last_of('\\', folder.size() - 2);
        folder = slash == std::string::npos ? "" : folder.substr(0, slash + 1);
      }
      const std::optional<uint64_t> free = fs::freeDiskSpace(folder);
      row.freeKB = free ? static_cast<long long>(*free / 1024) : -1;
      Emit(row);
    }
  }

  void Estimate() {
    Row row(TABMEND_PLAN_ESTIMATE);
    row.records = records_;
    row.seconds = EstimatedSeconds(updates_, records_);
    Emit(row);
  }

 private:
  // The record count as the update's copy would read it: the engine's, with
  // the index left closed; a table it cannot open is named with the reason.
  void Table(int update, const std::string& relative, const std::string& base) {
    const std::string path = Folders().data + relative + base + ".dbf";
    if (added_.count(Folders().data + relative + base) != 0) {
      Emit({TABMEND_PLAN_TABLE, update, base, relative, "added by the run", 0});
      return;
    }
    if (!fs::isFile(path)) {
      Emit({TABMEND_PLAN_UNREADABLE, update, base, relative, "its data file is missing"});
      return;
    }
    const C4Context c = RunContext();
    C4Table table = d4open(c, path.c_str());
    const int code = code4errorCode(c, 0);
    if (table == 0) {
      if ((code == e4exclusive || code == r4locked) &&
          inUse_.count(Folders().data + relative + base) != 0) {
        Emit({TABMEND_PLAN_TABLE, update, base, relative, "in use", -1});
        return;
      }
      Emit({TABMEND_PLAN_UNREADABLE, update, base, relative, error4text(c, code)});
      code4errorCode(c, 0);
      return;
    }
    const long long records = d4recCount(table);
    d4close(table);
    code4errorCode(c, 0);
    records_ += records;
    Emit({TABMEND_PLAN_TABLE, update, base, relative, "", records});
  }

  static std::string Relative(const std::string& folder) {
    const std::string& data = Folders().data;
    return folder.rfind(data, 0) == 0 ? folder.substr(data.size()) : folder;
  }

  TabmendPlanObserver observer_;
  void* context_;
  std::set<std::string> inUse_;
  std::set<std::string> added_;  // data folder + location + base
  int updates_ = 0;
  long long records_ = 0;
};

}  // namespace

int32_t EstimatedSeconds(int updates, long long records) {
  // Fitted to runs from the oldest release (86 updates): 12 claims about 9 s,
  // 2,000 claims (73,535 records counted before the run) 19.4 s. Syncs and
  // file copies cost about a tenth of a second per update; each record
  // counted before the run about 150 microseconds, since conversions and
  // later updates copy it again.
  const double seconds = 0.1 * updates + 150e-6 * static_cast<double>(records);
  return static_cast<int32_t>(std::min<double>(seconds + 1, INT32_MAX));
}

bool PlanUpdate(const TabmendCallRecord* record, TabmendPlanObserver observer, void* context) {
  if (!FindRunFolders()) {
    LastErrorText() = "Unable to locate (or create) critical directories.";
    return false;
  }
  const std::optional<HostVersion> version = DetermineHostVersion(record);
  if (!version) {
    LastErrorText() = "Unable to determine (or invalid) TALVEX32.EXE version number.";
    return false;
  }
  const std::optional<GateAnswer> gate = LookUpVersionGate(*version);
  if (!gate) {
    LastErrorText() = "Invalid TALVEX32.EXE version number [" + FormatHostVersion(*version) + "].";
    return false;
  }
  Planner plan(observer, context);
  plan.Emit({TABMEND_PLAN_RELEASE, gate->runs ? gate->first : 0, "", "",
             FormatHostVersion(*version)});
  plan.Notes();
  if (!gate->runs) {
    plan.Estimate();
    return true;
  }
  if (!OpenRunContext()) {
    LastErrorText() = "Unexpected exception.";
    return false;
  }
  // Only reads: a shared open keeps no other workstation from its tables.
  code4accessMode(RunContext(), 0);
  plan.TablesInUse(gate->first);

  ForEachUpdateAsTheRunGoes(gate->first, [&](const RestructureSpec& row,
                                              const TableLocationList& locations) {
    if (row.form == RestructureForm::AddMissing) {
      plan.AddMissing(row, locations);
    } else {
      plan.Restructure(row, locations);
    }
  });
  plan.Space(gate->first);
  plan.Estimate();
  return true;
}

}  // namespace talvex::tabmend
