// The export TabmendPlanUpdate: the plan of an update call (update_plan.h).
#include "driver/report_to_host.h"
#include "driver/run_log.h"
#include "driver/run_state.h"
#include "driver/update_plan.h"
#include "tabmend_api.h"

extern "C" TABMEND_EXPORT int32_t TABMEND_API TabmendPlanUpdate(TabmendCallRecord* record,
                                                                TabmendPlanObserver observer,
                                                                void* context) {
  using namespace talvex::tabmend;
  if (record == nullptr) return -1;
  bool ok = false;
  try {
    BeginCall();
    if (observer == nullptr) {
      LastErrorText() = "No observer for the update plan.";
    } else {
      ok = PlanUpdate(record, observer, context);
    }
  } catch (...) {
    LastErrorText() = "Unexpected exception.";
    ok = false;
  }
  try {
    CloseRunContext();
    // The plan is no call of the update: nothing of it goes to the run log.
    DiscardRunLog();
    if (ok) return 0;
    ReportToHost(record, "TABMEND_ERR", LastErrorText());
  } catch (...) {
  }
  return -1;
}
