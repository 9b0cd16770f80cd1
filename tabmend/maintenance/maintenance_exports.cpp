// The maintenance exports of tabmend: ReindexAllDatabaseFiles,
// BackupRevenueCodeChargeData and RestoreRevenueCodeChargeData. Each resets
// the call's module state, runs its body, releases the engine context on
// every path and hands a failure to the host under "TABMEND_ERR".
#include <string>

#include "driver/report_to_host.h"
#include "driver/run_state.h"
#include "maintenance/reindex_all.h"
#include "maintenance/revenue_code_charges.h"
#include "maintenance/maintenance_api.h"
#include "tabmend_api.h"

namespace talvex::tabmend {
namespace {

int32_t RunExport(TabmendCallRecord* record, bool (*body)(), const char* unexpected) {
  if (record == nullptr) return -1;
  bool ok = false;
  try {
    BeginCall();
    ok = body();
  } catch (...) {
    LastErrorText() = unexpected;
    ok = false;
  }
  try {
    CloseRunContext();
    if (ok) return 0;
    ReportToHost(record, "TABMEND_ERR", LastErrorText());
  } catch (...) {
  }
  return -1;
}

}  // namespace
}  // namespace talvex::tabmend

extern "C" TABMEND_EXPORT int32_t TABMEND_API ReindexAllDatabaseFiles(TabmendCallRecord* record) {
  return talvex::tabmend::RunExport(record, &talvex::tabmend::RunReindexAll, "Unexpected exception.");
}

extern "C" TABMEND_EXPORT int32_t TABMEND_API BackupRevenueCodeChargeData(TabmendCallRecord* record) {
  return talvex::tabmend::RunExport(record, &talvex::tabmend::RunChargeBackup,
                                    "Error backing up Revenue Code charge data [Unexpected exception.]");
}

extern "C" TABMEND_EXPORT int32_t TABMEND_API RestoreRevenueCodeChargeData(TabmendCallRecord* record) {
  return talvex::tabmend::RunExport(record, &talvex::tabmend::RunChargeRestore,
                                    "Error restoring Revenue Code charge data [Unexpected exception.]");
}
