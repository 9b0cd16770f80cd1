// Byte ranges of the multi-user locks, in the scheme dBASE for Windows and
// Borland's engine use (L = 0xEFFFFFFE, far beyond any data so readers are
// never blocked), plus two bytes of our own for the open modes. The ranges
// and the order in which they are taken are written down in engine/README.md.
#pragma once

#include <cstdint>

#include "platform/file_io.h"

namespace talvex::engine {

inline constexpr uint64_t kLockBase = 0xEFFFFFFEull;  // L
// Record n: 1 byte at L - n.
inline constexpr uint64_t recordLockOffset(uint32_t recno) { return kLockBase - recno; }
// Header (record count and date being changed): 1 byte at L.
inline constexpr uint64_t kHeaderLockOffset = kLockBase;
// Append: 1 byte at L + 1.
inline constexpr uint64_t kAppendLockOffset = kLockBase + 1;
// Whole table: every record byte, the header and the append byte, held for as
// long as the table lock lasts (so no record can be locked meanwhile).
inline constexpr uint64_t kFileLockOffset = kLockBase - 1000000000ull;
inline constexpr uint64_t kFileLockLength = 1000000000ull + 2;
// Open modes (our own bytes, after the append byte): every opener holds
// kOpenByte shared, an exclusive opener exclusively; an opener that may write
// holds kWriterByte shared, a deny-write opener exclusively.
inline constexpr uint64_t kOpenByte = kLockBase + 2;
inline constexpr uint64_t kWriterByte = kLockBase + 3;
// Repair gate (ours): every opener holds it shared while it takes its open
// and writer bytes, a repairer exclusively while it holds the writer byte
// exclusively; so an opener waits out a repair instead of taking the repairer
// for a deny-write user and opening read-only.
inline constexpr uint64_t kRepairGateByte = kLockBase + 4;
// How long an opener waits for another user's repair (a bulk rebuild of a
// large production index takes seconds).
inline constexpr int kRepairWaitMs = 60000;
// .dbt: 1 byte at L while the append point / free chain is read and moved.
inline constexpr uint64_t kMemoLockOffset = kLockBase;

// How long a short internal lock (append, header, memo header) is retried:
// others hold those only for the few writes of one append.
inline constexpr int kShortLockWaitMs = 2000;

// Tries the lock until it is granted, fails, or waitMs have passed.
platform::LockResult lockWithRetry(platform::File& file, uint64_t offset, uint64_t length,
                                   bool exclusive, int waitMs);

}  // namespace talvex::engine
