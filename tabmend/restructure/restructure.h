// The restructure procedure every numbered update follows, in its four forms
// (single, all-locations, flagged, add-missing), driven by a RestructureSpec.
//
// RunRestructure probes, cleans the work folder, copies the clone tables,
// backs up the current files, copies the records by field name, runs the
// update's conversion, and swaps the new files into the data folder. It
// returns NotNeeded when the probe finds the tables current (nothing is
// written anywhere), Applied on success, Failed with "Update" + four digits +
// "- " + the step's text in LastErrorText(). `applied` is cleared on entry and
// set once the data folder may be changed, after the backups are synced and the
// call's journal names them (update_journal.h); from then on a failure is left
// to the run's rollback (RestoreFromBackup). A table missing or cut short in
// the data folder while it has work or backup copies fails the update before
// anything is deleted. No exception leaves either routine.
// Needs the run's folders and engine context.
#pragma once

#include "catalogue/catalogue_row.h"

namespace talvex::tabmend {

enum class UpdateOutcome { NotNeeded, Applied, Failed };

UpdateOutcome RunRestructure(const RestructureSpec& row, bool& applied);

// Copies the backed-up files of the update's tables back into the data
// folder (the pre-call "original\" copy where one exists). Copy failures are
// ignored. False, with the message stored, when a table is open in another
// process: it is left as it is and the rollback must stop.
[[nodiscard]] bool RestoreFromBackup(const RestructureSpec& row);

}  // namespace talvex::tabmend
