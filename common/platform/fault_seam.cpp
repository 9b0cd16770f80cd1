// Process-wide fault seam state. Counters and the armed operation number are
// atomics, so the engine and the libraries may hit the seam from any thread.
#include "common/platform/fault_seam.h"

#include <atomic>

namespace {

std::atomic<int32_t> g_seen[TALVEX_FAULT_OPS];
// The count at which the armed operation fails; 0 when not armed.
std::atomic<int32_t> g_failAt[TALVEX_FAULT_OPS];

bool validOp(int op) { return op >= 0 && op < TALVEX_FAULT_OPS; }

}  // namespace

extern "C" {

void TALVEX_FAULT_API c4faultArm(int op, int32_t nth) {
  if (!validOp(op)) return;
  g_failAt[op].store(nth > 0 ? g_seen[op].load() + nth : 0);
}

void TALVEX_FAULT_API c4faultClear(void) {
  for (int op = 0; op < TALVEX_FAULT_OPS; ++op) {
    g_failAt[op].store(0);
    g_seen[op].store(0);
  }
}

int32_t TALVEX_FAULT_API c4faultCount(int op) { return validOp(op) ? g_seen[op].load() : 0; }

int TALVEX_FAULT_API c4faultHit(int op) {
  if (!validOp(op)) return 0;
  int32_t n = g_seen[op].fetch_add(1) + 1;
  int32_t at = n;
  // Only the armed operation fails; the exchange makes that exactly one even
  // when several threads reach the same count.
  return g_failAt[op].compare_exchange_strong(at, 0) ? 1 : 0;
}

}  // extern "C"
