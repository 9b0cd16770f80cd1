/*
 * maintenance_api.h - the maintenance exports of the tabmend library, as the
 * host calls them. Same contract as tabmend_api.h: one host-owned call record
 * (only its token table is used), 32-bit result 0 or -1, and on failure one
 * message under "%TABMEND_ERR%". Calls must not overlap.
 *
 *  ReindexAllDatabaseFiles       rebuilds the index of every listed table and
 *                                claim archive table; the tables must be closed.
 *  BackupRevenueCodeChargeData   writes the non-zero revcode charges to
 *                                InstallDirectory\private\revupdmp.txt.
 *  RestoreRevenueCodeChargeData  writes them back; no dump file is success.
 */
#ifndef TABMEND_MAINTENANCE_API_H
#define TABMEND_MAINTENANCE_API_H

#include "../tabmend_api.h"  /* beside this folder, whoever includes it */

#ifdef __cplusplus
extern "C" {
#endif

TABMEND_EXPORT int32_t TABMEND_API ReindexAllDatabaseFiles(TabmendCallRecord *record);
TABMEND_EXPORT int32_t TABMEND_API BackupRevenueCodeChargeData(TabmendCallRecord *record);
TABMEND_EXPORT int32_t TABMEND_API RestoreRevenueCodeChargeData(TabmendCallRecord *record);

#ifdef __cplusplus
}
#endif

#endif /* TABMEND_MAINTENANCE_API_H */
