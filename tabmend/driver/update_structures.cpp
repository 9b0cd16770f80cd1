// The export UpdateDatabaseStructures: finds the installation, learns the
// host release, runs the updates that release still needs and reports the
// outcome to the host.
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "driver/disk_space_check.h"
#include "common/text/ascii_text.h"
#include "driver/host_version.h"
#include "platform/file_system.h"
#include "common/updatelock/update_lock.h"
#include "driver/progress.h"
#include "driver/report_to_host.h"
#include "driver/run_list.h"
#include "driver/run_log.h"
#include "driver/run_state.h"
#include "driver/table_guard.h"
#include "driver/update_journal.h"
#include "driver/version_gate.h"
#include "tabmend_api.h"

namespace talvex::tabmend {
namespace {

// The caller's version text, read no further than the bound: a text without
// a NUL within it is not a version and reads as unparseable.
std::optional<std::string> CallerVersionText(const TabmendCallRecord* record) {
  if (record->VersionText == nullptr) return std::string();
  const void* nul = std::memchr(record->VersionText, '\0', TABMEND_MAX_VERSION_TEXT);
  if (nul == nullptr) return std::nullopt;
  return std::string(record->VersionText);
}

std::optional<HostVersion> DetermineHostVersion(const TabmendCallRecord* record) {
  std::optional<std::string> text = CallerVersionText(record);
  if (!text) return std::nullopt;
  std::string_view trimmed = TrimControls(*text);
  if (!trimmed.empty()) return ParseVersionText(trimmed);
  return ReadHostFileVersion(Folders().server + "TALVEX32.EXE");
}

constexpr char kCritical[] = "Unable to locate (or create) critical directories.";

// One update call per data folder: every workstation's call takes the data
// folder's lock before it reads or rolls back anything, and keeps it to the
// end. A wait that runs out changes nothing.
bool TakeUpdateLock(std::unique_ptr<common::UpdateLock>* lock) {
  const std::chrono::milliseconds bound = common::WaitBound(common::kUpdateWait);
  const auto boundSeconds = static_cast<int32_t>(bound.count() / 1000);
  common::LockOutcome outcome;
  std::string why;
  bool waited = false;
  *lock = common::UpdateLock::Acquire(
      Folders().data, bound,
      [&](std::chrono::milliseconds so) {
        waited = true;
        ReportWaiting(static_cast<int32_t>(so.count() / 1000), boundSeconds);
      },
      &outcome, &why);
  if (*lock) {
    if (waited) NoteRunLogLine("waited for the update of another workstation");
    return true;
  }
  if (outcome == common::LockOutcome::TimedOut) {
    LastErrorText() = common::UpdateInProgressRefusal(Folders().data);
    NoteFailureDetail("waited " + std::to_string(bound.count() / 1000) + " s for the update lock " +
                      why);
  } else {
    LastErrorText() = kCritical;
    NoteFailureDetail("update lock: " + why);
  }
  return false;
}

// Upper case with "\\" for "/": two spellings of one path compare equal.
std::string Upper(std::string_view path) {
  std::string text = talvex::common::upperAscii(path);
  for (char& c : text) c = c == '/' ? '\\' : c;
  return text;
}

// The data folder's pending mark: this install folder's own journal is
// finished below; another workstation's unfinished call must be finished
// there, since its journal and backups are only reachable from it.
bool MarkOfAnotherCall() {
  std::optional<common::PendingUpdate> mark = common::ReadPendingUpdate(Folders().data);
  // Install folders often have the same path on every workstation: the
  // workstation's name tells them apart.
  if (!mark || (!mark->journal.empty() && Upper(mark->journal) == Upper(JournalPath()) &&
                Upper(mark->workstation) == Upper(platform::workstationName()))) {
    return false;
  }
  LastErrorText() = common::PendingUpdateRefusal(*mark);
  NoteFailureDetail("pending mark " + common::PendingUpdatePath(Folders().data));
  return true;
}

// Every table the run could back up, replace or roll back, in every location,
// before the first change: whether an update is needed is only known once its
// probe has read the table, which an opener elsewhere may keep it from.
bool HoldRunTables(int first) {
  std::vector<GuardedTable> tables;
  const auto add = [&](const RestructureSpec& row, const TableLocationList& locations) {
    for (const TableLocation& location : locations) {
      for (const UpdatedTable& table : row.tables()) {
        tables.push_back({Folders().data + location.relative, table.base});
      }
    }
  };
  ForEachUpdateOfRun(first, false, add);
  return HoldTables(tables);
}

bool RunUpdate(const TabmendCallRecord* record, std::unique_ptr<common::UpdateLock>* lock) {
  if (!SetUpRunFolders()) {
    LastErrorText() = kCritical;
    return false;
  }
  NoteRunLogLine("data " + Folders().data);
  if (!TakeUpdateLock(lock)) return false;
  if (MarkOfAnotherCall()) return false;
  // Before a killed call is put back too, so that a refusal changes nothing
  // (its own tables are held again once restored, below).
  if (std::optional<HostVersion> early = DetermineHostVersion(record)) {
    std::optional<GateAnswer> gate = LookUpVersionGate(*early);
    if (gate && gate->runs && !HoldRunTables(gate->first)) return false;
  }
  // A call cut short leaves its journal: put its tables back before anything else.
  if (!FinishInterruptedCall()) return false;
  if (!platform::pathExists(JournalPath()) && !common::RemovePendingUpdate(Folders().data)) {
    LastErrorText() = kCritical;
    NoteFailureDetail(platform::lastFileError());
    return false;
  }
  std::optional<HostVersion> version = DetermineHostVersion(record);
  if (!version) {
    LastErrorText() = "Unable to determine (or invalid) TALVEX32.EXE version number.";
    return false;
  }
  NoteRunLogLine("version " + FormatHostVersion(*version));
  if (!OpenRunContext()) {
    LastErrorText() = "Unexpected exception.";
    return false;
  }
  bool outcome = false;
  LastErrorText() = "Invalid TALVEX32.EXE version number [" + FormatHostVersion(*version) + "].";
  if (std::optional<GateAnswer> gate = LookUpVersionGate(*version)) {
    outcome = !gate->runs || (HoldRunTables(gate->first) && EnoughDiskSpaceFor(gate->first) &&
                              RunUpdatesFrom(gate->first));
  }
  CloseRunContext();
  return outcome;
}

}  // namespace
}  // namespace talvex::tabmend

extern "C" TABMEND_EXPORT int32_t TABMEND_API UpdateDatabaseStructures(TabmendCallRecord* record) {
  using namespace talvex::tabmend;
  if (record == nullptr) return -1;
  bool ok = false;
  // Held to the end of the call, the run log included.
  std::unique_ptr<talvex::common::UpdateLock> lock;
  // Released before the update lock, on every way out.
  TableGuard guard;
  try {
    BeginCall();
    BeginRunLog("UpdateDatabaseStructures");
    ok = RunUpdate(record, &lock);
  } catch (...) {
    LastErrorText() = "Unexpected exception.";
    ok = false;
  }
  try {
    CloseRunContext();
    BackedUpTables().clear();
    AppendRunLog(ok ? 0 : -1);
    if (ok) return 0;
    ReportToHost(record, "TABMEND_ERR", LastErrorText());
  } catch (...) {
  }
  return -1;
}

extern "C" TABMEND_EXPORT void TABMEND_API TabmendSetProgressObserver(
    TabmendProgressObserver observer, void* context) {
  talvex::tabmend::SetProgressObserver(observer, context);
}
