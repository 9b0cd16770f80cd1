/*
 * c4dll.h - C API of the table engine (libc4dll.so / C4DLL.DLL).
 *
 * The engine reads and writes dBASE .dbf data files, .dbt memo files and .mdx
 * production indexes, shared between processes through OS byte-range locks.
 *
 * Contract (callers in tabmend, qmrbsrst, qmrsec01 and the host rely on it):
 *  - Every handle is a 32-bit value naming a slot of the engine's handle table;
 *    it carries a kind and a generation, so a stale, foreign or zero handle is
 *    refused with an error result instead of crashing. 0 means failure.
 *  - Results: 0 success; r4eof (3) end of file, also d4top on an empty table;
 *    r4after (2) a seek found no exact match and is positioned on the next
 *    greater key; r4locked (50) the lock is held by someone else; negative
 *    values are errors, each with a text from error4text().
 *  - Every failure also records its code in the context (code4errorCode reads
 *    it, and sets a new one); the context stays usable after any error.
 *  - Text results (f4str, f4name, f4memoStr, error4text) point into engine-owned
 *    buffers valid until the next call on the same field, table or context.
 *  - Record buffer: assignments change the current record's buffer and mark it
 *    changed; the change is written to the data file and every open tag when
 *    the table moves to another record, is unlocked, flushed or closed, or by
 *    d4writeLow. Records are only physically removed by d4pack.
 *  - One context and its tables must not be used from two threads at once.
 *
 * Compiles as C99 and as C++.
 */
#ifndef C4DLL_H
#define C4DLL_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define C4API __stdcall
#else
#define C4API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t C4Context;
typedef uint32_t C4Table;
typedef uint32_t C4Index;
typedef uint32_t C4Tag;
typedef uint32_t C4Field;

/* Result codes. */
#define r4success 0
#define r4bof 1   /* d4skip moved before the first record */
#define r4after 2
#define r4eof 3
#define r4locked 50
#define r4unique 20 /* append/write refused: key already in a unique tag (only
                       when the tag is set to refuse; by default dBASE keeps
                       the first record's key and the write succeeds) */

#define e4open (-60)      /* file could not be opened or created */
#define e4read (-70)      /* read failed or file shorter than its header says */
#define e4write (-80)     /* write failed */
#define e4data (-120)     /* not a valid or supported data file */
#define e4memo (-130)     /* memo file missing, corrupt or pointer out of range */
#define e4index (-140)    /* index file missing, corrupt or inconsistent */
#define e4expr (-150)     /* key or filter expression cannot be compiled */
#define e4field (-210)    /* no such field, or value not valid for the field */
#define e4tag (-220)      /* no such tag */
#define e4handle (-300)   /* stale, foreign or zero handle */
#define e4parm (-310)     /* invalid parameter (NULL pointer, bad number) */
#define e4record (-320)   /* record number out of range */
#define e4lock (-330)     /* lock call failed (other than held elsewhere) */
#define e4memory (-920)   /* out of memory */
#define e4create (-410)   /* table could not be created */
#define e4exclusive (-420)/* refused: file held by another user */

typedef struct C4FieldInfo {
  const char *name; /* NULL ends the list */
  char type;        /* 'C', 'N', 'F', 'D', 'L', 'M' */
  int len;
  int dec;
} C4FieldInfo;

typedef struct C4TagInfo {
  const char *name; /* NULL ends the list */
  const char *expression;
  const char *filter; /* NULL or "" for none */
  int unique;
  int descending;
} C4TagInfo;

/* ---- context ------------------------------------------------------------ */
C4Context C4API code4initP(void);
/* Closes every table of the context and frees the context. */
int C4API code4initUndo(C4Context c);
/* Each setter returns the previous value (or a negative error). */
int C4API code4autoOpen(C4Context c, int open_production_index);
/* 0 shared, 1 deny others writing while open, 2 exclusive. */
int C4API code4accessMode(C4Context c, int mode);
/* Non-zero: buffer writes (write-behind) while the table is held exclusively or locked. */
int C4API code4optimizeWrite(C4Context c, int flag);
/* Returns the current error code and replaces it by new_code (0 clears). */
int C4API code4errorCode(C4Context c, int new_code);
/* The open table whose alias (base name, any case) is given, or 0. */
C4Table C4API code4data(C4Context c, const char *alias);
/* Text of an error code; the code's general text plus the context's last detail. */
const char *C4API error4text(C4Context c, int code);

