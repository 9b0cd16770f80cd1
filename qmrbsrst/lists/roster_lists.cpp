#include "qmrbsrst/lists/roster_lists.h"

#include "qmrbsrst/frame/module_state.h"
#include "qmrbsrst/lists/override_split.h"
#include "qmrbsrst/lists/service_code_lists.h"

namespace talvex::qmrbsrst {

void FillRosterInfo(TRosterInfoCall* call) {
  RosterModuleState& state = ModuleState();
  state.Reset();
  state.LoadRosterSettings(call->dataDirectory.str());
  const RosterSettings& settings = state.roster;
  call->autoGeneratePcn = settings.autoGeneratePcn ? 1 : 0;
  call->maxLinesPerRoster = settings.maxLinesPerRoster;
  call->allowNonMedicare = settings.allowNonMedicareRosterBilling ? 1 : 0;
}

std::vector<std::string> ServiceCodeEntries(const RosterSettings& settings,
                                            std::string_view rosterType) {
  ServiceCodeList list = ServiceCodeListFor(rosterType);
  if (list.overrideSetting != nullptr) {
    std::vector<std::string> entries =
        SplitOverride(settings.*list.overrideSetting, kServiceCodeSlots, kListEntryWidth);
    if (!entries.empty()) return entries;
  }
  return std::vector<std::string>(list.entries.begin(), list.entries.end());
}

void FillRosterHcpcs(TRosterHcpcsCall* call) {
  for (auto& slot : call->entries) slot.assign("");
  RosterModuleState& state = ModuleState();
  state.Reset();
  state.LoadRosterSettings(call->dataDirectory.str());
  std::vector<std::string> entries = ServiceCodeEntries(state.roster, call->rosterType.str());
  for (size_t i = 0; i < entries.size() && i < kServiceCodeSlots; ++i) {
    call->entries[i].assign(entries[i]);
  }
}

void FillRosterDiagnosis(TRosterDiagnosisCall* call) {
  call->typeRFlag = 0;
  for (auto& slot : call->entries) slot.assign("");
  // The settings are read as for every export, though no diagnosis choice
  // depends on them: all slots stay empty.
  RosterModuleState& state = ModuleState();
  state.Reset();
  state.LoadRosterSettings(call->dataDirectory.str());
  state.LoadIcdSettings(call->configDirectory.str());
  if (call->rosterType.str() == "R") call->typeRFlag = 1;
}

}  // namespace talvex::qmrbsrst
