// The plan of an update call: what UpdateDatabaseStructures would do with the
// same record now, made by the update's own code (version gate, run list and
// probes, table list, disk space estimate) so that plan and run cannot drift.
//
// Changes nothing: folders are found, not made; the update lock is only
// tried where its file exists; each table is held exclusively for a moment
// to see whether another process has it open, then released; tables are
// read without their indexes. Each row goes to the observer as it is found.
#pragma once

#include "tabmend_api.h"

namespace talvex::tabmend {

// False with LastErrorText() set when no plan can be made (no installation,
// an invalid release). Needs BeginCall(); leaves the run context open
// (CloseRunContext) and notes nothing for the run log.
[[nodiscard]] bool PlanUpdate(const TabmendCallRecord* record, TabmendPlanObserver observer, void* context);

// Seconds an update run takes for this many updates and records copied,
// fitted to measured runs.
[[nodiscard]] int32_t EstimatedSeconds(int updates, long long records);

}  // namespace talvex::tabmend
