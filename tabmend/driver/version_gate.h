// Which update a host release starts from.
//
// The gate is a table of rows (major, minor range, build) -> first update
// number. Every row requires release 0. A release the table does not name is
// invalid; a row may also say that nothing needs to run (the data is already
// in the newest layout). The first number may be one that the run list lacks:
// every listed update with a number at or above it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "driver/host_version.h"

namespace talvex::tabmend {

struct VersionGateRow {
  uint16_t major;
  uint16_t minorFrom, minorTo;  // inclusive range of minors
  uint16_t build;
  int16_t first;  // first update number, or kNothingToRun
};

inline constexpr int16_t kNothingToRun = 0;

struct GateAnswer {
  bool runs;  // false: success without touching any table
  int first;  // meaningful when runs
};

std::span<const VersionGateRow> VersionGate();

// nullopt when the version matches no row.
std::optional<GateAnswer> LookUpVersionGate(const HostVersion& version);

}  // namespace talvex::tabmend
