// The fixed series of numbered updates and the run over it.
//
// RunUpdatesFrom(first) clears the applied flags and the failure text, then
// tries every listed update whose number is at or above `first`, in ascending
// order, until one fails; on a failure it restores, highest number first,
// every update whose flag is set and returns false with the failed update's
// message in LastErrorText(), followed, when a table could not be put back,
// by a line naming it and saying that the journal is kept. The call's journal
// (update_journal.h) is begun before the first update and removed at the end
// (or once the rollback is complete); when it cannot be written the run ends
// before changing anything. Needs the run folders and context of
// run_state.h.
#pragma once

#include <functional>
#include <span>
#include <string>

#include "restructure/table_locations.h"
#include "catalogue/catalogue_row.h"

namespace talvex::tabmend {

struct Journal;

std::span<const int> RunList();

// Each update of the list from `first` that replaces tables, with its
// locations; with `probe` those its probes find in need of it before the run
// are marked (the folders whose tables it would back up, swap and roll back),
// without, every one is. Reads only.
void ForEachUpdateOfRun(
    int first, bool probe,
    const std::function<void(const RestructureSpec&, const TableLocationList&)>& visit);

// Each update of the list from `first`, add-missing ones included, with the
// locations it would work in marked as the run would mark them: a probe of a
// table that an earlier update of the run replaces looks at that update's
// clone, whose layout the run swaps in (probes read layouts only). Reads only.
void ForEachUpdateAsTheRunGoes(
    int first,
    const std::function<void(const RestructureSpec&, const TableLocationList&)>& visit);

[[nodiscard]] bool RunUpdatesFrom(int first);

// Restores every update of this call whose applied flag is set, from 203 down
// to 91. Stops, false with the message stored, at a table open in another
// process (left as it is; the journal must stay). Any other table that cannot
// be put back does not stop the others (within a location list, the update's
// remaining tables); it is noted in CurrentRun().unrestored and the file
// errors in the failure detail.
[[nodiscard]] bool RollBackAppliedUpdates();

// After RollBackAppliedUpdates: true when every table of the journal's
// updates is back as its backup holds it (VerifyRestored); otherwise false
// with a message naming the first table that is not (and, in `what`, the
// short form of VerifyRestored).
[[nodiscard]] bool RolledBack(const Journal& journal, std::string* what = nullptr);

}  // namespace talvex::tabmend
