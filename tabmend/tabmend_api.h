/*
 * tabmend_api.h - the exports of the tabmend library as the host calls them.
 *
 * Contract:
 *  - Every export takes the address of a TabmendCallRecord that the host owns
 *    and allocates. The library reads it, writes only into the token-table
 *    slots it points to (appending at most one entry per call), and keeps no
 *    pointer into it after the call returns.
 *  - Results are 32-bit: 0 success, -1 failure; on failure one message is
 *    stored in the token table under the key "%TABMEND_ERR%".
 *  - Nothing is allocated for the caller; returned texts are library constants
 *    or module buffers valid until the next call.
 *  - Calls must not overlap (module-wide state); each runs on the calling
 *    thread and finishes before it returns. Nothing thrown leaves an export.
 *  - Bad input: a null record gives -1 and writes nothing. Token-table writes
 *    are refused when an address is null, a stride is below 1 or above
 *    TABMEND_MAX_STRIDE, or EntryCount is negative or above
 *    TABMEND_MAX_ENTRIES; a value longer than its slot is cut to fit. The
 *    version text is read up to TABMEND_MAX_VERSION_TEXT bytes; one without a
 *    NUL within them counts as invalid.
 *
 * Layout: the host's packed little-endian record. In 32-bit builds the address
 * fields are 4 bytes (44 bytes used); in 64-bit builds they widen to 8 bytes
 * at their natural alignment (56 bytes used). Compiles as C99 and as C++.
 */
#ifndef TABMEND_API_H
#define TABMEND_API_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TABMEND_API __stdcall
#else
#define TABMEND_API
#endif

#if defined(_WIN32)
#define TABMEND_EXPORT /* named by tabmend.def */
#else
#define TABMEND_EXPORT __attribute__((visibility("default")))
#endif

#define TABMEND_MAX_STRIDE 65536
#define TABMEND_MAX_ENTRIES 65536
#define TABMEND_MAX_VERSION_TEXT 256

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)
typedef struct TabmendCallRecord {
  uint8_t Reserved0[12];
  int32_t KeyStride;   /* bytes from one key slot to the next */
  int32_t ValueStride; /* bytes from one value slot to the next */
  int32_t EntryCount;  /* entries in use; incremented on append */
  char *KeySlots;      /* key i at KeySlots + i * KeyStride */
  char *ValueSlots;    /* value i at ValueSlots + i * ValueStride */
  uint8_t Reserved1[8];
  const char *VersionText; /* NUL-terminated, or null */
} TabmendCallRecord;
#pragma pack(pop)

/* One progress report of the update run (see TabmendSetProgressObserver). */
typedef enum TabmendProgressPhase {
  TABMEND_PROGRESS_START = 0,      /* update `Update` is being tried */
  TABMEND_PROGRESS_NOT_NEEDED = 1, /* its probe found every table current */
  TABMEND_PROGRESS_APPLIED = 2,    /* it replaced its tables */
  TABMEND_PROGRESS_FAILED = 3,     /* it failed; the rollback follows */
  TABMEND_PROGRESS_RECORDS = 4,    /* copying `Table`: `Done` of `Total` records */
  TABMEND_PROGRESS_ROLLBACK = 5,   /* restoring update `Update` */
  TABMEND_PROGRESS_WAITING = 6     /* another workstation's update holds the data folder, or
                                      (`Table` not "") another process has that table open:
                                      `Done` seconds waited of at most `Total` */
} TabmendProgressPhase;

typedef struct TabmendProgress {
  int32_t Phase;   /* TabmendProgressPhase */
  int32_t Update;  /* four-digit update number */
  int32_t Ordinal; /* 1-based position among the updates this call tries */
  int32_t Count;   /* updates this call tries */
  const char *Table; /* base name (RECORDS, WAITING for a table), else "" */
  const char *Location; /* relative folder of the location (RECORDS, WAITING), "" = data folder */
  int32_t Done, Total;
} TabmendProgress;

/* Called synchronously on the calling thread; the report lives for the call. */
typedef void (TABMEND_API *TabmendProgressObserver)(void *context, const TabmendProgress *report);

