// The fixed series of numbered updates and the run over it.
//
// RunUpdatesFrom(first) clears the applied flags and the failure text, then
// tries every listed update whose number is at or above `first`, in ascending
// order, until one fails; on a failure it restores, highest number first,
// every update whose flag is set and returns false with the failed update's
// message in LastErrorText(). The call's journal (update_journal.h) is begun
// before the first update and removed at the end; when it cannot be written
// the run ends before changing anything. Needs the run folders and context of
// run_state.h.
#pragma once

#include <span>

namespace talvex::tabmend {

std::span<const int> RunList();

bool RunUpdatesFrom(int first);

// Restores every update of this call whose applied flag is set, from 203 down
// to 91. Restores report nothing; their failures are ignored.
void RollBackAppliedUpdates();

}  // namespace talvex::tabmend