/* ---- tables ------------------------------------------------------------- */
/* ".dbf" is added when the name has no extension; file names match any case. */
C4Table C4API d4open(C4Context c, const char *path);
/* A second handle on the same files with its own position and record buffer. */
C4Table C4API d4openClone(C4Table t);
int C4API d4close(C4Table t);
/* Creates (overwrites) a table; a non-empty tag list also makes its production .mdx. */
C4Table C4API d4create(C4Context c, const char *path, const C4FieldInfo *fields,
                       const C4TagInfo *tags);
int32_t C4API d4recCount(C4Table t);
const char *C4API d4alias(C4Table t);

/* ---- moves -------------------------------------------------------------- */
int C4API d4top(C4Table t);
int C4API d4bottom(C4Table t);
int C4API d4skip(C4Table t, int32_t n);
/* lock_for_write: non-zero re-reads the record even if it is the current one. */
int C4API d4goLow(C4Table t, int32_t rec, int lock_for_write);
int C4API d4eof(C4Table t);
int C4API d4bof(C4Table t);
int32_t C4API d4recNoLow(C4Table t);
int C4API d4deleted(C4Table t);

/* ---- changes ------------------------------------------------------------ */
int C4API d4appendBlank(C4Table t);
int C4API d4appendStart(C4Table t, int use_memo_entries);
int C4API d4blank(C4Table t);
int C4API d4append(C4Table t);
int C4API d4delete(C4Table t);
int C4API d4recall(C4Table t);
int C4API d4pack(C4Table t);
int C4API d4reindex(C4Table t);
int C4API d4flush(C4Table t);
int C4API d4writeLow(C4Table t, int32_t rec, int unlock, int do_lock);

/* ---- locks -------------------------------------------------------------- */
/* Without waiting: r4locked when another handle or process holds the lock. */
int C4API d4lockInternal(C4Table t, int32_t rec, int do_unlock_others, int lock_type);
int C4API d4lockAllInternal(C4Table t, int do_unlock_others);
int C4API d4lockAppend(C4Table t);
int C4API d4unlock(C4Table t);

/* ---- indexes ------------------------------------------------------------ */
/* NULL or "" path opens the table's production index (base name + ".mdx"). */
C4Index C4API i4open(C4Table t, const char *path);
int C4API i4close(C4Index i);
C4Tag C4API i4tag(C4Index i, const char *name);
C4Tag C4API d4tag(C4Table t, const char *name);
/* 0 selects physical (record number) order. */
int C4API d4tagSelectP(C4Table t, C4Tag tag);
C4Tag C4API d4tagSelected(C4Table t);
const char *C4API t4alias(C4Tag tag);
const char *C4API t4expr(C4Tag tag);
const char *C4API t4filter(C4Tag tag);
int C4API d4seek(C4Table t, const char *key);
int C4API d4seekN(C4Table t, const char *key, int len);
int C4API d4seekDouble(C4Table t, double key);
int C4API d4seekNext(C4Table t, const char *key);
/* 0 when every tag of every open index of the table matches the live records
   and its pages are sound; otherwise e4index with the first fault in error4text. */
int C4API d4check(C4Table t);

/* ---- fields ------------------------------------------------------------- */
C4Field C4API d4field(C4Table t, const char *name);
int C4API d4numFields(C4Table t);
C4Field C4API d4fieldJ(C4Table t, int j); /* j from 1 */
const char *C4API f4name(C4Field f);
int C4API f4type(C4Field f);
int C4API f4len(C4Field f);
int C4API f4decimals(C4Field f);
const char *C4API f4str(C4Field f);
long C4API f4int(C4Field f);
int C4API f4double2(C4Field f, double *value);
int C4API f4true(C4Field f);
const char *C4API f4memoStr(C4Field f);
/* Length of the memo text (memos may hold NUL bytes). */
uint32_t C4API f4memoLen(C4Field f);
int C4API f4assign(C4Field f, const char *text);
int C4API f4assignN(C4Field f, const char *text, uint32_t len);
int C4API f4assignInt(C4Field f, long value);
int C4API f4assignDouble(C4Field f, double value);
int C4API f4assignField(C4Field dest, C4Field src);
/* f4assignField(dest[i], src[i]) for each of count pairs, in one call: what
   the fields end up holding is the same. Lists whose destinations lie in one
   table and sources in another are worked out once and kept while the same
   lists come back for the same open tables, so a copy of many records pays
   for the conversions, not for a call per field. Returns 0 or the code of a
   failing pair (the other pairs are still assigned). */
int C4API f4assignFields(const C4Field *dest, const C4Field *src, int count);
int C4API f4memoAssign(C4Field f, const char *text);
int C4API f4memoAssignN(C4Field f, const char *text, uint32_t len);

#ifdef __cplusplus
}
#endif

#endif /* C4DLL_H */
