#include "driver/run_list.h"

#include <cctype>
#include <exception>
#include <map>
#include <string>

#include "driver/progress.h"
#include "driver/run_state.h"
#include "driver/update_journal.h"
#include "restructure/numbered_update.h"
#include "restructure/structure_probe.h"
#include "restructure/table_files.h"
#include "platform/file_system.h"
#include "catalogue/catalogue.h"
#include "platform/ascii_text.h"
#include "platform/exception_text.h"

namespace talvex::tabmend {
namespace {

constexpr int kRunList[] = {
    92,  94,  95,  100, 102, 104, 105, 106, 107, 110, 111, 112, 113, 114, 115, 116, 117, 119,
    120, 121, 123, 126, 127, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143,
    144, 145, 146, 147, 148, 150, 151, 153, 154, 155, 156, 157, 158, 159, 160, 161, 162, 163,
    164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 176, 177, 178, 179, 181, 182,
    184, 185, 187, 189, 191, 192, 194, 195, 196, 197, 198, 199, 200, 201, 202, 203,
};
static_assert(std::size(kRunList) == 88);

// The journal is saved once more for the next call. When even that fails, the
// run log keeps why and the host still gets the update's own message.
void SaveJournalForNextCall() {
  const std::string message = LastErrorText();
  if (!SaveJournal()) NoteFailureDetail(LastErrorText());
  LastErrorText() = message;
}

}  // namespace

std::span<const int> RunList() { return kRunList; }

void ForEachUpdateOfRun(
    int first, bool probe,
    const std::function<void(const RestructureSpec&, const TableLocationList&)>& visit) {
  const RunFolders& folders = Folders();
  for (int number : kRunList) {
    if (number < first) continue;
    const RestructureSpec* row = FindRestructureSpec(number);
    if (row == nullptr || row->form == RestructureForm::AddMissing) continue;
    TableLocationList locations;
    if (!probe) {
      locations = row->form == RestructureForm::Single
                      ? TableLocationList{{"", true}}
                      : BuildTableLocationList(folders.data, row->locationBasis);
      for (TableLocation& location : locations) location.needsUpdate = true;
    } else if (row->form == RestructureForm::Single) {
      locations.push_back({"", NeedsUpdateProbe(*row, folders.data)});
    } else {
      locations = BuildTableLocationList(folders.data, row->locationBasis);
      const bool needed =
          row->form == RestructureForm::Flagged || NeedsUpdateProbe(*row, folders.data);
      for (TableLocation& location : locations) {
        location.needsUpdate = row->form == RestructureForm::Flagged
                                   ? NeedsUpdateProbe(*row, folders.data + location.relative)
                                   : needed;
      }
    }
    visit(*row, locations);
  }
}

void ForEachUpdateAsTheRunGoes(
    int first,
    const std::function<void(const RestructureSpec&, const TableLocationList&)>& visit) {
  const RunFolders& folders = Folders();
  // Upper-cased location + base -> the folder holding the layout the run
  // will have given it by then.
  std::map<std::string, std::string> layouts;
  std::map<std::string, std::vector<std::string>> added;  // upper-cased file -> locations
  const auto folderOf = [&](const std::string& relative, const std::string& base) {
    auto it = layouts.find(ascii::upper(relative + base));
    return it != layouts.end() ? it->second : folders.data + relative;
  };
  for (int number : kRunList) {
    if (number < first) continue;
    const RestructureSpec* row = FindRestructureSpec(number);
    if (row == nullptr) continue;
    const std::string clone = WithBackslash(CloneDirectory(folders.server, *row));
    TableLocationList locations = row->form == RestructureForm::Single
                                      ? TableLocationList{{"", false}}
                                      : BuildTableLocationList(folders.data, row->locationBasis);
    // A folder whose basis table an earlier update of the run adds is in the
    // list the run builds by then.
    for (const std::string& rel : added[ascii::upper(row->locationBasis)]) {
      bool listed = false;
      for (const TableLocation& location : locations) listed = listed || location.relative == rel;
      if (!listed && row->form != RestructureForm::Single) locations.push_back({rel, false});
    }
    const std::string& probed = row->probedTable().base;
    const bool needed = row->form == RestructureForm::AllLocations ||
                                row->form == RestructureForm::Single
                            ? NeedsUpdateProbe(*row, folderOf("", probed))
                            : false;
    for (TableLocation& location : locations) {
      const std::string& rel = location.relative;
      if (row->form == RestructureForm::AddMissing) {
        for (const UpdatedTable& table : row->tables()) {
          if (platform::pathExists(folderOf(rel, table.base) + table.base + ".dbf")) continue;
          location.needsUpdate = true;
          layouts[ascii::upper(rel + table.base)] = clone;
          added[ascii::upper(std::string(table.base) + ".dbf")].push_back(rel);
        }
        continue;
      }
      location.needsUpdate = row->form == RestructureForm::Flagged
                                 ? NeedsUpdateProbe(*row, folderOf(rel, probed))
                                 : needed;
      if (!location.needsUpdate) continue;
      for (const UpdatedTable& table : row->tables()) layouts[ascii::upper(rel + table.base)] = clone;
    }
    visit(*row, locations);
  }
}

bool RunUpdatesFrom(int first) {
  AppliedFlags().clearAll();
  LastErrorText().clear();
  if (!BeginJournal()) return false;
  int count = 0;
  for (int number : kRunList) count += number >= first ? 1 : 0;

  bool ok = true;
  int ordinal = 0;
  for (int number : kRunList) {
    if (!ok || number < first) continue;
    SetProgressPosition(number, ++ordinal, count);
    ReportUpdatePhase(TABMEND_PROGRESS_START);
    UpdateOutcome outcome = RunNumberedUpdate(number, AppliedFlags()[number]);
    ok = outcome != UpdateOutcome::Failed;
    if (outcome == UpdateOutcome::Applied && !JournalUpdateSwapped(number)) {
      outcome = UpdateOutcome::Failed;
      ok = false;
    }
    ReportUpdatePhase(outcome == UpdateOutcome::Applied     ? TABMEND_PROGRESS_APPLIED
                      : outcome == UpdateOutcome::NotNeeded ? TABMEND_PROGRESS_NOT_NEEDED
                                                            : TABMEND_PROGRESS_FAILED);
  }
  if (ok) return EndJournal();
  const std::string message = LastErrorText();
  // A table written after its swap (by another workstation) is not rolled
  // over: nothing is restored, the journal stays for the next call.
  if (!UnchangedSinceSwaps(CurrentJournal())) {
    LastErrorText() = message + "\r\n" + LastErrorText();
    SaveJournalForNextCall();  // the next call must find the same fingerprints
    return false;
  }
  if (!RollBackAppliedUpdates()) {
    LastErrorText() = message + "\r\n" + LastErrorText();
    SaveJournalForNextCall();
    return false;
  }
  std::string what;
  if (RolledBack(CurrentJournal(), &what)) {
    if (!DropJournal()) NoteFailureDetail(LastErrorText());
    LastErrorText() = message;
    return false;
  }
  // A table the rollback could not put back keeps the journal, so that the
  // next call tries again before anything else; the user must know that the
  // folder is not as it was. The host's slot is short: the backup's path goes
  // to the run log only.
  NoteFailureDetail(LastErrorText());
  SaveJournalForNextCall();  // with the fingerprints of the last swaps, where the disk still takes it
  LastErrorText() = message + "\r\nUnable to restore " + what +
                    " (see update\\tabmend.log); the update journal is kept and the next update "
                    "call restores it first.";
  return false;
}

bool RolledBack(const Journal& journal, std::string* what) {
  const auto& unrestored = CurrentRun().unrestored;
  if (unrestored.empty()) return VerifyRestored(journal, what);
  // The words of VerifyRestored's message, for the file that failed.
  LastErrorText() = "Unable to restore table " + unrestored.front().first + " from its backup " +
                    unrestored.front().second + ".";
  if (what != nullptr) *what = "table " + unrestored.front().first;
  return false;
}

bool RollBackAppliedUpdates() {
  CurrentRun().unrestored.clear();
  for (int number = kLastFlagNumber; number >= kFirstFlagNumber; --number) {
    if (!AppliedFlags().test(number)) continue;
    ReportUpdatePhase(TABMEND_PROGRESS_ROLLBACK, number);
    try {
      if (!RestoreNumberedUpdate(number)) return false;
    } catch (...) {
      // The remaining ones still run; VerifyRestored finds what this left.
      NoteFailureDetail("rollback of update " + std::to_string(number) + ": " +
                        platform::CurrentExceptionText());
    }
  }
  return true;
}

}  // namespace talvex::tabmend