/* One row of an update plan (see TabmendPlanUpdate). */
typedef enum TabmendPlanItem {
  TABMEND_PLAN_RELEASE = 0,    /* `Text` the host release seen; `Update` the first update the
                                  release needs, 0 when its tables are already current */
  TABMEND_PLAN_UPDATE = 1,     /* update `Update` would run */
  TABMEND_PLAN_TABLE = 2,      /* it would rebuild `Table` in `Location`: `Records` records */
  TABMEND_PLAN_NEW_TABLE = 3,  /* it would add the missing `Table` in `Location` */
  TABMEND_PLAN_SPACE = 4,      /* the disk of folder `Location` (`Text`: its volume): the run
                                  needs `NeededKB`, it has `FreeKB` (-1: the system cannot tell) */
  TABMEND_PLAN_IN_USE = 5,     /* `Table` in `Location` is open elsewhere (`Text`: the refusal);
                                  the update would wait for it, then refuse */
  TABMEND_PLAN_UNREADABLE = 6, /* `Table` in `Location`, which update `Update` needs, cannot be
                                  read: `Text` says why; the update would fail on it */
  TABMEND_PLAN_NOTE = 7,       /* `Text`: something the call would meet first (another
                                  workstation's update, an interrupted call to roll back) */
  TABMEND_PLAN_ESTIMATE = 8    /* about `Seconds` for the run, `Records` records to copy */
} TabmendPlanItem;

/* Texts live for the observer call only. Kilobyte counts stop at INT32_MAX. Packed, int32
   fields first: the same offsets in 32-bit and 64-bit builds up to the pointers. */
#pragma pack(push, 1)
typedef struct TabmendPlanRow {
  int32_t Item;   /* TabmendPlanItem */
  int32_t Update; /* four-digit update number, or 0 */
  int32_t Records;
  int32_t Seconds;
  int32_t NeededKB;
  int32_t FreeKB;
  const char *Table;    /* base name, or "" */
  const char *Location; /* relative folder below the data folder ("" = the data folder);
                           SPACE: a folder of the run on that disk */
  const char *Text;     /* "" when there is nothing to say */
} TabmendPlanRow;
#pragma pack(pop)

typedef void (TABMEND_API *TabmendPlanObserver)(void *context, const TabmendPlanRow *row);

TABMEND_EXPORT int32_t TABMEND_API UpdateDatabaseStructures(TabmendCallRecord *record);

/* What UpdateDatabaseStructures would do with the same record now, reported row by row to
   `observer` (on the calling thread), with the update's own probes and checks. Changes
   nothing: no file or folder is written, no table is held after it returns, the run log
   gets no line. 0 when the plan was made (whatever it shows); -1 with "%TABMEND_ERR%" when
   it could not be (no installation, an invalid release, a null record or observer). */
TABMEND_EXPORT int32_t TABMEND_API TabmendPlanUpdate(TabmendCallRecord *record,
                                                     TabmendPlanObserver observer,
                                                     void *context);

/* Installs (or with NULL removes) the observer that later runs report to. It
   stays until replaced; it is not part of any call record. */
TABMEND_EXPORT void TABMEND_API TabmendSetProgressObserver(TabmendProgressObserver observer,
                                                           void *context);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <stddef.h>
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(TabmendCallRecord, KeyStride) == 12, "host layout");
static_assert(offsetof(TabmendCallRecord, ValueStride) == 16, "host layout");
static_assert(offsetof(TabmendCallRecord, EntryCount) == 20, "host layout");
static_assert(offsetof(TabmendCallRecord, KeySlots) == 24, "host layout");
static_assert(offsetof(TabmendCallRecord, ValueSlots) == 28, "host layout");
static_assert(offsetof(TabmendCallRecord, Reserved1) == 32, "host layout");
static_assert(offsetof(TabmendCallRecord, VersionText) == 40, "host layout");
static_assert(sizeof(TabmendCallRecord) == 44, "host layout");
#else
static_assert(offsetof(TabmendCallRecord, KeyStride) == 12, "host layout");
static_assert(offsetof(TabmendCallRecord, ValueStride) == 16, "host layout");
static_assert(offsetof(TabmendCallRecord, EntryCount) == 20, "host layout");
static_assert(offsetof(TabmendCallRecord, KeySlots) == 24, "host layout, 64-bit");
static_assert(offsetof(TabmendCallRecord, ValueSlots) == 32, "host layout, 64-bit");
static_assert(offsetof(TabmendCallRecord, Reserved1) == 40, "host layout, 64-bit");
static_assert(offsetof(TabmendCallRecord, VersionText) == 48, "host layout, 64-bit");
static_assert(sizeof(TabmendCallRecord) == 56, "host layout, 64-bit");
#endif
static_assert(offsetof(TabmendPlanRow, FreeKB) == 20, "plan row layout");
static_assert(offsetof(TabmendPlanRow, Table) == 24, "plan row layout");
static_assert(sizeof(TabmendPlanRow) == 24 + 3 * sizeof(void *), "plan row layout");
#endif

#endif /* TABMEND_API_H */
