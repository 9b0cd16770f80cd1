// Simulated power cuts, for tests. Off unless a test turns it on: in a
// process, by c4faultPowerTrack; in a child process, by the entry
// "powercut:N" or "powercut:N:seed" of TALVEX_FAULT_INJECT (fault_seam.h),
// which tracks from the start of the process and cuts at its Nth sync, or
// "powercut:end[:seed]", which cuts when the process exits normally (the
// power lost after the program ended, before the system wrote its data back).
//
// What it models: a killed process loses nothing the system already holds,
// but a machine that loses power loses every write to a file since that
// file's last sync. While tracking, the file layer reports each write and
// truncate of a file before doing it; the layer keeps the bytes and size it
// replaces (the pre-image), by path. A sync of any handle of a file (File::sync,
// syncFile) makes every write to it durable, whichever handle or copy made
// them, and its pre-images are forgotten. A rename carries the file's
// unsynced writes to the new name (a file renamed over another replaces the
// other's); a delete forgets them. At the cut, right before the Nth sync (of
// a file or a folder), the unsynced writes are undone on disk, newest first,
// and the process ends at once with status 86, as a crash of the fault seam
// does. With seed 0 every unsynced write is lost and every file is back to its
// size at its last sync; with another seed a random choice (the same for the
// same seed) of whole 512-byte sectors is lost per file, the rest kept, and
// each file either keeps its new size or goes back to the synced one. A lost
// sector past the synced end reads as zeros.
//
// What it does not model: folder entries. Creating, renaming and deleting a
// file take effect at once and survive the cut whether or not the folder was
// synced, so a file created and renamed into place and then cut keeps its
// name with its unsynced contents lost (empty, or zeros), the harsher outcome
// of the two a file system may give. Nor does it reorder writes within a
// sector or tear a sector. Writes the system makes outside the file layer
// (registry files, test set-up) are not tracked and count as synced.
//
// POSIX builds only; on Windows the calls do nothing and the entry is
// ignored. The state is process-wide, inside the test engine library beside
// the fault seam, and guarded by a lock, so the hooks may be called from any thread.
#pragma once

#include <stdint.h>

#include "platform/testing/fault_seam.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Starts tracking (forgetting anything tracked before); seed as above. */
void TALVEX_FAULT_API c4faultPowerTrack(uint32_t seed);
/* Tracking: the nth sync from now cuts the power (0: no cut, tracking only). */
void TALVEX_FAULT_API c4faultPowerCutAt(int32_t nth);
/* Undoes the lost writes now as the cut would, without ending the process,
   and stops tracking. The number of files changed back. */
int32_t TALVEX_FAULT_API c4faultPowerDrop(void);
/* Stops tracking and forgets every pre-image, changing nothing on disk. */
void TALVEX_FAULT_API c4faultPowerStop(void);
/* Bytes of pre-images held (for a test to see that syncs release them). */
uint64_t TALVEX_FAULT_API c4faultPowerHeld(void);

/* Hooks of the file layer; native paths. Each does nothing unless tracking. */
void TALVEX_FAULT_API c4faultPowerWrite(const char* path, uint64_t offset, uint64_t length);
void TALVEX_FAULT_API c4faultPowerTruncate(const char* path, uint64_t length);
void TALVEX_FAULT_API c4faultPowerSynced(const char* path);
void TALVEX_FAULT_API c4faultPowerMoved(const char* from, const char* to);
void TALVEX_FAULT_API c4faultPowerRemoved(const char* path);

#ifdef __cplusplus
}

namespace talvex::platform {
// Called by the fault seam before each sync it counts (syncNumber from the
// start of the process): cuts the power when that is the armed one.
void PowerCutBeforeSync(int32_t syncNumber);
}  // namespace talvex::platform
#endif
