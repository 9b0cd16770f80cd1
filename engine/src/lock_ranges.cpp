#include "lock_ranges.h"

#include <chrono>
#include <thread>

namespace talvex::engine {

platform::LockResult lockWithRetry(platform::File& file, uint64_t offset, uint64_t length,
                                   bool exclusive, int waitMs) {
  using clock = std::chrono::steady_clock;
  auto deadline = clock::now() + std::chrono::milliseconds(waitMs);
  int pause = 50;  // microseconds, doubled up to 5 ms
  for (;;) {
    platform::LockResult r = file.lockRange(offset, length, exclusive);
    if (r != platform::LockResult::HeldElsewhere || clock::now() >= deadline) return r;
    std::this_thread::sleep_for(std::chrono::microseconds(pause));
    if (pause < 5000) pause *= 2;
  }
}

}  // namespace talvex::engine
