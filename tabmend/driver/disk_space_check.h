// Before the first change of an update call: the disk space the run list will
// need against what the volumes have free.
//
// Every update that its probe says is needed makes, on the install folder's
// volume, a backup copy of its tables (and keeps the pre-call copy of a table
// that a later update touches again) and work copies of the new layout; the
// data folder's volume takes the growth of the new layouts. The estimate
// counts each table's files at their size before the call, its new layout's
// record length from the clone, and frees the backups of an earlier call that
// the run deletes first. Needs the run folders and context of run_state.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talvex::tabmend {

struct VolumeNeed {
  std::string folder;  // a folder of the run on that volume, for the message
  std::string volume;
  uint64_t needed = 0;
  uint64_t free = 0;
};

// What the run from `first` needs per volume (folders that are on one volume
// add up); free is 0 where the system cannot tell.
std::vector<VolumeNeed> DiskSpaceNeeds(int first);

// False, with the message stored and nothing changed, when a volume has less
// free than the run needs.
[[nodiscard]] bool EnoughDiskSpaceFor(int first);

}  // namespace talvex::tabmend
