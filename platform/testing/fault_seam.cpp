// Process-wide fault seam state. Counters and the armed operation number are
// atomics, so the engine and the libraries may hit the seam from any thread.
#include "platform/testing/fault_seam.h"

#include "platform/testing/power_cut.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

std::atomic<int32_t> g_seen[TALVEX_FAULT_OPS];
// The count at which the armed operation fails; 0 when not armed.
std::atomic<int32_t> g_failAt[TALVEX_FAULT_OPS];
// The count at which the process ends instead of doing the operation; 0 when not armed.
std::atomic<int32_t> g_crashAt[TALVEX_FAULT_OPS];
// The count at which the volume fills: from that operation on, every write and
// copy fails with "no space"; 0 when not armed.
std::atomic<int32_t> g_fullAt[TALVEX_FAULT_OPS];
std::atomic<int> g_full{0};
std::atomic<int> g_syncOn{1};

// A crash test wants the state a killed process leaves: no destructors, no
// buffered output flushed, no atexit handlers.
[[noreturn]] void CrashNow() {
#ifdef _WIN32
  TerminateProcess(GetCurrentProcess(), 86);
#endif
  _exit(86);
}

bool validOp(int op) { return op >= 0 && op < TALVEX_FAULT_OPS; }

// TALVEX_FAULT_INJECT="lock:3,write:10" arms faults before main runs, so a test
// can fail one operation of a program it starts as a child process;
// "crash:delete:3" ends the process right before its third delete instead;
// "full:write:40" fills the volume at the 40th write: it and every write and
// copy after it fail with "no space", until the next delete;
// "powercut:N[:seed]" is read by the power cut layer (power_cut.h).
// Entries that do not parse are ignored: the seam stays off rather than guessing.
void ArmFromEnvironment() {
  static const char* const kNames[TALVEX_FAULT_OPS] = {"copy",   "move", "delete", "write",
                                                       "create", "lock", "sync"};
  const char* text = std::getenv("TALVEX_FAULT_INJECT");
  if (text == nullptr) return;
  while (*text != '\0') {
    const char* end = std::strchr(text, ',');
    const size_t len = end ? static_cast<size_t>(end - text) : std::strlen(text);
    const char* const entryEnd = text + len;
    if (len == 6 && std::strncmp(text, "nosync", 6) == 0) g_syncOn.store(0);
    const char* colon = static_cast<const char*>(std::memchr(text, ':', len));
    std::atomic<int32_t>* table = g_failAt;
    for (auto [prefix, prefixed] : {std::pair{"crash:", g_crashAt}, std::pair{"full:", g_fullAt}}) {
      const size_t prefixLen = std::strlen(prefix);
      if (colon != nullptr && len > prefixLen && std::strncmp(text, prefix, prefixLen) == 0) {
        table = prefixed;
        text += prefixLen;
        colon = static_cast<const char*>(std::memchr(text, ':', len - prefixLen));
      }
    }
    if (colon != nullptr) {
      const size_t nameLen = static_cast<size_t>(colon - text);
      char* stop = nullptr;
      const long nth = std::strtol(colon + 1, &stop, 10);
      if (stop == entryEnd && nth > 0 && nth < INT32_MAX) {
        for (int op = 0; op < TALVEX_FAULT_OPS; ++op)
          if (std::strlen(kNames[op]) == nameLen && std::strncmp(kNames[op], text, nameLen) == 0)
            table[op].store(static_cast<int32_t>(nth));
      }
    }
    if (end == nullptr) break;
    text = end + 1;
  }
}

[[maybe_unused]] const bool g_armedFromEnvironment = (ArmFromEnvironment(), true);

}  // namespace

extern "C" {

void TALVEX_FAULT_API c4faultArm(int op, int32_t nth) {
  if (!validOp(op)) return;
  g_failAt[op].store(nth > 0 ? g_seen[op].load() + nth : 0);
}

void TALVEX_FAULT_API c4faultClear(void) {
  for (int op = 0; op < TALVEX_FAULT_OPS; ++op) {
    g_failAt[op].store(0);
    g_crashAt[op].store(0);
    g_fullAt[op].store(0);
    g_seen[op].store(0);
  }
  g_full.store(0);
}

void TALVEX_FAULT_API c4faultFillAt(int op, int32_t nth) {
  if (!validOp(op)) return;
  g_fullAt[op].store(nth > 0 ? g_seen[op].load() + nth : 0);
}

int32_t TALVEX_FAULT_API c4faultCount(int op) { return validOp(op) ? g_seen[op].load() : 0; }

int TALVEX_FAULT_API c4faultHit(int op) {
  if (!validOp(op)) return 0;
  int32_t n = g_seen[op].fetch_add(1) + 1;
  if (g_crashAt[op].load() == n) CrashNow();
  if (op == TALVEX_FAULT_SYNC) talvex::platform::PowerCutBeforeSync(n);
  if (g_fullAt[op].load() == n) g_full.store(1);
  if (op == TALVEX_FAULT_DELETE) g_full.store(0);  // a file deleted frees its space
  if (g_full.load() != 0 && (op == TALVEX_FAULT_WRITE || op == TALVEX_FAULT_COPY)) {
    return TALVEX_FAULT_NO_SPACE;
  }
  int32_t at = n;
  // Only the armed operation fails; the exchange makes that exactly one even
  // when several threads reach the same count.
  return g_failAt[op].compare_exchange_strong(at, 0) ? 1 : 0;
}

void TALVEX_FAULT_API c4faultSetSync(int on) { g_syncOn.store(on != 0 ? 1 : 0); }

int TALVEX_FAULT_API c4faultSyncOn(void) { return g_syncOn.load(); }

}  // extern "C"
