// The library's export boundary: every export runs its work inside a catch-all
// so that nothing raised reaches the host, and leaves the module state empty
// behind it.
#include "qmrbsrst/exports/qmrbsrst_api.h"

#include "qmrbsrst/frame/call_records.h"
#include "qmrbsrst/frame/module_state.h"
#include "qmrbsrst/generation/roster_generation.h"
#include "qmrbsrst/lists/roster_lists.h"
#include "qmrbsrst/pcn/patient_control_number.h"
#include "qmrbsrst/settings/control_counter.h"
#include "qmrbsrst/status/status_messages.h"

namespace {

using namespace talvex::qmrbsrst;

// Runs work(record), then onFailure(record) when it raised; neither may let
// anything escape.
template <typename Record, typename Work, typename Failure>
void Guarded(void* raw, Work work, Failure onFailure) {
  if (raw == nullptr) return;
  Record* record = static_cast<Record*>(raw);
  try {
    work(record);
  } catch (...) {
    try {
      onFailure(record);
    } catch (...) {
    }
  }
  try {
    ModuleState().Reset();
  } catch (...) {
  }
}

}  // namespace

extern "C" {

int32_t QMR_API Retrieve1500RosterInfo(void* record) {
  // A failure while reading leaves the defaults, which is what a missing
  // settings file would have given.
  Guarded<TRosterInfoCall>(record, FillRosterInfo, [](TRosterInfoCall* call) {
    RosterSettings defaults;
    call->autoGeneratePcn = defaults.autoGeneratePcn ? 1 : 0;
    call->maxLinesPerRoster = defaults.maxLinesPerRoster;
    call->allowNonMedicare = defaults.allowNonMedicareRosterBilling ? 1 : 0;
  });
  return 0;
}

int32_t QMR_API Retrieve1500RosterHCPCS(void* record) {
  Guarded<TRosterHcpcsCall>(record, FillRosterHcpcs, [](TRosterHcpcsCall* call) {
    for (auto& slot : call->entries) slot.assign("");
  });
  return 0;
}

int32_t QMR_API Retrieve1500RosterDiagnosis(void* record) {
  Guarded<TRosterDiagnosisCall>(record, FillRosterDiagnosis, [](TRosterDiagnosisCall* call) {
    for (auto& slot : call->entries) slot.assign("");
    call->typeRFlag = call->rosterType.str() == "R" ? 1 : 0;
  });
  return 0;
}

int32_t QMR_API Generate1500RosterPCN(void* record) {
  Guarded<TRosterPcnCall>(record, FillPatientControlNumber,
                          [](TRosterPcnCall* call) { call->pcn.assign(""); });
  return 0;
}

int32_t QMR_API Generate1500RosterClaims(void* record, void* callback, void* callbackContext) {
  if (record == nullptr) return kStatusGenerationException;
  const int32_t code = GenerateRosterClaims(static_cast<TGenerateRosterClaimsCall*>(record),
                                            callback, callbackContext);
  ModuleState().Reset();
  return code;
}

const char* QMR_API GetRosterStatusMessage(uint32_t code) { return RosterStatusMessage(code); }

int32_t QMR_API Next1500RosterControlCounter(void* record) {
  int32_t value = -1;
  Guarded<TRosterCounterCall>(
      record,
      [&value](TRosterCounterCall* call) {
        call->value = -1;
        value = NextControlCounter(call->context, call->dataDirectory.str(), call->kind);
        call->value = value;
      },
      [&value](TRosterCounterCall* call) {
        value = -1;
        call->value = -1;
      });
  return value;
}

}  // extern "C"
