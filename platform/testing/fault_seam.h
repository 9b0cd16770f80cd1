// Fault injection for tests: make the Nth copy, move, delete, write, create or
// lock of the whole process fail, or fill the volume at the Nth write or copy. Off unless a test arms it, by the calls below
// or, for a program started as a child process, by the environment variable
// TALVEX_FAULT_INJECT="op:nth[,op:nth...]" with op one of copy, move, delete,
// write, create, lock, sync (counted from the start of the process);
// "full:op:nth" fills the volume there instead (see c4faultFillAt). The
// entry "powercut:N[:seed]" simulates a power cut at the Nth sync instead
// (power_cut.h).
//
// Test variants only (platform/file_seam.h): the state lives once per
// process, inside the test variant of the engine library (which every module
// links), and the other test modules reach it through these exports, so a
// fault armed by a test reaches the engine's writes and the libraries' copies
// alike, on Linux and on Windows. The shipped engine has none of this.
#pragma once

#include <stdint.h>

#include "platform/file_seam.h"

#if defined(_WIN32) && !defined(_WIN64)
#define TALVEX_FAULT_API __stdcall
#else
#define TALVEX_FAULT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif


/* The nth operation of this kind from now on fails (1 = the next one); 0 disarms. */
void TALVEX_FAULT_API c4faultArm(int op, int32_t nth);
/* The volume fills at the nth operation of this kind from now on: it and every
   write and copy after it fail with the system's "no space" error (what
   lastFileError() and File errors then say), until the next delete (which
   frees space) or c4faultClear. Renames, links and deletes still work, as on
   a full disk. 0 disarms. */
void TALVEX_FAULT_API c4faultFillAt(int op, int32_t nth);
/* Disarms every kind and resets the counters. */
void TALVEX_FAULT_API c4faultClear(void);
/* Operations of this kind seen since the last clear. */
int32_t TALVEX_FAULT_API c4faultCount(int op);
/* Called by the file layer's test seam before each operation: non-zero means
   "fail this one", TALVEX_FAULT_NO_SPACE with the system's "no space" error. */
int TALVEX_FAULT_API c4faultHit(int op);
/* Whether syncs reach the disk (non-zero, the default). A test that only kills
   processes loses nothing a sync would keep (the system still holds every
   write), so it may turn them off to run fast: 0 here, or the entry "nosync"
   in TALVEX_FAULT_INJECT for a child. Syncs are still counted. */
void TALVEX_FAULT_API c4faultSetSync(int on);
int TALVEX_FAULT_API c4faultSyncOn(void);

#ifdef __cplusplus
}
#endif
