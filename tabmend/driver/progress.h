// The progress observer of the update run: an optional callback that the
// caller installs outside any call record (TabmendSetProgressObserver). The
// run reports each update it tries, what became of it, and record counts of
// long copies, so a caller can show that work is moving.
//
// Observer calls are synchronous; a throwing or absent observer changes
// nothing about the run.
#pragma once

#include <string>

#include "tabmend_api.h"

namespace talvex::tabmend {

void SetProgressObserver(TabmendProgressObserver observer, void* context);

// Position of the current update within this call (set by the run list).
void SetProgressPosition(int update, int ordinal, int count);

void ReportUpdatePhase(TabmendProgressPhase phase);
void ReportUpdatePhase(TabmendProgressPhase phase, int update);
// At most every `kRecordStep` records, and at the end of each table.
void ReportRecords(const std::string& table, const std::string& location, int32_t done,
                   int32_t total);

// Waiting for another workstation's update (Done/Total in seconds).
void ReportWaiting(int32_t waitedSeconds, int32_t boundSeconds);
// Waiting for a table that another process has open (location as in RECORDS).
void ReportWaitingForTable(const std::string& location, const std::string& base,
                           int32_t waitedSeconds, int32_t boundSeconds);

inline constexpr int32_t kRecordStep = 4096;

}  // namespace talvex::tabmend
