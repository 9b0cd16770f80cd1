// The export UpdateDatabaseStructures: finds the installation, learns the
// host release, runs the updates that release still needs and reports the
// outcome to the host.
#include <cstring>
#include <string>

#include "driver/disk_space_check.h"
#include "driver/host_version.h"
#include "driver/progress.h"
#include "driver/report_to_host.h"
#include "driver/run_list.h"
#include "driver/run_state.h"
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

bool RunUpdate(const TabmendCallRecord* record) {
  if (!SetUpRunFolders()) {
    LastErrorText() = "Unable to locate (or create) critical directories.";
    return false;
  }
  // A call cut short leaves its journal: put its tables back before anything else.
  if (!FinishInterruptedCall()) return false;
  std::optional<HostVersion> version = DetermineHostVersion(record);
  if (!version) {
    LastErrorText() = "Unable to determine (or invalid) TALVEX32.EXE version number.";
    return false;
  }
  if (!OpenRunContext()) {
    LastErrorText() = "Unexpected exception.";
    return false;
  }
  bool outcome = false;
  LastErrorText() = "Invalid TALVEX32.EXE version number [" + FormatHostVersion(*version) + "].";
  if (std::optional<GateAnswer> gate = LookUpVersionGate(*version)) {
    outcome = !gate->runs || (EnoughDiskSpaceFor(gate->first) && RunUpdatesFrom(gate->first));
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
  try {
    BeginCall();
    ok = RunUpdate(record);
  } catch (...) {
    LastErrorText() = "Unexpected exception.";
    ok = false;
  }
  try {
    CloseRunContext();
    BackedUpTables().clear();
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
