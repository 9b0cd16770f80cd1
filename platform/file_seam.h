// The seam of the platform file layer. Before each copy, move, delete, write,
// create, lock or sync the file code asks hit(); it reports writes, truncates,
// syncs, renames and deletes to the power-cut hooks; waits on other processes
// ask waitOverrideMs(). The layer declares these functions and defines none:
// each shared library and program chooses one implementation at its final
// link (cmake/Talvex.cmake):
//   - seam_off.cpp, in every shipped file: nothing fails, syncs reach the
//     disk, the hooks do nothing, no wait is shortened; it reads no
//     environment variable.
//   - testing/seam_forward.cpp, in the test variants only: forwards to the
//     fault state of the test engine library (testing/fault_seam.h,
//     testing/power_cut.h), one per process, so a fault armed by a test
//     reaches the engine's writes and the libraries' copies alike.
// The functions are local to each module (hidden), so a library never binds
// to another module's choice.
#pragma once

#include <stdint.h>

/* The kinds of operation the seam counts (the test fault state counts the same). */
enum TalvexFaultOp {
  TALVEX_FAULT_COPY = 0,
  TALVEX_FAULT_MOVE = 1,
  TALVEX_FAULT_DELETE = 2,
  TALVEX_FAULT_WRITE = 3,
  TALVEX_FAULT_CREATE = 4, /* open for create/truncate, directory creation */
  TALVEX_FAULT_LOCK = 5,
  TALVEX_FAULT_SYNC = 6, /* a file or folder sync */
  TALVEX_FAULT_OPS = 7
};
/* hit()'s answer for "fail with the system's no-space error". */
#define TALVEX_FAULT_NO_SPACE 2

#ifdef __cplusplus

#if defined(__GNUC__) && !defined(_WIN32)
#define TALVEX_SEAM_LOCAL __attribute__((visibility("hidden")))
#else
#define TALVEX_SEAM_LOCAL
#endif

namespace talvex::platform::seam {

// Before an operation of kind op (TalvexFaultOp): 0 does it, non-zero fails it
// (TALVEX_FAULT_NO_SPACE: with the system's no-space error). May end the
// process instead (a simulated crash or power cut).
TALVEX_SEAM_LOCAL int hit(int op);
// Whether a sync should reach the disk (a test that only kills processes may
// skip them; they are still counted by hit()).
TALVEX_SEAM_LOCAL bool syncOn();

// Power-cut hooks, native paths, called before the change they report.
TALVEX_SEAM_LOCAL void powerWrite(const char* path, uint64_t offset, uint64_t length);
TALVEX_SEAM_LOCAL void powerTruncate(const char* path, uint64_t length);
TALVEX_SEAM_LOCAL void powerSynced(const char* path);
TALVEX_SEAM_LOCAL void powerMoved(const char* from, const char* to);
TALVEX_SEAM_LOCAL void powerRemoved(const char* path);

// A bound in milliseconds that shortens waits for other processes (the update
// lock), or a negative number: none. Never lengthens a wait.
TALVEX_SEAM_LOCAL int64_t waitOverrideMs();

}  // namespace talvex::platform::seam

#endif
