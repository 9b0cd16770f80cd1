/*
 * qmrbsrst_api.h - the exports of the roster billing library, as the host
 * calls them: plain names, C linkage, the standard Windows calling convention
 * on 32-bit Windows (QMR_API).
 *
 * Every export takes a record the host owns (layouts in
 * qmrbsrst/frame/call_records.h), reads its "in" fields and writes its "out"
 * fields before it returns; it keeps no pointer into it. A null record is
 * ignored. The list and number exports always return 0 and report through the
 * record. Nothing raised inside the library leaves an export. Calls must not
 * overlap: the library's module state has no lock.
 */
#ifndef QMRBSRST_API_H
#define QMRBSRST_API_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define QMR_API __stdcall
#else
#define QMR_API
#endif

#if defined(_WIN32)
#define QMR_EXPORT
#else
#define QMR_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Record types are opaque to C callers: they are the packed layouts. */
QMR_EXPORT int32_t QMR_API Retrieve1500RosterInfo(void* record);
QMR_EXPORT int32_t QMR_API Retrieve1500RosterHCPCS(void* record);
QMR_EXPORT int32_t QMR_API Retrieve1500RosterDiagnosis(void* record);
QMR_EXPORT int32_t QMR_API Generate1500RosterPCN(void* record);
/* Claim generation (record TGenerateRosterClaimsCall); returns the status
 * code. callback: the host's progress method or 0; callbackContext is handed
 * back to it unchanged. */
QMR_EXPORT int32_t QMR_API Generate1500RosterClaims(void* record, void* callback,
                                                    void* callbackContext);
/* A constant zero-terminated text for every code; never freed by the caller. */
QMR_EXPORT const char* QMR_API GetRosterStatusMessage(uint32_t code);
/* The library's extra export: takes one control counter (record
 * TRosterCounterCall) and returns the new value, or -1 on any failure; the
 * value is also stored in the record. */
QMR_EXPORT int32_t QMR_API Next1500RosterControlCounter(void* record);

#ifdef __cplusplus
}
#endif

#endif /* QMRBSRST_API_H */
