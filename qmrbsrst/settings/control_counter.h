// The host's shared control counters: fields "ID_1" to "ID_15" of the first
// record of "UTILMAST.DBF" in the data directory. Kind 6 ("ID_7") numbers the
// claims.
//
// NextControlCounter adds 1 to one counter and gives the new value, or -1 on
// any failure (unknown kind, missing table, record or field, failed lock,
// store, flush or close; a counter already at the 32-bit maximum). The whole
// table is locked from before the read until the table is closed, so two
// workstations never receive the same value. A lock held elsewhere is waited
// for up to kCounterLockWait. The table is opened and closed within the call
// in the caller's engine context, whose error state is cleared afterwards;
// nothing raised leaves the function. One context: one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "c4dll.h"

namespace talvex::qmrbsrst {

inline constexpr const char* kControlTableFile = "UTILMAST.DBF";
inline constexpr int kClaimNumberCounter = 6;
inline constexpr std::chrono::milliseconds kCounterLockWait{30000};

[[nodiscard]] int32_t NextControlCounter(C4Context context, std::string_view dataDirectory, int kind);

}  // namespace talvex::qmrbsrst
