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

TABMEND_EXPORT int32_t TABMEND_API UpdateDatabaseStructures(TabmendCallRecord *record);

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
#endif

#endif /* TABMEND_API_H */
