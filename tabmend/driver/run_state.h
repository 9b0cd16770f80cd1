// Module state of one tabmend export call: the failure text, the tables backed
// up so far, the applied flags of the updates, the engine context and the
// installation folders.
//
// Every export resets the state at its start (BeginCall) and discards it at
// its end; nothing survives between calls except what is on disk. The state is
// process-wide and assumes one call at a time on one thread.
#pragma once

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "c4dll.h"
#include "tabmend_api.h"

namespace talvex::tabmend {

inline constexpr int kFirstFlagNumber = 91;
inline constexpr int kLastFlagNumber = 203;

class AppliedFlagSet {
 public:
  // Numbers outside 91..203 share one scratch flag that rollback never reads,
  // so a bad number cannot write outside the set.
  bool& operator[](int number);
  [[nodiscard]] bool test(int number) const;
  void clearAll();

 private:
  std::array<bool, kLastFlagNumber - kFirstFlagNumber + 1> flags_{};
  bool scratch_ = false;
};

// The folders of the installation, each ending in "\".
struct RunFolders {
  std::string server, install, data;
  std::string work;    // install + "update\"
  std::string backup;  // install + "update\backup\"
};

struct RunState {
  std::string lastErrorText;
  std::vector<std::string> backedUpTables;  // upper-cased backup paths
  AppliedFlagSet appliedFlags;
  C4Context context = 0;
  RunFolders folders;
  // The locations each update of this call worked in, for its restore: once
  // an update has cleaned an archive folder, that folder's basis file may be
  // gone, so a list built afresh would miss exactly the folders to restore.
  std::map<int, std::vector<std::string>> updateLocations;
  // What lay behind the failure (operation, file, record, field, the system's
  // own error text), oldest first. The host gets lastErrorText only; this
  // goes to the run log.
  std::vector<std::string> failureDetail;
  // What a rollback could not put back, first failure first: the data file
  // (D + location + base + ext) and the backup file it was to come from.
  std::vector<std::pair<std::string, std::string>> unrestored;
};

RunState& CurrentRun();

inline std::string& LastErrorText() { return CurrentRun().lastErrorText; }
inline std::vector<std::string>& BackedUpTables() { return CurrentRun().backedUpTables; }
inline AppliedFlagSet& AppliedFlags() { return CurrentRun().appliedFlags; }
inline C4Context RunContext() { return CurrentRun().context; }
inline const RunFolders& Folders() { return CurrentRun().folders; }
inline void NoteFailureDetail(std::string text) {
  CurrentRun().failureDetail.push_back(std::move(text));
}

// Empties the failure text and the backup list, clears the flags and forgets
// the folders and context.
void BeginCall();

// Finds the installation and makes its working folders (common/locations);
// false when they cannot be found or made.
[[nodiscard]] bool SetUpRunFolders();
// The same folders, none made (the plan, which changes nothing).
[[nodiscard]] bool FindRunFolders();

// Creates the run's engine context with the updater's settings (no automatic
// index open, access mode 1, write buffering); false when the engine refuses.
[[nodiscard]] bool OpenRunContext();
// Releases the context, if any.
void CloseRunContext();

// For a catch after the call's own work (closing, logging): the host gets -1
// with what failed, as far as memory allows. Nothing leaves it.
void ReportLateFailure(TabmendCallRecord* record) noexcept;

}  // namespace talvex::tabmend
