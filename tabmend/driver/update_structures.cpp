// The export UpdateDatabaseStructures: finds the installation, learns the
// host release, runs the updates that release still needs and reports the
// outcome to the host.
#include <chrono>
#include <memory>
#include <string>

#include "driver/call_checks.h"
#include "driver/call_version.h"
#include "driver/disk_space_check.h"
#include "platform/ascii_text.h"
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
#include "catalogue/version_gate.h"
#include "tabmend_api.h"
#include "platform/exception_text.h"

namespace talvex::tabmend {
namespace {

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

// The data folder's pending mark: this install folder's own journal is
// finished below; another workstation's unfinished call must be finished
// there, since its journal and backups are only reachable from it.
bool RefusedForAnotherCall() {
  std::optional<common::PendingUpdate> mark = MarkOfAnotherCall();
  if (!mark) return false;
  LastErrorText() = common::PendingUpdateRefusal(*mark);
  NoteFailureDetail("pending mark " + common::PendingUpdatePath(Folders().data));
  return true;
}

// Before the first change (see RunTables).
bool HoldRunTables(int first) { return HoldTables(RunTables(first)); }

bool RunUpdate(const TabmendCallRecord* record, std::unique_ptr<common::UpdateLock>* lock) {
  if (!SetUpRunFolders()) {
    LastErrorText() = kCritical;
    return false;
  }
  NoteRunLogLine("data " + Folders().data);
  if (!TakeUpdateLock(lock)) return false;
  if (RefusedForAnotherCall()) return false;
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
    NoteFailureDetail(talvex::platform::CurrentExceptionText());
    ok = false;
  }
  try {
    CloseRunContext();
    BackedUpTables().clear();
    AppendRunLog(ok ? 0 : -1);
    if (ok) return 0;
    (void)ReportToHost(record, "TABMEND_ERR", LastErrorText());  // a record that takes no text still gets -1
  } catch (...) {
    // Closing failed after the call: the host hears of it with the result.
    ReportLateFailure(record);
  }
  return -1;
}

extern "C" TABMEND_EXPORT void TABMEND_API TabmendSetProgressObserver(
    TabmendProgressObserver observer, void* context) {
  talvex::tabmend::SetProgressObserver(observer, context);
}
