// The export TabmendPlanUpdate: the plan of an update call (update_plan.h).
#include "driver/report_to_host.h"
#include "driver/run_log.h"
#include "driver/run_state.h"
#include "driver/update_plan.h"
#include "tabmend_api.h"
#include "platform/exception_text.h"

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
    // The plan keeps no log: what was thrown follows the fixed text.
    LastErrorText() = "Unexpected exception.\r\n" + talvex::platform::CurrentExceptionText();
    ok = false;
  }
  try {
    CloseRunContext();
    // The plan is no call of the update: nothing of it goes to the run log.
    DiscardRunLog();
    if (ok) return 0;
    (void)ReportToHost(record, "TABMEND_ERR", LastErrorText());  // a record that takes no text still gets -1
  } catch (...) {
    ReportLateFailure(record);
  }
  return -1;
}
