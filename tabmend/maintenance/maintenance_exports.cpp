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
#include "platform/exception_text.h"

namespace talvex::tabmend {
namespace {

int32_t RunExport(TabmendCallRecord* record, bool (*body)(), const char* unexpected) {
  if (record == nullptr) return -1;
  bool ok = false;
  try {
    BeginCall();
    ok = body();
  } catch (...) {
    // This call keeps no log: what was thrown follows the fixed text.
    LastErrorText() = std::string(unexpected) + "\r\n" + platform::CurrentExceptionText();
    ok = false;
  }
  try {
    CloseRunContext();
    if (ok) return 0;
    (void)ReportToHost(record, "TABMEND_ERR", LastErrorText());  // a record that takes no text still gets -1
  } catch (...) {
    // Closing failed after the call: the host hears of it with the result.
    ReportLateFailure(record);
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
