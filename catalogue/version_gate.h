// Which update a host release starts from. Constant data, like the
// catalogue: the updater runs from it and the installer picks table sets by it.
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


namespace talvex::tabmend {

// A host release "major.minor.release.build".
struct HostVersion {
  uint16_t major = 0, minor = 0, release = 0, build = 0;
  bool operator==(const HostVersion&) const = default;
};

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
