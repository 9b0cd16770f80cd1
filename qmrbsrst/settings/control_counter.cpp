#include "qmrbsrst/settings/control_counter.h"

#include <string>
#include <thread>

#include "common/tableengine/table.h"

namespace talvex::qmrbsrst {

namespace {

// The engine never waits for a lock; the host's workstations do, so a lock
// that another one holds is asked for again until the wait runs out.
bool LockWholeTable(C4Table table) {
  const auto deadline = std::chrono::steady_clock::now() + kCounterLockWait;
  for (int attempt = 0;; ++attempt) {
    int rc = d4lockAllInternal(table, 1);
    if (rc == r4success) return true;
    if (rc != r4locked || std::chrono::steady_clock::now() >= deadline) return false;
    if (attempt < 50) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

int32_t TakeCounter(C4Context context, std::string_view dataDirectory, int kind) {
  if (kind < 0 || kind > 14) return -1;
  const std::string fieldName = "ID_" + std::to_string(kind + 1);

  std::string path(dataDirectory);
  path += kControlTableFile;
  talvex::common::Table table = talvex::common::Table::open(context, path);
  if (!table) return -1;
  if (!LockWholeTable(table.handle())) return -1;
  if (d4top(table.handle()) != r4success) return -1;
  C4Field field = table.field(fieldName);
  if (field == 0) return -1;

  long current = f4int(field);
  if (current >= INT32_MAX || current < INT32_MIN) return -1;
  const int32_t next = static_cast<int32_t>(current) + 1;
  if (f4assignInt(field, next) != r4success) return -1;
  if (d4flush(table.handle()) != r4success) return -1;
  // Closing releases the lock; only then is the number safely ours.
  if (table.close() != r4success) return -1;
  return next;
}

}  // namespace

int32_t NextControlCounter(C4Context context, std::string_view dataDirectory, int kind) {
  int32_t value = -1;
  try {
    value = TakeCounter(context, dataDirectory, kind);
  } catch (...) {
    value = -1;
  }
  talvex::common::clearEngineError(context);
  return value;
}

}  // namespace talvex::qmrbsrst
