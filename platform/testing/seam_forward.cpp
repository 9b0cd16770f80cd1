// The seam of the test variants: forwards to the c4fault* state of the test
// engine library. Inside that library the calls stay local; every other test
// module imports them from it, so a process has one fault state, and crash:N
// counts the engine's writes and the updater's copies together.
#include <cstdlib>

#include "platform/file_seam.h"
#include "platform/testing/fault_seam.h"
#include "platform/testing/power_cut.h"

namespace talvex::platform::seam {

int hit(int op) { return c4faultHit(op); }
bool syncOn() { return c4faultSyncOn() != 0; }

// Power cuts are simulated on POSIX only; the Windows engine exports no hooks.
#ifdef _WIN32
void powerWrite(const char*, uint64_t, uint64_t) {}
void powerTruncate(const char*, uint64_t) {}
void powerSynced(const char*) {}
void powerMoved(const char*, const char*) {}
void powerRemoved(const char*) {}
#else
void powerWrite(const char* path, uint64_t offset, uint64_t length) {
  c4faultPowerWrite(path, offset, length);
}
void powerTruncate(const char* path, uint64_t length) { c4faultPowerTruncate(path, length); }
void powerSynced(const char* path) { c4faultPowerSynced(path); }
void powerMoved(const char* from, const char* to) { c4faultPowerMoved(from, to); }
void powerRemoved(const char* path) { c4faultPowerRemoved(path); }
#endif

// TALVEX_UPDATE_WAIT_MS: tests of waits on another workstation need not sit
// through the full bound. Text that is not a count is ignored.
int64_t waitOverrideMs() {
  const char* env = std::getenv("TALVEX_UPDATE_WAIT_MS");
  if (env == nullptr || *env == '\0') return -1;
  char* end = nullptr;
  const long long ms = std::strtoll(env, &end, 10);
  if (end == env || *end != '\0' || ms < 0) return -1;
  return ms;
}

}  // namespace talvex::platform::seam
