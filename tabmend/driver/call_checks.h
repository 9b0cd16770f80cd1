// What an update call checks before its first change, shared with its plan
// so that both see the same: the pending mark of another workstation's call,
// and every table the run could back up, replace or roll back. Need the run
// folders (run_state.h).
#pragma once

#include <optional>
#include <vector>

#include "common/updatelock/update_lock.h"
#include "driver/table_guard.h"

namespace talvex::tabmend {

// The data folder's pending mark when it belongs to another call than this
// install folder's own (whose journal the call finishes itself).
std::optional<common::PendingUpdate> MarkOfAnotherCall();

// Every table of every update of the run from `first`, in every location,
// whether its probe will find it in need or not: a probe can only tell once
// it has read the table, which an opener elsewhere may keep it from.
std::vector<GuardedTable> RunTables(int first);

}  // namespace talvex::tabmend
