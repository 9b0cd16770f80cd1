// Claim generation for one roster: every live patient line of the roster in
// BSROSTER/BSROSTLN becomes one professional claim in the host's claim
// tables, all or nothing. A rejected line or any failure after claims were
// written deletes every claim of this run again and leaves the roster header
// as it was; each handled line gets its rejection text (or "") in RL_ERRMSG.
// All or nothing holds across a crash too: a run keeps a record of its claims
// (run_record.h), and every run first undoes the runs of its data folder
// whose processes died.
//
// The call record is the host's; its four out fields are written before the
// function returns, whatever the outcome, and no pointer into it is kept. The
// progress callback (see progress_callback.h) runs on the calling thread. The
// host's engine context carries no error out: its error state is cleared
// after every failing table operation. Nothing raised leaves the function.
// Calls must not overlap (the module state has no lock).
#pragma once

#include <cstdint>

#include "qmrbsrst/frame/call_records.h"

namespace talvex::qmrbsrst {

// The status code (0, 2 to 11, 13 to 15; texts in status_messages.h).
[[nodiscard]] int32_t GenerateRosterClaims(TGenerateRosterClaimsCall* call, void* callback,
                             void* callbackContext);

// The run's totals: fixed point with four decimals, each addition rounded to
// the nearest ten-thousandth.
class FixedTotal {
 public:
  void Add(double amount);
  double value() const { return static_cast<double>(units_) / 10000.0; }
  void Clear() { units_ = 0; }

 private:
  int64_t units_ = 0;
};

}  // namespace talvex::qmrbsrst
