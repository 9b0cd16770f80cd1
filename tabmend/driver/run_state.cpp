#include "driver/run_state.h"

#include <new>

#include "common/locations/installation_locations.h"
#include "driver/report_to_host.h"
#include "platform/exception_text.h"

namespace talvex::tabmend {

bool& AppliedFlagSet::operator[](int number) {
  if (number < kFirstFlagNumber || number > kLastFlagNumber) return scratch_;
  return flags_[static_cast<size_t>(number - kFirstFlagNumber)];
}

bool AppliedFlagSet::test(int number) const {
  if (number < kFirstFlagNumber || number > kLastFlagNumber) return false;
  return flags_[static_cast<size_t>(number - kFirstFlagNumber)];
}

void AppliedFlagSet::clearAll() {
  flags_.fill(false);
  scratch_ = false;
}

RunState& CurrentRun() {
  static RunState state;
  return state;
}

void BeginCall() {
  RunState& run = CurrentRun();
  run.lastErrorText.clear();
  run.backedUpTables.clear();
  run.appliedFlags.clearAll();
  run.context = 0;
  run.folders = RunFolders{};
  run.updateLocations.clear();
  run.failureDetail.clear();
  run.unrestored.clear();
}

bool SetUpRunFolders() {
  common::InstallationLocations found;
  const bool ok = common::readInstallationLocations(&found, common::WorkDirectories::Create);
  RunFolders& folders = CurrentRun().folders;
  folders.server = found.ServerDirectory;
  folders.install = found.InstallDirectory;
  folders.data = found.DataDirectory;
  folders.work = found.UpdateDirectory;
  folders.backup = found.BackupDirectory;
  return ok;
}

bool FindRunFolders() {
  common::InstallationLocations found;
  const bool ok = common::readInstallationLocations(&found, common::WorkDirectories::None);
  RunFolders& folders = CurrentRun().folders;
  folders.server = found.ServerDirectory;
  folders.install = found.InstallDirectory;
  folders.data = found.DataDirectory;
  folders.work = found.InstallDirectory.empty() ? "" : found.InstallDirectory + "update\\";
  folders.backup = folders.work.empty() ? "" : folders.work + "backup\\";
  return ok;
}

bool OpenRunContext() {
  C4Context c = code4initP();
  if (c == 0) return false;
  code4autoOpen(c, 0);
  code4accessMode(c, 1);
  code4optimizeWrite(c, -1);
  CurrentRun().context = c;
  return true;
}

void CloseRunContext() {
  RunState& run = CurrentRun();
  if (run.context != 0) code4initUndo(run.context);
  run.context = 0;
}

void ReportLateFailure(TabmendCallRecord* record) noexcept {
  try {
    std::string text = LastErrorText();
    if (!text.empty()) text += "\r\n";
    text += "Unexpected exception: " + platform::CurrentExceptionText();
    (void)ReportToHost(record, "TABMEND_ERR", text);
  } catch (const std::bad_alloc&) {
    // The -1 result is all that is left to give.
  }
}

}  // namespace talvex::tabmend
